#include "tools/export/RecordCounts.h"

#include <algorithm>
#include <vector>

#include "database/ByteFile.h"
#include "database/DataRecord.h"
#include "database/Definition.h"
#include "database/LoadingPlatform.h"
#include "sql/RecordColumns.h"
#include "tools/export/Output.h"

namespace ondrel::tool {
namespace {

// Slots read at once when counting active records: a few MiB.
constexpr std::int64_t kCountingBytes = 4 << 20;

// The records of the data file that are not purged, judged as the record
// window judges them; empty when the file cannot be read to its end.
std::optional<std::int64_t> ActiveRecords(const SharedState& state, std::int64_t slots) {
  ByteFile data;
  if (state.RecordLength <= 0 || !data.Open(state.DataPath)) return std::nullopt;
  sql::NameSet names;
  const std::vector<sql::FieldColumn> columns = sql::RecordColumns(state, names);
  sql::RecordFields fields(state, columns);
  const std::int64_t length = state.RecordLength;
  std::int64_t active = 0;
  if (length > kWholeSlotLimit) {
    // Huge slots: only the bytes that decide are read.
    for (std::int64_t r = 1; r <= slots; ++r) {
      if (!fields.FromFile(data, static_cast<Long>(r))) return std::nullopt;
      active += fields.Purged() ? 0 : 1;
    }
    return active;
  }
  const std::int64_t perPiece = std::max<std::int64_t>(1, kCountingBytes / length);
  std::vector<char> piece(static_cast<std::size_t>(perPiece * length));
  for (std::int64_t first = 1; first <= slots; first += perPiece) {
    const std::int64_t count = std::min(perPiece, slots - first + 1);
    if (!data.ReadUncached((first - 1) * length + 1, piece.data(), static_cast<std::size_t>(count * length)))
      return std::nullopt;
    for (std::int64_t i = 0; i < count; ++i) {
      fields.FromSlot(piece.data() + i * length);
      active += fields.Purged() ? 0 : 1;
    }
  }
  return active;
}

}  // namespace

std::string CountDisagreement(const RecordCounts& counts,
                              const std::function<std::optional<std::int64_t>()>& active) {
  const std::string slots = std::to_string(counts.slots);
  if (counts.header > counts.slots)
    return "the index header counts " + std::to_string(counts.header) + " records, the data file holds " + slots;
  if (counts.entries > counts.slots)
    return "the profile has " + std::to_string(counts.entries) + " entries, the data file holds " + slots +
           " records";
  if (counts.conditions || counts.entries == counts.slots) return "";
  const std::optional<std::int64_t> records = active();
  if (records && counts.entries < *records)
    return "the profile has " + std::to_string(counts.entries) + " entries for " + std::to_string(*records) +
           " active records";
  return "";
}

std::string CountDisagreement(const SharedState& opened, bool conditions) {
  const SharedState* state = &opened;
  SharedState loaded;
  if (opened.RecordLength <= 0) {
    loaded = opened;
    LoadingPlatform quiet;
    try {
      if (!LoadDefinition(loaded, quiet)) return "";
    } catch (const LoadEnded&) {
      return "";
    }
    state = &loaded;
  }
  ByteFile data;
  if (state->RecordLength <= 0 || !data.Open(state->DataPath)) return "";
  RecordCounts counts;
  counts.header = state->RecordCount;
  counts.slots = WholeSlots(data, state->RecordLength);
  counts.entries = state->LeafTable.empty() ? 0 : state->LeafTable.back().CumCount;
  counts.conditions = conditions;
  return CountDisagreement(counts, [&] { return ActiveRecords(*state, counts.slots); });
}

bool TellCountDisagreement(Session& session) {
  if (session.state.Walk.failures > 0) return false;
  const std::string text =
      CountDisagreement(session.state, !session.platform.List(ChooserList::Conditions).empty());
  if (text.empty()) return false;
  ErrorLine(std::string(kApplicationTitle) + ": The index is older than its data file, or damaged: " + text + ".");
  return true;
}

}  // namespace ondrel::tool
