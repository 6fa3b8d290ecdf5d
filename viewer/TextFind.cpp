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
#include "viewer/RecordMatches.h"

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

}  // namespace

namespace {

std::string Prepared(std::string text, bool matchCase) {
  if (!matchCase) Fold(text);
  return text;
}

}  // namespace

TextMatcher::TextMatcher(std::string text, bool matchCase)
    : text_(Prepared(std::move(text), matchCase)), matchCase_(matchCase), searcher_(text_.begin(), text_.end()) {}

long TextMatcher::Find(const char* line, std::size_t length) const {
  if (text_.empty() || text_.size() > length) return -1;
  const char* in = line;
  if (!matchCase_) {
    folded_.assign(line, length);
    Fold(folded_);
    in = folded_.data();
  }
  const char* at = std::search(in, in + length, searcher_);
  return at == in + length ? -1 : static_cast<long>(at - in);
}

void TextMatcher::Learn(const SharedState& state) const {
  shown_.clear();
  runs_.clear();
  oneByte_.clear();
  usable_ = false;
  learntLength_ = state.RecordLength;
  learntFields_ = state.FieldCount;
  // A text holding a blank may run across the blank that follows a field in
  // the line; such a text is looked for in the line made whole.
  if (text_.find(' ') != std::string::npos || state.FieldCount < 1 ||
      static_cast<std::size_t>(state.FieldCount) >= state.FieldTable.size())
    return;
  std::size_t slot = 0;
  std::size_t column = 0;
  for (int i = 1; i <= state.FieldCount; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const auto width = static_cast<std::size_t>(field.Width < 0 ? 0 : field.Width);
    if (width == 1) oneByte_.push_back(slot);
    if (IsDisplayedField(field.Name)) {
      shown_.push_back({slot, width, column});
      column += width + 1;
    }
    slot += width;
  }
  terminator_ = slot;
  for (std::size_t i = 0; i < shown_.size(); ++i) {
    if (!runs_.empty() && shown_[runs_.back().last - 1].slot + shown_[runs_.back().last - 1].width == shown_[i].slot)
      runs_.back().last = i + 1;
    else
      runs_.push_back({i, i + 1});
  }
  usable_ = terminator_ + 1 == static_cast<std::size_t>(state.RecordLength);
}

