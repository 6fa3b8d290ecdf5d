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

std::size_t FieldIndex(const std::vector<FieldLine>& fields, const std::string& name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == name) return i;
  throw std::invalid_argument("no field named " + name);
}

// Key parts of a profile: one per key field, as long as the field and
// recording where the field lies in the record.
std::vector<KeyPart> PartsOf(const std::vector<FieldLine>& fields, const std::vector<KeyField>& keyFields) {
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
  KeyShape setup;
  std::string keys;                    // all keys, keyLength bytes each, in record order
  std::vector<std::uint32_t> records;  // record numbers of the entries, in key order
  std::vector<std::uint8_t> flags;     // flag of each entry, parallel to `records`
};

SortedKey SortKey(const IspecContent& setup, const ProfileDef* profile) {
  const std::vector<FieldLine>& fields = setup.definition.fields;
  SortedKey out;
  if (profile) {
    out.setup.parts = PartsOf(fields, profile->keyFields);
    out.setup.entryTail = profile->entryTail;
    out.setup.maxLeafFill = profile->maxLeafFill;
    out.setup.maxInteriorFill = profile->maxInteriorFill;
    out.setup.interiorKey = profile->interiorKey;
  } else {
    out.setup = SimpleKey(4);  // the record number, BE32
  }
  const std::size_t keyLength = static_cast<std::size_t>(out.setup.KeyLength());

  std::vector<std::uint32_t> chosen;
  for (std::size_t i = 0; i < setup.records.size(); ++i) {
    const std::uint32_t recordNumber = static_cast<std::uint32_t>(i + 1);
    const RecordContent& record = setup.records[i];
    const bool keep = profile && profile->select ? profile->select(recordNumber, record) : !record.purged;
    if (keep) chosen.push_back(recordNumber);
  }
  // Keys are laid out by position in `chosen`, so the sort compares slices of
  // one buffer instead of separate strings.
  out.keys.resize(chosen.size() * keyLength);
  for (std::size_t c = 0; c < chosen.size(); ++c) {
    const RecordContent& record = setup.records[chosen[c] - 1];
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
  // Key bytes compared part by part; a descending part stored as written
  // runs in falling order.
  struct Span {
    std::size_t offset, length;
    bool falling;
  };
  std::vector<Span> spans;
  std::size_t offset = 0;
  for (std::size_t p = 0; profile && p < profile->keyFields.size(); ++p) {
    const KeyField& kf = profile->keyFields[p];
    spans.push_back({offset, out.setup.parts[p].length, kf.descending && kf.storedAsWritten});
    offset += out.setup.parts[p].length;
  }
  if (spans.empty()) spans.push_back({0, keyLength, false});
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    for (const Span& span : spans) {
      const int cmp = std::memcmp(keys + a * keyLength + span.offset, keys + b * keyLength + span.offset, span.length);
      if (cmp != 0) return span.falling ? cmp > 0 : cmp < 0;
    }
    return false;
  });
  std::string sortedKeys(out.keys.size(), '\0');
  for (std::size_t e = 0; e < order.size(); ++e) {
    std::memcpy(sortedKeys.data() + e * keyLength, keys + order[e] * keyLength, keyLength);
    const std::uint32_t recordNumber = chosen[order[e]];
    out.records.push_back(recordNumber);
    out.flags.push_back(profile && profile->entryFlag ? profile->entryFlag(recordNumber, setup.records[recordNumber - 1])
                                                      : std::uint8_t{'Y'});
  }
  out.keys = std::move(sortedKeys);
  return out;
}

}  // namespace

std::string KeyOf(const std::vector<FieldLine>& fields, const RecordContent& record,
                  const std::vector<KeyField>& keyFields) {
  std::string key;
  for (const KeyField& keyField : keyFields) {
    const std::size_t i = FieldIndex(fields, keyField.field);
    std::string part = FitField(i < record.values.size() ? std::string_view(record.values[i]) : "", fields[i]);
    if (keyField.capitals)
      for (char& c : part)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (keyField.descending && !keyField.storedAsWritten)
      for (char& c : part) c = static_cast<char>(255 - static_cast<unsigned char>(c));
    key += part;
  }
  return key;
}

std::vector<std::string> ProfileRecords(const ProfileDef& profile, const std::string& ispecName) {
  std::vector<std::string> records{PRecord(profile.name)};
  if (profile.ispecs.empty()) {
    records.push_back(IRecord(ispecName));
  } else {
    for (const std::string& ispec : profile.ispecs) records.push_back(IRecord(ispec));
  }
  for (const KeyField& keyField : profile.keyFields)
    records.push_back(ORecord(keyField.field, keyField.descending, keyField.lifp));
  for (const ConditionRule& c : profile.conditions)
    records.push_back(CRecord(c.field, c.opCode, c.connective, c.value));
  records.insert(records.end(), profile.extraRecords.begin(), profile.extraRecords.end());
  return records;
}

IspecLayout BuildIspec(const std::filesystem::path& dir, const IspecContent& setup) {
  IspecLayout layout;
  layout.files = FileSet{dir, setup.name};
  const std::vector<FieldLine>& fields = setup.definition.fields;
  layout.recordLength = RecordLength(fields);

  // Sort every key first, so that a bad key field fails before any file is written.
  std::vector<SortedKey> sorted;
  sorted.push_back(SortKey(setup, setup.key0 ? &*setup.key0 : nullptr));
  for (const ProfileDef& profile : setup.profiles) sorted.push_back(SortKey(setup, &profile));

  WriteWholeFile(layout.files.Definition(), DefinitionText(setup.definition));

  std::vector<std::string> records;
  for (const ProfileDef& profile : setup.profiles) {
    const std::vector<std::string> own = ProfileRecords(profile, setup.name);
    records.insert(records.end(), own.begin(), own.end());
  }
  WriteWholeFile(layout.files.Profile(), ProfileText(records, setup.profileCrlf));

  DataFileWriter data(layout.files.Data());
  for (const RecordContent& record : setup.records)
    data.Append(DataRecord(fields, record.values, record.purged ? kPurged : kActive));
  data.Close();

  IndexOptions options;
  options.nodeSize = setup.nodeSize;
  options.recordCount = setup.recordCount ? *setup.recordCount : static_cast<std::uint32_t>(setup.records.size());
  options.descriptionsAtEnd = setup.descriptionsAtEnd;
  std::vector<KeyShape> keys;
  for (const SortedKey& key : sorted) keys.push_back(key.setup);
  IndexWriter index(layout.files.Index(), options, keys);
  for (const SortedKey& key : sorted) {
    const std::size_t keyLength = static_cast<std::size_t>(key.setup.KeyLength());
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
