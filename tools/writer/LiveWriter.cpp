// ondrel-live-writer DIR CYCLES [PAUSE_MS]: rewrites the ISPEC LIVE in DIR
// CYCLES times, one version after another, in place and by renaming in turn,
// for the tests of reading a database that changes.  Without PAUSE_MS it
// writes as fast as it can; with it, it rests between versions for a time
// from 0 to PAUSE_MS milliseconds that varies from version to version, so
// that readers meet both quiet spells and versions written back to back.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/writer/LiveSet.h"

int main(int argc, char** argv) {
  if ((argc != 3 && argc != 4) || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: ondrel-live-writer DIR CYCLES [PAUSE_MS]\n");
    return 2;
  }
  try {
    const int cycles = std::atoi(argv[2]);
    const long pause = argc == 4 ? std::atol(argv[3]) : 0;
    for (int version = 1; version <= cycles; ++version) {
      ondrel::writer::WriteLiveVersion(argv[1], version,
                                       version % 2 == 0 ? ondrel::writer::Rewrite::InPlace
                                                        : ondrel::writer::Rewrite::Rename);
      if (pause <= 0) continue;
      const long rest = (version * 7919L) % (pause + 1);
      const timespec wait{rest / 1000, (rest % 1000) * 1000000};
      nanosleep(&wait, nullptr);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-live-writer: %s\n", e.what());
    return 1;
  }
  return 0;
}
