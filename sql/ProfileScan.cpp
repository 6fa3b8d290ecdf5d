// The scan of the profile table: the entries of a run of the profile, each
// with its record, read through RecordStream and checked as they come.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include "sql/ProfileScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "database/DataRecord.h"
#include "database/FileIdentity.h"
#include "database/IndexWalk.h"
#include "viewer/Cp1252.h"
#include "viewer/TypedNames.h"

namespace ondrel::sql {
namespace {

// The mark of a row whose key is not its record's fields (Inspect).
constexpr std::uint8_t kKeyDiffers = 1;

// Memory one scan may hold for its batches: the export's (0: ScanBudget,
// what the ceiling leaves after the walk's tables).  A scattered profile is
// read in one pass over the data file per batch, so a smaller budget costs
// passes (with a quarter of it, a scan of BYNAME's 10M entries took 1.5 to
// 1.8 times as long).  The first batches are small, so a query that wants a
// page holds little; a join holds one budget per table scanned whole.
constexpr std::size_t kSqlScanBudget = 0;

// SQL's value of a text field from its stored bytes: the UTF-8 of its
// Windows-1252 bytes without the trailing blanks, which SQLite's BINARY
// collation compares byte by byte.
void SqlText(const FieldColumn& column, std::string_view stored, std::string& text) {
  text.clear();
  AppendCp1252AsUtf8(text, ValueOf(column, stored).text);
}

// How many leading bytes of a stored value v settle where every other stored
// value w lies against it in SQL, from where w lies against it in the tree.
//
// Both compare from the first byte on; they can disagree only at the first
// byte where v and w differ, say at i.  The tree compares the blank-padded
// bytes, SQL the code points of the values without trailing blanks, and
// Windows-1252 gives the code points in the order of its bytes except for
// 0x80 to 0x9F (the euro sign, quotes, dashes: code points from U+0152 up).
// So for w after v in the tree (w[i] > v[i]) SQL agrees unless v[i] is a
// control character (w may be v's text ended there, which SQL puts first)
// or lies in 0x80 to 0x9F (w[i] may be e acute).  For w before v (w[i] <
// v[i]) SQL agrees unless v's trailing blanks start at i (w may go on with a
// control character, which SQL puts after v's end) or v[i] is 0x80 or above
// (w[i] may lie in 0x80 to 0x9F).  A w that differs from v before the length
// returned is where the tree puts it; the ones that do not are next to v.
std::size_t SettledLength(std::string_view v, bool before) {
  std::size_t end = v.find_last_not_of(' ');
  end = end == std::string_view::npos ? 0 : end + 1;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const auto byte = static_cast<unsigned char>(v[i]);
    if (before ? (i >= end || byte >= 0x80) : (byte < 0x20 || (byte >= 0x80 && byte <= 0x9F))) return i;
  }
  return v.size();
}

}  // namespace

