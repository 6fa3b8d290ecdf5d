#include "check/CheckKeys.h"

#include <cstring>

#include "check/CheckReport.h"

namespace ondrel::check {
namespace {

std::string SegmentText(const KeyFields& layout, const KeySegment& segment, const unsigned char* bytes) {
  return layout.AsWritten(segment, bytes);
}

}  // namespace

std::string KeyDifferences(const KeyFields& layout, const unsigned char* stored, const unsigned char* expected) {
  std::string text;
  for (const KeySegment& s : layout.Segments()) {
    if (!s.compared ||
        std::memcmp(stored + s.keyOffset, expected + s.keyOffset, static_cast<std::size_t>(s.length)) == 0)
      continue;
    if (!text.empty()) text += "; ";
    text += ReportText(s.name) + " " + KeyText(SegmentText(layout, s, stored + s.keyOffset)) + " in the key, " +
            KeyText(SegmentText(layout, s, expected + s.keyOffset)) + " in the record";
  }
  return text;
}

std::string StoredKeyText(const KeyFields& layout, const unsigned char* key) {
  std::string bytes;
  if (!layout.Comparable())
    bytes.assign(reinterpret_cast<const char*>(key), static_cast<std::size_t>(layout.KeyLength()));
  for (const KeySegment& s : layout.Segments()) bytes += SegmentText(layout, s, key + s.keyOffset);
  return KeyText(bytes);
}

bool InteriorKeys::After(const unsigned char* a, const unsigned char* b, int keyLength) const {
  if (order_ && order_->Judged()) return order_->Compare(a, b) == KeyComparison::After;
  return std::memcmp(a, b, static_cast<std::size_t>(keyLength)) > 0;
}

std::string InteriorKeys::Broken(const InteriorLink& link, bool last, const KeyFields* layout, int keyLength) const {
  const auto text = [&](const unsigned char* key) { return layout ? StoredKeyText(*layout, key) : std::string(); };
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

std::string InteriorKeys::Problem(const InteriorLink& link, const KeyFields& layout, int keyLength) const {
  if (convention_ == Convention::Unknown || !link.childFirst) return "";
  const bool last = convention_ == Convention::LastOfChild;
  const std::string broken = Broken(link, last, &layout, keyLength);
  if (broken.empty()) return "";
  return "Node " + std::to_string(link.node) + ", entry " + std::to_string(link.position) + ": " + broken +
         " (the tree's interior keys carry their child's " + (last ? "last" : "first") + " key).";
}

}  // namespace ondrel::check
