// Every kind of damage the writer can make, and the index cut at every node
// boundary, run through the command-line tool's text export, its window,
// its check of the profile and its check of the whole database (JSON) under
// a time limit: each run ends, with the message and exit status the
// viewer's behaviour gives, and never reads past a file's end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/hostile/HostileDatabase.h"
#include "tests/hostile/StraceCheck.h"
#include "tests/hostile/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"

namespace ondrel::test {
namespace {

const std::string kExport = ONDREL_EXPORT_PATH;
const std::string kCoarse = "OOPS! Houston, we have a coarse problem. . .: An error has been encountered";
const std::string kFine = "OOPS! Houston, we have a fine problem. . .: An error has been encountered";
const std::string kIncomplete = "OOPS!  I'm not all present.: The runtime database is incomplete.  ";
const std::string kNoDefinition = "OOPS!: Sorry, the file you selected has no associated definition.";
const std::string kProfileFailed = "FileOpen: ";
const std::string kIncompleteExport = "Ondrel viewer: The export is incomplete: ";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Outcome {
  RunResult text;
  RunResult window;
  RunResult check;
  RunResult checkAll;  // every profile of the directory, as JSON lines
};

// Whether a check's JSON output is whole: one object a line, the total last.
bool WholeJson(const std::string& out) {
  if (out.empty() || out.back() != '\n') return false;
  std::size_t start = 0, last = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    if (out[start] != '{' || out[end - 1] != '}') return false;
    last = start;
  }
  const std::string total = "{\"type\":\"total\",";
  return out.compare(last, total.size(), total) == 0;
}

class DamageCorpusTest : public ::testing::Test {
 protected:
  DamageCorpusTest() : layout(BuildHostileIspec(db.path())) {}

  // The three runs on the damaged database, each traced and checked.
  Outcome RunAll(const std::string& profile = "ORDNO") {
    const std::string dir = Quote(db.str());
    Outcome o;
    o.text = Traced(Quote(kExport) + " " + dir + " ORD " + profile);
    o.window = Traced(Quote(kExport) + " --window 150 " + dir + " ORD " + profile);
    o.check = Traced(Quote(kExport) + " --check " + dir + " ORD " + profile);
    o.checkAll = Traced(Quote(kExport) + " --check --format json " + dir);
    EXPECT_TRUE(WholeJson(o.checkAll.out)) << o.checkAll.out;
    // The whole database holds the profile: its problems are among them.
    if (o.check.status == 1) {
      EXPECT_EQ(o.checkAll.status, 1);
    }
    return o;
  }

  RunResult Traced(const std::string& commandLine) {
    const std::string log = (logs.path() / "trace").string();
    RunResult r = RunCommand(StraceCommand(log) + commandLine, 60);
    EXPECT_NE(r.status, 124) << "did not end: " << commandLine;
    const TraceFindings found = CheckTrace(log, db.str(), FileSizes(db.path()));
    for (const auto& v : found.violations) ADD_FAILURE() << commandLine << "\n  " << v;
    return r;
  }

  const writer::TreeLayout& Tree() const { return layout.index.keys[1]; }