Scan::Scan(ScanFiles& files, std::shared_ptr<const Prepared> prepared, bool records, std::int64_t first,
           std::int64_t last, const KeyBounds& bounds, bool backward, int checked, bool keys)
    : prepared_(std::move(prepared)), state_(prepared_->state), index_(files.index), data_(files.data),
      order_(state_), keys_(state_, order_),
      compare_(KeysCompared(state_) && keys_.Usable()), problems_(platform_),
      stream_(state_, index_, data_, order_, problems_, kSqlScanBudget), fields_(state_, prepared_->columns),
      records_(records || checked >= 0), first_(first), last_(last), backward_(backward), walk_(state_, index_),
      checked_(checked), keysInspectedOnly_(!keys && checked < 0), peek_(state_, index_) {
  // The files are kept open by the cursor from one scan to the next while
  // the profile is the same (ScanFiles), so that a join's inner table, which
  // is scanned once an outer row, opens them once and reads what it read
  // before from their blocks.  Those blocks were read from the same open
  // files, which are looked at after every read as before.
  if (files.of != prepared_) {
    index_.Close();
    data_.Close();
    files.of = prepared_;
  }
  errno = 0;
  if (!index_.IsOpen() && !index_.Open(state_.IndexPath)) Refused(state_.IndexPath);
  errno = 0;
  if (records_ && !data_.IsOpen() && !data_.Open(state_.DataPath)) Refused(state_.DataPath);
  // The seek starts from a field's value, so it serves only a tree whose
  // keys were seen to be their records' bytes; keys made otherwise (folded
  // to capitals) sort differently, and the whole profile is read instead.
  // Numeric bounds hold only on a tree of digit keys.  A seek that is
  // refused (a tree out of order) only loses the shortcut: the scan then
  // reads from the first entry, or to the last, and meets the damage itself.
  // Entries the window does not show are rows too, and their records are not
  // compared with their keys as they are read: an entry left flagged other
  // than "Y" may point at a record written since for another key, a row
  // that a seek by its value would never reach.  So the seek also serves
  // only a tree where each such entry's record holds its key, learnt with
  // the order on the first seek, one record read for each of them.  A
  // flagged entry is trusted to point at its own record (a scan that meets
  // one that does not fails): proving every one before the first seek would
  // read the whole data file, some seconds for millions of records.
  // (A bound is on a field, so the plan reads records and the data file is
  // open here.)
  const UnshownCheck unshown = [&](const unsigned char* key, Long record) {
    return keys_.Usable() && data_.IsOpen() && keys_.RecordHoldsKey(data_, record, key, ComparedCase(state_));
  };
  const bool sought = !bounds.from.empty() || !bounds.past.empty();
  const bool seek = state_.KeyRecords == KeyRecordCheck::Yes && order_.Judged() && !order_.Parts().empty() &&
                    index_.IsOpen() && (!bounds.numeric || DigitKeys(*prepared_)) &&
                    (!sought || prepared_->memo.KeysRise(state_, index_, order_, &unshown));
  if (seek && (bounds.none || (!bounds.from.empty() && !bounds.past.empty() && bounds.from >= bounds.past))) last_ = 0;
  // Behind a pinned leading part the second part's bounds seek the two
  // parts together; numeric ones hold only on a tree of digit second parts.
  const bool then = seek && bounds.pinned && (!bounds.thenNumeric || SecondDigitKeys(*prepared_));
  if (then && bounds.thenNone) last_ = 0;
  const bool thenFrom = then && !bounds.thenFrom.empty();
  const bool thenPast = then && !bounds.thenPast.empty();
  // The leaf the start was found in serves the end, and the next scan.
  SeekMemo& memo = prepared_->memo;
  if (seek && last_ >= first_ && !bounds.from.empty()) {
    const SeekResult start = SeekStored(state_, index_, order_,
                                        thenFrom ? TypedKey{{bounds.exact, bounds.thenFrom}} : TypedKey{{bounds.from}},
                                        &memo);
    if (start.outcome == SeekOutcome::Found) first_ = std::max<std::int64_t>(first_, start.entry);
    if (start.outcome == SeekOutcome::PastTheEnd) last_ = 0;
  }
  // The end of the run: before the first key at or after `past`.
  if (seek && last_ >= first_ && !bounds.past.empty()) {
    const SeekResult end = SeekStored(state_, index_, order_,
                                      thenPast ? TypedKey{{bounds.exact, bounds.thenPast}} : TypedKey{{bounds.past}},
                                      &memo);
    if (end.outcome == SeekOutcome::Found) last_ = std::min<std::int64_t>(last_, end.entry - 1);
  }
  // The check reads the unread entries beside a row in the key (KeyOrder.h):
  // only where keys are their records' fields do they hold the column's value.
  if (checked_ >= 0 && state_.KeyRecords != KeyRecordCheck::Yes) {
    brokenWhy_ = "the keys of the profile " + prepared_->profile + " are not made from the bytes of " +
                 prepared_->columns[static_cast<std::size_t>(checked_)].name + " as it is stored";
    broken_ = -1;
    ended_ = true;
    return;
  }
  // A numeric column is taken in the tree's order only on a tree of digit
  // keys; the plan saw one, but the files may have been written since.
  if (checked_ >= 0 && prepared_->columns[static_cast<std::size_t>(checked_)].type != ColumnType::Text &&
      !DigitKeys(*prepared_)) {
    brokenWhy_ = "the keys of the profile " + prepared_->profile + " hold values of " +
                 prepared_->columns[static_cast<std::size_t>(checked_)].name +
                 " that are not digits across the field, whose stored order is not their value's";
    broken_ = -1;
    ended_ = true;
    return;
  }
  if (backward_) {
    next_ = std::min<std::int64_t>(last_, EntryCount(state_));
    if (next_ < first_ || !index_.IsOpen()) ended_ = true;
    return;
  }
  stream_.Want([this](const TreeEntry& e) { return records_ && e.Number >= first_ && e.Number <= last_; });
  // A long scan of a profile whose order scatters the records costs a pass
  // over the data file a batch: from the first such batch on, the next is
  // read on a thread of the stream's own while SQLite works on this one.
  // A page, a point lookup or a join's inner row reads a batch or two and
  // starts no thread.  Meanwhile the files are read here only through the
  // stream (Data, Index), which waits for the batch being read.  Unless the
  // keys are asked for, or the scan checks SQL's order, which looks at each
  // row's key, the keys serve only the comparison with their records, done
  // as each batch is read: a batch then holds more entries.
  stream_.ReadAheadOnceScattered();
  if (keysInspectedOnly_) {
    stream_.Inspect([this](const unsigned char* key, const char* slot) -> std::uint8_t {
      return compare_ && key && !keys_.SlotHoldsKey(key, slot, ComparedCase(state_)) ? kKeyDiffers : 0;
    });
    stream_.KeysForInspectionOnly();
  }
  const Long leaf = last_ < first_ ? 0 : FindLeaf(state_, static_cast<double>(first_));
  if (leaf == 0 || !index_.IsOpen()) {
    ended_ = true;
    return;
  }
  // A run that starts inside its leaf (after a seek, or an OFFSET) fills
  // its first batch from its first entry, so that a page takes one batch;
  // the entries before it in the leaf are not read (a seek checked that
  // leaf, and entries by number need no others), and a run that ends
  // (an equality, a LIMIT) reads no entry past its last.
  const std::int64_t count = EntryCount(state_);
  stream_.StartAt(leaf, static_cast<Long>(std::min<std::int64_t>(first_, count + 1)),
                  last_ < count ? static_cast<Long>(last_) : 0, true);
}

