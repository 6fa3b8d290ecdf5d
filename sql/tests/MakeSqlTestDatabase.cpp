// ondrel-sql-testdb DIR: writes the databases the SQL tests query.
//
//   DIR/good        CUST: 70,000 customers (three sections and a part),
//                   with a hidden field, numbers with decimals, purged
//                   records, names in Windows-1252, balances that are no
//                   well-formed number, and two profiles: BYNO (record
//                   order, purged records included) and BYCITY (city
//                   descending, then number: scattered, some entries flagged
//                   "N").  ORD: 600 orders of the first customers, profile
//                   BYORD, for joins.
//   DIR/nodata      CUST (5,000 customers, as in the damaged sets below)
//                   without its data file, beside a sound ORD.
//   DIR/nodef       CUST with an empty definition file.
//   DIR/badleaf     CUST whose BYNO tree has a leaf with a used length no
//                   leaf has, halfway.
//   DIR/swapped     CUST whose BYNO tree has two keys out of order in a leaf
//                   halfway.
//   DIR/mismatch    CUST whose BYNAME tree has an entry, halfway, that points
//                   at another record than its key was made from.
//   DIR/farmismatch The same damage in a CUST of 70,000, in BYCITY, whose
//                   order scatters the records, three quarters of the way:
//                   in a batch read while the rows before it go out.
//   DIR/stale       CUST whose BYNAME tree has an entry, halfway, flagged
//                   "N" and pointing at another record, as a deleted
//                   entry whose record was written again for another key.
//   DIR/firstbad    CUST (1,000 customers, a few dozen leaves, every one of
//                   them in the sample that decides whether keys are
//                   checked against records) whose BYNO tree has the first
//                   entry of its second leaf pointing at the next record.
//   DIR/folded      FRUIT: apple, Banana and cherry, whose keys were made
//                   in capitals.
//   DIR/latin       An ISPEC, a profile and a field whose names hold a
//                   letter beyond ASCII (Windows-1252 0xC9, E acute).
//   DIR/values      VAL: blank numbers, a number field holding text, a
//                   purged record and an entry flagged "N", profile BYITEM.
//   DIR/mixed       MIX: 400 records whose CODE (profile BYCODE) is drawn
//                   from bytes SQL orders otherwise than the file (controls,
//                   blanks, 0x7F, 0x80 to 0x9F, 0xA0 up) and whose AMT
//                   (profile BYAMT) is a number of mixed widths and signs,
//                   blank or a text, and whose SEQ (profile BYSEQ) is four
//                   digits or blank: orders for the ORDER BY tests.  TAG
//                   is a short text of the same kinds of bytes; profiles
//                   CODESEQ, CODETAG and CODEAMT put each behind CODE.
//   DIR/odd         sqlite_odd: an ISPEC whose names SQL cannot take as they
//                   are: a name SQLite keeps for itself, fields named like
//                   the tables' own columns and like each other but for
//                   case, a quote in a name, and two profiles of one name.
//
// ondrel-sql-testdb --live DIR VERSION: writes that version of the ISPEC
// LIVE (LiveSet.h) into DIR in place, over the one there, as its owner does;
// with --live-renamed, into new files renamed over the old ones.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/writer/Bytes.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"
#include "tools/writer/LiveSet.h"

