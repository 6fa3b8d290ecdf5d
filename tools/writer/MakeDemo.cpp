// ondrel-make-demo DIR: writes the demo database into DIR.

#include <cstdio>
#include <exception>

#include "tools/writer/DemoDatabase.h"

int main(int argc, char** argv) {
  // An option ("--help") is not taken for a folder to write into.
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  try {
    for (const ondrel::writer::IspecLayout& ispec : ondrel::writer::BuildDemoDatabase(argv[1])) {
      std::printf("%s: %zu key descriptions", ispec.files.ispec.c_str(), ispec.index.keys.size());
      for (const ondrel::writer::TreeLayout& key : ispec.index.keys)
        std::printf(", %llu", static_cast<unsigned long long>(key.entries));
      std::printf(" entries\n");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-make-demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
