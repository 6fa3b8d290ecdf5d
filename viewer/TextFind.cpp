#include "viewer/TextFind.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "database/DataRecord.h"
#include "database/Definition.h"
#include "database/EntryCursor.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/RecordBatch.h"

namespace ondrel {
namespace {

// Small letters for capitals, by the code page's own pairs.
constexpr std::array<unsigned char, 256> FoldTable() {
  std::array<unsigned char, 256> fold{};
  for (int b = 0; b < 256; ++b) fold[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b);
  for (int b = 'A'; b <= 'Z'; ++b) fold[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b + 32);
  for (int b = 0xC0; b <= 0xDE; ++b)
    if (b != 0xD7) fold[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b + 32);  // not the sign x
  fold[0x8A] = 0x9A;  // S caron
  fold[0x8C] = 0x9C;  // OE
  fold[0x8E] = 0x9E;  // Z caron
  fold[0x9F] = 0xFF;  // Y diaeresis
  return fold;
}
constexpr std::array<unsigned char, 256> kFold = FoldTable();

void Fold(std::string& text) {
  for (char& c : text) c = static_cast<char>(kFold[static_cast<unsigned char>(c)]);
}

// Batches of a long search: the first small, so that a match nearby comes
// at once; the largest still short enough that the progress is told and
// Cancel is seen several times a second.
constexpr std::int64_t kFirstBatch = 256;
constexpr std::int64_t kLargestBatch = 1 << 20;

}  // namespace

TextMatcher::TextMatcher(std::string text, bool matchCase) : text_(std::move(text)), matchCase_(matchCase) {
  if (!matchCase_) Fold(text_);
}

long TextMatcher::Find(const char* line, std::size_t length) const {
  if (text_.empty() || text_.size() > length) return -1;
  const char* in = line;
  if (!matchCase_) {
    folded_.assign(line, length);
    Fold(folded_);
    in = folded_.data();
  }
  const void* at = memmem(in, length, text_.data(), text_.size());
  return at ? static_cast<long>(static_cast<const char*>(at) - in) : -1;
}

long TextMatcher::FindInSlot(const SharedState& state, const char* slot, std::string& scratch) const {
  // The record line as RecordFromSlot makes it, without touching the state.
  scratch.clear();
  const char* at = slot;
  const int fieldCount = state.FieldCount;
  bool ended = false;
  for (int i = 1; i <= fieldCount && !ended; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const auto width = static_cast<std::size_t>(field.Width < 0 ? 0 : field.Width);
    if (width == 1 && *at == '\0') {
      ended = true;
      break;
    }
    if (IsDisplayedField(field.Name)) {
      scratch.append(at, width);
      scratch += ' ';
    }
    at += width;
  }
  if (!ended && *at != '\n') return -1;  // purged: the window shows no line of it
  return Find(scratch.data(), scratch.size());
}

namespace {

// Tests each slot of a batch as it is read, keeping where it matched.
class MatchVisitor : public SlotVisitor {
 public:
  MatchVisitor(const SharedState& state, const TextMatcher& matcher, std::vector<long>& found,
               std::vector<unsigned char>& read)
      : state_(state), matcher_(matcher), found_(found), read_(read) {}
  void Visit(std::size_t place, const char* slot) override {
    if (!slot) return;
    read_[place] = 1;
    found_[place] = matcher_.FindInSlot(state_, slot, scratch_);
  }

 private:
  const SharedState& state_;
  const TextMatcher& matcher_;
  std::vector<long>& found_;
  std::vector<unsigned char>& read_;
  std::string scratch_;
};

struct Candidate {
  Long entry;
  std::int64_t place;  // in the batch; -1 for an entry the window does not show
  Long record;
};

}  // namespace

FindResult FindInEntries(SharedState& state, const TextMatcher& matcher, Long first, Long last, bool forward,
                         FineProblems& problems, SearchProgress* progress) {
  FindResult result;
  if (matcher.Empty() || last < first || state.RecordLength <= 0) return result;
  ByteFile index;
  ByteFile data;
  if (!index.Open(state.IndexPath)) problems.Other();
  if (!data.Open(state.DataPath)) problems.Other();
  if (!index.IsOpen()) return result;
  const KeyOrder order(state);
  RecordBatch batch(data, state.RecordLength);
  std::vector<Candidate> chunk;
  std::vector<long> found;
  std::vector<unsigned char> read;
  const std::int64_t total = std::int64_t{last} - first + 1;
  std::int64_t done = 0;
  std::int64_t size = kFirstBatch;

  // Each chunk of entries [from, to], read in key order from the leaf that
  // holds `from`.
  for (std::int64_t from = forward ? first : std::max<std::int64_t>(first, std::int64_t{last} - size + 1),
                    to = forward ? std::min<std::int64_t>(last, std::int64_t{first} + size - 1) : last;
       from <= to;) {
    chunk.clear();
    batch.Clear();
    EntryCursor cursor(state, index, order, problems);
    const Long leaf = FindLeaf(state, static_cast<double>(from));
    cursor.StartAt(leaf);
    TreeEntry entry;
    while (leaf != 0 && cursor.Next(entry) && entry.Number <= to) {
      if (entry.Number < from) continue;
      const bool shown = entry.Flag == 'Y';
      chunk.push_back({entry.Number, shown ? static_cast<std::int64_t>(batch.Add(entry.Record)) : -1, entry.Record});
    }
    found.assign(batch.Size(), -1);
    read.assign(batch.Size(), 0);
    MatchVisitor visitor(state, matcher, found, read);
    if (data.IsOpen() && state.RecordLength <= kWholeSlotLimit) batch.Read(visitor);

    // The chunk in key order (backwards when searching back): the first
    // match met.  A record not read whole is read as the window reads it.
    const std::size_t n = chunk.size();
    for (std::size_t k = 0; k < n; ++k) {
      const Candidate& c = chunk[forward ? k : n - 1 - k];
      if (c.place < 0) continue;
      long column = found[static_cast<std::size_t>(c.place)];
      if (!read[static_cast<std::size_t>(c.place)]) {
        // What the window shows of it: the fields read before a failure.
        ReadEntryRecord(state, problems, data, c.record);
        column = state.RecordFlag == 'Y' ? matcher.Find(state.RecordLine.data(), state.RecordLine.size()) : -1;
      }
      if (column >= 0) {
        result.outcome = FindOutcome::Found;
        result.entry = c.entry;
        result.column = column;
        return result;
      }
    }

    done += to - from + 1;
    if (progress && !progress->Continue(done, total)) {
      result.outcome = FindOutcome::Cancelled;
      return result;
    }
    size = std::min(size * 4, kLargestBatch);
    if (forward) {
      from = to + 1;
      to = std::min<std::int64_t>(last, to + size);
    } else {
      to = from - 1;
      from = std::max<std::int64_t>(first, from - size);
    }
  }
  return result;
}

}  // namespace ondrel
