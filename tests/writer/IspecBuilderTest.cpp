// Whole file sets: what BuildIspec puts in each of the four files, read back
// here byte by byte.

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "tools/writer/IspecBuilder.h"
#include "tools/writer/LargeIspec.h"
#include "tools/writer/DataFile.h"

namespace ondrel::writer {
namespace {

using test::Be16;
using test::Be32;

// Leaf entries of a tree in key order, read from the layout's leaves.
struct Entries {
  std::vector<std::string> keys;
  std::vector<std::uint32_t> records;
  std::vector<char> flags;
};

Entries ReadLeaves(const std::string& file, int nodeSize, const TreeLayout& tree) {
  Entries out;
  const int entrySize = 1 + tree.keyLength + tree.entryTail;
  for (std::uint32_t leaf : tree.Leaves()) {
    const std::size_t at = (leaf - 1ull) * nodeSize;
    const unsigned used = Be16(file, at);
    for (std::size_t e = at + 2; e < at + used; e += entrySize) {
      out.flags.push_back(file[e]);
      out.keys.push_back(file.substr(e + 1, tree.keyLength));
      out.records.push_back(Be32(file, e + entrySize - 4));
    }
  }
  return out;
}

IspecContent Small() {
  IspecContent s;
  s.name = "CUSTOMER";
  s.definition.fields = {{"CUSTNO", 1, "N", 4, 0, ""},
                         {"NAME", 2, "A", 6, 0, ""},
                         {"[LINK]", 3, "A", 2, 0, ""},
                         {"BAL", 4, "N", 5, 2, ""}};
  s.records = {{{"12", "Smith", "L1", "10.50"}},
               {{"7", "Jones", "L2", "3.00"}},
               {{"30", "Brown", "L3", "0.00"}, true},
               {{"4", "Smith", "L4", "99.99"}},
               {{"19", "Adams", "L5", "1.25"}}};
  ProfileDef byNumber;
  byNumber.name = "CUSTNO";
  byNumber.keyFields = {{"CUSTNO"}};
  ProfileDef byName;
  byName.name = "BYNAME";
  byName.keyFields = {{"NAME"}};
  byName.conditions = {{"BAL", '1', '&', "GLB.ZEROS"}};
  byName.select = [](std::uint32_t n, const RecordContent& r) { return !r.purged && n != 5; };
  byName.entryFlag = [](std::uint32_t n, const RecordContent&) { return n == 4 ? std::uint8_t{'N'} : std::uint8_t{'Y'}; };
  byName.entryTail = 8;
  s.profiles = {byNumber, byName};
  return s;
}

TEST(IspecBuilder, WritesTheFourFiles) {
  test::ScratchDir dir;
  const IspecLayout layout = BuildIspec(dir.path(), Small());
  EXPECT_EQ(layout.recordLength, 4 + 6 + 2 + 6 + 1);
  EXPECT_EQ(test::Slurp(dir.path() / "_CUSTOMER.DFN"),
            "V002.004.000\n000004\nCUSTNO 1 N 4 0\nNAME 2 A 6 0\n[LINK] 3 A 2 0\nBAL 4 N 5 2\n");
  EXPECT_EQ(test::Slurp(dir.path() / "_CUSTOMER_P.DFN"),
            "PCUSTNO    \nICUSTOMER\nOCUSTNO    FF\n"
            "PBYNAME    \nICUSTOMER\nONAME      FF\nCBAL       1 &GLB.ZEROS\n");
  const std::string data = test::Slurp(dir.path() / "_CUSTOMER.DAT");
  ASSERT_EQ(data.size(), 5u * 19);
  EXPECT_EQ(data.substr(0, 19), "  12Smith L1 10.50\n");
  EXPECT_EQ(data.substr(2 * 19, 19), std::string("  30Brown L3  0.00\0", 19));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "_CUSTOMER.IDX"));
}

TEST(IspecBuilder, KeysSortedByBytesThenRecordNumber) {
  test::ScratchDir dir;
  const IspecLayout layout = BuildIspec(dir.path(), Small());
  const std::string idx = test::Slurp(layout.files.Index());
  EXPECT_EQ(Be32(idx, 33), 5u);
  ASSERT_EQ(layout.index.keys.size(), 3u);

  // Key 0: the record number of every active record.
  const Entries key0 = ReadLeaves(idx, 512, layout.index.keys[0]);
  EXPECT_EQ(key0.records, (std::vector<std::uint32_t>{1, 2, 4, 5}));
  EXPECT_EQ(key0.keys[2], std::string("\0\0\0\x04", 4));

  // CUSTNO: right-aligned numbers sort numerically as bytes.
  const Entries byNumber = ReadLeaves(idx, 512, layout.index.keys[1]);
  EXPECT_EQ(byNumber.records, (std::vector<std::uint32_t>{4, 2, 1, 5}));
  EXPECT_EQ(byNumber.keys[0], "   4");

  // BYNAME: record 5 left out by the selection, the two Smiths in record order.
  const Entries byName = ReadLeaves(idx, 512, layout.index.keys[2]);
  EXPECT_EQ(byName.records, (std::vector<std::uint32_t>{2, 1, 4}));
  EXPECT_EQ(byName.keys, (std::vector<std::string>{"Jones ", "Smith ", "Smith "}));
  EXPECT_EQ(byName.flags, (std::vector<char>{'Y', 'Y', 'N'}));
  EXPECT_EQ(layout.index.keys[2].entryTail, 8);
  EXPECT_EQ(layout.entryRecords[2], byName.records);
  EXPECT_EQ(layout.entryRecords[1], byNumber.records);

  // Key parts follow the fields: NAME lies at record offset 4, 6 bytes long.
  const std::size_t d2 = layout.index.descriptionOffsets[2];
  EXPECT_EQ(Be16(idx, d2), 17u);
  EXPECT_EQ(Be16(idx, d2 + 12), 6u);
  EXPECT_EQ(Be16(idx, d2 + 14), 4u);
  EXPECT_EQ(idx[d2 + 7], 'Y');
}

