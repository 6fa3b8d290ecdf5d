// ondrel-page-fixture DIR: the databases the page's browser test opens, each
// in a folder of its own under DIR (ondrel-page-fixture --large N DIR: only
// LARGE, of N records, in DIR itself, for measuring the page):
//   demo/      the demo database
//   large/     LARGE, 70000 records: three sections
//   walk/      the hostile ISPEC ORD with a child pointer of its ORDNO tree
//              zeroed: the walk at Ok fails
//   no-index/  the hostile ISPEC ORD without its index: choosing it fails
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "tests/hostile/HostileDatabase.h"
#include "tools/writer/Damage.h"
#include "tools/writer/DemoDatabase.h"
#include "tools/writer/LargeIspec.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  using namespace ondrel::writer;
  if (argc == 4 && std::string(argv[1]) == "--large") {
    LargeIspecOptions large;
    large.records = std::stoull(argv[2]);
    fs::create_directories(argv[3]);
    BuildLargeIspec(argv[3], large);
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: ondrel-page-fixture [--large RECORDS] DIR\n");
    return 2;
  }
  try {
    const fs::path root = argv[1];
    fs::create_directories(root / "demo");
    BuildDemoDatabase(root / "demo");
    fs::create_directories(root / "large");
    LargeIspecOptions large;
    large.records = 70000;
    BuildLargeIspec(root / "large", large);

    fs::create_directories(root / "walk");
    const IspecLayout layout = ondrel::test::BuildHostileIspec(root / "walk");
    const TreeLayout& tree = layout.index.keys[1];
    ZeroChildPointer(FileSet{root / "walk", "ORD"}, 1, tree.root, 1);
    fs::create_directories(root / "no-index");
    ondrel::test::BuildHostileIspec(root / "no-index");
    RemoveFile(FileSet{root / "no-index", "ORD"}, FileKind::Index);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-page-fixture: %s\n", e.what());
    return 1;
  }
  return 0;
}
