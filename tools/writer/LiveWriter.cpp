// ondrel-live-writer DIR CYCLES: rewrites the ISPEC LIVE in DIR CYCLES times,
// one version after another, in place and by renaming in turn, as fast as it
// can, for the tests of reading a database that changes.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/writer/LiveSet.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ondrel-live-writer DIR CYCLES\n");
    return 2;
  }
  try {
    const int cycles = std::atoi(argv[2]);
    for (int version = 1; version <= cycles; ++version)
      ondrel::writer::WriteLiveVersion(argv[1], version,
                                       version % 2 == 0 ? ondrel::writer::Rewrite::InPlace
                                                        : ondrel::writer::Rewrite::Rename);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-live-writer: %s\n", e.what());
    return 1;
  }
  return 0;
}
