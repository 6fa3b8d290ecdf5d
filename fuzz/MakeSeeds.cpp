// Writes the seed inputs of the fuzz targets from small writer-built
// databases: sound file sets of both node sizes, both entry tails, shallow
// and deep trees, with purged records and hidden fields.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzFiles.h"
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
    const IspecLayout layout = BuildIspec(dir, s);
    const std::string dfn = Slurp(layout.files.Definition());
    const std::string pro = Slurp(layout.files.Profile());
    const std::string idx = Slurp(layout.files.Index());
    const std::string dat = Slurp(layout.files.Data());
    Put(out / "definition", v.name, dfn);
    Put(out / "profile", v.name, ondrel::fuzz::JoinChunks({pro, idx}));
    Put(out / "openshow", v.name, ondrel::fuzz::JoinChunks({dfn, pro, idx, dat}));
  }
  fs::remove_all(work);
  return 0;
}
