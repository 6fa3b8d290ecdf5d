// ondrel-export run as a program: each mode's exact output, CSV quoting,
// messages and exit status, a broken pipe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "database/Messages.h"
#include "tests/export/RunTool.h"
#include "tests/viewer/NumberedIspec.h"
#include "tools/writer/Damage.h"

namespace ondrel {
namespace {

using test::RunTool;

// CUST: names holding a comma, quotes and a line break, a purged record
// (4), an unflagged entry (5) and a byte of the code page's upper half.
struct Databases {
  test::TempDir dir;
  writer::IspecLayout cust;
  Databases() {
    writer::IspecContent setup;
    setup.name = "CUST";
    setup.definition.fields = {
        {"CUSTNO", 1, "N", 6, 0}, {"NAME", 2, "A", 12, 0}, {"[HID]", 3, "A", 2, 0}, {"AMOUNT", 4, "N", 7, 2}};
    setup.records = {{{"000001", "Smith, John", "h", "00012.34"}},
                    {{"000002", "Say \"hi\"", "h", "00000.00"}},
                    {{"000003", "Line\nbreak", "h", "00100.00"}},
                    {{"000004", "Purged", "h", "00000.01"}, true},
                    {{"000005", "Hidden", "h", "00000.02"}},
                    {{"000006", "Caf\xE9", "h", "00009.99"}}};
    setup.profiles = {
        {.name = "BYNO", .keyFields = {{"CUSTNO", false, true}},
         .conditions = {{"AMOUNT", '1', '&', "GLB.ZEROS"}, {"NAME", '0', ' ', "A"}},
         .ispecs = {"ZED", "CUST"},
         .select = [](std::uint32_t, const writer::RecordContent&) { return true; },
         .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
           return n == 5 ? 'N' : 'Y';
         }},
        {.name = "BYNAME", .keyFields = {{"NAME"}}}};
    cust = writer::BuildIspec(dir.str(), setup);
    test::BuildNumbered(dir.str(), "LARGE", 70500);
    test::BuildNumbered(dir.str(), "alpha", 1);
  }
};

const Databases& Shared() {
  static const Databases databases;
  return databases;
}
std::string Dir() { return Shared().dir.str(); }

const std::string kCustHeading = "CUSTNO NAME" + std::string(10, ' ') + "AMOUNT  \n" + std::string(28, '-') + "\n";
const std::string kNumberedHeading = "   NO  NAME     \r\n" + std::string(15, '-') + "\r\n";

TEST(ExportTest, ListsIspecsSortedAndProfilesInFileOrder) {
  EXPECT_EQ(RunTool({Dir()}).out, "CUST\nLARGE\nalpha\n");
  const auto profiles = RunTool({Dir(), "CUST"});
  EXPECT_EQ(profiles.out, "BYNO\nBYNAME\n");
  EXPECT_EQ(profiles.status, 0);

  // Control characters in printed names are escaped: one name, one line, and
  // nothing a terminal would act on.
  test::TempDir odd;
  odd.Write("_A\nB.DFN", "");
  odd.Write("_C\x1b[2J.DFN", "");
  EXPECT_EQ(RunTool({odd.str()}).out, "A\\nB\nC\\x1B[2J\n");
  odd.Write("_A\nB_P.DFN", "P\tTAB\n");
  const auto run = RunTool({odd.str(), "A\nB"});
  EXPECT_EQ(test::Lines(run.err).size(), 1u);
  EXPECT_THAT(run.err, ::testing::HasSubstr("_A\\nB.IDX.  You need"));  // the message names the file on one line
}

TEST(ExportTest, TextExportIsTheWindowsLinesWithoutTheLimit) {
  const auto run = RunTool({Dir(), "CUST", "BYNO"});
  EXPECT_EQ(run.out, kCustHeading +
                         "000001 Smith, John  00012.34 \n"
                         "000002 Say \"hi\"     00000.00 \n"
                         "000003 Line\nbreak   00100.00 \n"
                         ">> Record Purged <<\n"
                         "000006 Caf\u00E9         00009.99 \n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);

  EXPECT_EQ(RunTool({"--from", "3", "--count=2", Dir(), "CUST", "BYNO"}).out,
            kCustHeading + "000003 Line\nbreak   00100.00 \n>> Record Purged <<\n");

  const auto large = RunTool({Dir(), "LARGE", "BYNO"});
  EXPECT_EQ(large.out.size(), 17 + 16 + 70500 * 17u);
  EXPECT_EQ(large.out.substr(large.out.size() - 17), test::NumberedLine(70500) + "\n");
}

TEST(ExportTest, CsvQuotesAndLeavesOutPurgedRecords) {
  const auto run = RunTool({Dir(), "CUST", "BYNO", "--format", "csv"});
  EXPECT_EQ(run.out,
            "CUSTNO,NAME,AMOUNT\r\n"
            "000001,\"Smith, John\",00012.34\r\n"
            "000002,\"Say \"\"hi\"\"\",00000.00\r\n"
            "000003,\"Line\nbreak\",00100.00\r\n"
            "000006,Caf\u00E9,00009.99\r\n");
  EXPECT_EQ(RunTool({"--format=csv", "--from=4", "--count=1", Dir(), "CUST", "BYNO"}).out,
            "CUSTNO,NAME,AMOUNT\r\n000006,Caf\u00E9,00009.99\r\n");
}

TEST(ExportTest, WindowIsTheClipboardText) {
  const auto at = [](const std::string& entry) { return RunTool({"--window", entry, Dir(), "LARGE", "BYNO"}); };
  EXPECT_EQ(at("1").out, "LARGE via BYNO: Record 1 thru 21 of 70500\r\n" + kNumberedHeading +
                             test::NumberedLines(1, 21));
  EXPECT_EQ(at("32001").out, "LARGE via BYNO: Record 32001 thru 32021 of 70500\r\n" +
                                 kNumberedHeading + test::NumberedLines(32001, 32021));
  // Beyond the end the caption stays that of the window at entry 1.
  const auto beyond = at("70501");
  EXPECT_EQ(beyond.out, "LARGE via BYNO: Record 1 thru 21 of 70500\r\n" + kNumberedHeading + ">> No Entries <<");
  EXPECT_EQ(beyond.status, 0);
}

TEST(ExportTest, Describe) {
  const auto run = RunTool({"--describe", Dir(), "CUST", "BYNO"});
  EXPECT_EQ(run.out, "Records: 6\nNode size: 512\nRoot node: " + std::to_string(Shared().cust.index.keys[1].root) +
                         "\nKey length: 6\nEntry tail: 4\nLeaves: 1\nEntries: 6\nSections: 1\n"
                         "ISPEC: CUST\nISPEC: ZED\nOrdinate: CUSTNO, LIFP\n"
                         "Condition: AMOUNT > GLB.ZEROS AND\nCondition: NAME = (A)\n");
}

// --seek picks the start entry of the export and of --window, as --from and
// --window N do; --describe tells the entry found.
TEST(ExportTest, SeekStartsAtTheFirstKeyAtOrAfterTheValue) {
  EXPECT_EQ(RunTool({"--seek", "32001", "--count", "2", Dir(), "LARGE", "BYNO"}).out,
            kNumberedHeading.substr(0, 16) + "\n" + std::string(15, '-') + "\n" + test::NumberedLine(32001) + "\n" +
                test::NumberedLine(32002) + "\n");
  EXPECT_EQ(RunTool({"--window", "--seek", "32000", Dir(), "LARGE", "BYNO"}).out,
            "LARGE via BYNO: Record 32000 thru 32020 of 70500\r\n" + kNumberedHeading +
                test::NumberedLines(32000, 32020));
  // A name typed short is a prefix; an accented letter is typed as UTF-8.
  // BYNAME: Caf\xE9, Hidden, Line\nbreak, Say "hi", Smith, John.
  const std::string described = RunTool({"--describe", "--seek", "Sa", Dir(), "CUST", "BYNAME"}).out;
  EXPECT_EQ(described.substr(described.rfind("Seek: ")), "Seek: 4\n");
  EXPECT_NE(RunTool({"--describe", "--seek", "Caf\u00E9", Dir(), "CUST", "BYNAME"}).out.find("Seek: 1\n"),
            std::string::npos);
  EXPECT_NE(RunTool({"--describe", "--seek", "999999", Dir(), "LARGE", "BYNO"}).out.find("Seek: 0\n"),
            std::string::npos);
  const auto past = RunTool({"--seek", "999999", Dir(), "LARGE", "BYNO"});
  EXPECT_EQ(past.status, 0);
  EXPECT_EQ(test::Lines(past.out).size(), 2u);  // the heading alone

  // What cannot be sought fails with the reason; what cannot go together is a
  // usage error.
  const auto tooLong = RunTool({"--seek", "1234567", Dir(), "LARGE", "BYNO"});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.err, "Ondrel viewer: The value typed for NO is longer than its 6 characters.\n");
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--seek", "1", "--from", "2", Dir(), "LARGE", "BYNO"},
        {"--window", "5", "--seek", "1", Dir(), "LARGE", "BYNO"},
        {"--window", Dir(), "LARGE", "BYNO"},
        {"--check", "--seek", "1", Dir(), "LARGE", "BYNO"}}) {
    const auto run = RunTool(bad);
    EXPECT_EQ(run.status, 2) << bad[0] << bad[2];
  }
}

