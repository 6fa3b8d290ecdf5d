// The fields of a record as SQL values, and the names and texts the SQL
// front ends make, without SQLite.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "database/SharedState.h"
#include "sql/RecordColumns.h"
#include "sql/SqlText.h"

namespace ondrel::sql {
namespace {

FieldColumn Number(int width, int decimals) {
  FieldColumn column;
  column.width = static_cast<std::size_t>(width);
  column.decimals = decimals;
  column.type = decimals > 0 ? ColumnType::Real : ColumnType::Integer;
  return column;
}

TEST(FieldValueTest, NumbersAreTakenOnlyWhenWellFormed) {
  const FieldColumn whole = Number(8, 0);
  const FieldColumn money = Number(9, 2);
  struct Case {
    const FieldColumn* column;
    const char* stored;
    ColumnType kind;
    double value;  // for numbers
    const char* text;  // for text
  };
  const Case cases[] = {
      {&whole, "00001234", ColumnType::Integer, 1234, ""},
      {&whole, "   -1234", ColumnType::Integer, -1234, ""},
      {&whole, "+42     ", ColumnType::Integer, 42, ""},
      {&money, "  1234.56", ColumnType::Real, 1234.56, ""},
      {&money, " -0012.50", ColumnType::Real, -12.5, ""},
      {&money, "      .25", ColumnType::Real, 0.25, ""},
      {&money, "     1234", ColumnType::Real, 1234, ""},  // no point: a whole amount
      {&whole, "    12.5", ColumnType::Text, 0, "    12.5"},  // a point without decimals
      {&money, "  1.2.3  ", ColumnType::Text, 0, "  1.2.3"},
      {&whole, "  12 34 ", ColumnType::Text, 0, "  12 34"},
      {&whole, "        ", ColumnType::Text, 0, ""},
      {&whole, "  -     ", ColumnType::Text, 0, "  -"},
      {&whole, "1e5     ", ColumnType::Text, 0, "1e5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const FieldValue value = ValueOf(*c.column, c.stored);
    ASSERT_EQ(value.kind, c.kind);
    if (c.kind == ColumnType::Integer) {
      EXPECT_EQ(value.integer, static_cast<std::int64_t>(c.value));
    } else if (c.kind == ColumnType::Real) {
      EXPECT_DOUBLE_EQ(value.real, c.value);
    } else {
      EXPECT_EQ(value.text, c.text);
    }
  }
  // The edges of 64 bits: one past them stays text rather than lose digits.
  const FieldColumn wide = Number(20, 0);
  EXPECT_EQ(ValueOf(wide, "-9223372036854775808").integer, INT64_MIN);
  EXPECT_EQ(ValueOf(wide, " 9223372036854775807").integer, INT64_MAX);
  EXPECT_EQ(ValueOf(wide, " 9223372036854775808").kind, ColumnType::Text);
  // Text keeps the blanks in front and the bytes as stored.
  FieldColumn text;
  text.width = 6;
  EXPECT_EQ(ValueOf(text, " 12\xE9  ").text, " 12\xE9");
}

SharedState Definition() {
  SharedState state;
  state.FieldTable.resize(1);
  for (const FieldDef& field : {FieldDef{"NO", 1, "N", 4, 0, 1}, FieldDef{"no", 2, "A", 2, 0, 0},
                                FieldDef{"FLAG", 3, "A", 1, 0, 6}, FieldDef{"", 4, "N", 6, 2, 8},
                                FieldDef{"purged", 5, "A", 2, 0, 0}})
    state.FieldTable.push_back(field);
  state.FieldCount = 5;
  state.RecordLength = 4 + 2 + 1 + 6 + 2 + 1;
  return state;
}

TEST(RecordColumnsTest, EveryFieldIsAColumnUnderAName) {
  const SharedState state = Definition();
  NameSet names;
  names.Take("purged");
  const auto columns = RecordColumns(state, names);
  ASSERT_EQ(columns.size(), 5u);
  // Names compare without regard to case; an empty one is named for its place.
  EXPECT_EQ(columns[0].name, "NO");
  EXPECT_EQ(columns[1].name, "no_2");
  EXPECT_EQ(columns[3].name, "field_4");
  EXPECT_EQ(columns[4].name, "purged_2");
  EXPECT_TRUE(columns[1].hidden);
  EXPECT_FALSE(columns[2].hidden);
  EXPECT_EQ(columns[3].type, ColumnType::Real);
  EXPECT_EQ(columns[3].offset, 7u);
  EXPECT_EQ(QuoteIdentifier("a\"b c"), "\"a\"\"b c\"");
}

TEST(RecordColumnsTest, ARecordEndsWhereTheReaderEndsIt) {
  const SharedState state = Definition();
  NameSet names;
  const auto columns = RecordColumns(state, names);
  RecordFields fields(state, columns);
  std::string_view bytes;

  fields.FromSlot("0042hiY  1.50zz\n");
  EXPECT_EQ(fields.Taken(), 5u);
  EXPECT_FALSE(fields.Purged());
  ASSERT_TRUE(fields.Field(3, bytes));
  EXPECT_EQ(bytes, "  1.50");

  fields.FromSlot("0042hiY  1.50zz");  // any terminator but LF: purged
  EXPECT_TRUE(fields.Purged());
  ASSERT_TRUE(fields.Field(4, bytes));
  EXPECT_EQ(bytes, "zz");

  // A one-byte field of NUL ends the record: it and the fields after it are
  // no part of it, and the record counts as active.
  const char early[] = "0042hi\0  1.50zz";
  fields.FromSlot(early);
  EXPECT_EQ(fields.Taken(), 2u);
  EXPECT_FALSE(fields.Purged());
  EXPECT_TRUE(fields.Field(1, bytes));
  EXPECT_FALSE(fields.Field(2, bytes));
}

TEST(SqlTextTest, ArgumentsJsonAndReals) {
  EXPECT_EQ(Unquote(" '/srv/my db' "), "/srv/my db");
  EXPECT_EQ(Unquote("'it''s'"), "it's");
  EXPECT_EQ(Unquote("\"a\"\"b\""), "a\"b");
  EXPECT_EQ(Unquote("CUSTOMER"), "CUSTOMER");
  EXPECT_EQ(Unquote("'"), "'");

  std::string json;
  AppendJsonString(json, std::string_view("a\"\\\n\x01\xE9\x80", 7));
  EXPECT_EQ(json, "\"a\\\"\\\\\\u000a\\u0001\xC3\xA9\xE2\x82\xAC\"");

  // Messages: UTF-8 kept, any other byte read as Windows-1252 (a lone
  // 0xC3 before a blank, a 0xC9 name, a truncated and an overlong form).
  EXPECT_EQ(MessageText("/d/caf\xC3\xA9/_CAF\xC9.DAT \xC3 \xE2\x82 \xC0\xAF \xF0\x9F\x98\x80"),
            "/d/caf\xC3\xA9/_CAF\xC3\x89.DAT \xC3\x83 \xC3\xA2\xE2\x80\x9A \xC3\x80\xC2\xAF \xF0\x9F\x98\x80");

  std::string real;
  AppendShortestReal(real, 0.1);
  real += ' ';
  AppendShortestReal(real, 1234.0);
  real += ' ';
  AppendShortestReal(real, -12.5);
  EXPECT_EQ(real, "0.1 1234.0 -12.5");
}

}  // namespace
}  // namespace ondrel::sql