long TextMatcher::FindInSlot(const SharedState& state, const char* slot, std::string& scratch) const {
  if (learntLength_ != state.RecordLength || learntFields_ != state.FieldCount) Learn(state);
  if (usable_ && std::none_of(oneByte_.begin(), oneByte_.end(), [slot](std::size_t at) { return slot[at] == '\0'; })) {
    if (slot[terminator_] != '\n') return -1;  // purged: the window shows no line of it
    // A text without a blank lies within one field of the line: each run of
    // shown fields is searched where it lies in the slot, and a match that
    // runs from one field into the next (which the line keeps apart with a
    // blank) is passed over.
    for (const Run& run : runs_) {
      const std::size_t begin = shown_[run.first].slot;
      const std::size_t end = shown_[run.last - 1].slot + shown_[run.last - 1].width;
      std::size_t field = run.first;
      for (std::size_t from = begin; from < end;) {
        const long found = Find(slot + from, end - from);
        if (found < 0) break;
        const std::size_t at = from + static_cast<std::size_t>(found);
        while (shown_[field].slot + shown_[field].width <= at) ++field;
        if (at + text_.size() <= shown_[field].slot + shown_[field].width)
          return static_cast<long>(shown_[field].column + (at - shown_[field].slot));
        from = at + 1;
      }
    }
    return -1;
  }
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

namespace {

// The column of the text in the line the window shows of entry `record`,
// read now, or -1.
long ColumnInRecord(SharedState& state, const TextMatcher& matcher, FineProblems& problems, ByteFile& data,
                    Long record) {
  ReadEntryRecord(state, problems, data, record);
  return state.RecordFlag == 'Y' ? matcher.Find(state.RecordLine.data(), state.RecordLine.size()) : -1;
}

struct Search {
  SharedState& state;
  const TextMatcher& matcher;
  FineProblems& problems;
  SearchProgress* progress;
  ByteFile& index;
  ByteFile& data;
  const KeyOrder& order;
  std::int64_t total;  // entries of the whole search, for the progress
  FindBatches batches;
  std::int64_t told = 0;  // the progress told last
};

// Tells the progress: never less than was told before (a pass whose match
// is lost goes back to batches over entries its share already counted), nor
// more than the whole.  False to cancel.
bool Tell(Search& s, std::int64_t done) {
  if (!s.progress) return true;
  s.told = std::clamp(done, s.told, s.total);
  return s.progress->Continue(s.told, s.total);
}

FindResult InChunks(Search& s, Long first, Long last, bool forward, std::int64_t done, bool passAllowed);

// Entries [first, last] through one pass over the data file (RecordMatches),
// then a walk of the entries in key order that stops at the first match in
// the search's direction.  That record is read again, as the window reads
// it, and a record that no longer holds the text (the file was written
// since) is passed over.  `usable` false: no pass could be made.
FindResult ByPass(Search& s, Long first, Long last, bool forward, std::int64_t done, bool& usable) {
  FindResult result;
  usable = true;
  const auto span = static_cast<double>(std::int64_t{last} - first + 1);
  // The pass is most of the cost: nine tenths of the span's progress.
  auto tell = [&](double share) { return Tell(s, done + static_cast<std::int64_t>(span * std::min(share, 1.0))); };
  RecordMatches matches;
  const auto scanned = matches.Scan(s.state, s.matcher, s.data, [&](double share) { return tell(0.9 * share); });
  if (scanned == RecordMatches::Outcome::Unusable) {
    usable = false;
    return result;
  }
  if (scanned == RecordMatches::Outcome::Cancelled) {
    result.outcome = FindOutcome::Cancelled;
    return result;
  }

  EntryCursor cursor(s.state, s.index, s.order, s.problems);
  const Long leaf = FindLeaf(s.state, static_cast<double>(first));
  cursor.StartAt(leaf);
  TreeEntry entry;
  Long candidate = 0;  // searching back: the last entry that may match
  Long candidateRecord = 0;
  std::int64_t walked = 0;
  while (leaf != 0 && cursor.Next(entry) && entry.Number <= last) {
    if ((++walked & 0xFFFF) == 0 && !tell(0.9 + 0.1 * static_cast<double>(walked) / span)) {
      result.outcome = FindOutcome::Cancelled;
      return result;
    }
    if (entry.Number < first || entry.Flag != 'Y') continue;
    // A record outside the file as it was read is read the window's way.
    if (matches.Read(entry.Record) && !matches.Matches(entry.Record)) continue;
    if (!forward) {
      candidate = entry.Number;
      candidateRecord = entry.Record;
      continue;
    }
    const long column = ColumnInRecord(s.state, s.matcher, s.problems, s.data, entry.Record);
    if (column >= 0) {
      result = {FindOutcome::Found, entry.Number, column};
      return result;
    }
  }
  if (candidate != 0) {
    const long column = ColumnInRecord(s.state, s.matcher, s.problems, s.data, candidateRecord);
    if (column >= 0) return {FindOutcome::Found, candidate, column};
    // The file changed under the search: the entries before, batch by batch.
    return InChunks(s, first, candidate - 1, false, done, false);
  }
  return result;
}

FindResult InChunks(Search& s, Long first, Long last, bool forward, std::int64_t done, bool passAllowed) {
  FindResult result;
  RecordBatch batch(s.data, s.state.RecordLength);
  std::vector<Candidate> chunk;
  std::vector<long> found;
  std::vector<unsigned char> read;
  std::int64_t size = std::max<std::int64_t>(1, s.batches.first);
  const std::int64_t largest = std::max(size, s.batches.largest);
  const std::int64_t fileRecords = WholeSlots(s.data, s.state.RecordLength);

  // Each chunk of entries [from, to], read in key order from the leaf that
  // holds `from`.
  for (std::int64_t from = forward ? first : std::max<std::int64_t>(first, std::int64_t{last} - size + 1),
                    to = forward ? std::min<std::int64_t>(last, std::int64_t{first} + size - 1) : last;
       from <= to;) {
    // Once the chunks are at their largest and what is left to search is a
    // large share of the data file (a quarter or more of its records), one
    // pass over the whole file costs less than reading it again for each
    // chunk when the key order scatters the records, and about the same
    // when it does not.
    const std::int64_t left = forward ? std::int64_t{last} - from + 1 : to - first + 1;
    if (passAllowed && size == largest && s.data.IsOpen() && left >= fileRecords / 4) {
      bool usable = false;
      result = forward ? ByPass(s, static_cast<Long>(from), last, true, done, usable)
                       : ByPass(s, first, static_cast<Long>(to), false, done, usable);
      if (usable) return result;
      passAllowed = false;
    }
    chunk.clear();
    batch.Clear();
    EntryCursor cursor(s.state, s.index, s.order, s.problems);
    const Long leaf = FindLeaf(s.state, static_cast<double>(from));
    cursor.StartAt(leaf);
    TreeEntry entry;
    while (leaf != 0 && cursor.Next(entry) && entry.Number <= to) {
      if (entry.Number < from) continue;
      const bool shown = entry.Flag == 'Y';
      chunk.push_back({entry.Number, shown ? static_cast<std::int64_t>(batch.Add(entry.Record)) : -1, entry.Record});
    }
    found.assign(batch.Size(), -1);
    read.assign(batch.Size(), 0);
    MatchVisitor visitor(s.state, s.matcher, found, read);
    if (s.data.IsOpen() && s.state.RecordLength <= kWholeSlotLimit) batch.Read(visitor);

    // The chunk in key order (backwards when searching back): the first
    // match met.  A record not read whole is read as the window reads it.
    const std::size_t n = chunk.size();
    for (std::size_t k = 0; k < n; ++k) {
      const Candidate& c = chunk[forward ? k : n - 1 - k];
      if (c.place < 0) continue;
      long column = found[static_cast<std::size_t>(c.place)];
      // What the window shows of it: the fields read before a failure.
      if (!read[static_cast<std::size_t>(c.place)])
        column = ColumnInRecord(s.state, s.matcher, s.problems, s.data, c.record);
      if (column >= 0) {
        result.outcome = FindOutcome::Found;
        result.entry = c.entry;
        result.column = column;
        return result;
      }
    }

    done += to - from + 1;
    if (!Tell(s, done)) {
      result.outcome = FindOutcome::Cancelled;
      return result;
    }
    size = std::min(size * 4, largest);
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

}  // namespace

FindResult FindInEntries(SharedState& state, const TextMatcher& matcher, Long first, Long last, bool forward,
                         FineProblems& problems, SearchProgress* progress, FindBatches batches) {
  if (matcher.Empty() || last < first || state.RecordLength <= 0) return {};
  ByteFile index;
  ByteFile data;
  if (!index.Open(state.IndexPath)) problems.Other();
  if (!data.Open(state.DataPath)) problems.Other();
  if (!index.IsOpen()) return {};
  const KeyOrder order(state);
  Search search{state, matcher, problems, progress, index, data, order, std::int64_t{last} - first + 1, batches};
  return InChunks(search, first, last, forward, 0, true);
}

}  // namespace ondrel