namespace {

using namespace ondrel::writer;

constexpr long kCustomers = 70000;
const char* const kCities[] = {"Leeds", "York", "Hull", "Bristol", "Exeter", "Dundee", "Norwich"};

std::string Number(long value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*ld", width, value);
  return text;
}

// Balance of customer n: pounds and pence, some negative; every 1000th
// holds a text that is no number.
std::string Balance(long n) {
  if (n % 1000 == 7) return "12x.50";
  const long pence = (n * 7919) % 200000 - 50000;
  char text[32];
  std::snprintf(text, sizeof text, "%s%ld.%02ld", pence < 0 ? "-" : "", std::labs(pence) / 100, std::labs(pence) % 100);
  return text;
}

IspecLayout BuildCustomers(const std::filesystem::path& dir, long customers = kCustomers) {
  IspecContent setup;
  setup.name = "CUST";
  setup.definition.fields = {{"CUSTNO", 1, "N", 6, 0},  {"NAME", 2, "A", 12, 0},    {"CITY", 3, "A", 8, 0},
                             {"BALANCE", 4, "N", 8, 2}, {"[REGION]", 5, "A", 3, 0}, {"STATUS", 6, "A", 1, 0}};
  for (long n = 1; n <= customers; ++n) {
    // Every 100th name carries a Windows-1252 letter (0xE9, e acute).
    std::string name = (n % 100 == 3 ? std::string("Caf\xE9-") : std::string("Firm-")) + Number(n, 6);
    // Names on which SQL's order and the stored bytes' order disagree: a
    // byte below the blank, and bytes from 0x80 up (the euro sign, 0x80,
    // sorts before e acute, 0xE9, in the file, after it in UTF-8).
    if (n > customers - 5) name = std::vector<std::string>{"Zed", "Zed\x01", "Zed\x80", "Zed\xE9", "Zedz"}[customers - n];
    RecordContent record{{Number(n, 6), name, kCities[n % 7], Balance(n), n % 2 ? "NTH" : "STH", n % 3 ? "A" : "C"}};
    record.purged = n % 97 == 0;
    setup.records.push_back(record);
  }
  auto every = [](std::uint32_t, const RecordContent&) { return true; };
  setup.profiles = {
      {.name = "BYNO", .keyFields = {{"CUSTNO"}}, .select = every},
      {.name = "BYNAME", .keyFields = {{"NAME"}, {"CUSTNO"}}},
      {.name = "BYCITY",
       .keyFields = {{"CITY", true}, {"CUSTNO"}},
       .entryFlag = [](std::uint32_t n, const RecordContent&) -> std::uint8_t { return n % 500 == 0 ? 'N' : 'Y'; }},
  };
  return BuildIspec(dir, setup);
}

void BuildOrders(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "ORD";
  setup.definition.fields = {{"ORDNO", 1, "N", 6, 0}, {"CUSTNO", 2, "N", 6, 0}, {"AMOUNT", 3, "N", 7, 2}};
  for (long n = 1; n <= 600; ++n)
    setup.records.push_back({{Number(900000 + n, 6), Number(n % 150 + 1, 6), Number(n * 13 % 9000, 4) + ".25"}});
  setup.profiles = {{.name = "BYORD", .keyFields = {{"ORDNO"}}}};
  BuildIspec(dir, setup);
}

void BuildFolded(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "FRUIT";
  setup.definition.fields = {{"NAME", 1, "A", 8, 0}, {"QTY", 2, "N", 3, 0}};
  setup.records = {{{"APPLE", "5"}}, {{"BANANA", "12"}}, {{"CHERRY", "40"}}};
  setup.profiles = {{.name = "BYNAME", .keyFields = {{"NAME"}}}};
  const IspecLayout layout = BuildIspec(dir, setup);
  // The records as they were typed; the keys keep the capitals.
  std::string data = ReadWholeFile(layout.files.Data());
  for (const auto& [from, to] : {std::pair{"APPLE ", "apple "}, {"BANANA", "Banana"}, {"CHERRY", "cherry"}})
    data.replace(data.find(from), 6, to);
  WriteWholeFile(layout.files.Data(), data);
}

void BuildLatin(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "CAF\xC9";
  setup.definition.fields = {{"CAF\xC9", 1, "A", 6, 0}, {"QTY", 2, "N", 3, 0}};
  setup.records = {{{"cr\xE8me", "3"}}, {{"lait", "12"}}};
  setup.profiles = {{.name = "PR\xC9", .keyFields = {{"CAF\xC9"}}}};
  BuildIspec(dir, setup);
}

void BuildOdd(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "sqlite_odd";
  setup.definition.fields = {
      {"record_number", 1, "N", 3, 0}, {"Name", 2, "A", 4, 0}, {"NAME", 3, "A", 4, 0}, {"a\"b", 4, "A", 2, 0}};
  setup.records = {{{"1", "ab", "AB", "q1"}}, {{"2", "cd", "CD", "q2"}}};
  setup.profiles = {{.name = "P-1", .keyFields = {{"Name"}}}, {.name = "P-1", .keyFields = {{"NAME"}}}};
  BuildIspec(dir, setup);
}

// Entries by ITEM: bolt (blank numbers), gone (purged), nut (flagged "N"),
// washer (a price that is no number).
void BuildValues(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "VAL";
  setup.definition.fields = {{"ITEM", 1, "A", 6, 0}, {"QTY", 2, "N", 4, 0}, {"PRICE", 3, "N", 5, 2}};
  setup.records = {{{"nut", "12", "1.50"}}, {{"bolt", "", ""}}, {{"washer", "-3", "abc"}}, {{"gone", "7", "0.10"}, true}};
  setup.profiles = {{.name = "BYITEM",
                     .keyFields = {{"ITEM"}},
                     .select = [](std::uint32_t, const RecordContent&) { return true; },
                     .entryFlag = [](std::uint32_t n, const RecordContent&) -> std::uint8_t { return n == 1 ? 'N' : 'Y'; }}};
  BuildIspec(dir, setup);
}

// Codes of one to six bytes from a small alphabet, drawn the same way each
// time (a linear congruential sequence), so that many share a beginning.
void BuildMixed(const std::filesystem::path& dir) {
  IspecContent setup;
  setup.name = "MIX";
  setup.definition.fields = {{"CODE", 1, "A", 6, 0}, {"AMT", 2, "N", 5, 0}, {"SEQ", 3, "N", 4, 0}, {"TAG", 4, "A", 2, 0}};
  const char* const tags[] = {"A", "AB", "B", "", "\x01", "\xE9", "Z~", "B ", "A\x7F"};
  const std::string alphabet("\x01\x1F AZaz~\x7F\x80\x8A\x9F\xA0\xE9\xFF", 15);
  const char* const amounts[] = {"   -5", "00012", "12", "-0007", "+3", "", "abc", "  100", "-12", "9", "00000", "-0"};
  std::uint32_t seed = 12345;
  auto draw = [&](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int n = 0; n < 400; ++n) {
    std::string code;
    // A leading letter from a few keeps runs of shared beginnings long.
    code += "AAB"[draw(3)];
    for (std::uint32_t length = draw(6); length > 0; --length) code += alphabet[draw(static_cast<std::uint32_t>(alphabet.size()))];
    while (!code.empty() && code.back() == ' ') code.pop_back();
    // Zero-filled, some equal, every 23rd blank.
    char seq[8];
    std::snprintf(seq, sizeof seq, "%04d", (n * 7919) % 10000 % 1500);
    const std::string amount = amounts[draw(12)];
    setup.records.push_back({{code, amount, n % 23 == 0 ? std::string() : std::string(seq), tags[n % 9]}});
  }
  setup.profiles = {{.name = "BYCODE", .keyFields = {{"CODE"}}},
                    {.name = "BYAMT", .keyFields = {{"AMT"}, {"CODE"}}},
                    {.name = "BYSEQ", .keyFields = {{"SEQ"}}},
                    {.name = "CODESEQ", .keyFields = {{"CODE"}, {"SEQ"}}},
                    {.name = "CODETAG", .keyFields = {{"CODE"}, {"TAG"}}},
                    {.name = "CODEAMT", .keyFields = {{"CODE"}, {"AMT"}}}};
  BuildIspec(dir, setup);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && (std::string(argv[1]) == "--live" || std::string(argv[1]) == "--live-renamed")) {
    ondrel::writer::WriteLiveVersion(argv[2], std::atoi(argv[3]),
                                     std::string(argv[1]) == "--live" ? ondrel::writer::Rewrite::InPlace
                                                                      : ondrel::writer::Rewrite::Rename);
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: ondrel-sql-testdb DIR | --live DIR VERSION | --live-renamed DIR VERSION\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  for (const char* name : {"good", "nodata", "nodef", "badleaf", "swapped", "mismatch", "farmismatch", "stale",
                           "firstbad", "folded", "latin", "values", "mixed", "odd"})
    std::filesystem::create_directories(root / name);
  BuildCustomers(root / "good");
  BuildOrders(root / "good");
  // The damaged copies are smaller: their damage needs a few leaves, not
  // three sections.
  constexpr long kSmall = 5000;
  RemoveFile(BuildCustomers(root / "nodata", kSmall).files, FileKind::Data);
  BuildOrders(root / "nodata");
  const IspecLayout nodef = BuildCustomers(root / "nodef", kSmall);
  TruncateFile(nodef.files, FileKind::Definition, 0);
  const IspecLayout badleaf = BuildCustomers(root / "badleaf", kSmall);
  const auto& leaves = badleaf.index.keys[1].Leaves();  // BYNO
  SetUsedLength(badleaf.files, 512, leaves[leaves.size() / 2], 0x7FFF);
  const IspecLayout swapped = BuildCustomers(root / "swapped", kSmall);
  const std::uint32_t leaf = swapped.index.keys[1].Leaves()[swapped.index.keys[1].Leaves().size() / 2];
  SwapEntries(swapped.files, 1, leaf, 0, leaf, 1);
  const IspecLayout mismatch = BuildCustomers(root / "mismatch", kSmall);
  const auto& byName = mismatch.index.keys[2].Leaves();  // BYNAME
  SetEntryPointer(mismatch.files, 2, byName[byName.size() / 2], 3, 1);
  const IspecLayout far = BuildCustomers(root / "farmismatch");
  const auto& farCities = far.index.keys[3].Leaves();  // BYCITY
  SetEntryPointer(far.files, 3, farCities[farCities.size() * 3 / 4], 3, 1);
  const IspecLayout stale = BuildCustomers(root / "stale", kSmall);
  const auto& staleNames = stale.index.keys[2].Leaves();
  SetEntryPointer(stale.files, 2, staleNames[staleNames.size() / 2], 3, 1234);
  SetEntryFlag(stale.files, 2, staleNames[staleNames.size() / 2], 3, 'N');
  const IspecLayout firstBad = BuildCustomers(root / "firstbad", 1000);
  const std::uint32_t second = firstBad.index.keys[1].Leaves()[1];
  SetEntryPointer(firstBad.files, 1, second, 0, SetEntryPointer(firstBad.files, 1, second, 0, 0) + 1);
  BuildFolded(root / "folded");
  BuildLatin(root / "latin");
  BuildValues(root / "values");
  BuildMixed(root / "mixed");
  BuildOdd(root / "odd");
  return 0;
}