TEST(IspecBuilder, DescendingOrdinatesInvertTheKeyBytes) {
  IspecContent s = Small();
  ProfileDef rich;
  rich.name = "RICHEST";
  rich.keyFields = {{"BAL", true}, {"CUSTNO", false, true}};
  s.profiles = {rich};
  s.key0 = s.profiles[0];
  s.key0->keyFields = {{"NAME"}};
  s.recordCount = 1234;
  test::ScratchDir dir;
  const IspecLayout layout = BuildIspec(dir.path(), s);
  const std::string idx = test::Slurp(layout.files.Index());
  EXPECT_EQ(Be32(idx, 33), 1234u);
  const Entries key = ReadLeaves(idx, 512, layout.index.keys[1]);
  EXPECT_EQ(key.records, (std::vector<std::uint32_t>{4, 1, 2, 5}));
  ASSERT_EQ(key.keys[0].size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(key.keys[0][1]), 255 - '9');
  EXPECT_EQ(key.keys[0].substr(6), "   4");
  EXPECT_NE(test::Slurp(layout.files.Profile()).find("OBAL       TF\nOCUSTNO    FT\n"), std::string::npos);
  // Key 0 ordered by name, and no profile record for it.
  const Entries key0 = ReadLeaves(idx, 512, layout.index.keys[0]);
  EXPECT_EQ(key0.records, (std::vector<std::uint32_t>{5, 2, 1, 4}));
  EXPECT_EQ(test::Slurp(layout.files.Profile()).find("PRICHEST"), 0u);
}

TEST(IspecBuilder, UnknownKeyFieldFailsBeforeWritingAnything) {
  IspecContent s = Small();
  s.profiles[1].keyFields = {{"NOSUCH"}};
  test::ScratchDir dir;
  EXPECT_THROW(BuildIspec(dir.path(), s), std::invalid_argument);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(IspecBuilder, ProfileRecordsInOrderWithExtrasAndCrLf) {
  ProfileDef p;
  p.name = "MULTI";
  p.ispecs = {" ORDERS ", "CUSTOMER"};
  p.keyFields = {{"A"}};
  p.conditions = {{"S", '9', ' ', "X"}};
  p.extraRecords = {"Xjunk"};
  EXPECT_EQ(ProfileRecords(p, "ignored"),
            (std::vector<std::string>{"PMULTI     ", "I ORDERS ", "ICUSTOMER", "OA         FF", "CS         9  X",
                                      "Xjunk"}));
  IspecContent s = Small();
  s.profileCrlf = true;
  test::ScratchDir dir;
  BuildIspec(dir.path(), s);
  EXPECT_EQ(test::Slurp(dir.path() / "_CUSTOMER_P.DFN").substr(0, 13), "PCUSTNO    \r\n");
}

TEST(LargeIspec, StreamsRecordsAndOneKey) {
  LargeIspecOptions setup;
  setup.name = "BIG";
  setup.records = 5000;
  setup.emptyKey0 = false;
  test::ScratchDir dir;
  const IspecLayout layout = BuildLargeIspec(dir.path(), setup);
  EXPECT_EQ(layout.recordLength, 60);
  const std::string data = test::Slurp(layout.files.Data());
  ASSERT_EQ(data.size(), 5000u * 60);
  const std::vector<FieldLine> fields = {{"KEYNO", 1, "N", 10, 0, ""}, {"NAME", 2, "A", 24, 0, ""},
                                         {"CITY", 3, "A", 14, 0, ""},  {"AMOUNT", 4, "N", 8, 2, ""},
                                         {"[BRANCH]", 5, "A", 2, 0, ""}};
  EXPECT_EQ(data.substr(4999 * 60, 60), DataRecord(fields, LargeRecordValues(5000)));
  EXPECT_EQ(data.substr(0, 10), "0000000001");
  const std::string idx = test::Slurp(layout.files.Index());
  const Entries key = ReadLeaves(idx, 512, layout.index.keys[1]);
  ASSERT_EQ(key.records.size(), 5000u);
  EXPECT_EQ(key.keys[4999], "0000005000");
  EXPECT_EQ(key.records[4999], 5000u);
  EXPECT_EQ(layout.index.keys[0].entries, 5000u);
  EXPECT_EQ(Be32(idx, 33), 5000u);

  // BYNAME: the name, then the number; each name's records in record order.
  const Entries byName = ReadLeaves(idx, 512, layout.index.keys[2]);
  ASSERT_EQ(byName.records.size(), 5000u);
  for (std::size_t e = 0; e < 5000; ++e) {
    const std::uint32_t n = byName.records[e];
    EXPECT_EQ(byName.keys[e], FitField(LargeRecordName(n), fields[1]) + LargeRecordValues(n)[0]);
    if (e > 0) {
      EXPECT_LT(byName.keys[e - 1], byName.keys[e]);
    }
  }
  EXPECT_NE(byName.records[1], byName.records[0] + 1);  // the records are scattered
}

}  // namespace
}  // namespace ondrel::writer
