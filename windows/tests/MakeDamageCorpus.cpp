// ondrel-damage-corpus DIR: writes the damaged databases that the Windows
// build's tool is compared on, each in a folder of its own under DIR: the
// sound hostile ISPEC (ORD, three-level ORDNO tree in 512-byte nodes) and a
// copy of it per kind of damage the writer makes, plus the index cut at a
// few node boundaries and each file of the set missing in turn.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/hostile/HostileDatabase.h"
#include "tools/writer/Damage.h"

namespace {

namespace fs = std::filesystem;
using namespace ondrel::writer;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ondrel-damage-corpus DIR\n");
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path sound = root / "sound";
  fs::create_directories(sound);
  const IspecLayout layout = ondrel::test::BuildHostileIspec(sound);
  const TreeLayout& tree = layout.index.keys[1];
  const auto& levels = tree.levels;

  using Damage = std::function<void(const FileSet&)>;
  std::vector<std::pair<std::string, Damage>> damages = {
      {"swapped-entries", [&](const FileSet& s) { SwapEntries(s, 1, tree.Leaves()[4], 5, tree.Leaves()[5], 0); }},
      {"key-unlike-record", [&](const FileSet& s) { SetEntryKey(s, 1, tree.Leaves()[7], 2, "999999"); }},
      {"two-entries-one-record", [&](const FileSet& s) { SetEntryPointer(s, 1, tree.Leaves()[9], 1, 40); }},
      {"entry-for-purged", [&](const FileSet& s) { PurgeRecord(s, layout.recordLength, layout.entryRecords[1][20]); }},
      {"record-left-out", [&](const FileSet& s) { RemoveEntry(s, 2, layout.index.keys[2].Leaves()[3], 4); }},
      {"interior-key", [&](const FileSet& s) { SetEntryKey(s, 1, levels[1][2], 1, "000000"); }},
      {"child-pointer-zero", [&](const FileSet& s) { ZeroChildPointer(s, 1, tree.root, 1); }},
      {"child-pointer-past-end", [&](const FileSet& s) { ChildPointerPastEnd(s, 1, levels[1][0], 0); }},
      {"cycle",
       [&](const FileSet& s) {
         MakeCycle(s, 1, levels[1][2], 0, tree.root);
         MakeCycle(s, 1, levels[1][3], 1, levels[1][3]);
       }},
      {"used-length", [&](const FileSet& s) { SetUsedLength(s, 512, tree.Leaves()[3], 0x7FFF); }},
      {"key-description-length", [&](const FileSet& s) { SetKeyDescriptionLength(s, 1, 21); }},
      {"roots-swapped", [&](const FileSet& s) { SwapRoots(s, 1, 2); }},
      {"data-cut-short", [&](const FileSet& s) { TruncateFile(s, FileKind::Data, 1000); }},
      {"field-changed", [&](const FileSet& s) { SetRecordBytes(s, layout.recordLength, 5, 0, "ZZ"); }},
      {"no-definition", [&](const FileSet& s) { RemoveFile(s, FileKind::Definition); }},
      {"no-profiles", [&](const FileSet& s) { RemoveFile(s, FileKind::Profile); }},
      {"no-data", [&](const FileSet& s) { RemoveFile(s, FileKind::Data); }},
      {"no-index", [&](const FileSet& s) { RemoveFile(s, FileKind::Index); }},
  };
  // The index cut inside its header, after the key descriptions, and
  // through the middle and the end of the ORDNO tree.
  const auto indexSize = fs::file_size(layout.files.Index());
  for (std::uintmax_t length : {std::uintmax_t{20}, std::uintmax_t{512}, indexSize / 2, indexSize - 512})
    damages.emplace_back("index-cut-" + std::to_string(length),
                         [length](const FileSet& s) { TruncateFile(s, FileKind::Index, length); });

  for (const auto& [name, damage] : damages) {
    const fs::path dir = root / name;
    fs::remove_all(dir);
    fs::copy(sound, dir, fs::copy_options::recursive);
    damage(FileSet{dir, "ORD"});
  }
  return 0;
}
