// Reading data records into display lines, and the big-endian numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "database/BigEndian.h"
#include "database/DataRecord.h"
#include "database/RecordBatch.h"
#include "database/Definition.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/DataFile.h"
#include "tools/writer/DefinitionText.h"

namespace ondrel {
namespace {

using test::TempDir;
using writer::FieldLine;

class DataRecordTest : public ::testing::Test {
 protected:
  // Loads a definition of these fields and writes the given slots as the
  // data file, opened for reading.
  void Prepare(const std::vector<FieldLine>& fields, const std::string& slots) {
    SetTextConstants(state);
    writer::DefinitionFile setup;
    setup.fields = fields;
    setup.line2 = "000001";  // the count line of a definition holds at most 32766
    state.DefinitionPath = dir.Write("_T.DFN", writer::DefinitionText(setup));
    test::RecordingPlatform platform;
    ASSERT_TRUE(LoadDefinition(state, platform));
    ASSERT_TRUE(data.Open(dir.Write("_T.DAT", slots)));
  }

  std::int64_t PositionOf(Long record) const { return (std::int64_t{record} - 1) * state.RecordLength + 1; }

  static long PeakResidentKiB() { return test::PeakResidentKiB(); }

  TempDir dir;
  SharedState state;
  ByteFile data;
};

TEST_F(DataRecordTest, WorkedExampleLinesAndPurgedFlag) {
  const std::vector<FieldLine> fields = {
      {"CUST", 1, "A", 6, 0}, {"AMOUNT", 2, "N", 7, 2}, {"[LINK]", 3, "A", 4, 0}};
  Prepare(fields, writer::DataRecord(fields, {"C00123", "00012345", "LNK1"}) +
                      writer::DataRecord(fields, {"C00200", "00000990", "LNK2"}, 0x00) +
                      writer::DataRecord(fields, {"C00300", "00000001", "LNK3"}, 'Z'));
  std::int64_t position = PositionOf(1);
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "C00123 00012345 ");
  EXPECT_EQ(state.RecordFlag, 'Y');
  EXPECT_EQ(position, 19);  // past the fields, not past the terminator

  position = PositionOf(2);
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "C00200 00000990 ");  // a purged record is still read
  EXPECT_EQ(state.RecordFlag, 'N');

  position = PositionOf(3);
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordFlag, 'N');
}

TEST_F(DataRecordTest, HiddenFieldsAreSkippedButConsumed) {
  const std::vector<FieldLine> fields = {
      {"A", 1, "A", 5, 0}, {"[H]", 2, "A", 3, 0}, {"B", 3, "A", 2, 0}, {"low", 4, "A", 2, 0},
      {"C", 5, "A", 10, 0}};
  Prepare(fields, writer::DataRecord(fields, {"aaaaa", "hhh", "bb", "ll", "cccccccccc"}));
  std::int64_t position = 1;
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "aaaaa bb cccccccccc ");
  EXPECT_EQ(state.RecordLine.size(), 20u);
}

TEST_F(DataRecordTest, OneByteNulFieldEndsTheRecordEarly) {
  const std::vector<FieldLine> fields = {{"A", 1, "A", 3, 0}, {"F", 2, "A", 1, 0}, {"B", 3, "A", 2, 0}};
  std::string slot = writer::DataRecord(fields, {"abc", std::string(1, '\0'), "zz"}, 0x00);
  Prepare(fields, slot);
  std::int64_t position = 1;
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "abc ");
  EXPECT_EQ(state.RecordFlag, 'Y');  // the purged terminator was never read
  EXPECT_EQ(position, 5);
}

TEST_F(DataRecordTest, TwoNulBytesAreShownUnchanged) {
  const std::vector<FieldLine> fields = {{"A", 1, "A", 2, 0}, {"B", 2, "A", 1, 0}};
  Prepare(fields, writer::DataRecord(fields, {std::string(2, '\0'), "x"}));
  std::int64_t position = 1;
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, std::string("\0\0 x ", 5));
}

TEST_F(DataRecordTest, BytesAboveAsciiAreKeptAsTheyStand) {
  const std::vector<FieldLine> fields = {{"A", 1, "A", 4, 0}};
  Prepare(fields, writer::DataRecord(fields, {"\x80\xE9\xFF\t"}));
  std::int64_t position = 1;
  ASSERT_TRUE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "\x80\xE9\xFF\t ");
}