  TempDir db;
  TempDir logs;
  writer::IspecLayout layout;
};

TEST_F(DamageCorpusTest, SoundDatabasePassesEveryRun) {
  const Outcome o = RunAll();
  EXPECT_EQ(o.text.status, 0);
  EXPECT_EQ(o.text.err, "");
  EXPECT_EQ(o.window.status, 0);
  EXPECT_EQ(o.check.status, 0) << o.check.out;
  EXPECT_EQ(o.checkAll.status, 0) << o.checkAll.out;
}

// What only the deep check finds, each in a copy of the database of its
// own: keys out of order, a key unlike its record, two entries for one
// record, an entry for a purged record, an active record left out, an
// interior key that breaks its tree's convention.  The export and the window
// read such a tree without a message; the check finds each (the purged
// record as a warning).
TEST_F(DamageCorpusTest, WhatOnlyTheDeepCheckFinds) {
  const std::vector<std::function<void(const writer::FileSet&)>> damages = {
      [&](const writer::FileSet& set) { writer::SwapEntries(set, 1, Tree().Leaves()[4], 5, Tree().Leaves()[5], 0); },
      [&](const writer::FileSet& set) { writer::SetEntryKey(set, 1, Tree().Leaves()[7], 2, "999999"); },
      [&](const writer::FileSet& set) { writer::SetEntryPointer(set, 1, Tree().Leaves()[9], 1, 40); },
      [&](const writer::FileSet& set) { writer::PurgeRecord(set, layout.recordLength, layout.entryRecords[1][20]); },
      [&](const writer::FileSet& set) { writer::RemoveEntry(set, 2, layout.index.keys[2].Leaves()[3], 4); },
      [&](const writer::FileSet& set) { writer::SetEntryKey(set, 1, Tree().levels[1][2], 1, "000000"); },
  };
  const std::string saved = db.str() + ".sound";
  std::filesystem::copy(db.path(), saved, std::filesystem::copy_options::recursive);
  for (std::size_t i = 0; i < damages.size(); ++i) {
    SCOPED_TRACE(i);
    std::filesystem::remove_all(db.path());
    std::filesystem::copy(saved, db.path(), std::filesystem::copy_options::recursive);
    damages[i](layout.files);
    const Outcome o = RunAll();
    if (i == 3) {
      // An entry for a purged record is what a live file may hold: the
      // check warns of it and passes it.
      EXPECT_EQ(o.checkAll.status, 0) << o.checkAll.out;
      EXPECT_TRUE(Has(o.checkAll.out, "{\"type\":\"warning\",\"ispec\":\"ORD\",\"profile\":\"ORDNO\",\"kind\":\"purged\""))
          << o.checkAll.out;
      continue;
    }
    EXPECT_EQ(o.checkAll.status, 1) << o.checkAll.out;
    EXPECT_TRUE(Has(o.checkAll.out, "\"type\":\"problem\"")) << o.checkAll.out;
    if (i != 4) {
      EXPECT_EQ(o.check.status, 1) << o.check.out;  // the damage lies in ORDNO
    }
  }
  std::filesystem::remove_all(saved);
}

TEST_F(DamageCorpusTest, ChildPointerOfZero) {
  writer::ZeroChildPointer(layout.files, 1, Tree().root, 1);
  const Outcome o = RunAll();
  EXPECT_EQ(o.text.status, 1);
  EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
  EXPECT_TRUE(Has(o.text.err, kCoarse)) << o.text.err;
  EXPECT_EQ(o.check.status, 1);
}

TEST_F(DamageCorpusTest, ChildPointerPastTheEnd) {
  writer::ChildPointerPastEnd(layout.files, 1, Tree().levels[1][0], 0);
  const Outcome o = RunAll();
  EXPECT_EQ(o.text.status, 1);
  EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
  EXPECT_TRUE(Has(o.text.err, kCoarse)) << o.text.err;
  EXPECT_EQ(o.check.status, 1);
}

TEST_F(DamageCorpusTest, CycleBackToTheRootAndToItself) {
  const auto& levels = Tree().levels;
  ASSERT_GE(levels.size(), 3u);
  writer::MakeCycle(layout.files, 1, levels[1][2], 0, Tree().root);
  writer::MakeCycle(layout.files, 1, levels[1][3], 1, levels[1][3]);
  const Outcome o = RunAll();
  EXPECT_EQ(o.text.status, 1);
  EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
  EXPECT_TRUE(Has(o.text.err, kCoarse)) << o.text.err;
  EXPECT_EQ(o.check.status, 1);
}

TEST_F(DamageCorpusTest, LeafUsedLengthBeyondTheNode) {
  writer::SetUsedLength(layout.files, 512, Tree().Leaves()[3], 0x7FFF);
  const Outcome o = RunAll();
  EXPECT_EQ(o.check.status, 1);
  EXPECT_EQ(o.text.status, 1);
  EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
}

TEST_F(DamageCorpusTest, BadKeyDescriptionLengthEndsTheTool) {
  writer::SetKeyDescriptionLength(layout.files, 1, 21);
  const Outcome o = RunAll();
  for (const RunResult* r : {&o.text, &o.window, &o.check}) {
    EXPECT_EQ(r->status, 1);
    EXPECT_TRUE(Has(r->err, kProfileFailed)) << r->err;
  }
}

// A file of the set that is missing, and one whose name holds a FIFO (which
// would block a reader for ever) or a device: each is refused alike, in
// every mode, with the message that names the file.
TEST_F(DamageCorpusTest, MissingOrSpecialFilesOfTheSet) {
  struct Case {
    writer::FileKind kind;
    std::string message;
  };
  enum class Replace { Remove, Fifo, Device };
  for (const Replace replace : {Replace::Remove, Replace::Fifo, Replace::Device}) {
    for (const Case& c : {Case{writer::FileKind::Profile, kIncomplete}, Case{writer::FileKind::Index, kIncomplete},
                          Case{writer::FileKind::Data, kIncomplete},
                          Case{writer::FileKind::Definition, kNoDefinition}}) {
      SCOPED_TRACE(static_cast<int>(replace) * 10 + static_cast<int>(c.kind));
      TempDir copy;
      std::filesystem::copy(db.path(), copy.path(), std::filesystem::copy_options::recursive);
      const writer::FileSet set{copy.path(), "ORD"};
      writer::RemoveFile(set, c.kind);
      if (replace == Replace::Fifo) {
        ASSERT_EQ(mkfifo(set.Path(c.kind).c_str(), 0600), 0);
      }
      if (replace == Replace::Device) std::filesystem::create_symlink("/dev/zero", set.Path(c.kind));
      for (const std::string mode : {"", "--window 2", "--check", "--describe"}) {
        const RunResult r = RunCommand(Quote(kExport) + " " + mode + " " + Quote(copy.str()) + " ORD ORDNO", 20);
        if (mode == "--describe" && c.kind == writer::FileKind::Definition) {
          EXPECT_EQ(r.status, 0);  // describing needs no definition
          continue;
        }
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_TRUE(Has(r.err, c.message)) << mode << r.err;
        if (c.kind != writer::FileKind::Definition) {
          EXPECT_TRUE(Has(r.err, set.Path(c.kind).string())) << r.err;
        }
      }
    }
  }
}

TEST_F(DamageCorpusTest, DataFileCutShort) {
  writer::TruncateFile(layout.files, writer::FileKind::Data, 1000);
  const Outcome o = RunAll();
  EXPECT_EQ(o.text.status, 1);
  EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
  EXPECT_TRUE(Has(o.text.err, kFine)) << o.text.err;
  EXPECT_EQ(o.check.status, 1);
}

TEST_F(DamageCorpusTest, IndexCutAtEveryNodeBoundary) {
  const auto full = std::filesystem::file_size(layout.files.Index());
  const std::string saved = [&] {
    std::ifstream in(layout.files.Index(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  // The last node of the ORDNO tree; the nodes after it belong to other keys.
  std::uintmax_t treeEnd = 0;
  for (const auto& level : Tree().levels)
    for (std::uint32_t node : level) treeEnd = std::max<std::uintmax_t>(treeEnd, node * 512ull);
  for (std::uintmax_t length = 0; length < full; length += 512) {
    SCOPED_TRACE(length);
    writer::TruncateFile(layout.files, writer::FileKind::Index, length);
    const Outcome o = RunAll();
    if (length < 37) {
      EXPECT_EQ(o.text.status, 1);
      EXPECT_TRUE(Has(o.text.err, kIncomplete)) << o.text.err;
    } else if (length <= layout.index.descriptionOffsets.back()) {
      // The key descriptions are gone: choosing the profile fails.
      EXPECT_EQ(o.text.status, 1);
      EXPECT_TRUE(Has(o.text.err, kProfileFailed)) << o.text.err;
    } else if (length >= treeEnd) {
      EXPECT_EQ(o.text.status, 0);
      EXPECT_EQ(o.text.err, "");
      EXPECT_EQ(o.check.status, 0);
    } else {
      // Part of the tree is gone: the walk and the window report it and go
      // on, and the export fails once it has written what it could.
      EXPECT_EQ(o.text.status, 1);
      EXPECT_TRUE(Has(o.text.err, kIncompleteExport)) << o.text.err;
      EXPECT_TRUE(Has(o.text.err, kCoarse) || Has(o.text.err, kFine)) << o.text.err;
      EXPECT_EQ(o.check.status, 1);
    }
    // Every cut takes the file's last node, the root of the last key's tree.
    EXPECT_EQ(o.checkAll.status, 1);
    std::ofstream(layout.files.Index(), std::ios::binary | std::ios::trunc) << saved;
  }
}

}  // namespace
}  // namespace ondrel::test
