#include "check/CheckKeys.h"

#include <cstring>

#include "check/CheckReport.h"

namespace ondrel::check {
namespace {

// Characters of a field name an ordinate record holds (positions 2 to 11).
constexpr std::size_t kOrdinateNameLength = 10;

}  // namespace

KeyLayout::KeyLayout(const SharedState& state) : keyLength_(state.KeyLength), recordLength_(state.RecordLength) {
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
      whyNot_ = "the field " + ReportText(state.FieldTable[static_cast<std::size_t>(f)].Name) + " is " +
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
      whyNot_ = "the ordinate " + ReportText(ordinate.Name) + " begins the names of more than one field";
      break;
    }
    if (field == 0) {
      whyNot_ = "the ordinate " + ReportText(ordinate.Name) + " is no field of the definition";
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
}

bool KeyLayout::FieldsOfFile(ByteFile& data, std::int64_t record, unsigned char* out,
                             unsigned char& terminator) const {
  const std::int64_t start = (record - 1) * recordLength_ + 1;
  for (const KeySegment& s : segments_)
    if (!data.Read(start + s.fieldOffset, out + s.keyOffset, static_cast<std::size_t>(s.length))) return false;
  return data.Read(start + recordLength_ - 1, &terminator, 1);
}

void KeyLayout::ToStoredForm(unsigned char* key) const {
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

void KeyLayout::Masked(const unsigned char* stored, unsigned char* out) const {
  std::memcpy(out, stored, static_cast<std::size_t>(keyLength_));
  for (const KeySegment& s : segments_)
    if (!s.compared) std::memset(out + s.keyOffset, 0, static_cast<std::size_t>(s.length));
}

std::string KeyLayout::SegmentText(const KeySegment& segment, const unsigned char* bytes) const {
  std::string text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(segment.length));
  if (segment.compared && segment.storage == PartStorage::Inverted)
    for (char& c : text) c = static_cast<char>(255 - static_cast<unsigned char>(c));
  return text;
}

std::string KeyLayout::Differences(const unsigned char* stored, const unsigned char* expected) const {
  std::string text;
  for (const KeySegment& s : segments_) {
    if (!s.compared ||
        std::memcmp(stored + s.keyOffset, expected + s.keyOffset, static_cast<std::size_t>(s.length)) == 0)
      continue;
    if (!text.empty()) text += "; ";
    text += ReportText(s.name) + " " + KeyText(SegmentText(s, stored + s.keyOffset)) + " in the key, " +
            KeyText(SegmentText(s, expected + s.keyOffset)) + " in the record";
  }
  return text;
}

std::string KeyLayout::Text(const unsigned char* key) const {
  std::string bytes;
  if (!Comparable())
    bytes.assign(reinterpret_cast<const char*>(key), static_cast<std::size_t>(keyLength_));
  for (const KeySegment& s : segments_) bytes += SegmentText(s, key + s.keyOffset);
  return KeyText(bytes);
}

bool InteriorKeys::After(const unsigned char* a, const unsigned char* b, int keyLength) const {
  if (order_ && order_->Judged()) return order_->Compare(a, b) == KeyComparison::After;
  return std::memcmp(a, b, static_cast<std::size_t>(keyLength)) > 0;
}

std::string InteriorKeys::Broken(const InteriorLink& link, bool last, const KeyLayout* layout, int keyLength) const {
  const auto text = [&](const unsigned char* key) { return layout ? layout->Text(key) : std::string(); };
  const std::string child = "child node " + std::to_string(link.child);
  const unsigned char* own = last ? link.childLast : link.childFirst;
  if (!order_ || !order_->Judged()) {
    if (std::memcmp(link.key, own, static_cast<std::size_t>(keyLength)) == 0) return "";
    return "its key " + text(link.key) + " differs from " + text(own) + ", the " + (last ? "last" : "first") +
           " key of its " + child;
  }
  if (last ? After(own, link.key, keyLength) : After(link.key, own, keyLength))
    return "its key " + text(link.key) + (last ? " lies before " : " lies after ") + text(own) + ", the " +
           (last ? "last" : "first") + " key of its " + child;
  const unsigned char* sibling = last ? link.previousKey : link.nextKey;
  const unsigned char* far = last ? link.childFirst : link.childLast;
  if (sibling && (last ? After(sibling, far, keyLength) : After(far, sibling, keyLength)))
    return "its " + child + (last ? " begins with the key " : " ends with the key ") + text(far) +
           (last ? ", before " : ", after ") + text(sibling) + ", the key of entry " +
           std::to_string(link.position + (last ? -1 : 1));
  return "";
}

void InteriorKeys::Count(const InteriorLink& link, int keyLength) {
  if (!link.childFirst) return;
  const auto n = static_cast<std::size_t>(keyLength);
  const bool first = std::memcmp(link.key, link.childFirst, n) == 0;
  const bool last = std::memcmp(link.key, link.childLast, n) == 0;
  if (first && last) ++both_;
  else if (first) ++firstOnly_;
  else if (last) ++lastOnly_;
  else ++neither_;
  if (!Broken(link, true, nullptr, keyLength).empty()) ++breaksLast_;
  if (!Broken(link, false, nullptr, keyLength).empty()) ++breaksFirst_;
}

// The convention is the one that more interior entries follow alone: those
// equal to their child's last key and not to its first, against those equal
// to its first and not to its last.  An entry equal to both (a child whose
// keys are all equal) tells nothing.  A tree of one leaf has no interior
// entry; a tree in which the two counts are equal holds too little to tell,
// and none of its interior keys is judged (with a note when the counts are
// not 0, so the user knows the check was not made).  Whichever convention a
// sound tree follows, it breaks nothing: its entries all count for it.
InteriorKeys::Convention InteriorKeys::Decide() {
  if (lastOnly_ > firstOnly_) convention_ = Convention::LastOfChild;
  else if (firstOnly_ > lastOnly_) convention_ = Convention::FirstOfChild;
  else convention_ = Convention::Unknown;
  return convention_;
}

std::int64_t InteriorKeys::Breaks() const {
  switch (convention_) {
    case Convention::LastOfChild: return breaksLast_;
    case Convention::FirstOfChild: return breaksFirst_;
    case Convention::Unknown: return 0;
  }
  return 0;
}

std::string InteriorKeys::Undecided() const {
  if (convention_ != Convention::Unknown || firstOnly_ + lastOnly_ + neither_ == 0) return "";
  return "The interior keys are not judged: " + std::to_string(firstOnly_) +
         " carry their child's first key and " + std::to_string(lastOnly_) + " its last, " +
         std::to_string(neither_) + " neither, which shows no convention.";
}

std::string InteriorKeys::Problem(const InteriorLink& link, const KeyLayout& layout, int keyLength) const {
  if (convention_ == Convention::Unknown || !link.childFirst) return "";
  const bool last = convention_ == Convention::LastOfChild;
  const std::string broken = Broken(link, last, &layout, keyLength);
  if (broken.empty()) return "";
  return "Node " + std::to_string(link.node) + ", entry " + std::to_string(link.position) + ": " + broken +
         " (the tree's interior keys carry their child's " + (last ? "last" : "first") + " key).";
}

}  // namespace ondrel::check
