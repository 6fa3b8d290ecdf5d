// Fuzz target: finding text, forwards and backwards, on an arbitrary file
// set (chunks 0 to 3).
//
// Chunk 4 chooses, byte by byte: the profile; direction and case (bits 0
// and 1); the first and the largest batch; how far from either end the
// searched span starts and stops; after how many reports of progress the
// search is cancelled (0: never).  Chunk 5 is the text.
//
// The answer is judged against the lines of the entries as the record
// window reads them, each entry on its own (cursor, then its record):
//   - a match lies in the span, on an entry flagged "Y" whose record is
//     active, and the text is in its line where the answer says;
//   - no entry between the start and the match, in the direction searched,
//     holds the text; when nothing is found, no entry of the span does;
//   - a search is cancelled only when told to;
//   - the progress never runs backwards or past the whole.
// Entries or records the window cannot read are not judged.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "database/DataRecord.h"
#include "database/EntryCursor.h"
#include "fuzz/FuzzFiles.h"
#include "viewer/TextFind.h"

namespace {

using namespace ondrel;

void Judge(bool holds) {
  if (!holds) __builtin_trap();
}

// Watches the reports of a search and cancels it when told to.
class WatchedProgress : public SearchProgress {
 public:
  explicit WatchedProgress(int cancelAfter) : cancelAfter_(cancelAfter) {}
  bool Continue(std::int64_t done, std::int64_t total) override {
    Judge(done >= done_ && done <= total && total >= 0);
    Judge(total_ < 0 || total == total_);
    done_ = done;
    total_ = total;
    ++reports_;
    return cancelAfter_ == 0 || reports_ < cancelAfter_;
  }
  bool Cancelled() const { return cancelAfter_ != 0 && reports_ >= cancelAfter_; }

 private:
  int cancelAfter_;
  int reports_ = 0;
  std::int64_t done_ = 0;
  std::int64_t total_ = -1;
};

// Each entry's line as the window shows it, by entry number: none for an
// entry the window leaves out (flag, purged record), and no element at all
// for one that could not be read.
std::map<Long, std::optional<std::string>> ShownLines(SharedState& state) {
  std::map<Long, std::optional<std::string>> lines;
  ByteFile index;
  ByteFile data;
  if (!index.Open(state.IndexPath) || !data.Open(state.DataPath)) return lines;
  fuzz::FuzzPlatform quiet;
  FineProblems problems(quiet);
  const KeyOrder order(state);
  EntryCursor cursor(state, index, order, problems);
  cursor.StartAt(1);
  TreeEntry entry;
  while (cursor.Next(entry)) {
    // A damaged leaf table may give a number twice: the entry of a number is
    // the one the window shows there, in the leaf the table places it in.
    if (FindLeaf(state, entry.Number) != entry.Leaf) continue;
    if (lines.count(entry.Number) || !entry.Key || entry.Record == 0) continue;
    if (entry.Flag != 'Y') {
      lines[entry.Number] = std::nullopt;
      continue;
    }
    FineProblems recordProblems(quiet);
    if (!ReadEntryRecord(state, recordProblems, data, entry.Record)) continue;
    lines[entry.Number] = state.RecordFlag == 'Y' ? std::optional<std::string>(state.RecordLine) : std::nullopt;
  }
  return lines;
}

bool Holds(const TextMatcher& matcher, const std::optional<std::string>& line) {
  return line && matcher.Find(line->data(), line->size()) >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto chunks = fuzz::SplitChunks(data, size, 6);
  fuzz::WriteFileSet(chunks);
  unsigned char control[7] = {};
  for (std::size_t i = 0; i < sizeof control && i < chunks[4].size(); ++i)
    control[i] = static_cast<unsigned char>(chunks[4][i]);
  const bool forward = (control[1] & 1) == 0;
  const bool matchCase = (control[1] & 2) != 0;
  FindBatches batches;
  batches.first = 1 + control[2] % 16;
  batches.largest = batches.first * (1 + control[3] % 8);
  const int cancelAfter = control[6] % 4;

  SharedState state;
  fuzz::FuzzPlatform platform;
  if (!fuzz::OpenProfile(state, platform, control[0])) return 0;
  const Long total = EntryCount(state);
  const Long first = 1 + control[4] % (total + 2);
  const Long last = total - control[5] % (total + 2);

  const TextMatcher matcher(chunks[5], matchCase);
  FineProblems problems(platform);
  WatchedProgress progress(cancelAfter);
  const FindResult found = FindInEntries(state, matcher, first, last, forward, problems, &progress, batches);
  if (matcher.Empty() || last < first || state.RecordLength <= 0) {
    Judge(found.outcome == FindOutcome::NotFound);
    return 0;
  }
  if (found.outcome == FindOutcome::Cancelled) {
    Judge(progress.Cancelled());
    return 0;
  }

  const auto lines = ShownLines(state);
  // The entries the search passed over before it stopped, in the direction
  // searched, hold no match.
  Long from = forward ? first : last;
  Long to = forward ? last : first;
  if (found.outcome == FindOutcome::Found) {
    Judge(found.entry >= first && found.entry <= last);
    const auto at = lines.find(found.entry);
    if (at != lines.end()) {
      Judge(at->second.has_value());
      Judge(found.column >= 0 && matcher.Find(at->second->data(), at->second->size()) == found.column);
    }
    to = forward ? found.entry - 1 : found.entry + 1;
  }
  for (Long e = from; forward ? e <= to : e >= to; e += forward ? 1 : -1) {
    const auto at = lines.find(e);
    if (at != lines.end()) Judge(!Holds(matcher, at->second));
  }
  return 0;
}
