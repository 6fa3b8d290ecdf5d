// ondrel-export built as WebAssembly for Node.js against the native
// ondrel-export, run on the same files with the same arguments: standard
// output, standard error and exit status must be the same bytes, for every
// mode on sound databases of many shapes and on every kind of damage the
// writer makes.  Only --sqlite differs: the WebAssembly build refuses it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/hostile/HostileDatabase.h"
#include "tests/hostile/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Bytes.h"
#include "tools/writer/Damage.h"
#include "tools/writer/DemoDatabase.h"

namespace ondrel::test {
namespace {

const std::string kNative = ONDREL_EXPORT_PATH;
const std::string kNode = ONDREL_NODE_PATH;
const std::string kWeb = ONDREL_WEB_EXPORT_JS;

std::string CommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = program;
  for (const std::string& a : args) line += " " + Quote(a);
  return line;
}

// Runs both builds; returns the native run, which the caller may judge.
RunResult Same(const std::vector<std::string>& args) {
  const RunResult native = RunCommand(CommandLine(Quote(kNative), args), 60);
  const RunResult web = RunCommand(CommandLine(Quote(kNode) + " --no-experimental-fetch " + Quote(kWeb), args), 120);
  const std::string what = CommandLine("ondrel-export", args);
  EXPECT_NE(native.status, 124) << "did not end: " << what;
  EXPECT_EQ(web.status, native.status) << what << "\nweb stderr: " << web.err;
  EXPECT_EQ(web.err, native.err) << what;
  EXPECT_EQ(web.out, native.out) << what;
  return native;
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// For files about to be moved: the native build's output of each run, with
// status 0, and then, once they are moved, both builds' outputs must be the
// same.  `kept` takes out of an output what the move may change.
using Kept = std::string (*)(std::string);
std::vector<std::string> NativeBefore(const std::vector<std::vector<std::string>>& runs, Kept kept) {
  std::vector<std::string> before;
  for (const auto& args : runs) {
    const RunResult run = RunCommand(CommandLine(Quote(kNative), args), 60);
    EXPECT_EQ(run.status, 0) << run.err;
    before.push_back(kept(run.out));
  }
  return before;
}
void SameAsBefore(const std::vector<std::vector<std::string>>& runs, const std::vector<std::string>& before, Kept kept) {
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunResult run = Same(runs[i]);
    EXPECT_EQ(run.status, 0) << CommandLine("ondrel-export", runs[i]) << "\n" << run.err;
    EXPECT_EQ(kept(run.out), before[i]) << CommandLine("ondrel-export", runs[i]);
  }
}
std::string Whole(std::string out) { return out; }

// A numbered ISPEC of `count` records whose profiles take the writer's
// shapes: descending parts inverted and as written, folded to capitals, the
// first-key interior convention, entries not flagged "Y", a condition,
// tails of 4 and 8, and a signed decimal field (JSON numbers).
writer::IspecContent Shaped(const std::string& name, int count, int nodeSize) {
  writer::IspecContent s;
  s.name = name;
  s.nodeSize = nodeSize;
  s.descriptionsAtEnd = nodeSize != 512;
  s.profileCrlf = nodeSize != 512;
  s.definition.fields = {{"NO", 1, "N", 6, 0},          {"GROUP", 2, "A", 3, 0},  {"DATE", 3, "D", 8, 0},
                         {"DESCRIPTION", 4, "A", 14, 0}, {"AMOUNT", 5, "N", 9, 2}, {"NOTE", 6, "A", 8, 0}};
  for (int i = 1; i <= count; ++i) {
    char no[8], date[12], amount[16];
    std::snprintf(no, sizeof no, "%06d", i);
    std::snprintf(date, sizeof date, "2019%02d%02d", 1 + i % 12, 1 + (i * 7) % 28);
    std::snprintf(amount, sizeof amount, "%d.%02d", (i % 7 == 3 ? -1 : 1) * (i * 37 % 9000), i * 13 % 100);
    const std::string description = (i % 4 ? "item " : "Item ") + std::to_string(i % 37);
    const std::string note = i % 11 ? "" : "\xE9t\xE9 \x80";  // Windows-1252, written as UTF-8
    s.records.push_back({{no, "G" + std::to_string(i % 5), date, description, i % 13 ? amount : "", note}, i % 9 == 4});
  }
  const int leaf = nodeSize == 512 ? 5 : 0;
  s.profiles = {
      {.name = "BYNO", .keyFields = {{"NO"}}, .maxLeafFill = leaf, .maxInteriorFill = leaf ? 3 : 0},
      {.name = "DATEDOWN", .keyFields = {{"GROUP"}, {"DATE", true}, {"NO"}}, .entryTail = 8},
      {.name = "DATEPLAIN", .keyFields = {{"GROUP"}, {"DATE", true, false, true}, {"NO"}}, .maxLeafFill = leaf},
      {.name = "FIRSTKEY", .keyFields = {{"DESCRIPTION"}, {"NO", true}}, .maxLeafFill = 4, .maxInteriorFill = 2,
       .interiorKey = writer::InteriorKey::FirstOfChild},
      {.name = "CAPITALS", .keyFields = {{"DESCRIPTION", false, false, false, true}, {"NO"}}},
      {.name = "FLAGGED", .keyFields = {{"NO"}},
       .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t { return n % 3 ? 'Y' : 'N'; }},
      {.name = "GROUPA",
       .keyFields = {{"NO"}},
       .conditions = {{"GROUP", '0', ' ', "G1"}},
       .select = [](std::uint32_t, const writer::RecordContent& r) { return !r.purged && r.values[1] == "G1"; }},
  };
  return s;
}

// Every mode over one profile, each reading the profile another way.
void EveryModeOfAProfile(const std::string& dir, const std::string& ispec, const std::string& profile,
                         const std::string& seek, const std::string& find) {
  SCOPED_TRACE(ispec + " " + profile);
  const std::vector<std::vector<std::string>> options = {
      {},
      {"--entry-numbers", "--from", "3", "--count", "40"},
      {"--format", "csv"},
      {"--format", "json", "--entry-numbers"},
      {"--format", "csv", "--seek", seek, "--count", "25"},
      {"--find", find, "--entry-numbers"},
      {"--find", find, "--match-case", "--format", "json"},
      {"--window"},
      {"--window", "7"},
      {"--window", "--seek", seek},
      {"--describe"},
      {"--describe", "--seek", seek},
      {"--check"},
      {"--check", "--format", "json", "--max-problems", "0"},
  };
  for (std::vector<std::string> args : options) {
    args.insert(args.end(), {dir, ispec, profile});
    Same(args);
  }
}

TEST(WebParityTest, EveryModeOnSoundDatabasesOfEveryShape) {
  TempDir shapes;
  writer::BuildIspec(shapes.path(), Shaped("SMALL", 700, 512));
  writer::BuildIspec(shapes.path(), Shaped("WIDE", 3000, 2048));
  writer::BuildIspec(shapes.path(), Shaped("ONE", 1, 512));
  writer::BuildIspec(shapes.path(), Shaped("NONE", 0, 512));
  TempDir demo;
  writer::BuildDemoDatabase(demo.path());

  // The runs are judged here as well as compared, so that two builds that
  // failed alike would not pass.
  EXPECT_EQ(Same({shapes.str()}).out, "NONE\nONE\nSMALL\nWIDE\n");
  EXPECT_EQ(Same({demo.str(), "CUSTOMER"}).status, 0);
  for (const char* profile : {"BYNO", "DATEDOWN", "DATEPLAIN", "FIRSTKEY", "CAPITALS", "FLAGGED", "GROUPA"})
    EveryModeOfAProfile(shapes.str(), "SMALL", profile, "G3", "item 1");
  // 2048-byte nodes, the key descriptions at the end, CR LF in the profiles.
  for (const char* profile : {"BYNO", "DATEDOWN", "FIRSTKEY"})
    EveryModeOfAProfile(shapes.str(), "WIDE", profile, "G3", "item 1");
  for (const char* name : {"ONE", "NONE"}) EveryModeOfAProfile(shapes.str(), name, "DATEDOWN", "G1", "Item");
  EveryModeOfAProfile(demo.str(), "CUSTOMER", "BYNAME", "Mbeki", "plumbing");
  EveryModeOfAProfile(demo.str(), "ORDERS", "ORDNO", "5000", "1");

  const RunResult all = Same({"--check", "--format", "json", demo.str()});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_NE(all.out.find("\"type\":\"total\""), std::string::npos);
  const RunResult strict = Same({"--check", "--strict", shapes.str(), "SMALL"});
  EXPECT_EQ(strict.status, 0) << strict.out;
  EXPECT_GT(Same({"--format", "csv", demo.str(), "CUSTOMER", "BYNAME"}).out.size(), 480u * 20);

  // What is not a database, and what is not a valid command line.
  Same({"--help"});
  Same({"--version"});
  Same({});
  Same({"--format", "xml", demo.str(), "CUSTOMER", "BYNAME"});
  Same({"--window", "0", demo.str(), "CUSTOMER", "BYNAME"});
  Same({"--seek", "A", demo.str(), "CUSTOMER"});
  Same({(demo.path() / "missing").string()});
  Same({demo.str(), "NOSUCH"});
  Same({demo.str(), "CUSTOMER", "NOSUCH"});
  Same({(demo.path() / "_CUSTOMER.DAT").string(), "CUSTOMER", "BYNAME"});
}

// The hostile ISPEC damaged in each way the writer can: both builds must
// fail alike, with the same message after the same output.
TEST(WebParityTest, TheDamageCorpus) {
  TempDir db;
  const writer::IspecLayout layout = BuildHostileIspec(db.path());
  const writer::TreeLayout& tree = layout.index.keys[1];
  const std::string index = FileBytes(layout.files.Index());
  auto runAll = [&](const writer::FileSet& set, const std::string& what) {
    SCOPED_TRACE(what);
    const std::string dir = set.dir.string();
    int failed = 0;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {dir, "ORD", "ORDNO"},
             {"--format", "json", dir, "ORD", "ORDNO"},
             {"--window", "150", dir, "ORD", "ORDNO"},
             {"--describe", dir, "ORD", "ORDNO"},
             {"--find", "9", "--entry-numbers", dir, "ORD", "ORDNO"},
             {"--check", "--strict", dir, "ORD", "ORDNO"},
             {"--check", "--format", "json", dir}})
      failed += Same(args).status != 0;
    return failed;
  };
  // Each damage is made on a fresh copy of the sound set.
  auto damaged = [&](const std::string& what, const std::function<void(const writer::FileSet&)>& damage) {
    TempDir copy;
    std::filesystem::copy(db.path(), copy.path(), std::filesystem::copy_options::recursive);
    const writer::FileSet set{copy.path(), "ORD"};
    damage(set);
    EXPECT_GT(runAll(set, what), 0) << what << ": the damage went unnoticed";
  };

  EXPECT_EQ(runAll(layout.files, "sound"), 0);
  damaged("swapped entries", [&](const auto& s) { writer::SwapEntries(s, 1, tree.Leaves()[4], 5, tree.Leaves()[5], 0); });
  damaged("key changed", [&](const auto& s) { writer::SetEntryKey(s, 1, tree.Leaves()[7], 2, "999999"); });
  damaged("pointer changed", [&](const auto& s) { writer::SetEntryPointer(s, 1, tree.Leaves()[9], 1, 40); });
  damaged("purged record", [&](const auto& s) { writer::PurgeRecord(s, layout.recordLength, layout.entryRecords[1][20]); });
  damaged("entry removed", [&](const auto& s) { writer::RemoveEntry(s, 1, tree.Leaves()[3], 4); });
  damaged("interior key", [&](const auto& s) { writer::SetEntryKey(s, 1, tree.levels[1][2], 1, "000000"); });
  damaged("record changed", [&](const auto& s) { writer::SetRecordBytes(s, layout.recordLength, layout.entryRecords[1][30], 0, "9"); });
  damaged("child of zero", [&](const auto& s) { writer::ZeroChildPointer(s, 1, tree.root, 1); });
  damaged("child past the end", [&](const auto& s) { writer::ChildPointerPastEnd(s, 1, tree.levels[1][0], 0); });
  damaged("cycles", [&](const auto& s) {
    writer::MakeCycle(s, 1, tree.levels[1][2], 0, tree.root);
    writer::MakeCycle(s, 1, tree.levels[1][3], 1, tree.levels[1][3]);
  });
  damaged("used length", [&](const auto& s) { writer::SetUsedLength(s, 512, tree.Leaves()[3], 0x7FFF); });
  damaged("description length", [&](const auto& s) { writer::SetKeyDescriptionLength(s, 1, 21); });
  damaged("roots swapped", [&](const auto& s) { writer::SwapRoots(s, 1, 2); });
  damaged("data cut short", [&](const auto& s) { writer::TruncateFile(s, writer::FileKind::Data, 1000); });
  for (const writer::FileKind kind :
       {writer::FileKind::Definition, writer::FileKind::Profile, writer::FileKind::Data, writer::FileKind::Index}) {
    const std::string name = std::to_string(static_cast<int>(kind));
    damaged("removed " + name, [&](const auto& s) { writer::RemoveFile(s, kind); });
    damaged("FIFO " + name, [&](const auto& s) {
      writer::RemoveFile(s, kind);
      ASSERT_EQ(mkfifo(s.Path(kind).c_str(), 0600), 0);
    });
    damaged("device " + name, [&](const auto& s) {
      writer::RemoveFile(s, kind);
      std::filesystem::create_symlink("/dev/zero", s.Path(kind));
    });
  }
  // The index cut at node boundaries (every fifth: the native tests cut it
  // at each); a cut past the end of the profile's tree still takes the last
  // key's root, which --check finds.
  for (std::uintmax_t length = 0; length < index.size(); length += 5 * 512) {
    damaged("index cut at " + std::to_string(length),
            [&](const auto& s) { writer::TruncateFile(s, writer::FileKind::Index, length); });
  }
}

