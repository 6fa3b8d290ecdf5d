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

// `caseless`: ASCII letters compare without their case.
bool PartHolds(PartStorage storage, const unsigned char* part, const unsigned char* field, int length,
               bool caseless = false) {
  if (storage == PartStorage::Unknown) return true;  // not compared
  if (storage == PartStorage::Plain && !caseless)
    return std::memcmp(part, field, static_cast<std::size_t>(length)) == 0;
  for (int i = 0; i < length; ++i) {
    const int stored = storage == PartStorage::Plain ? part[i] : 255 - part[i];
    if (stored != field[i] && (!caseless || std::toupper(stored) != std::toupper(field[i]))) return false;
  }
  return true;
}

}  // namespace

bool KeyFields::SlotHoldsKey(const unsigned char* key, const char* slot) const {
  for (const Span& span : spans_)
    if (!PartHolds(span.storage, key + span.keyOffset, reinterpret_cast<const unsigned char*>(slot) + span.slotOffset,
                   span.length))
      return false;
  return true;
}

bool KeyFields::RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, bool caseless) const {
  if (!usable_ || record < 1 || !key) return true;
  std::vector<unsigned char> field;
  for (const Span& span : spans_) {
    field.resize(static_cast<std::size_t>(span.length));
    const std::int64_t position = (std::int64_t{record} - 1) * recordLength_ + span.slotOffset + 1;
    if (span.length > 0 && !data.Read(position, field.data(), field.size())) return true;
    if (!PartHolds(span.storage, key + span.keyOffset, field.data(), span.length, caseless)) return false;
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
  int matched = 0, mismatched = 0;
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
      // A key that is its record's fields but for the case of letters shows
      // keys folded when they were made: no damage would do that.
      if (fields.RecordHoldsKey(data, entry.Record, entry.Key, true)) return;
      ++mismatched;
    }
  }
  // A damaged entry that happens to be sampled is outvoted by the sound
  // ones, and is then met by the scans' own check.
  if (matched > mismatched) state.KeyRecords = KeyRecordCheck::Yes;
}

}  // namespace ondrel