// --find keeps the records whose line holds the text, as the viewer's
// search finds them; --entry-numbers tells each line's entry number.
TEST(ExportTest, FindLimitsTheExportAndEntryNumbersLeadEachLine) {
  // "Caf\xE9" is found as "CAF\u00C9" without --match-case; the purged
  // record 4 ("Purged") and the unflagged entry 5 never match.
  EXPECT_EQ(RunTool({"--find", "CAF\u00C9", "--entry-numbers", Dir(), "CUST", "BYNO"}).out,
            "     ENTRY " + kCustHeading.substr(0, kCustHeading.find('\n') + 1) + "---------- " +
                std::string(28, '-') + "\n" + "         6 000006 Caf\u00E9" + std::string(9, ' ') + "00009.99 \n");
  EXPECT_EQ(RunTool({"--find", "af\u00E9", "--match-case", Dir(), "CUST", "BYNO"}).out,
            kCustHeading + "000006 Caf\u00E9" + std::string(9, ' ') + "00009.99 \n");
  EXPECT_EQ(RunTool({"--find", "CAF\u00C9", "--match-case", Dir(), "CUST", "BYNO"}).out, kCustHeading);
  EXPECT_EQ(RunTool({"--find", "Purged", Dir(), "CUST", "BYNO"}).out, kCustHeading);
  EXPECT_EQ(RunTool({"--find", "Hidden", Dir(), "CUST", "BYNO"}).out, kCustHeading);
  EXPECT_EQ(RunTool({"--find", "N00320", "--entry-numbers", "--format", "csv", "--count", "2", Dir(), "LARGE",
                     "BYNO"}).out,
            "ENTRY,NO,NAME\r\n32000,032000,N0032000\r\n32001,032001,N0032001\r\n");
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--match-case", Dir(), "CUST", "BYNO"}, {"--find", "", Dir(), "CUST", "BYNO"},
        {"--find", "x", "--window", "1", Dir(), "CUST", "BYNO"}, {"--entry-numbers=1", Dir(), "CUST", "BYNO"}})
    EXPECT_EQ(RunTool(bad).status, 2) << bad[0];
}

