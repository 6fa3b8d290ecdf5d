#include "tools/writer/IspecBuilder.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "tools/writer/Bytes.h"
#include "tools/writer/DataFile.h"
#include "tools/writer/ProfileText.h"

namespace ondrel::writer {

namespace {

std::size_t FieldIndex(const std::vector<FieldSpec>& fields, const std::string& name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == name) return i;
  throw std::invalid_argument("no field named " + name);
}

// Key parts of a profile: one per key field, as long as the field and
// recording where the field lies in the record.
std::vector<KeyPart> PartsOf(const std::vector<FieldSpec>& fields, const std::vector<KeyField>& keyFields) {
  std::vector<int> offsets(fields.size(), 0);
  for (std::size_t i = 1; i < fields.size(); ++i) offsets[i] = offsets[i - 1] + AdjustedWidth(fields[i - 1]);
  std::vector<KeyPart> parts;
  for (const KeyField& keyField : keyFields) {
    const std::size_t i = FieldIndex(fields, keyField.field);
    parts.push_back(KeyPart{static_cast<std::uint16_t>(AdjustedWidth(fields[i])),
                            static_cast<std::uint16_t>(offsets[i]),
                            static_cast<std::uint8_t>(keyField.descending ? 1 : 0)});
  }
  return parts;
}

struct SortedKey {
  KeySpec spec;
  std::string keys;                    // all keys, keyLength bytes each, in record order
  std::vector<std::uint32_t> records;  // record numbers of the entries, in key order
  std::vector<std::uint8_t> flags;     // flag of each entry, parallel to `records`
};

SortedKey SortKey(const IspecSpec& spec, const ProfileSpec* profile) {
  const std::vector<FieldSpec>& fields = spec.definition.fields;
  SortedKey out;
  if (profile) {
    out.spec.parts = PartsOf(fields, profile->keyFields);
    out.spec.entryTail = profile->entryTail;
    out.spec.maxLeafFill = profile->maxLeafFill;
    out.spec.maxInteriorFill = profile->maxInteriorFill;
  } else {
    out.spec = SimpleKey(4);  // the record number, BE32
  }
  const std::size_t keyLength = static_cast<std::size_t>(out.spec.KeyLength());

  std::vector<std::uint32_t> chosen;
  for (std::size_t i = 0; i < spec.records.size(); ++i) {
    const std::uint32_t recordNumber = static_cast<std::uint32_t>(i + 1);
    const RecordSpec& record = spec.records[i];
    const bool keep = profile && profile->select ? profile->select(recordNumber, record) : !record.purged;
    if (keep) chosen.push_back(recordNumber);
  }
  // Keys are laid out by position in `chosen`, so the sort compares slices of
  // one buffer instead of separate strings.
  out.keys.resize(chosen.size() * keyLength);
  for (std::size_t c = 0; c < chosen.size(); ++c) {
    const RecordSpec& record = spec.records[chosen[c] - 1];
    if (profile) {
      const std::string key = KeyOf(fields, record, profile->keyFields);
      std::memcpy(out.keys.data() + c * keyLength, key.data(), keyLength);
    } else {
      PutBE32(reinterpret_cast<unsigned char*>(out.keys.data() + c * keyLength), chosen[c]);
    }
  }
  std::vector<std::uint32_t> order(chosen.size());
  std::iota(order.begin(), order.end(), 0u);
  const char* keys = out.keys.data();
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::memcmp(keys + a * keyLength, keys + b * keyLength, keyLength) < 0;
  });
  std::string sortedKeys(out.keys.size(), '\0');
  for (std::size_t e = 0; e < order.size(); ++e) {
    std::memcpy(sortedKeys.data() + e * keyLength, keys + order[e] * keyLength, keyLength);
    const std::uint32_t recordNumber = chosen[order[e]];
    out.records.push_back(recordNumber);
    out.flags.push_back(profile && profile->entryFlag ? profile->entryFlag(recordNumber, spec.records[recordNumber - 1])
                                                      : std::uint8_t{'Y'});
  }
  out.keys = std::move(sortedKeys);
  return out;
}

}  // namespace

std::string KeyOf(const std::vector<FieldSpec>& fields, const RecordSpec& record,
                  const std::vector<KeyField>& keyFields) {
  std::string key;
  for (const KeyField& keyField : keyFields) {
    const std::size_t i = FieldIndex(fields, keyField.field);
    std::string part = FitField(i < record.values.size() ? std::string_view(record.values[i]) : "", fields[i]);
    if (keyField.descending)
      for (char& c : part) c = static_cast<char>(255 - static_cast<unsigned char>(c));
    key += part;
  }
  return key;
}

std::vector<std::string> ProfileRecords(const ProfileSpec& profile, const std::string& ispecName) {
  std::vector<std::string> records{PRecord(profile.name)};
  if (profile.ispecs.empty()) {
    records.push_back(IRecord(ispecName));
  } else {
    for (const std::string& ispec : profile.ispecs) records.push_back(IRecord(ispec));
  }
  for (const KeyField& keyField : profile.keyFields)
    records.push_back(ORecord(keyField.field, keyField.descending, keyField.lifp));
  for (const ConditionSpec& c : profile.conditions)
    records.push_back(CRecord(c.field, c.opCode, c.connective, c.value));
  records.insert(records.end(), profile.extraRecords.begin(), profile.extraRecords.end());
  return records;
}

IspecLayout BuildIspec(const std::filesystem::path& dir, const IspecSpec& spec) {
  IspecLayout layout;
  layout.files = FileSet{dir, spec.name};
  const std::vector<FieldSpec>& fields = spec.definition.fields;
  layout.recordLength = RecordLength(fields);

  // Sort every key first, so that a bad key field fails before any file is written.
  std::vector<SortedKey> sorted;
  sorted.push_back(SortKey(spec, spec.key0 ? &*spec.key0 : nullptr));
  for (const ProfileSpec& profile : spec.profiles) sorted.push_back(SortKey(spec, &profile));

  WriteWholeFile(layout.files.Definition(), DefinitionText(spec.definition));

  std::vector<std::string> records;
  for (const ProfileSpec& profile : spec.profiles) {
    const std::vector<std::string> own = ProfileRecords(profile, spec.name);
    records.insert(records.end(), own.begin(), own.end());
  }
  WriteWholeFile(layout.files.Profile(), ProfileText(records, spec.profileCrlf));

  DataFileWriter data(layout.files.Data());
  for (const RecordSpec& record : spec.records)
    data.Append(DataRecord(fields, record.values, record.purged ? kPurged : kActive));
  data.Close();

  IndexOptions options;
  options.nodeSize = spec.nodeSize;
  options.recordCount = spec.recordCount ? *spec.recordCount : static_cast<std::uint32_t>(spec.records.size());
  options.descriptionsAtEnd = spec.descriptionsAtEnd;
  std::vector<KeySpec> keys;
  for (const SortedKey& key : sorted) keys.push_back(key.spec);
  IndexWriter index(layout.files.Index(), options, keys);
  for (const SortedKey& key : sorted) {
    const std::size_t keyLength = static_cast<std::size_t>(key.spec.KeyLength());
    index.BeginKey();
    for (std::size_t e = 0; e < key.records.size(); ++e)
      index.Add(std::string_view(key.keys.data() + e * keyLength, keyLength), key.records[e], key.flags[e]);
    index.EndKey();
    layout.entryRecords.push_back(key.records);
  }
  layout.index = index.Finish();
  return layout;
}

}  // namespace ondrel::writer
