// The scan of the profile table: the entries of a run of the profile, each
// with its record, read through RecordStream and checked as they come.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include "sql/ProfileScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "database/DataRecord.h"
#include "database/FileIdentity.h"
#include "database/IndexWalk.h"

namespace ondrel::sql {
namespace {

// Memory one scan may hold for its batches: the export's.  A scattered
// profile is read in one pass over the data file per batch, so a smaller
// budget costs passes (with a quarter of it, a scan of BYNAME's 10M entries
// took 1.5 to 1.8 times as long).  The first batches are small, so a query that wants a page
// holds little; a join holds one budget per table scanned whole.
constexpr std::size_t kSqlScanBudget = kScanBudget;

}  // namespace

Scan::Scan(std::shared_ptr<const Prepared> prepared, bool records, std::int64_t first, std::int64_t last,
           const std::string& from, const std::string& to)
    : prepared_(std::move(prepared)), state_(prepared_->state), order_(state_), keys_(state_, order_),
      compare_(state_.KeyRecords == KeyRecordCheck::Yes && keys_.Usable()), problems_(platform_),
      stream_(state_, index_, data_, order_, problems_, kSqlScanBudget), fields_(state_, prepared_->columns),
      records_(records), first_(first), last_(last) {
  errno = 0;
  if (!index_.Open(state_.IndexPath)) Refused(state_.IndexPath);
  errno = 0;
  if (records_ && !data_.Open(state_.DataPath)) Refused(state_.DataPath);
  // The seek starts from a field's value, so it serves only a tree whose
  // keys were seen to be their records' bytes; keys made otherwise (folded
  // to capitals) sort differently, and the whole profile is read instead.
  // A seek that is refused (a tree out of order) only loses the shortcut:
  // the scan then starts at the first entry and meets the damage itself.
  const bool seek = state_.KeyRecords == KeyRecordCheck::Yes;
  if (seek && !from.empty() && index_.IsOpen()) {
    const SeekResult seek = SeekKey(state_, index_, {from});
    if (seek.outcome == SeekOutcome::Found) first_ = std::max<std::int64_t>(first_, seek.entry);
    if (seek.outcome == SeekOutcome::PastTheEnd) last_ = 0;
  }
  std::string why;
  if (seek && !to.empty() && index_.IsOpen()) stopAfter_ = PrepareTypedKey(state_, order_, index_, {to}, to_, why);
  stream_.Want([this](const TreeEntry& e) { return records_ && e.Number >= first_ && e.Number <= last_; });
  const Long leaf = last_ < first_ ? 0 : FindLeaf(state_, static_cast<double>(first_));
  if (leaf == 0 || !index_.IsOpen()) {
    ended_ = true;
    return;
  }
  stream_.StartAt(leaf);
}

bool Scan::Advance() {
  while (!ended_) {
    if (!stream_.Next(row_)) {
      ended_ = true;
      break;
    }
    // SQLite may stop a statement after any row without telling the table,
    // so no row goes out before the files were found unchanged after its
    // bytes were read: each batch is looked at once it is read, before its
    // first row.  Damage met in a batch of changed files is told as the
    // change.
    if (stream_.Batches() != checkedBatches_) {
      checkedBatches_ = stream_.Batches();
      if (Changed()) return false;
    }
    if (problems_.Any()) return false;
    const std::int64_t number = row_.entry.Number;
    if (number < first_) continue;
    if (number > last_ || (stopAfter_ && row_.entry.Key &&
                           CompareTyped(order_, to_, row_.entry.Key) == KeyComparison::After)) {
      ended_ = true;
      break;
    }
    if (records_) {
      if (row_.slot) {
        fields_.FromSlot(row_.slot);
      } else if (state_.RecordLength <= kWholeSlotLimit || !fields_.FromFile(data_, row_.entry.Record)) {
        problems_.Record();  // the record lies outside the data file
        return false;
      }
      // A key that is not its record's fields points at a record it was
      // not made from (a leaf of another tree met during a rewrite): the
      // row would be wrong without a word.  Checked as the export checks,
      // on entries the window shows whose records are active.
      if (compare_ && row_.entry.Flag == 'Y' && !fields_.Purged() && row_.entry.Key &&
          !(row_.slot ? keys_.SlotHoldsKey(row_.entry.Key, row_.slot)
                      : keys_.RecordHoldsKey(data_, row_.entry.Record, row_.entry.Key))) {
        problems_.Mismatch();
        return false;
      }
      // A record too long to be read with its batch was read just now.
      if (!row_.slot && Changed()) return false;
    }
    return true;
  }
  // The end of the tree, or of the run asked for, closes the files.
  index_.Close();
  data_.Close();
  return !problems_.Any() && !Changed();
}

bool Scan::Changed() {
  if (!changed_) changed_ = FilesChanged(state_) || LooksHalfWritten(state_);
  return changed_;
}
std::string Scan::Error() const {
  if (changed_) return ChangedFilesText(prepared_->ispec);
  if (!refused_.empty()) return refused_;
  const std::string message = platform_.FirstMessage();
  return message.empty() ? std::string("The profile cannot be read.") : message;
}
int Scan::ErrorCode() const {
  if (changed_) return SQLITE_ABORT;
  return refused_.empty() ? SQLITE_CORRUPT_VTAB : SQLITE_CANTOPEN;
}

void Scan::Refused(const std::string& path) {
  const int error = errno;
  if (refused_.empty())
    refused_ = "The file " + path + " could not be opened: " +
               (error != 0 ? std::string(std::strerror(error)) : std::string("it is no regular file")) + ".";
  problems_.Other();
}

// The prepared profile for these arguments: the table's own while its files
// are as they were, else a new one, kept for the next scan.
std::shared_ptr<const Prepared> PreparedFor(ProfileTable& table, const std::string& dir, const std::string& ispec,
                                            const std::string& profile, std::string& problem, Failure& kind) {
  const std::shared_ptr<const Prepared> kept = table.prepared;
  if (kept && kept->dir == dir && kept->ispec == ispec && kept->profile == profile && !FilesChanged(kept->state))
    return kept;

  auto prepared = std::make_shared<Prepared>();
  prepared->dir = dir;
  prepared->ispec = ispec;
  prepared->profile = profile;
  SharedState& state = prepared->state;
  // The files are read again when any of them changed while they were read:
  // the walk, the definition and the sample must come from one state.
  SetIdentity identity;
  const bool settled = ReadUnchanged(PathsOf(dir, IspecFileName(dir, ispec)), identity, [&] {
    state = SharedState{};
    LoadingPlatform platform;
    std::vector<std::string> profiles;
    problem = OpenIspec(state, platform, dir, ispec, profiles, &kind);
    if (!problem.empty()) return;
    const int position = ProfilePosition(profiles, profile);
    if (position < 0) {
      problem = "The ISPEC " + ispec + " has no profile " + profile + ".";
      kind = Failure::Other;
      return;
    }
    problem = ChooseProfile(state, platform, profiles, position, true, &kind);
    if (!problem.empty()) return;
    // Whether this tree's keys are its records' fields, learnt once from a
    // sample, as the export learns it: the scans then check every record
    // they read against its key.
    ByteFile index(state.IndexPath);
    ByteFile data(state.DataPath);
    if (index.IsOpen() && data.IsOpen()) LearnKeyRecordCheck(state, index, data);
  });
  if (!settled) {
    problem = "The files of " + ispec + " kept changing on disk while they were being opened.";
    kind = Failure::Other;
  }
  if (!problem.empty()) return nullptr;
  state.FilesRead = identity;
  state.FilesKnown = true;
  NameSet names;
  prepared->columns = RecordColumns(state, names);
  if (table.named) {
    // The named table's columns were fixed from the definition when it was
    // made; a definition changed since then would put values under the
    // wrong names.
    bool same = prepared->columns.size() == table.columns.size();
    for (std::size_t i = 0; same && i < table.columns.size(); ++i)
      same = prepared->columns[i].width == table.columns[i].width && prepared->columns[i].type == table.columns[i].type;
    if (!same) {
      problem = "The definition of " + ispec + " has changed since this table was made: drop the table and create it again.";
      kind = Failure::Other;
      return nullptr;
    }
    prepared->columns = table.columns;
  }
  table.prepared = prepared;
  return prepared;
}

}  // namespace ondrel::sql