TEST(ExportTest, MessagesAndExitStatus) {
  test::TempDir dir;
  const auto gone = test::BuildNumbered(dir.str(), "GONE", 3);
  std::filesystem::remove(gone.files.Data());
  auto run = RunTool({dir.str(), "GONE"});
  EXPECT_EQ(run.err, "OOPS!  I'm not all present.: The runtime database is incomplete.  You are missing all or part of " +
                         gone.files.Data().string() + ".  You need to create or restore the database.\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 1);

  test::BuildNumbered(dir.str(), "NODEF", 3);
  dir.Write("_NODEF.DFN", "V002.004.000\nnot a number\n");
  run = RunTool({dir.str(), "NODEF", "BYNO"});
  EXPECT_EQ(run.err, "OOPS!: Sorry, the file you selected has no associated definition.  Perhaps it is not a user-defined file.\n");
  EXPECT_EQ(run.status, 1);

  // A damaged tree: the walk reports both failed reads of the lost node and
  // the export goes on with the other leaves.
  const auto tree = test::BuildNumbered(dir.str(), "TREE", 100);
  writer::ZeroChildPointer(tree.files, 1, tree.index.keys[1].root, 0);
  run = RunTool({dir.str(), "TREE", "BYNO"});
  const std::string coarse = std::string(msg::kCoarseTitle) + ": " + msg::kCoarse + "\n";
  EXPECT_EQ(run.err, coarse + coarse +
                         "Ondrel viewer: The export is incomplete: building the reference information met 2 errors.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find(test::NumberedLine(1)), std::string::npos);  // the first leaf is lost
  EXPECT_NE(run.out.find(test::NumberedLine(100)), std::string::npos);  // the rest is all there

  // What the user typed is echoed escaped: a byte that is no UTF-8, a cut
  // sequence, an overlong form and C1 controls; letters beyond ASCII stay.
  const std::string cannot = " holds a character the database's code page cannot hold.\n";
  EXPECT_EQ(RunTool({"--seek", "\xFF\xC3\xA9\x1B[2J\xE2\x82", Dir(), "LARGE", "BYNO"}).err,
            "Ondrel viewer: The value \\xFF\u00E9\\x1B[2J\\xE2\\x82 of --seek" + cannot);
  run = RunTool({"--find", "a\xC2\x9B" "1m\xC0\xAF\xC2\x85z\u20AC", Dir(), "CUST", "BYNO"});
  EXPECT_EQ(run.err, "Ondrel viewer: The text a\\u009B1m\\xC0\\xAF\\u0085z\u20AC of --find" + cannot);
  EXPECT_EQ(run.status, 1);

  EXPECT_EQ(RunTool({"--help"}).status, 0);
  EXPECT_NE(RunTool({"--help"}).out.find("Example:"), std::string::npos);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{}, {"--format", "xml", Dir(), "CUST", "BYNO"}, {"--window", "5", Dir()},
        {"--describe", "--check", Dir(), "CUST", "BYNO"}, {"--count", "-1", Dir(), "CUST", "BYNO"},
        {"--bogus", Dir()}, {Dir(), "CUST", "BYNO", "extra"}}) {
    run = RunTool(bad);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Usage:"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
}

// A profile is named as the listing shows it: its Windows-1252 name in
// UTF-8.  PR\xC9 lists as "PRÉ"; PR\xC3\x89, whose bytes are that same
// UTF-8, lists as "PRÃ‰".  Each name the listing shows opens its own
// profile (told apart by their orders), in every mode that takes one.
TEST(ExportTest, AProfileIsNamedAsTheListingShowsIt) {
  test::TempDir dir;
  writer::IspecContent setup;
  setup.name = "NAMES";
  setup.definition.fields = {{"NO", 1, "N", 2, 0}, {"NAME", 2, "A", 4, 0}};
  setup.records = {{{"01", "Zed "}}, {{"02", "Abe "}}};
  setup.profiles = {{.name = "PR\xC9", .keyFields = {{"NO"}}}, {.name = "PR\xC3\x89", .keyFields = {{"NAME"}}}};
  writer::BuildIspec(dir.str(), setup);

  const std::string shownByNo = "PR\u00C9", shownByName = "PR\u00C3\u2030";
  EXPECT_EQ(RunTool({dir.str(), "NAMES"}).out, shownByNo + "\n" + shownByName + "\n");
  const std::string byNo = "NO NAME \n-------\n01 Zed  \n02 Abe  \n";
  const std::string byName = "NO NAME \n-------\n02 Abe  \n01 Zed  \n";
  EXPECT_EQ(RunTool({dir.str(), "NAMES", shownByNo}).out, byNo);
  EXPECT_EQ(RunTool({dir.str(), "NAMES", shownByName}).out, byName);
  const std::string window = RunTool({"--window", "1", dir.str(), "NAMES", shownByName}).out;
  EXPECT_EQ(window.rfind("NAMES via " + shownByName + ": Record 1 thru 2 of 2", 0), 0u) << window;
  EXPECT_LT(window.find("02 Abe"), window.find("01 Zed"));
  // The stored bytes, typed raw, are no UTF-8 and name the profile too.
  EXPECT_EQ(RunTool({dir.str(), "NAMES", "PR\xC9"}).out, byNo);

  const auto checked = RunTool({"--check", dir.str(), "NAMES", shownByName});
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
  const auto missing = RunTool({dir.str(), "NAMES", "PR\u00C8"});
  EXPECT_EQ(missing.err, "Ondrel viewer: The ISPEC NAMES has no profile PR\u00C8.\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(RunTool({"--check", dir.str(), "NAMES", "PR\u00C8"}).status, 1);
}

// An export that could not read everything writes everything it could,
// then one last line that counts the rest, and fails.
TEST(ExportTest, WhatCouldNotBeReadIsCountedAndFailsTheExport) {
  test::TempDir dir;
  const auto layout = test::BuildNumbered(dir.str(), "CUT", 100);
  const std::string fine = std::string(msg::kFineTitle) + ": " + msg::kFine + "\n";
  writer::TruncateFile(layout.files, writer::FileKind::Data, 90 * 17 + 5);  // records 91 to 100 are gone
  for (const std::string format : {"text", "csv"}) {
    const auto run = RunTool({"--format", format, dir.str(), "CUT", "BYNO"});
    EXPECT_EQ(run.err, fine + "Ondrel viewer: The export is incomplete: 10 data records could not be read.\n" +
                           "Ondrel viewer: The index is older than its data file, or damaged: the index header "
                           "counts 100 records, the data file holds 90.\n");
    EXPECT_EQ(run.status, 1);
    const auto lines = test::Lines(run.out);
    ASSERT_EQ(lines.size(), format == "text" ? 102u : 101u);
    EXPECT_EQ(lines[format == "text" ? 91 : 90], format == "text" ? test::NumberedLine(90) : "000090,N0000090\r");
    EXPECT_EQ(lines.back(), format == "text" ? "" : ",\r");  // the rows of the lost records are empty
  }

  // Keys out of the tree's order, as a rewrite under way can leave them.
  const auto order = test::BuildNumbered(dir.str(), "SWAP", 100);
  writer::SwapEntries(order.files, 1, order.index.keys[1].Leaves()[1], 0, order.index.keys[1].Leaves()[1], 1);
  const auto run = RunTool({dir.str(), "SWAP", "BYNO"});
  EXPECT_EQ(run.err, fine + "Ondrel viewer: The export is incomplete: 1 key was out of the tree's order.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::Lines(run.out).size(), 102u);

  // A key that names another record than the one it points at.
  const auto torn = test::BuildNumbered(dir.str(), "TORN", 100);
  writer::SetEntryKey(torn.files, 1, torn.index.keys[1].Leaves()[0], 4, "000006");
  const auto tornRun = RunTool({dir.str(), "TORN", "BYNO"});
  EXPECT_EQ(tornRun.err,
            fine + "Ondrel viewer: The export is incomplete: 1 key did not match the record it points at.\n");
  EXPECT_EQ(tornRun.status, 1);
}

// An index older than its data file misses the records added since: every
// mode that answers through the profile says so and fails.  Purged records
// without entries, and a profile with conditions, are no such thing.
TEST(ExportTest, AnIndexThatCannotBelongToItsDataFileFailsEveryMode) {
  test::TempDir dir, newer, out;
  const auto old = test::BuildNumbered(dir.str(), "OLD", 100);
  std::filesystem::copy_file(test::BuildNumbered(newer.str(), "OLD", 110).files.Data(), old.files.Data(),
                             std::filesystem::copy_options::overwrite_existing);
  const auto cut = test::BuildNumbered(dir.str(), "CUT", 100);
  writer::TruncateFile(cut.files, writer::FileKind::Data, 90 * 17);
  const std::string older = "Ondrel viewer: The index is older than its data file, or damaged: ";
  for (const std::vector<std::string>& mode : {std::vector<std::string>{}, {"--format", "csv"}, {"--window", "1"},
                                               {"--describe"}}) {
    auto args = mode;
    args.insert(args.end(), {dir.str(), "OLD", "BYNO"});
    const auto run = RunTool(args);
    EXPECT_EQ(run.status, 1) << (mode.empty() ? "text" : mode[0]);
    EXPECT_EQ(run.err, older + "the profile has 100 entries for 110 active records.\n");
    EXPECT_NE(run.out, "");  // what the index has is still written
  }
  const auto cutRun = RunTool({"--describe", dir.str(), "CUT", "BYNO"});
  EXPECT_EQ(cutRun.err, older + "the index header counts 100 records, the data file holds 90.\n");
  EXPECT_EQ(cutRun.status, 1);

  const auto sqlite = RunTool({"--sqlite", out.str() + "/old.db", dir.str()});
  EXPECT_EQ(sqlite.status, 1);
  EXPECT_NE(sqlite.err.find("Ondrel viewer: The profile OLD via BYNO misses records: the index is older than its data "
                            "file, or damaged: the profile has 100 entries for 110 active records.\n"),
            std::string::npos)
      << sqlite.err;

  // CUST: BYNAME has no conditions and no entry for the purged record 4;
  // BYNO has conditions and an entry for it.  Neither is flagged.
  for (const std::vector<std::string>& sound : {std::vector<std::string>{"--describe", Dir(), "CUST", "BYNAME"},
                                                {"--format=csv", Dir(), "CUST", "BYNAME"},
                                                {"--describe", Dir(), "CUST", "BYNO"},
                                                {"--sqlite", out.str() + "/sound.db", Dir()}}) {
    const auto run = RunTool(sound);
    EXPECT_EQ(run.err, "") << sound[0] << sound.back();
    EXPECT_EQ(run.status, 0) << sound[0] << sound.back();
  }
}

// Keys kept in capitals are compared with their records too, whether they
// were folded a to z alone (as the writer folds them) or with the accented
// letters as well: both forms are sound to the readers and to the check,
// and in both, two entries whose record numbers were exchanged fail.
TEST(ExportTest, KeysInCapitalsAreComparedWithTheirRecords) {
  const std::vector<std::string> names = {"adams", "baker", "cole",  "dunn",  "evans", "frost",
                                          "grant", "hale",  "irwin", "jones", "smith", "\xE9mile"};
  for (const bool accentsFolded : {false, true})
    for (const bool exchanged : {false, true}) {
      SCOPED_TRACE(std::string(accentsFolded ? "accents folded" : "a to z folded") + (exchanged ? ", exchanged" : ""));
      test::TempDir dir;
      writer::IspecContent setup;
      setup.name = "CAPS";
      setup.definition.fields = {{"NO", 1, "N", 4, 0}, {"NAME", 2, "A", 8, 0}};
      for (std::size_t i = 0; i < names.size(); ++i) setup.records.push_back({{std::to_string(1000 + i), names[i]}});
      setup.profiles = {{.name = "BYNAME", .keyFields = {{"NAME", false, false, false, true}}, .maxLeafFill = 4}};
      const writer::IspecLayout layout = writer::BuildIspec(dir.str(), setup);
      const writer::TreeLayout& tree = layout.index.keys[1];
      const std::uint32_t last = tree.Leaves().back();
      const int lastEntry = static_cast<int>(tree.leafEntries.back()) - 1;
      // The writer folds a to z alone: the last key is the accented name's.
      ASSERT_EQ(writer::SetEntryKey(layout.files, 1, last, lastEntry, accentsFolded ? "\xC9MILE   " : "\xE9MILE   "),
                "\xE9MILE   ");
      const std::uint32_t first = tree.Leaves().front();
      if (exchanged)
        writer::SetEntryPointer(layout.files, 1, first, 0,
                                writer::SetEntryPointer(layout.files, 1, first, 1, layout.entryRecords[1][0]));
      for (const char* mode : {"--format=text", "--format=csv", "--window=1", "--check"}) {
        const auto run = RunTool({mode, dir.str(), "CAPS", "BYNAME"});
        EXPECT_EQ(run.status, exchanged ? 1 : 0) << mode << "\n" << run.err << run.out;
      }
      // A key typed in small letters is sought in capitals, as Ctrl+G seeks
      // it: SMITH is the eleventh key.
      if (!exchanged) {
        const auto run = RunTool({"--describe", "--seek", "smith", dir.str(), "CAPS", "BYNAME"});
        EXPECT_NE(run.out.find("\nSeek: 11\n"), std::string::npos) << run.out;
      }
    }
}

TEST(ExportTest, BrokenPipeEndsQuietly) {
  // The shared folder is made here: made in the child, it would outlive the
  // test, since the child's exec runs no destructor.
  const std::string dir = Dir();
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    execl(ONDREL_EXPORT_PATH, ONDREL_EXPORT_PATH, dir.c_str(), "LARGE", "BYNO", nullptr);
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  char head[100];
  ASSERT_GT(read(out[0], head, sizeof head), 0);
  close(out[0]);  // the reader goes away, as `| head` does
  int status = 0;
  waitpid(pid, &status, 0);
  char message[256];
  EXPECT_EQ(read(err[0], message, sizeof message), 0);
  close(err[0]);
  EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGPIPE : WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace ondrel
