// The catalogue of a directory and choosing an ISPEC: file set paths,
// profile names, the index header and the incomplete-database failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "database/Catalogue.h"
#include "database/LoadingPlatform.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"
#include "tools/writer/ProfileText.h"

namespace ondrel {
namespace {

using test::ProgramEnded;
using test::RecordingPlatform;
using test::TempDir;

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(ListIspecsTest, FindsIspecsThroughTheirDefinitionFiles) {
  TempDir dir;
  bool readable = false;
  EXPECT_TRUE(ListIspecs(dir.str(), &readable).empty());
  EXPECT_TRUE(readable);

  dir.Write("_ORDERS_P.DFN", "");
  EXPECT_TRUE(ListIspecs(dir.str()).empty());  // a profile file alone is no ISPEC

  dir.Write("_ORDERS.DFN", "");
  // A file system that ignores letter case finds the profile file under the
  // lower-case name and cannot hold a second file beside it.
  const bool caseApart = !std::filesystem::exists(dir.path() / "_orders_p.dfn");
  if (caseApart) dir.Write("_orders_p.dfn", "");  // not excluded: the exclusion is upper case
  dir.Write("XCUST.DFN", "");   // the first character is dropped whatever it is
  dir.Write("_stock.dfn", "");  // the pattern ignores letter case
  dir.Write("_NOTES.TXT", "");
  dir.Write("_DATA.DAT", "");
  std::filesystem::create_directory(dir.path() / "_SUB.DFN");  // a folder is no file
  std::vector<std::string> expected{"CUST", "ORDERS", "stock"};
  if (caseApart) expected.push_back("orders_p");
  EXPECT_EQ(Sorted(ListIspecs(dir.str())), Sorted(expected));
}

TEST(ListIspecsTest, UnreadableDirectoryIsToldApart) {
  bool readable = true;
  EXPECT_TRUE(ListIspecs("/nonexistent/ondrel", &readable).empty());
  EXPECT_FALSE(readable);
}

TEST(JoinPathTest, OneSeparatorBetweenDirectoryAndName) {
  EXPECT_EQ(JoinPath("/data", "_A.DFN"), "/data/_A.DFN");
  EXPECT_EQ(JoinPath("/", "_A.DFN"), "/_A.DFN");
}

class LoadFileSetTest : public ::testing::Test {
 protected:
  LoadFileSetTest() {
    SetTextConstants(state);
    writer::IspecContent setup;
    setup.name = "ORDERS";
    setup.definition.fields = {{"ORDNO", 1, "N", 6, 0}, {"CUST", 2, "A", 8, 0}};
    for (int i = 0; i < 5; ++i) setup.records.push_back({{std::to_string(100 + i), "C" + std::to_string(i)}});
    setup.profiles = {{.name = "CUSTNO", .keyFields = {{"CUST"}}},
                     {.name = "BYNAME", .keyFields = {{"ORDNO"}}}};
    setup.recordCount = 5000;
    layout = writer::BuildIspec(dir.path(), setup);
  }

  std::vector<std::string> Load(const std::string& entry = "  ORDERS ") {
    return LoadFileSet(state, platform, dir.str(), entry);
  }

  void ExpectIncomplete(const std::string& path) {
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "The runtime database is incomplete.  You are missing all or part of " + path +
                  ".  You need to create or restore the database.");
    EXPECT_EQ(platform.messages[0].title, "OOPS!  I'm not all present.");
    EXPECT_EQ(platform.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(platform.ended);
  }

