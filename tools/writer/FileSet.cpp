#include "tools/writer/FileSet.h"

namespace ondrel::writer {

std::filesystem::path FileSet::Path(FileKind kind) const {
  switch (kind) {
    case FileKind::Definition: return dir / ("_" + ispec + ".DFN");
    case FileKind::Profile: return dir / ("_" + ispec + "_P.DFN");
    case FileKind::Data: return dir / ("_" + ispec + ".DAT");
    case FileKind::Index: return dir / ("_" + ispec + ".IDX");
  }
  return {};
}

}  // namespace ondrel::writer