// Records that lie past 2 GiB and past 4 GiB of the data file, where a
// position kept in 32 bits would read another place: the entries of BYNO
// are pointed at copies of their records, a quarter of them before each
// boundary and a quarter after it, in a sparse data file of 4.3 GB; the
// records they pointed at are purged.  Both builds must give what the
// native one gave before the move: the window's reader of single records,
// the batches of the export and of --find alike.
TEST(WebParityTest, RecordsPastTwoAndFourGibibytesAreReadWhereTheyLie) {
  TempDir dir;
  const writer::IspecLayout layout = writer::BuildIspec(dir.path(), Shaped("FAR", 400, 2048));
  const std::vector<std::vector<std::string>> runs = {
      {"--format", "csv", "--entry-numbers", dir.str(), "FAR", "BYNO"},
      {"--format", "json", dir.str(), "FAR", "BYNO"},
      {"--window", "--seek", "000300", dir.str(), "FAR", "BYNO"},
      {"--find", "Item 3", dir.str(), "FAR", "BYNO"}};
  const std::vector<std::string> before = NativeBefore(runs, Whole);

  const auto length = static_cast<std::uint64_t>(layout.recordLength);
  const std::string data = FileBytes(layout.files.Path(writer::FileKind::Data));
  const writer::TreeLayout& tree = layout.index.keys[1];
  const std::vector<std::uint32_t>& records = layout.entryRecords[1];
  const std::uint64_t half = records.size() / 2;
  auto farOf = [&](std::uint64_t entry) {  // the 1-based record number that entry `entry` (from 0) moves to
    const std::uint64_t boundary = entry < half ? std::uint64_t{1} << 31 : std::uint64_t{1} << 32;
    return boundary / length - half / 2 + (entry < half ? entry : entry - half) + 1;
  };
  std::filesystem::resize_file(layout.files.Path(writer::FileKind::Data), farOf(records.size() - 1) * length);
  std::uint64_t entry = 0;
  for (std::size_t leaf = 0; leaf < tree.Leaves().size(); ++leaf)
    for (std::uint32_t e = 0; e < tree.leafEntries[leaf]; ++e, ++entry) {
      const std::uint64_t moved = farOf(entry), record = records[entry];
      writer::PatchBytes(layout.files, writer::FileKind::Data, (moved - 1) * length,
                         data.substr((record - 1) * length, length));
      writer::SetEntryPointer(layout.files, 1, tree.Leaves()[leaf], static_cast<int>(e),
                              static_cast<std::uint32_t>(moved));
    }
  ASSERT_EQ(entry, records.size());
  // A slot across each boundary, so that a read that splits there is met.
  ASSERT_LT((farOf(half / 2) - 1) * length, std::uint64_t{1} << 31);
  ASSERT_GT(farOf(half / 2) * length, std::uint64_t{1} << 31);
  ASSERT_LT((farOf(half + half / 2) - 1) * length, std::uint64_t{1} << 32);
  ASSERT_GT(farOf(half + half / 2) * length, std::uint64_t{1} << 32);
  for (std::uint64_t r = 1; r <= data.size() / length; ++r)
    writer::PurgeRecord(layout.files, layout.recordLength, static_cast<std::uint32_t>(r));
  SameAsBefore(runs, before, Whole);
}