  TempDir dir;
  SharedState state;
  RecordingPlatform platform;
  writer::IspecLayout layout;
};

TEST_F(LoadFileSetTest, NamesTheFilesAndReadsProfilesAndHeader) {
  state.Heading = "old heading";
  state.ProfileName = "OLD";
  const auto profiles = Load();
  EXPECT_EQ(profiles, (std::vector<std::string>{"CUSTNO", "BYNAME"}));  // file order
  EXPECT_EQ(platform.lists[ChooserList::Profiles], profiles);
  EXPECT_EQ(state.IspecName, "ORDERS");
  EXPECT_EQ(state.DefinitionPath, dir.str() + "/_ORDERS.DFN");
  EXPECT_EQ(state.ProfilePath, dir.str() + "/_ORDERS_P.DFN");
  EXPECT_EQ(state.DataPath, dir.str() + "/_ORDERS.DAT");
  EXPECT_EQ(state.IndexPath, dir.str() + "/_ORDERS.IDX");
  EXPECT_EQ(state.Heading, "");
  EXPECT_EQ(state.ProfileName, "");
  EXPECT_EQ(state.NodeSize, 512);
  EXPECT_EQ(state.RecordCount, 5000);
  EXPECT_EQ(platform.recordCountLabel, "5000 Records");
  EXPECT_TRUE(platform.messages.empty());
  // The label and the list are cleared, then drawn, before any file is read.
  ASSERT_GE(platform.events.size(), 3u);
  EXPECT_EQ(platform.events[0], "label:");
  EXPECT_EQ(platform.events[1], "clear");
  EXPECT_EQ(platform.events[2], "yield");
  EXPECT_EQ(platform.yields, 1);
}

TEST_F(LoadFileSetTest, NodeSizeCodeAndRecordCountOfTheHeader) {
  for (auto [code, size] : {std::pair{7, 2048}, {0, 512}, {1, 512}, {255, 512}}) {
    writer::PatchBytes(layout.files, writer::FileKind::Index, 6, std::string(1, static_cast<char>(code)));
    Load();
    EXPECT_EQ(state.NodeSize, size) << code;
  }
  writer::PatchBytes(layout.files, writer::FileKind::Index, 33, std::string("\x00\x00\x13\x88", 4));
  Load();
  EXPECT_EQ(state.RecordCount, 5000);
  writer::PatchBytes(layout.files, writer::FileKind::Index, 33, std::string(4, '\0'));
  Load();
  EXPECT_EQ(platform.recordCountLabel, "0 Records");
}

TEST_F(LoadFileSetTest, ProfileNamesComeOnlyFromProfileRecords) {
  dir.Write("_ORDERS_P.DFN",
            writer::ProfileText({writer::PRecord("ZETA"), writer::IRecord("ORDERS"),
                                 writer::CRecord("STATUS", writer::Op::Equal, ' ', "A PROFILE"),
                                 "P", writer::PRecord("ALPHA"), "X PNOT"}));
  // "P" with its LF is a profile record of an empty name: it still takes its
  // place, so the profiles after it keep their key descriptions.
  EXPECT_EQ(Load(), (std::vector<std::string>{"ZETA", "", "ALPHA"}));
  dir.Write("_ORDERS_P.DFN", writer::ProfileText({writer::IRecord("ORDERS")}));
  EXPECT_TRUE(Load().empty());
}

TEST_F(LoadFileSetTest, MissingFilesAreNamedInOrder) {
  struct Case {
    writer::FileKind kind;
    std::string path;
  };
  for (const Case& c : {Case{writer::FileKind::Profile, "_ORDERS_P.DFN"},
                        Case{writer::FileKind::Index, "_ORDERS.IDX"},
                        Case{writer::FileKind::Data, "_ORDERS.DAT"}}) {
    SCOPED_TRACE(c.path);
    TempDir other;
    other.CopyContentsOf(dir.path());
    writer::FileSet set{other.path(), "ORDERS"};
    writer::RemoveFile(set, c.kind);
    platform = RecordingPlatform{};
    EXPECT_THROW(LoadFileSet(state, platform, other.str(), "ORDERS"), ProgramEnded);
    ExpectIncomplete(other.str() + "/" + c.path);
    if (c.kind == writer::FileKind::Data) {
      // The profile list and the count were already shown.
      EXPECT_EQ(platform.lists[ChooserList::Profiles].size(), 2u);
      EXPECT_EQ(platform.recordCountLabel, "5000 Records");
    }
  }
}

TEST_F(LoadFileSetTest, ProfileFileEndingInsideARecordIsIncomplete) {
  dir.Write("_ORDERS_P.DFN", "PCUSTNO    \nPBYNAME    ");
  EXPECT_THROW(Load(), ProgramEnded);
  ExpectIncomplete(state.ProfilePath);
}

TEST_F(LoadFileSetTest, ShortIndexHeaderIsIncomplete) {
  for (std::uintmax_t length : {0u, 6u, 7u, 36u}) {
    writer::TruncateFile(layout.files, writer::FileKind::Index, length);
    platform = RecordingPlatform{};
    EXPECT_THROW(Load(), ProgramEnded) << length;
    ExpectIncomplete(state.IndexPath);
  }
  writer::TruncateFile(layout.files, writer::FileKind::Index, 37);
  EXPECT_NO_THROW(Load());
}

TEST_F(LoadFileSetTest, RecordCountBeyondALongIsIncomplete) {
  writer::PatchBytes(layout.files, writer::FileKind::Index, 33, std::string("\x80\x00\x00\x01", 4));
  EXPECT_THROW(Load(), ProgramEnded);
  ExpectIncomplete(state.IndexPath);
}

TEST_F(LoadFileSetTest, DefinitionFileWithoutUnderscoreNamesAMissingProfileFile) {
  dir.Write("XCUST.DFN", "");
  const auto ispecs = ListIspecs(dir.str());
  ASSERT_NE(std::find(ispecs.begin(), ispecs.end(), "CUST"), ispecs.end());
  EXPECT_THROW(LoadFileSet(state, platform, dir.str(), "CUST"), ProgramEnded);
  ExpectIncomplete(dir.str() + "/_CUST_P.DFN");
}

// A load that would end the viewer ends in LoadEnded instead, carrying the
// message that ended it; every message is kept (and passed on, unended), and
// so are the lists the load filled before it failed.
TEST_F(LoadFileSetTest, LoadingPlatformTurnsTheEndIntoLoadEnded) {
  writer::RemoveFile(layout.files, writer::FileKind::Data);
  LoadingPlatform loading(platform);
  std::string ended;
  try {
    LoadFileSet(state, loading, dir.str(), "ORDERS");
  } catch (const LoadEnded& end) {
    ended = end.what();
  }
  const std::string incomplete = "The runtime database is incomplete.  You are missing all or part of " +
                                 dir.str() + "/_ORDERS.DAT.  You need to create or restore the database.";
  EXPECT_EQ(ended, incomplete);
  ASSERT_EQ(loading.messages.size(), 1u);
  EXPECT_EQ(loading.messages[0].title, "OOPS!  I'm not all present.");
  EXPECT_EQ(loading.FirstMessage(), incomplete);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, incomplete);
  EXPECT_FALSE(platform.ended);
  EXPECT_EQ(loading.lists[ChooserList::Profiles], (std::vector<std::string>{"CUSTNO", "BYNAME"}));

  // With no message at all, the end still says what went wrong.
  LoadingPlatform silent;
  try {
    silent.EndProgram();
  } catch (const LoadEnded& end) {
    ended = end.what();
  }
  EXPECT_EQ(ended, "The database cannot be read.");
}

}  // namespace
}  // namespace ondrel