TEST_F(DataRecordTest, ReadsOutsideTheFileFail) {
  const std::vector<FieldLine> fields = {{"A", 1, "A", 3, 0}, {"B", 2, "A", 3, 0}};
  const std::string slot = writer::DataRecord(fields, {"abc", "def"});
  Prepare(fields, slot + slot.substr(0, 5));  // the second record is cut short
  state.RecordLine = "left over";
  std::int64_t position = PositionOf(0);  // record number 0: a position below 1
  EXPECT_FALSE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "");
  EXPECT_EQ(state.RecordFlag, 'Y');

  position = PositionOf(2);
  EXPECT_FALSE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "abc ");  // the fields read before the failure

  position = PositionOf(3);  // wholly past the end
  EXPECT_FALSE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "");
}

// Field counts at the top of the 16-bit range: every loop over the fields
// counts in whole numbers, so 32767 fields are read like any other number.
TEST_F(DataRecordTest, DefinitionsOfTheLargestFieldCountsAreReadInFull) {
  for (const int hiddenWidth : {1, 3}) {  // a slot read in one piece, then one read field by field
    std::vector<FieldLine> fields = {{"SHOWN", 1, "A", 2, 0}};
    for (int i = 2; i <= 32766; ++i) fields.push_back({"h", i, "A", hiddenWidth, 0});
    fields.push_back({"LAST", 32767, "A", 3, 0});
    std::vector<std::string> values(fields.size(), std::string(static_cast<std::size_t>(hiddenWidth), 'x'));
    values.front() = "ab";
    values.back() = "xyz";
    Prepare(fields, writer::DataRecord(fields, values) + writer::DataRecord(fields, values, 0));
    ASSERT_EQ(state.FieldCount, 32767);
    std::int64_t position = PositionOf(2);
    ASSERT_TRUE(ReadRecord(state, data, position)) << hiddenWidth;
    EXPECT_EQ(state.RecordLine, "ab xyz ");
    EXPECT_EQ(state.RecordFlag, 'N');
    EXPECT_EQ(position, PositionOf(3) - 1);
  }
}

// A slot far larger than the data file fails at its first field that lies
// outside the file, whatever the definition claims the slot holds.
TEST_F(DataRecordTest, HugeHiddenFieldsOverATinyFileFailAtOnce) {
  std::vector<FieldLine> fields = {{"A", 1, "A", 2, 0}};
  for (int i = 2; i <= 32767; ++i) fields.push_back({"h", i, "A", 32767, 0});
  writer::DefinitionFile setup;
  setup.fields = fields;
  setup.line2 = "000001";
  SetTextConstants(state);
  state.DefinitionPath = dir.Write("_T.DFN", writer::DefinitionText(setup));
  test::RecordingPlatform platform;
  ASSERT_TRUE(LoadDefinition(state, platform));
  EXPECT_EQ(state.RecordLength, 2 + 32766 * 32767 + 1);
  ASSERT_TRUE(data.Open(dir.Write("_T.DAT", "ab01234567")));
  // Nothing near the slot's gigabyte is ever allocated: the process's peak
  // resident memory does not grow by more than a few pages.
  const long peakBefore = PeakResidentKiB();
  std::int64_t position = 1;
  EXPECT_FALSE(ReadRecord(state, data, position));
  EXPECT_EQ(state.RecordLine, "ab ");  // the one field inside the file still counts
  EXPECT_LT(PeakResidentKiB() - peakBefore, 64 * 1024);
}