bool Scan::Advance() {
  if (broken_ != 0) return false;
  if (backward_) return AdvanceBackward();
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
    if (number > last_) {
      ended_ = true;
      break;
    }
    if (records_ && !TakeRecord()) return false;
    if (checked_ >= 0 && !InOrder()) return false;
    return true;
  }
  // The end of the tree, or of the run asked for.
  return !problems_.Any() && !ChangedAtEnd();
}

bool Scan::TakeRecord() {
  if (!row_.slot) readSinceCheck_ = true;  // its fields are read as they are asked for
  if (row_.slot) {
    fields_.FromSlot(row_.slot);
  } else if ((!backward_ && state_.RecordLength <= kWholeSlotLimit) ||
             !fields_.FromFile(stream_.Data(), row_.entry.Record)) {
    problems_.Record();  // the record lies outside the data file
    return false;
  }
  // A key that is not its record's fields points at a record it was not
  // made from (a leaf of another tree met during a rewrite): the row would
  // be wrong without a word.  Checked as the export checks, on entries the
  // window shows whose records are active.
  // A slot of the forward stream was compared as its batch was read (its
  // mark) when the keys serve that alone.
  const bool inspected = row_.slot && !backward_ && keysInspectedOnly_;
  if (compare_ && row_.entry.Flag == 'Y' && !fields_.Purged() &&
      (inspected ? (row_.mark & kKeyDiffers) != 0
                 : row_.entry.Key &&
                       !(row_.slot ? keys_.SlotHoldsKey(row_.entry.Key, row_.slot, ComparedCase(state_))
                                   : keys_.RecordHoldsKey(stream_.Data(), row_.entry.Record, row_.entry.Key,
                                                          ComparedCase(state_))))) {
    problems_.Mismatch();
    return false;
  }
  // A record not read with a batch was read just now.
  return row_.slot || !Changed();
}

// The backward walk reads the entries through the leaf table and the
// records by their slots: it serves the last rows of a profile, and a page
// of them reads a leaf or two and the page's records.  Each key is checked
// against the key after it, as the forward stream checks each against the
// one before.
bool Scan::AdvanceBackward() {
  if (behindAt_ == behind_.size() && !ended_ && next_ >= first_ && !FillBehind()) return false;
  if (behindAt_ < behind_.size()) {
    const std::size_t at = behindAt_++;
    const auto length = static_cast<std::size_t>(std::max<Integer>(0, state_.KeyLength));
    row_.entry = behind_[at];
    row_.entry.Key = behindKeys_.data() + at * length;
    row_.wanted = records_;
    row_.slot = behindWhole_.empty() || !behindWhole_[at]
                    ? nullptr
                    : behindSlots_.data() + at * static_cast<std::size_t>(state_.RecordLength);
    if (records_ && !TakeRecord()) return false;
    if (checked_ >= 0 && !InOrder()) return false;
    return true;
  }
  ended_ = true;
  return !problems_.Any() && !ChangedAtEnd();
}

