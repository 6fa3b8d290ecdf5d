#include "database/KeyRecord.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "database/EntryCursor.h"
#include "database/FineProblems.h"
#include "database/ShortBytes.h"

namespace ondrel {
namespace {

// Characters of a field name an ordinate record holds (positions 2 to 11).
constexpr std::size_t kOrdinateNameLength = 10;

unsigned char AsciiCapital(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

bool PartHolds(PartStorage storage, const unsigned char* part, const unsigned char* field, int length,
               KeyCase match) {
  if (storage == PartStorage::Unknown) return true;  // not compared
  if (storage == PartStorage::Plain && match == KeyCase::Exact)
    return CompareShort(part, field, static_cast<std::size_t>(length)) == 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char stored = storage == PartStorage::Plain ? part[i] : static_cast<unsigned char>(255 - part[i]);
    const unsigned char written = field[i];
    // Keys in capitals are taken with either folding: of a to z alone, or of
    // the accented letters of the code page as well.
    const bool same = match == KeyCase::Exact      ? stored == written
                      : match == KeyCase::Capitals ? stored == AsciiCapital(written) || stored == Capital(written)
                                                   : Capital(stored) == Capital(written);
    if (!same) return false;
  }
  return true;
}

}  // namespace

KeyFields::KeyFields(const SharedState& state) : keyLength_(state.KeyLength), recordLength_(state.RecordLength) {
  if (state.RecordLength <= 0 || state.FieldCount <= 0 ||
      static_cast<std::size_t>(state.FieldCount) >= state.FieldTable.size()) {
    whyNot_ = "the definition could not be read";
    return;
  }
  if (state.Ordinates.empty()) {
    whyNot_ = "the profile names no ordinates";
    return;
  }
  // Where each field lies in the record.
  std::vector<std::int64_t> offsets(static_cast<std::size_t>(state.FieldCount) + 2, 0);
  for (int f = 1; f <= state.FieldCount; ++f) {
    const Integer width = state.FieldTable[static_cast<std::size_t>(f)].Width;
    if (width < 0) {
      whyNot_ = "the field " + state.FieldTable[static_cast<std::size_t>(f)].Name + " is " +
                std::to_string(width) + " bytes wide";
      return;
    }
    offsets[static_cast<std::size_t>(f) + 1] = offsets[static_cast<std::size_t>(f)] + width;
  }
  // The storage learnt for a descending part belongs to the key part at the
  // same place, which is this ordinate's only when the parts match the
  // ordinates one for one, in number and in length.
  partsMatch_ = state.KeyPartLengths.size() == state.Ordinates.size();
  std::int64_t total = 0;
  for (std::size_t i = 0; i < state.Ordinates.size(); ++i) {
    const OrdinateDef& ordinate = state.Ordinates[i];
    int field = 0;
    for (int f = 1; f <= state.FieldCount && field == 0; ++f)
      if (state.FieldTable[static_cast<std::size_t>(f)].Name == ordinate.Name) field = f;
    // An ordinate record holds ten characters of the name: a longer field
    // name is known there by its first ten, when no other field shares them.
    int prefixed = 0;
    for (int f = 1; f <= state.FieldCount && field == 0 && ordinate.Name.size() == kOrdinateNameLength; ++f)
      if (state.FieldTable[static_cast<std::size_t>(f)].Name.compare(0, kOrdinateNameLength, ordinate.Name) == 0)
        prefixed = prefixed == 0 ? f : -1;
    if (field == 0) field = prefixed;
    if (field < 0) {
      whyNot_ = "the ordinate " + ordinate.Name + " begins the names of more than one field";
      break;
    }
    if (field == 0) {
      whyNot_ = "the ordinate " + ordinate.Name + " is no field of the definition";
      break;
    }
    KeySegment segment;
    segment.name = state.FieldTable[static_cast<std::size_t>(field)].Name;
    segment.field = field;
    segment.keyOffset = static_cast<int>(total);
    segment.length = state.FieldTable[static_cast<std::size_t>(field)].Width;
    segment.fieldOffset = offsets[static_cast<std::size_t>(field)];
    segment.descending = ordinate.Descending;
    partsMatch_ = partsMatch_ && state.KeyPartLengths[i] == segment.length;
    total += segment.length;
    segments_.push_back(segment);
  }
  if (whyNot_.empty() && total != state.KeyLength) {
    whyNot_ = "the ordinates' fields are " + std::to_string(total) + " bytes wide together and the key " +
              std::to_string(state.KeyLength);
  }
  if (!Comparable()) {
    segments_.clear();
    partsMatch_ = false;
  }
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    KeySegment& segment = segments_[i];
    if (segment.descending)
      segment.storage = partsMatch_ && i < state.KeyPartStorage.size() ? state.KeyPartStorage[i]
                                                                       : PartStorage::Unknown;
  }
  usable_ = Comparable() && !segments_.empty();
}