// A data file cut inside its last slot holds only the slots before it: the
// count says so, and the batched reader hands no bytes for the cut one.
TEST_F(DataRecordTest, OnlyWholeSlotsAreRecords) {
  const std::vector<FieldLine> fields = {{"CUST", 1, "A", 6, 0}};
  const std::string whole = writer::DataRecord(fields, {"C00001"}) + writer::DataRecord(fields, {"C00002"});
  Prepare(fields, whole + writer::DataRecord(fields, {"C00003"}).substr(0, 6));
  ASSERT_EQ(state.RecordLength, 7);
  EXPECT_EQ(WholeSlots(data, state.RecordLength), 2);
  EXPECT_EQ(WholeSlots(14, 7), 2);
  EXPECT_EQ(WholeSlots(13, 7), 1);
  EXPECT_EQ(WholeSlots(6, 7), 0);
  EXPECT_EQ(WholeSlots(14, 0), 0);
  EXPECT_EQ(WholeSlots(14, -7), 0);
  EXPECT_EQ(WholeSlots(ByteFile(), 7), 0);

  struct Seen : SlotVisitor {
    std::vector<std::string> slots;
    void Visit(std::size_t, const char* slot) override { slots.push_back(slot ? std::string(slot, 6) : "-"); }
  } seen;
  RecordBatch batch(data, state.RecordLength);
  for (Long record : {3, 1, 2}) batch.Add(record);
  batch.Read(seen);
  EXPECT_EQ(seen.slots, (std::vector<std::string>{"C00001", "C00002", "-"}));
}

TEST(BigEndianTest, ConversionsOfBytesAsTheyLie) {
  struct Case16 {
    unsigned char b[2];
    Integer value;
  };
  for (const Case16& c : {Case16{{0x01, 0x02}, 258}, Case16{{0x00, 0xFF}, 255},
                          Case16{{0xFF, 0xFF}, -1}, Case16{{0x80, 0x00}, -32768}}) {
    EXPECT_EQ(BE16(c.b), c.value);
    Integer asRead;
    std::memcpy(&asRead, c.b, 2);  // first byte as the low half on this machine
    EXPECT_EQ(IntFromBigEndian(asRead), c.value);
  }
  struct Case32 {
    unsigned char b[4];
    Long value;
  };
  for (const Case32& c : {Case32{{0, 0, 0xFF, 0xFF}, 65535}, Case32{{0, 1, 0, 0}, 65536},
                          Case32{{0x7F, 0xFF, 0xFF, 0xFF}, 2147483647},
                          Case32{{0, 0, 0x80, 0x00}, 32768}}) {
    EXPECT_EQ(static_cast<Long>(BE32(c.b)), c.value);
    Long asRead;
    std::memcpy(&asRead, c.b, 4);
    EXPECT_EQ(LongFromBigEndian(asRead), c.value);
  }
}

TEST(ByteFileTest, ReadsStayInsideTheFile) {
  TempDir dir;
  ByteFile file(dir.Write("f", std::string("\x00\x01\x80\x00\x00\x00\xFF\xFF\xFF\xFF", 10)));
  ASSERT_TRUE(file.IsOpen());
  Integer i = 7;
  EXPECT_TRUE(file.ReadBE16(1, i));
  EXPECT_EQ(i, 1);
  EXPECT_FALSE(file.ReadBE16(10, i));  // one byte short
  EXPECT_FALSE(file.ReadBE16(0, i));   // below position 1
  EXPECT_EQ(i, 1);                     // a failed read leaves the value
  Long l = 5;
  EXPECT_FALSE(file.ReadLong(3, l));   // 0x80000000 is no valid Long
  EXPECT_FALSE(file.ReadLong(7, l));   // 0xFFFFFFFF neither
  EXPECT_EQ(l, 5);
  std::uint32_t u = 0;
  EXPECT_TRUE(file.ReadBE32(7, u));
  EXPECT_EQ(u, 0xFFFFFFFFu);
  std::string text = "kept";
  EXPECT_TRUE(file.ReadText(-100, 0, text));  // nothing to read cannot fail
  EXPECT_EQ(text, "");
  EXPECT_FALSE(ByteFile().Open((dir.path() / "missing").string()));
  EXPECT_FALSE(ByteFile().Open(dir.str()));  // a directory is no data file
}

TEST(ByteFileTest, LargeAndBlockCrossingReadsMatchTheFile) {
  TempDir dir;
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  ByteFile file(dir.Write("big", bytes));
  std::string out;
  ASSERT_TRUE(file.ReadText(65530, 20, out));  // crosses a block boundary
  EXPECT_EQ(out, bytes.substr(65529, 20));
  ASSERT_TRUE(file.ReadText(1, 200000, out));  // larger than a block
  EXPECT_EQ(out, bytes.substr(0, 200000));
  ASSERT_TRUE(file.ReadText(300000, 1, out));
  EXPECT_EQ(out, bytes.substr(299999, 1));
  EXPECT_FALSE(file.ReadText(299999, 3, out));
}

}  // namespace
}  // namespace ondrel
