#include "tools/writer/LiveSet.h"

#include <cstdio>

#include "tools/writer/IspecBuilder.h"

namespace ondrel::writer {

int LiveRecordCount(int version) { return 3000 + (version * 397) % 2000; }

void WriteLiveVersion(const std::filesystem::path& dir, int version, Rewrite how) {
  IspecContent setup;
  setup.name = kLiveIspec;
  setup.definition.fields = {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 12, 0}, {"[PAD]", 3, "A", 20, 0}};
  const int count = LiveRecordCount(version);
  for (int n = 1; n <= count; ++n) {
    char no[16];
    char name[24];
    std::snprintf(no, sizeof no, "%06d", n);
    std::snprintf(name, sizeof name, "V%04dR%06d", version % 10000, n);
    setup.records.push_back({{no, name, "padding"}});
  }
  setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}}, .maxLeafFill = 20},
                    {.name = "BACK", .keyFields = {{"NO", true}}}};
  if (how == Rewrite::InPlace) {
    BuildIspec(dir, setup);
    return;
  }
  const std::filesystem::path staging = dir / ".staging";
  std::filesystem::create_directories(staging);
  const IspecLayout layout = BuildIspec(staging, setup);
  for (const FileKind kind : {FileKind::Definition, FileKind::Profile, FileKind::Data, FileKind::Index})
    std::filesystem::rename(layout.files.Path(kind), FileSet{dir, kLiveIspec}.Path(kind));
}

}  // namespace ondrel::writer