bool KeyFields::FieldsOfFile(ByteFile& data, std::int64_t record, unsigned char* out,
                             unsigned char& terminator) const {
  const std::int64_t start = (record - 1) * recordLength_ + 1;
  for (const KeySegment& s : segments_)
    if (!data.Read(start + s.fieldOffset, out + s.keyOffset, static_cast<std::size_t>(s.length))) return false;
  return data.Read(start + recordLength_ - 1, &terminator, 1);
}

void KeyFields::ToStoredForm(unsigned char* key) const {
  for (const KeySegment& s : segments_) {
    unsigned char* part = key + s.keyOffset;
    if (!s.compared) {
      std::memset(part, 0, static_cast<std::size_t>(s.length));
      continue;
    }
    if (s.capitals)
      for (int i = 0; i < s.length; ++i) part[i] = Capital(part[i]);
    if (s.storage == PartStorage::Inverted)
      for (int i = 0; i < s.length; ++i) part[i] = static_cast<unsigned char>(255 - part[i]);
  }
}

void KeyFields::Masked(const unsigned char* stored, unsigned char* out) const {
  std::memcpy(out, stored, static_cast<std::size_t>(keyLength_));
  for (const KeySegment& s : segments_)
    if (!s.compared) std::memset(out + s.keyOffset, 0, static_cast<std::size_t>(s.length));
}

KeyFields::KeyFields(const SharedState& state, const KeyOrder& order) : KeyFields(state) {
  usable_ = usable_ && order.Judged();
}

std::string KeyFields::AsWritten(const KeySegment& segment, const unsigned char* part) const {
  std::string text(reinterpret_cast<const char*>(part), static_cast<std::size_t>(segment.length));
  if (segment.compared && segment.storage == PartStorage::Inverted)
    for (char& c : text) c = static_cast<char>(255 - static_cast<unsigned char>(c));
  return text;
}

bool KeyFields::SlotHoldsKey(const unsigned char* key, const char* slot, KeyCase match) const {
  for (const KeySegment& s : segments_)
    if (s.compared && !PartHolds(s.storage, key + s.keyOffset,
                                 reinterpret_cast<const unsigned char*>(slot) + s.fieldOffset, s.length, match))
      return false;
  return true;
}

std::string KeyCapitals(std::string text) {
  for (char& c : text) c = static_cast<char>(AsciiCapital(static_cast<unsigned char>(c)));
  return text;
}

bool KeyFields::RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, KeyCase match) const {
  if (!usable_ || record < 1 || !key) return true;
  std::vector<unsigned char> field;
  for (const KeySegment& s : segments_) {
    if (!s.compared) continue;
    field.resize(static_cast<std::size_t>(s.length));
    const std::int64_t position = (std::int64_t{record} - 1) * recordLength_ + s.fieldOffset + 1;
    if (s.length > 0 && !data.Read(position, field.data(), field.size())) return true;
    if (!PartHolds(s.storage, key + s.keyOffset, field.data(), s.length, match)) return false;
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
