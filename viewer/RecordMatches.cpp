#include "viewer/RecordMatches.h"

#include <algorithm>
#include <string>

#include "database/DataRecord.h"
#include "database/ReadAhead.h"

namespace ondrel {
namespace {

// Pieces of about 1 MiB, a whole number of slots each, read a few ahead.
constexpr std::int64_t kPieceBytes = std::int64_t{1} << 20;

}  // namespace

RecordMatches::Outcome RecordMatches::Scan(const SharedState& state, const TextMatcher& matcher, ByteFile& data,
                         const std::function<bool(double)>& step) {
  const std::int64_t length = state.RecordLength;
  records_ = 0;
  bits_.clear();
  if (length <= 0 || length > kWholeSlotLimit) return Outcome::Unusable;
  const std::int64_t records = WholeSlots(data, length);
  if (records > kMostRecords) return Outcome::Unusable;
  bits_.assign(static_cast<std::size_t>((records + 63) / 64), 0);

  const std::int64_t perPiece = std::max<std::int64_t>(1, kPieceBytes / length);
  ReadAhead ahead(data, 0, records * length, static_cast<std::size_t>(perPiece * length));
  std::string scratch;
  for (std::int64_t first = 0; first < records; first += perPiece) {
    const std::int64_t count = std::min(perPiece, records - first);
    const ReadAhead::Piece piece = ahead.Next();
    if (!piece.read || piece.size != static_cast<std::size_t>(count * length)) return Outcome::Unusable;
    const char* slot = piece.bytes;
    for (std::int64_t k = 0; k < count; ++k, slot += length) {
      if (matcher.FindInSlot(state, slot, scratch) >= 0) {
        const auto at = static_cast<std::uint64_t>(first + k);
        bits_[at >> 6] |= std::uint64_t{1} << (at & 63);
      }
    }
    if (!step(static_cast<double>(first + count) / static_cast<double>(records))) return Outcome::Cancelled;
  }
  records_ = records;
  return Outcome::Done;
}

}  // namespace ondrel