// Nodes that lie past 2 GiB and past 4 GiB of the index file: every tree's
// nodes are moved, half of them across each boundary, in a sparse index of
// 4.3 GB, and the key descriptions after them; the pointers, the roots and
// the header's description place follow.  Every mode must give what it gave
// before the move (the root's number aside), the check must find the files
// sound, and both builds must agree.
TEST(WebParityTest, NodesPastTwoAndFourGibibytesAreReadWhereTheyLie) {
  TempDir dir;
  const writer::IspecLayout layout = writer::BuildIspec(dir.path(), Shaped("DEEP", 700, 512));
  const std::vector<std::vector<std::string>> runs = {
      {"--format", "csv", "--entry-numbers", dir.str(), "DEEP", "BYNO"},
      {"--format", "json", dir.str(), "DEEP", "DATEDOWN"},
      {"--window", "--seek", "000300", dir.str(), "DEEP", "BYNO"},
      {"--window", "40", dir.str(), "DEEP", "FIRSTKEY"},
      {"--find", "Item 3", dir.str(), "DEEP", "CAPITALS"},
      {"--describe", "--seek", "G3", dir.str(), "DEEP", "DATEPLAIN"},
      {"--check", "--strict", dir.str(), "DEEP"}};
  // --describe names the root by its number, which the move changes, and
  // the check counts the nodes of the sparse file that no tree reaches.
  const Kept withoutRoot = [](std::string out) {
    for (const char* line : {"Root node: ", "Note: "}) {
      const std::size_t at = out.find(line);
      if (at != std::string::npos) out.erase(at, out.find('\n', at) + 1 - at);
    }
    return out;
  };
  const std::vector<std::string> before = NativeBefore(runs, withoutRoot);

  const writer::FileSet& files = layout.files;
  const std::uint64_t nodeSize = static_cast<std::uint64_t>(layout.index.nodeSize);
  const std::string index = FileBytes(files.Index());
  std::vector<std::uint32_t> nodes;
  for (const writer::TreeLayout& tree : layout.index.keys)
    for (const auto& level : tree.levels) nodes.insert(nodes.end(), level.begin(), level.end());
  std::sort(nodes.begin(), nodes.end());
  const std::size_t half = nodes.size() / 2;
  std::map<std::uint32_t, std::uint32_t> moved;  // old node number to new
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const std::uint64_t boundary = i < half ? std::uint64_t{1} << 31 : std::uint64_t{1} << 32;
    moved[nodes[i]] = static_cast<std::uint32_t>(boundary / nodeSize - half / 2 + (i < half ? i : i - half) + 1);
  }
  const std::uint32_t last = moved[nodes.back()];
  auto be32 = [](std::uint32_t v) {
    std::string bytes(4, '\0');
    writer::PutBE32(reinterpret_cast<unsigned char*>(bytes.data()), v);
    return bytes;
  };
  const writer::IndexGeometry geometry = writer::ReadIndexGeometry(files, static_cast<int>(layout.index.keys.size()));
  const std::uint64_t descriptions = layout.index.descriptionsOffset;
  const std::uint64_t descriptionsEnd = geometry.keys.back().offset + geometry.keys.back().length;
  const std::uint32_t k = last + 1;  // the descriptions follow the last node
  std::filesystem::resize_file(files.Index(), (std::uint64_t{k} + 1) * nodeSize);
  for (const auto& [from, to] : moved) {
    writer::PatchBytes(files, writer::FileKind::Index, (to - 1ull) * nodeSize, index.substr((from - 1ull) * nodeSize, nodeSize));
    writer::PatchBytes(files, writer::FileKind::Index, (from - 1ull) * nodeSize, std::string(nodeSize, '\0'));
  }
  writer::PatchBytes(files, writer::FileKind::Index, std::uint64_t{k} * nodeSize + 6,
                     index.substr(descriptions, descriptionsEnd - descriptions));
  writer::PatchBytes(files, writer::FileKind::Index, 45, be32(k));
  for (std::size_t key = 0; key < layout.index.keys.size(); ++key) {
    const writer::TreeLayout& tree = layout.index.keys[key];
    const writer::IndexGeometry::Key& description = geometry.keys[key];
    writer::PatchBytes(files, writer::FileKind::Index, std::uint64_t{k} * nodeSize + 6 + (description.offset - descriptions) + 2,
                       be32(moved.at(tree.root)));
    const int entrySize = 1 + description.keyLength + description.entryTail;
    for (std::size_t level = 1; level < tree.levels.size(); ++level)
      for (const std::uint32_t node : tree.levels[level]) {
        const int used = writer::GetBE16(reinterpret_cast<const unsigned char*>(index.data()) + (node - 1ull) * nodeSize);
        for (int e = 0; e < (used - 2) / entrySize; ++e) {
          const std::uint32_t child = writer::SetEntryPointer(files, static_cast<int>(key), moved.at(node), e, 0);
          writer::SetEntryPointer(files, static_cast<int>(key), moved.at(node), e, moved.at(child));
        }
      }
  }
  ASSERT_LT((moved[nodes[half / 2 - 1]] - 1ull) * nodeSize, std::uint64_t{1} << 31);
  ASSERT_GE((moved[nodes[half / 2]] - 1ull) * nodeSize, std::uint64_t{1} << 31);
  ASSERT_GE((moved[nodes[half + half / 2]] - 1ull) * nodeSize, std::uint64_t{1} << 32);
  SameAsBefore(runs, before, withoutRoot);
}

TEST(WebParityTest, SqliteIsRefusedClearly) {
  TempDir demo;
  writer::BuildIspec(demo.path(), Shaped("ONE", 1, 512));
  const std::string out = (demo.path() / "out.db").string();
  const RunResult web = RunCommand(
      CommandLine(Quote(kNode) + " --no-experimental-fetch " + Quote(kWeb), {"--sqlite", out, demo.str()}), 120);
  EXPECT_EQ(web.status, 2);
  EXPECT_EQ(web.out, "");
  EXPECT_EQ(web.err,
            "ondrel-export: --sqlite is not available in this build; the native ondrel-export writes SQLite files\n");
  EXPECT_FALSE(std::filesystem::exists(out));
  // A usage error is still reported as such before it.
  Same({"--sqlite", out, demo.str(), "ONE"});
}

}  // namespace
}  // namespace ondrel::test
