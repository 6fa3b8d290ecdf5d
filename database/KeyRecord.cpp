#include "database/KeyRecord.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "database/EntryCursor.h"
#include "database/FineProblems.h"

namespace ondrel {

KeyFields::KeyFields(const SharedState& state, const KeyOrder& order) {
  recordLength_ = state.RecordLength;
  if (!order.Judged() || state.RecordLength <= 0 || state.FieldCount <= 0) return;
  // Offsets of the fields in a slot.
  std::vector<std::int64_t> offsets(static_cast<std::size_t>(state.FieldCount) + 1, 0);
  for (int f = 1; f < state.FieldCount; ++f)
    offsets[static_cast<std::size_t>(f) + 1] =
        offsets[static_cast<std::size_t>(f)] + std::max<Integer>(state.FieldTable[static_cast<std::size_t>(f)].Width, 0);
  for (const KeyPartOrder& part : order.Parts()) {
    if (part.field < 1) return;
    spans_.push_back({part.offset, part.length, offsets[static_cast<std::size_t>(part.field)], part.storage});
  }
  usable_ = !spans_.empty();
}

namespace {

unsigned char Capital(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

bool PartHolds(PartStorage storage, const unsigned char* part, const unsigned char* field, int length,
               KeyCase match) {
  if (storage == PartStorage::Unknown) return true;  // not compared
  if (storage == PartStorage::Plain && match == KeyCase::Exact)
    return std::memcmp(part, field, static_cast<std::size_t>(length)) == 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char stored = storage == PartStorage::Plain ? part[i] : static_cast<unsigned char>(255 - part[i]);
    const unsigned char written = field[i];
    const bool same = match == KeyCase::Exact      ? stored == written
                      : match == KeyCase::Capitals ? stored == Capital(written)
                                                   : Capital(stored) == Capital(written);
    if (!same) return false;
  }
  return true;
}

}  // namespace

bool KeyFields::SlotHoldsKey(const unsigned char* key, const char* slot) const {
  for (const Span& span : spans_)
    if (!PartHolds(span.storage, key + span.keyOffset, reinterpret_cast<const unsigned char*>(slot) + span.slotOffset,
                   span.length, KeyCase::Exact))
      return false;
  return true;
}

std::string KeyCapitals(std::string text) {
  for (char& c : text) c = static_cast<char>(Capital(static_cast<unsigned char>(c)));
  return text;
}

bool KeyFields::RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, KeyCase match) const {
  if (!usable_ || record < 1 || !key) return true;
  std::vector<unsigned char> field;
  for (const Span& span : spans_) {
    field.resize(static_cast<std::size_t>(span.length));
    const std::int64_t position = (std::int64_t{record} - 1) * recordLength_ + span.slotOffset + 1;
    if (span.length > 0 && !data.Read(position, field.data(), field.size())) return true;
    if (!PartHolds(span.storage, key + span.keyOffset, field.data(), span.length, match)) return false;
  }
  return true;
}

void LearnKeyRecordCheck(SharedState& state, ByteFile& index, ByteFile& data) {
  if (state.KeyRecords != KeyRecordCheck::Unknown || state.RecordLength <= 0 || state.Heading.empty()) return;
  state.KeyRecords = KeyRecordCheck::No;
  const KeyOrder order(state);
  const KeyFields fields(state, order);
  const std::size_t leaves = state.LeafTable.size() > 0 ? state.LeafTable.size() - 1 : 0;
  if (!fields.Usable() || leaves == 0 || !index.IsOpen() || !data.IsOpen()) return;

  // What the sample cannot read is no verdict on the keys: it is not told.
  class Unheard : public QuietPlatform {
    [[noreturn]] void EndProgram() override { std::abort(); }  // a reading problem never ends the program
  } quiet;
  FineProblems ignored(quiet);
  EntryCursor cursor(state, index, order, ignored);
  const std::size_t samples = std::min<std::size_t>(leaves, kStorageSampleLeaves);
  int matched = 0, inCapitals = 0, mismatched = 0;
  for (std::size_t s = 0; s < samples; ++s) {
    const std::size_t k = samples == 1 ? 1 : 1 + s * (leaves - 1) / (samples - 1);
    cursor.StartAt(static_cast<Long>(k));
    TreeEntry entry;
    for (int taken = 0; taken < kKeyRecordSamplesPerLeaf && cursor.Next(entry) && entry.Leaf == static_cast<Long>(k);
         ++taken) {
      if (!entry.Key || entry.Flag != 'Y') continue;
      // Only an active record counts: a purged one may hold anything.
      unsigned char terminator = 0;
      if (entry.Record < 1 ||
          !data.Read(std::int64_t{entry.Record} * state.RecordLength, &terminator, 1) || terminator != '\n')
        continue;
      if (fields.RecordHoldsKey(data, entry.Record, entry.Key)) {
        ++matched;
        continue;
      }
      if (fields.RecordHoldsKey(data, entry.Record, entry.Key, KeyCase::Capitals)) {
        ++inCapitals;
        continue;
      }
      // A key that is its record's fields but for the case of letters, and
      // not their capitals, shows keys folded some other way when they were
      // made: no damage would do that.
      if (fields.RecordHoldsKey(data, entry.Record, entry.Key, KeyCase::Caseless)) return;
      ++mismatched;
    }
  }
  // A damaged entry that happens to be sampled is outvoted by the sound
  // ones, and is then met by the scans' own check.
  if (matched + inCapitals > mismatched)
    state.KeyRecords = inCapitals > 0 ? KeyRecordCheck::Capitals : KeyRecordCheck::Yes;
}

}  // namespace ondrel
