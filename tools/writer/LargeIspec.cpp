#include "tools/writer/LargeIspec.h"

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

}  // namespace

std::vector<std::string> LargeRecordValues(std::uint64_t n) {
  char keyNo[32];
  std::snprintf(keyNo, sizeof keyNo, "%010llu", static_cast<unsigned long long>(n % 10000000000ull));
  const std::uint64_t mix = n * 2654435761ull;
  std::string name = std::string(kSurnames[mix % kSurnames.size()]) + " " + kTrades[(mix >> 8) % kTrades.size()];
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
  WriteWholeFile(layout.files.Profile(),
                 ProfileText({PRecord("KEYNO"), IRecord(setup.name), ORecord("KEYNO")}));

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
  IndexWriter index(layout.files.Index(), options, {key0, profile});

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
  layout.index = index.Finish();
  return layout;
}

}  // namespace ondrel::writer
