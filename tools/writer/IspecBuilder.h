#pragma once

// Builds a complete ISPEC file set from records held in memory: definition,
// profiles, data and an index with one key description per profile (plus key
// description 0, which belongs to no profile).  Each profile's key is the
// concatenation of the named fields as they lie in the data record; entries
// are sorted by key bytes, ties by record number.
//
//   IspecContent s;
//   s.name = "CUSTOMER";
//   s.definition.fields = {{"CUSTNO", 1, "N", 6, 0}, {"NAME", 2, "A", 20, 0}};
//   s.records = {{{"100", "Smith"}}, {{"101", "Jones"}, /*purged=*/true}};
//   s.profiles = {{.name = "CUSTNO", .keyFields = {{"CUSTNO"}}}};
//   IspecLayout l = BuildIspec(dir, s);

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/writer/DefinitionText.h"
#include "tools/writer/FileSet.h"
#include "tools/writer/IndexWriter.h"

namespace ondrel::writer {

struct RecordContent {
  std::vector<std::string> values;  // one per field, fitted as DataRecord does
  bool purged = false;              // terminator 0x00 instead of LF
};

struct KeyField {
  std::string field;        // a field name of the definition
  bool descending = false;  // "T" in the ordinate; the key bytes are inverted (255 - b)
  bool lifp = false;        // "T" in the ordinate's LIFP position; no effect on the key
  // For a descending field: store its bytes as written and keep the tree in
  // falling order of them, instead of inverting them.
  bool storedAsWritten = false;
  // The key holds the field folded to capitals (a to z as A to Z).
  bool capitals = false;
};

struct ConditionRule {
  std::string field;
  char opCode = '0';      // see Op in ProfileText.h
  char connective = ' ';  // '&', '|' or ' '
  std::string value;      // e.g. "GLB.SPACES" or "A"
};

// 1-based record number and the record; true keeps the record in the key.
using RecordFilter = std::function<bool(std::uint32_t recordNumber, const RecordContent& record)>;
// Flag byte of a record's leaf entry.
using EntryFlagOf = std::function<std::uint8_t(std::uint32_t recordNumber, const RecordContent& record)>;

struct ProfileDef {
  std::string name;
  std::vector<KeyField> keyFields;        // O records, and the key
  std::vector<ConditionRule> conditions;  // C records (text only; see `select`)
  std::vector<std::string> ispecs;        // I records; empty: the ISPEC's own name
  std::vector<std::string> extraRecords;  // raw records written after the C records
  // Which records get an entry.  Unset: every active record.
  RecordFilter select;
  EntryFlagOf entryFlag;                  // unset: 'Y'
  int entryTail = 4;
  int maxLeafFill = 0;
  int maxInteriorFill = 0;
  InteriorKey interiorKey = InteriorKey::LastOfChild;
};

struct IspecContent {
  std::string name;
  DefinitionFile definition;
  std::vector<RecordContent> records;
  std::vector<ProfileDef> profiles;  // key descriptions 1, 2, ... in this order
  // Key description 0.  Unset: a 4-byte key of the record number (BE32) over
  // every active record.  Set: built like a profile's key but not written to
  // the profile file.
  std::optional<ProfileDef> key0;
  int nodeSize = 512;
  bool descriptionsAtEnd = false;
  bool profileCrlf = false;
  // Header record count.  Unset: the number of records (purged ones included).
  std::optional<std::uint32_t> recordCount;
};

struct IspecLayout {
  FileSet files;
  int recordLength = 0;
  IndexLayout index;  // index.keys[0] is key description 0, keys[i] is profile i
  // For each key (as index.keys), the record numbers in entry order.
  std::vector<std::vector<std::uint32_t>> entryRecords;
};

// Writes _N.DFN, _N_P.DFN, _N.DAT and _N.IDX into `dir` (which must exist).
// Throws std::invalid_argument for an unknown key field, std::runtime_error
// for a file that cannot be written.
IspecLayout BuildIspec(const std::filesystem::path& dir, const IspecContent& setup);

// The profile file records BuildIspec writes for one profile.
std::vector<std::string> ProfileRecords(const ProfileDef& profile, const std::string& ispecName);

// The key bytes of `record` for the given key fields (descending parts inverted).
std::string KeyOf(const std::vector<FieldLine>& fields, const RecordContent& record,
                  const std::vector<KeyField>& keyFields);

}  // namespace ondrel::writer
