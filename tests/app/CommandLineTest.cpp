// The programs' command lines: the viewer's DIR, --help and --version, read
// before any window; and --version of ondrel-export beside its other
// options.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "tests/support/TempDir.h"
#include "tools/export/Options.h"

namespace ondrel::app {
namespace {

using Action = CommandLine::Action;

TEST(CommandLineTest, DirectoryIsOptionalAndMustBeReadable) {
  test::TempDir dir;
  const std::string file = dir.Write("_CUST.DAT", "x");

  CommandLine line = ParseCommandLine({});
  EXPECT_EQ(line.action, Action::Run);
  EXPECT_EQ(line.directory, "");

  line = ParseCommandLine({dir.str()});
  EXPECT_EQ(line.action, Action::Run);
  EXPECT_EQ(line.directory, dir.str());

  struct Bad {
    std::vector<std::string> args;
    std::string error;
  };
  const std::string missing = dir.str() + "/gone";
  for (const Bad& bad : std::vector<Bad>{
           {{missing}, "there is no directory " + missing},
           {{file}, file + " is not a directory"},
           {{file + "/below"}, "there is no directory " + file + "/below"},
           {{""}, "the directory name is empty"},
           {{dir.str(), dir.str()}, "only one directory may be given"},
           {{"--bogus"}, "unknown option --bogus"},
           {{"-h"}, "unknown option -h"},
           {{"--help=x"}, "unknown option --help=x"},
           // Qt's own arguments are not taken.
           {{"-platform", "offscreen"}, "unknown option -platform"},
           // An unknown option is reported even beside --help.
           {{"--help", "--bogus"}, "unknown option --bogus"},
           // After "--", and alone, a hyphen begins a name, not an option.
           {{"--", "-x"}, "there is no directory -x"},
           {{"-"}, "there is no directory -"},
       }) {
    line = ParseCommandLine(bad.args);
    EXPECT_EQ(line.action, Action::UsageError) << bad.error;
    EXPECT_EQ(line.error, bad.error);
  }
}

TEST(CommandLineTest, UnreadableDirectoryIsRefused) {
  // The super-user may read any directory; the test needs an ordinary one.
  if (geteuid() == 0) GTEST_SKIP() << "running as root, who can read every directory";
  test::TempDir dir;
  const std::string locked = (dir.path() / "locked").string();
  std::filesystem::create_directory(locked);
  ASSERT_EQ(chmod(locked.c_str(), 0300), 0);  // may enter, may not list
  const CommandLine line = ParseCommandLine({locked});
  EXPECT_EQ(line.action, Action::UsageError);
  EXPECT_EQ(line.error, "the directory " + locked + " cannot be read: Permission denied");
  chmod(locked.c_str(), 0700);
}

TEST(CommandLineTest, HelpAndVersionAnswerWhateverElseIsGiven) {
  EXPECT_EQ(ParseCommandLine({"--help"}).action, Action::Help);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, Action::Version);
  // The first of the two wins; a directory, even a missing one, is not read.
  EXPECT_EQ(ParseCommandLine({"--version", "--help"}).action, Action::Version);
  EXPECT_EQ(ParseCommandLine({"/no/such/dir", "--help", "--version"}).action, Action::Help);
  EXPECT_EQ(ParseCommandLine({"a", "b", "--version"}).action, Action::Version);
  // After "--" they are names.
  EXPECT_EQ(ParseCommandLine({"--", "--help"}).action, Action::UsageError);

  // Every option the usage lists is one the parser takes.
  const std::string usage = UsageText();
  for (std::size_t at = usage.find("  --"); at != std::string::npos; at = usage.find("  --", at + 1)) {
    const std::string option = usage.substr(at + 2, usage.find(' ', at + 2) - at - 2);
    EXPECT_NE(ParseCommandLine({option}).action, Action::UsageError) << option;
  }
}

TEST(CommandLineTest, NoDisplayOnlyWhenQtWouldFindNone) {
  EXPECT_TRUE(NoDisplayReason(nullptr, nullptr, nullptr).has_value());
  EXPECT_TRUE(NoDisplayReason("", "", "").has_value());
  EXPECT_FALSE(NoDisplayReason(nullptr, ":0", nullptr).has_value());
  EXPECT_FALSE(NoDisplayReason(nullptr, nullptr, "wayland-0").has_value());
  EXPECT_FALSE(NoDisplayReason("offscreen", nullptr, nullptr).has_value());
  EXPECT_FALSE(NoDisplayReason("", "", "wayland-0").has_value());
}

TEST(ExportCommandLineTest, VersionAnswersLikeHelp) {
  std::string error;
  auto options = tool::ParseOptions({"--version"}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->mode, tool::Mode::Version);
  options = tool::ParseOptions({"--version", "--help", "/db", "CUST"}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->mode, tool::Mode::Version);
  options = tool::ParseOptions({"--help", "--version"}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->mode, tool::Mode::Help);

  EXPECT_FALSE(tool::ParseOptions({"--version=2"}, error));
  EXPECT_EQ(error, "--version takes no value");
  EXPECT_FALSE(tool::ParseOptions({"--version", "--bogus"}, error));
  EXPECT_EQ(error, "unknown option --bogus");
  EXPECT_NE(tool::UsageText().find("  --version "), std::string::npos);
}

}  // namespace
}  // namespace ondrel::app