bool Scan::FillBehind() {
  const auto length = static_cast<std::size_t>(std::max<Integer>(0, state_.KeyLength));
  const auto count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(behindBatch_), next_ - first_ + 1));
  behindBatch_ = std::min<std::size_t>(behindBatch_ * 2, 1024);
  behind_.resize(count);
  behindKeys_.resize(count * length);
  behindAt_ = 0;
  for (std::size_t i = 0; i < count; ++i, --next_) {
    TreeEntry& entry = behind_[i];
    if (!walk_.Read(next_, entry)) {
      problems_.Leaf();
      return false;
    }
    if (!laterKey_.empty() &&
        order_.Compare(entry.Key, reinterpret_cast<const unsigned char*>(laterKey_.data())) == KeyComparison::After) {
      problems_.Order();
      return false;
    }
    laterKey_.assign(reinterpret_cast<const char*>(entry.Key), length);
    if (length > 0) std::memcpy(behindKeys_.data() + i * length, entry.Key, length);
  }
  // Slots that lie whole inside the data file are read now; any other
  // record is read field by field when its row comes, and fails there.
  behindWhole_.clear();
  if (records_ && state_.RecordLength > 0 && state_.RecordLength <= kWholeSlotLimit) {
    const auto slot = static_cast<std::size_t>(state_.RecordLength);
    behindSlots_.resize(count * slot);
    behindWhole_.assign(count, 0);
    const std::int64_t whole = WholeSlots(data_, state_.RecordLength);
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t record = behind_[i].Record;
      behindWhole_[i] = record >= 1 && record <= whole &&
                        data_.Read((record - 1) * state_.RecordLength + 1, behindSlots_.data() + i * slot, slot);
    }
  }
  // No row of the batch goes out before the files were found unchanged
  // after its leaf and its record were read.
  return !Changed();
}

std::int64_t Scan::RunEnd(std::int64_t number, std::int64_t step, std::string_view key) {
  const KeyPartOrder& part = order_.Parts().front();
  const std::int64_t count = EntryCount(state_);
  // Whether entry n holds the key part; false past either end or on a leaf
  // that cannot be read (the caller's own read then meets it).
  auto same = [&](std::int64_t n) {
    TreeEntry entry;
    if (n < 1 || n > count || !peek_.Read(n, entry)) return false;
    return std::string_view(reinterpret_cast<const char*>(entry.Key) + part.offset, key.size()) == key;
  };
  // Strides that double until one leaves the run, then halving back.
  std::int64_t inside = number;
  std::int64_t stride = 1;
  while (same(inside + step * stride)) {
    inside += step * stride;
    stride *= 2;
  }
  for (stride /= 2; stride >= 1; stride /= 2)
    if (same(inside + step * stride)) inside += step * stride;
  return inside;
}

// The row is checked against the row returned before it, and against the
// entries beside it that the tree orders apart from SQL only where the
// bytes named in SettledLength say they may: those after it on a forward
// walk, which SQL must not put before it, or those before it on a backward
// walk, which SQL must not put after it.  So every row returned comes in
// SQL's order, and no row left unread (after a LIMIT, say) could have come
// before it: a result is right, or the statement fails at the entry where
// the orders part.  Damage aside, the entries beside a row are looked at
// only where its own value holds such bytes, and once for a run of equal
// keys.
bool Scan::InOrder() {
  const FieldColumn& column = prepared_->columns[static_cast<std::size_t>(checked_)];
  std::string_view stored;
  const bool null = !fields_.Field(static_cast<std::size_t>(checked_), stored);
  if (column.type != ColumnType::Text) return NumberInOrder(column, null, stored);
  std::string value;
  if (!null) SqlText(column, stored, value);
  const bool descending = backward_;
  const std::int64_t number = row_.entry.Number;
  if (hasPrevious_) {
    const int sign = previousNull_ ? (null ? 0 : -1) : null ? 1 : previous_.compare(value);
    if (descending ? sign < 0 : sign > 0) {
      broken_ = number;
      return false;
    }
  }
  const KeyPartOrder& part = order_.Parts().front();
  const std::string_view key(reinterpret_cast<const char*>(row_.entry.Key) + part.offset,
                             static_cast<std::size_t>(part.length));
  const std::size_t settled = SettledLength(key, descending);
  const bool tie = hasPrevious_ && previousKey_ == key;
  if (null && descending) {
    broken_ = number;  // a value that cannot be read: SQL's NULL, before any other
    return false;
  }
  if (!null && settled < key.size() && !tie) {
    readSinceCheck_ = true;
    stream_.Index();  // the stream reads no batch while the entries beside are read
    const std::int64_t step = descending ? -1 : 1;
    const std::int64_t count = EntryCount(state_);
    std::string other;
    // The entries with this very key part tie with it in SQL too: the walk
    // passes over a run of them by halving strides, not one by one.
    for (std::int64_t n = RunEnd(number, step, key) + step; n >= 1 && n <= count; n += step) {
      TreeEntry beside;
      if (!peek_.Read(n, beside)) {
        problems_.Leaf();
        return false;
      }
      const std::string_view near(reinterpret_cast<const char*>(beside.Key) + part.offset, key.size());
      if (near.compare(0, settled, key.substr(0, settled)) != 0) break;
      if (near == key) continue;
      SqlText(column, near, other);
      if (descending ? other > value : other < value) {
        broken_ = n;
        return false;
      }
    }
  }
  hasPrevious_ = true;
  previousNull_ = null;
  previous_ = std::move(value);
  previousKey_.assign(key);
  return true;
}

