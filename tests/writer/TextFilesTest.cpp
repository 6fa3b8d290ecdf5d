// Definition, profile and data files: exact bytes for small cases.

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "tools/writer/DataFile.h"
#include "tools/writer/DefinitionText.h"
#include "tools/writer/ProfileText.h"

namespace ondrel::writer {
namespace {

std::vector<FieldLine> CustAmountLink() {
  return {{"CUST", 1, "A", 6, 0, ""}, {"AMOUNT", 2, "N", 7, 2, ""}, {"[LINK]", 3, "A", 4, 0, ""}};
}

TEST(DefinitionText, NewerLayoutWithExtraItemsAndCountLine) {
  DefinitionFile setup;
  setup.fields = CustAmountLink();
  setup.fields[0].extra = "0 K";
  EXPECT_EQ(DefinitionText(setup),
            "V002.004.000\n"
            "000003\n"
            "CUST 1 A 6 0 0 K\n"
            "AMOUNT 2 N 7 2\n"
            "[LINK] 3 A 4 0\n");
}

TEST(DefinitionText, OlderLayoutCrLfAndMissingFinalLineEnd) {
  DefinitionFile setup;
  setup.version = kOlderVersion;
  setup.line2 = "    12 anything";
  setup.fields = CustAmountLink();
  setup.crlf = true;
  setup.finalLineEnd = false;
  EXPECT_EQ(DefinitionText(setup),
            "V002.003.001\r\n"
            "    12 anything\r\n"
            "CUST 1 A 6 0\r\n"
            "AMOUNT 2 N 7 2\r\n"
            "[LINK] 3 A 4 0");
}

TEST(DefinitionText, AdjustedWidthsAndRecordLength) {
  const std::vector<FieldLine> fields = CustAmountLink();
  EXPECT_EQ(AdjustedWidth(fields[0]), 6);
  EXPECT_EQ(AdjustedWidth(fields[1]), 8);  // decimals add the point
  EXPECT_EQ(AdjustedWidth(fields[2]), 4);
  EXPECT_EQ(RecordLength(fields), 19);
  EXPECT_EQ(AdjustedWidth({"X", 1, "Q", 7, 2, ""}), 9);  // other type and decimals
  EXPECT_EQ(AdjustedWidth({"X", 1, "D", 8, 0, ""}), 8);
  EXPECT_EQ(AdjustedWidth({"X", 1, "", 3, 0, ""}), 4);
  EXPECT_EQ(RecordLength({}), 1);
}

TEST(DefinitionText, HiddenFieldsByFirstByte) {
  EXPECT_FALSE(IsHidden({"CUST", 0, "A", 1, 0, ""}));
  EXPECT_FALSE(IsHidden({"", 0, "A", 1, 0, ""}));
  EXPECT_FALSE(IsHidden({"Z9", 0, "A", 1, 0, ""}));
  EXPECT_TRUE(IsHidden({"[LINK]", 0, "A", 1, 0, ""}));
  EXPECT_TRUE(IsHidden({"contact", 0, "A", 1, 0, ""}));
  EXPECT_TRUE(IsHidden({"_X", 0, "A", 1, 0, ""}));
  EXPECT_TRUE(IsHidden({"\xC4X", 0, "A", 1, 0, ""}));
}

TEST(ProfileText, RecordLayouts) {
  EXPECT_EQ(PRecord("CUSTNO"), "PCUSTNO    ");
  EXPECT_EQ(PRecord("ABCDEFGHIJKL"), "PABCDEFGHIJ");
  EXPECT_EQ(IRecord(" CUSTOMER "), "I CUSTOMER ");
  EXPECT_EQ(ORecord("NAME"), "ONAME      FF");
  EXPECT_EQ(ORecord("BALANCE", true, true), "OBALANCE   TT");
  const std::string c = CRecord("STATUS", Op::NotEqual, kAnd, "GLB.SPACES");
  ASSERT_EQ(c.size(), 24u);
  EXPECT_EQ(c.substr(0, 11), "CSTATUS    ");
  EXPECT_EQ(c[11], '3');
  EXPECT_EQ(c[13], '&');
  EXPECT_EQ(c.substr(14), "GLB.SPACES");
  EXPECT_EQ(CRecord("STATUS", '9', ' ', "A", 'x'), "CSTATUS    9x A");
}

TEST(ProfileText, JoinsRecordsInOrderWithChosenLineEnd) {
  const std::vector<std::string> records = {PRecord("B"), IRecord("X"), "Zraw", PRecord("A")};
  EXPECT_EQ(ProfileText(records), "PB         \nIX\nZraw\nPA         \n");
  EXPECT_EQ(ProfileText(records, true), "PB         \r\nIX\r\nZraw\r\nPA         \r\n");
  EXPECT_EQ(ProfileText({}), "");
}

TEST(DataFile, FieldsFittedByType) {
  const FieldLine name{"NAME", 1, "A", 5, 0, ""};
  const FieldLine amount{"AMOUNT", 2, "N", 5, 2, ""};
  EXPECT_EQ(FitField("Ab", name), "Ab   ");
  EXPECT_EQ(FitField("Abcdefg", name), "Abcde");
  EXPECT_EQ(FitField("1.50", amount), "  1.50");
  EXPECT_EQ(FitField("1234567", amount), "123456");
  EXPECT_EQ(FitField(std::string("\x80\xFF\x00z", 4), name), std::string("\x80\xFF\x00z ", 5));
}

TEST(DataFile, RecordSlotsWithTerminators) {
  const std::vector<FieldLine> fields = CustAmountLink();
  const std::string active = DataRecord(fields, {"C1", "12.34", "L9"});
  EXPECT_EQ(active, std::string("C1    " "   12.34" "L9  " "\n"));
  ASSERT_EQ(active.size(), 19u);
  const std::string purged = DataRecord(fields, {"C2"}, kPurged);
  EXPECT_EQ(purged, std::string("C2    " "        " "    " "\0", 19));

  test::ScratchDir dir;
  DataFileWriter writer(dir.path() / "_T.DAT");
  writer.Append(active);
  writer.Append(purged);
  writer.Close();
  EXPECT_EQ(writer.RecordsWritten(), 2u);
  EXPECT_EQ(test::Slurp(dir.path() / "_T.DAT"), active + purged);
}

}  // namespace
}  // namespace ondrel::writer
