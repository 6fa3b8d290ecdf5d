#include "database/KeyOrder.h"

#include <algorithm>
#include <cstring>

#include "database/BigEndian.h"
#include "database/ShortBytes.h"
#include "database/Definition.h"

namespace ondrel {
namespace {

// The key's parts from the key description, with the direction of each from
// the ordinate at the same place; empty (and `why` set) when the ordinates do
// not match the parts in number.
std::vector<KeyPartOrder> PartsOf(const SharedState& state, std::string& why) {
  std::vector<KeyPartOrder> parts;
  const auto& lengths = state.KeyPartLengths;
  if (lengths.empty()) {
    why = "the key description has no parts";
    return parts;
  }
  if (state.Ordinates.size() != lengths.size()) {
    why = "the profile names " + std::to_string(state.Ordinates.size()) + " ordinates for the key's " +
          std::to_string(lengths.size()) + " parts";
    return parts;
  }
  int offset = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    if (lengths[i] < 0) {
      why = "a key part has the length " + std::to_string(lengths[i]);
      return {};
    }
    KeyPartOrder part;
    part.offset = offset;
    part.length = lengths[i];
    part.descending = state.Ordinates[i].Descending;
    part.name = state.Ordinates[i].Name;
    part.storage = !part.descending ? PartStorage::Plain
                   : i < state.KeyPartStorage.size() ? state.KeyPartStorage[i]
                                                     : PartStorage::Unknown;
    offset += part.length;
    parts.push_back(part);
  }
  return parts;
}

}  // namespace

KeyOrder::KeyOrder(const SharedState& state) {
  parts_ = PartsOf(state, unmatched_);
  for (const KeyPartOrder& part : parts_) keyLength_ += part.length;
  if (!parts_.empty() && keyLength_ != state.KeyLength)
    unmatched_ = "the key parts add up to " + std::to_string(keyLength_) + " bytes, not the key's " +
                 std::to_string(state.KeyLength);
  // With the definition loaded, each ordinate must name a field exactly as
  // wide as its part.
  const bool definition = state.RecordLength > 0 && state.FieldCount > 0 &&
                          static_cast<std::size_t>(state.FieldCount) < state.FieldTable.size();
  for (std::size_t i = 0; definition && unmatched_.empty() && i < parts_.size(); ++i) {
    KeyPartOrder& part = parts_[i];
    for (int f = 1; f <= state.FieldCount && part.field == 0; ++f)
      if (state.FieldTable[static_cast<std::size_t>(f)].Name == part.name) part.field = f;
    if (part.field == 0) {
      unmatched_ = "the ordinate " + part.name + " is no field of the definition";
    } else if (state.FieldTable[static_cast<std::size_t>(part.field)].Width != part.length) {
      unmatched_ = "the ordinate " + part.name + " is " +
                   std::to_string(state.FieldTable[static_cast<std::size_t>(part.field)].Width) +
                   " bytes wide and its key part " + std::to_string(part.length);
    }
  }
  judged_ = unmatched_.empty();
  ascending_ = std::none_of(parts_.begin(), parts_.end(), [](const KeyPartOrder& p) { return p.descending; });
}

int FirstDifferingPart(const std::vector<KeyPartOrder>& parts, const unsigned char* a, const unsigned char* b,
                       int* sign) {
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const KeyPartOrder& part = parts[i];
    if (part.length <= 0) continue;  // a part of no bytes is equal everywhere (and may point nowhere)
    const int cmp = CompareShort(a + part.offset, b + part.offset, static_cast<std::size_t>(part.length));
    if (cmp != 0) {
      *sign = cmp;
      return static_cast<int>(i);
    }
  }
  return -1;
}

KeyComparison KeyOrder::CompareByParts(const unsigned char* a, const unsigned char* b) const {
  if (!judged_) return KeyComparison::Unknown;
  int sign = 0;
  const int i = FirstDifferingPart(parts_, a, b, &sign);
  if (i < 0) return KeyComparison::Same;
  const KeyPartOrder& part = parts_[static_cast<std::size_t>(i)];
  bool before = sign < 0;
  if (part.descending) {
    if (part.storage == PartStorage::Unknown) return KeyComparison::Unknown;
    if (part.storage == PartStorage::Plain) before = !before;
  }
  return before ? KeyComparison::Before : KeyComparison::After;
}

void LearnPartStorage(SharedState& state, ByteFile& index) {
  std::string why;
  const std::vector<KeyPartOrder> parts = PartsOf(state, why);
  state.KeyPartStorage.assign(parts.size(), PartStorage::Unknown);
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (!parts[i].descending) state.KeyPartStorage[i] = PartStorage::Plain;
  const bool anyDescending =
      std::any_of(parts.begin(), parts.end(), [](const KeyPartOrder& p) { return p.descending; });
  const std::size_t leaves = state.LeafTable.size() > 0 ? state.LeafTable.size() - 1 : 0;
  const int entrySize = 1 + state.KeyLength + state.EntryTail;
  if (!anyDescending || leaves == 0 || state.NodeSize < 4 || entrySize < 1 + state.KeyLength) return;

  std::vector<long> rising(parts.size(), 0), falling(parts.size(), 0);
  std::vector<unsigned char> previous;  // the last key of the leaf sampled before
  auto vote = [&](const unsigned char* a, const unsigned char* b) {
    int sign = 0;
    const int i = FirstDifferingPart(parts, a, b, &sign);
    if (i >= 0 && parts[static_cast<std::size_t>(i)].descending) (sign < 0 ? rising : falling)[static_cast<std::size_t>(i)]++;
  };

  const std::size_t samples = std::min<std::size_t>(leaves, kStorageSampleLeaves);
  std::vector<unsigned char> node(static_cast<std::size_t>(state.NodeSize));
  for (std::size_t s = 0; s < samples; ++s) {
    const std::size_t k = samples == 1 ? 1 : 1 + s * (leaves - 1) / (samples - 1);
    if (!index.Read(state.LeafTable[k].NodePos, node.data(), node.size())) continue;
    const int used = BE16(node.data());
    const int level = BE16(node.data() + node.size() - 2) / 256;
    // Only a plausible leaf is taken as evidence.
    if (level != 0 || used < 2 || used > state.NodeSize - 2) continue;
    const int entries = (used - 2) / entrySize;
    for (int e = 0; e < entries; ++e) {
      const unsigned char* key = node.data() + 2 + e * entrySize + 1;
      if (!previous.empty()) vote(previous.data(), key);
      previous.assign(key, key + state.KeyLength);
    }
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!parts[i].descending) continue;
    if (rising[i] > falling[i]) state.KeyPartStorage[i] = PartStorage::Inverted;
    if (falling[i] > rising[i]) state.KeyPartStorage[i] = PartStorage::Plain;
  }
}

}  // namespace ondrel
