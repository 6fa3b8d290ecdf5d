#include "tools/writer/LargeIspec.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "tools/writer/Bytes.h"
#include "tools/writer/DataFile.h"
#include "tools/writer/ProfileText.h"

namespace ondrel::writer {

namespace {

constexpr std::array<const char*, 16> kSurnames = {
    "Abernathy", "Brennan", "Castellano", "Dufresne", "Eriksen", "Fairweather", "Gallagher", "Hollis",
    "Ishikawa", "Jablonski", "Kowalczyk", "Lindqvist", "Mbeki", "Nakamura", "Okafor", "Petrovic"};
constexpr std::array<const char*, 8> kTrades = {"Bakery", "Hardware", "Joinery", "Plumbing",
                                                "Printing", "Textiles", "Haulage", "Optics"};
constexpr std::array<const char*, 12> kCities = {"Aberdeen", "Bristol", "Cardiff", "Dundee", "Exeter", "Glasgow",
                                                 "Hull", "Leeds", "Norwich", "Oxford", "Swansea", "York"};

std::vector<FieldLine> LargeFields() {
  return {{"KEYNO", 1, "N", 10, 0, ""},   {"NAME", 2, "A", 24, 0, ""},    {"CITY", 3, "A", 14, 0, ""},
          {"AMOUNT", 4, "N", 8, 2, ""},   {"[BRANCH]", 5, "A", 2, 0, ""}};
}

// Which of the 16 x 8 names record n carries.
std::size_t NameIndex(std::uint64_t n) {
  const std::uint64_t mix = n * 2654435761ull;
  return (mix % kSurnames.size()) * kTrades.size() + (mix >> 8) % kTrades.size();
}

std::string NameOfIndex(std::size_t index) {
  return std::string(kSurnames[index / kTrades.size()]) + " " + kTrades[index % kTrades.size()];
}

}  // namespace

std::string LargeRecordName(std::uint64_t n) { return NameOfIndex(NameIndex(n)); }

std::vector<std::string> LargeRecordValues(std::uint64_t n) {
  char keyNo[32];
  std::snprintf(keyNo, sizeof keyNo, "%010llu", static_cast<unsigned long long>(n % 10000000000ull));
  const std::uint64_t mix = n * 2654435761ull;
  std::string name = LargeRecordName(n);
  const std::uint64_t cents = (mix >> 4) % 10000000;  // up to 99999.99
  char amount[32];
  std::snprintf(amount, sizeof amount, "%llu.%02llu", static_cast<unsigned long long>(cents / 100),
                static_cast<unsigned long long>(cents % 100));
  char branch[8];
  std::snprintf(branch, sizeof branch, "%02llu", static_cast<unsigned long long>(n % 97));
  return {keyNo, name, kCities[(mix >> 16) % kCities.size()], amount, branch};
}

IspecLayout BuildLargeIspec(const std::filesystem::path& dir, const LargeIspecOptions& setup) {
  IspecLayout layout;
  layout.files = FileSet{dir, setup.name};
  const std::vector<FieldLine> fields = LargeFields();
  layout.recordLength = RecordLength(fields);

  DefinitionFile definition;
  definition.fields = fields;
  WriteWholeFile(layout.files.Definition(), DefinitionText(definition));
  std::vector<std::string> profiles{PRecord("KEYNO"), IRecord(setup.name), ORecord("KEYNO")};
  if (setup.nameProfile)
    for (const std::string& record : {PRecord("BYNAME"), IRecord(setup.name), ORecord("NAME"), ORecord("KEYNO")})
      profiles.push_back(record);
  WriteWholeFile(layout.files.Profile(), ProfileText(profiles));

  DataFileWriter data(layout.files.Data());
  std::string slot;
  for (std::uint64_t n = 1; n <= setup.records; ++n) {
    slot = DataRecord(fields, LargeRecordValues(n));
    data.Append(slot);
  }
  data.Close();

  IndexOptions options;
  options.nodeSize = setup.nodeSize;
  options.recordCount = static_cast<std::uint32_t>(setup.records);
  KeyShape key0 = SimpleKey(4, 4);
  KeyShape profile = SimpleKey(10, setup.entryTail);
  profile.parts[0].type = 1;
  std::vector<KeyShape> keys{key0, profile};
  if (setup.nameProfile) {
    KeyShape byName = SimpleKey(24, setup.entryTail);
    byName.parts.push_back(KeyPart{10, 0, 1});
    keys.push_back(byName);
  }
  IndexWriter index(layout.files.Index(), options, keys);

  index.BeginKey();
  if (!setup.emptyKey0) {
    unsigned char recordNumber[4];
    for (std::uint64_t n = 1; n <= setup.records; ++n) {
      PutBE32(recordNumber, static_cast<std::uint32_t>(n));
      index.Add(std::string_view(reinterpret_cast<const char*>(recordNumber), 4), static_cast<std::uint32_t>(n));
    }
  }
  index.EndKey();

  // The 10-digit key of record n, counted up in place.
  char digits[10];
  std::memset(digits, '0', sizeof digits);
  index.BeginKey();
  for (std::uint64_t n = 1; n <= setup.records; ++n) {
    for (int i = 9; i >= 0; --i) {
      if (digits[i] != '9') {
        ++digits[i];
        break;
      }
      digits[i] = '0';
    }
    index.Add(std::string_view(digits, 10), static_cast<std::uint32_t>(n));
  }
  index.EndKey();

  if (setup.nameProfile) {
    // The names in key order, then, name by name, the records that carry it
    // in record order: one pass over a byte per record for each name.
    std::vector<std::size_t> names(kSurnames.size() * kTrades.size());
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = i;
    std::sort(names.begin(), names.end(), [](std::size_t a, std::size_t b) { return NameOfIndex(a) < NameOfIndex(b); });
    std::vector<unsigned char> nameOf(setup.records);
    for (std::uint64_t n = 1; n <= setup.records; ++n) nameOf[n - 1] = static_cast<unsigned char>(NameIndex(n));
    const FieldLine nameField = fields[1];
    std::string key;
    index.BeginKey();
    for (const std::size_t name : names) {
      const std::string padded = FitField(NameOfIndex(name), nameField);
      for (std::uint64_t n = 1; n <= setup.records; ++n) {
        if (nameOf[n - 1] != name) continue;
        char number[16];
        std::snprintf(number, sizeof number, "%010llu", static_cast<unsigned long long>(n % 10000000000ull));
        key = padded;
        key.append(number, 10);
        index.Add(key, static_cast<std::uint32_t>(n));
      }
    }
    index.EndKey();
  }
  layout.index = index.Finish();
  return layout;
}

}  // namespace ondrel::writer