// A numeric column on a tree of digit keys (DigitKeys): digits of one width
// compare as their values do, and blank keys (NULL) come before them, as in
// SQL, so no entry left unread belongs before a row returned.  SQL's value
// comes from the record, which the key was made from: each row is still
// checked against the row before, and a record whose field is no number
// (a key that is not its record's) stops the statement.
bool Scan::NumberInOrder(const FieldColumn& column, bool unread, std::string_view stored) {
  const std::int64_t number = row_.entry.Number;
  const FieldValue value = unread ? FieldValue{} : ValueOf(column, stored);
  if (unread || (!value.null && value.kind == ColumnType::Text)) {
    broken_ = number;
    return false;
  }
  const long double here = value.kind == ColumnType::Integer ? static_cast<long double>(value.integer) : value.real;
  if (hasPrevious_) {
    const int sign = previousNull_ ? (value.null ? 0 : -1)
                     : value.null  ? 1
                                   : (previousNumber_ > here) - (previousNumber_ < here);
    if (backward_ ? sign < 0 : sign > 0) {
      broken_ = number;
      return false;
    }
  }
  hasPrevious_ = true;
  previousNull_ = value.null;
  previousNumber_ = here;
  return true;
}

// The bytes of every row come from the index and data files this scan
// opened, so whether they are still the files the profile was prepared from
// is asked of the open files themselves, where the system tells (two calls,
// where a look at the four names takes some twenty).  A set written in
// place changes the open files' sizes or times; a set renamed over the old
// one leaves the open files as they were, and their rows are of one state
// still, while the scan that opens the names next meets the new files and
// fails.  The definition and profile files are not read by a scan: the
// profile prepared from them goes with the index and data files it was
// prepared with.
bool Scan::Changed() {
  if (!changed_) {
    bool asked = index_.IsOpen() || data_.IsOpen();
    bool same = true;
    for (const auto& [file, which] : {std::pair<const ByteFile*, std::size_t>{&index_, 3}, {&data_, 2}}) {
      FileIdentity now;
      if (!file->IsOpen()) continue;
      if (!file->OpenIdentity(now)) asked = false;
      else same = same && (!state_.FilesKnown || now == state_.FilesRead[which]);
    }
    changed_ = (asked ? !same : FilesChanged(state_)) || LooksHalfWritten(state_);
  }
  readSinceCheck_ = false;
  return changed_;
}
// Each look at the files takes their identities, some system calls a file,
// as much as a point lookup costs otherwise: at the end it is taken again
// only when something was read since the last one.
bool Scan::ChangedAtEnd() { return readSinceCheck_ ? Changed() : changed_; }
std::string Scan::Error() const {
  if (changed_) return ChangedFilesText(prepared_->ispec);
  if (broken_ != 0) {
    const std::string name = prepared_->columns[static_cast<std::size_t>(checked_)].name;
    const std::string why =
        broken_ > 0 ? "entry " + std::to_string(broken_) + " of the profile " + prepared_->profile +
                          " is stored where SQL's order does not put it (SQL orders some characters otherwise)"
                    : brokenWhy_;
    return "The rows cannot be given in SQL's order of " + name + ": " + why +
           ".  ORDER BY entry_number gives them in the profile's own order.";
  }
  if (!refused_.empty()) return refused_;
  const std::string message = platform_.FirstMessage();
  return message.empty() ? std::string("The profile cannot be read.") : message;
}
int Scan::ErrorCode() const {
  if (changed_) return SQLITE_ABORT;
  if (broken_ != 0) return SQLITE_ERROR;
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
                                            const std::string& profile, std::string& problem, Failure& kind, bool look) {
  const std::shared_ptr<const Prepared> kept = table.prepared;
  if (kept && kept->dir == dir && kept->ispec == ispec && kept->profile == profile &&
      (!look || !FilesChanged(kept->state)))
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
    const int position = TypedProfilePosition(profiles, profile);
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
