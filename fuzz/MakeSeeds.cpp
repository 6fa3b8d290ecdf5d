// Writes the seed inputs of the fuzz targets from small writer-built
// databases: sound file sets of both node sizes, both entry tails, shallow
// and deep trees, with purged records and hidden fields; and, for the
// targets that read a whole file set, the deep tree damaged as the damage
// corpus damages it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzFiles.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace fs = std::filesystem;
using namespace ondrel::writer;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Put(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}

// The seeds of the targets that take a whole file set and a tail of
// chunks that choose what they do (see each target).
void PutFileSetSeeds(const fs::path& out, const std::string& name, const std::vector<std::string>& files) {
  auto with = [&files](std::vector<std::string> tail) {
    std::vector<std::string> chunks = files;
    chunks.insert(chunks.end(), tail.begin(), tail.end());
    return ondrel::fuzz::JoinChunks(chunks);
  };
  // Seek: one part on the first profile, two on the second, past the end.
  Put(out / "seek", name + "-one", with({std::string(1, '\0'), "1050"}));
  Put(out / "seek", name + "-two", with({std::string(1, '\x05'), "Carter", "1010"}));
  Put(out / "seek", name + "-end", with({std::string(1, '\0'), "99999"}));
  // Find: forwards in batches of two, backwards without case.
  Put(out / "find", name + "-fwd", with({std::string("\x01\x00\x01\x01\x00\x00\x00", 7), "Dunn"}));
  Put(out / "find", name + "-back", with({std::string("\x00\x01\x03\x02\x02\x01\x00", 7), "baker"}));
  // Check: text, then JSON and strict with two problems a profile shown.
  Put(out / "check", name + "-text", with({std::string("\x00\x00", 2)}));
  Put(out / "check", name + "-json", with({std::string("\x07\x02", 2)}));
  // SQL: the second profile, a key range with LIMIT, entry numbers with
  // OFFSET, and a rowid range in the function form.
  Put(out / "sql", name + "-queries",
      with({std::string("\x01" "\x20\x19\x02\x0a" "\x42\x12\x07\x03" "\x05\x27\x09\x00", 13),
            "Abbott Ellis 1003"}));
}

// The deep tree of `files` in `dir`, damaged as `damage` says.
std::vector<std::string> Damaged(const IspecLayout& layout, const std::string& damage) {
  const FileSet& set = layout.files;
  const auto& leaves = layout.index.keys.at(1).Leaves();
  const auto& interior = layout.index.keys.at(1).levels.at(1);
  if (damage == "cut-duplicate") {
    // A data file cut short under a tree with an entry given twice.
    SetEntryPointer(set, 1, leaves.at(1), 1, layout.entryRecords.at(1).at(0));
    TruncateFile(set, FileKind::Data, fs::file_size(set.Data()) / 3);
  } else if (damage == "swapped") {
    SwapEntries(set, 2, layout.index.keys.at(2).Leaves().at(0), 0, layout.index.keys.at(2).Leaves().at(1), 1);
  } else if (damage == "cycle") {
    MakeCycle(set, 1, interior.at(0), 0, layout.index.keys.at(1).root);
  } else if (damage == "index-cut") {
    TruncateFile(set, FileKind::Index, fs::file_size(set.Index()) * 2 / 3);
  } else if (damage == "purged") {
    for (std::uint32_t r = 1; r <= 20; r += 3) PurgeRecord(set, layout.recordLength, r);
  }
  return {Slurp(set.Definition()), Slurp(set.Profile()), Slurp(set.Index()), Slurp(set.Data())};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path work = out / "work";
  fs::create_directories(work);
  struct Variant {
    const char* name;
    int nodeSize;
    int tail;
    int leafFill;
    int records;
    bool crlf;
  };
  const Variant variants[] = {{"small512", 512, 4, 0, 40, false},
                              {"deep512", 512, 8, 2, 120, false},
                              {"wide2048", 2048, 8, 0, 300, true},
                              {"one", 512, 4, 0, 1, false}};
  for (const Variant& v : variants) {
    IspecContent s;
    s.name = "F";
    s.nodeSize = v.nodeSize;
    s.profileCrlf = v.crlf;
    s.definition.crlf = v.crlf;
    s.definition.fields = {{"CUSTNO", 1, "N", 6, 0},
                           {"NAME", 2, "A", 12, 0},
                           {"[LINK]", 3, "A", 4, 0},
                           {"AMOUNT", 4, "N", 7, 2},
                           {"flag", 5, "A", 1, 0}};
    static const char* names[] = {"Abbott", "Baker", "Carter", "Dunn", "Ellis", "Fraser", "Grant"};
    for (int i = 0; i < v.records; ++i)
      s.records.push_back({{std::to_string(1000 + i), names[i % 7], "L" + std::to_string(i),
                            std::to_string(i * 137 % 100000), "x"},
                           i % 9 == 4});
    ProfileDef byNo{.name = "CUSTNO", .keyFields = {{"CUSTNO"}}};
    ProfileDef byName{.name = "BYNAME",
                       .keyFields = {{"NAME"}, {"CUSTNO", true}},
                       .conditions = {{"AMOUNT", '1', '&', "GLB.ZEROS"}, {"NAME", '3', ' ', "X"}}};
    for (ProfileDef* p : {&byNo, &byName}) {
      p->entryTail = v.tail;
      p->maxLeafFill = v.leafFill;
      p->maxInteriorFill = v.leafFill;
    }
    s.profiles = {byNo, byName};
    const fs::path dir = work / v.name;
    fs::create_directories(dir);
    if (std::string(v.name) == "deep512")
      for (const char* damage : {"cut-duplicate", "swapped", "cycle", "index-cut", "purged"}) {
        const fs::path damagedDir = work / damage;
        fs::create_directories(damagedDir);
        const auto files = Damaged(BuildIspec(damagedDir, s), damage);
        PutFileSetSeeds(out, damage, files);
        Put(out / "openshow", damage, ondrel::fuzz::JoinChunks(files));
      }
    const IspecLayout layout = BuildIspec(dir, s);
    const std::string dfn = Slurp(layout.files.Definition());
    const std::string pro = Slurp(layout.files.Profile());
    const std::string idx = Slurp(layout.files.Index());
    const std::string dat = Slurp(layout.files.Data());
    Put(out / "definition", v.name, dfn);
    Put(out / "profile", v.name, ondrel::fuzz::JoinChunks({pro, idx}));
    Put(out / "openshow", v.name, ondrel::fuzz::JoinChunks({dfn, pro, idx, dat}));
    PutFileSetSeeds(out, v.name, {dfn, pro, idx, dat});
  }
  fs::remove_all(work);
  return 0;
}
