#pragma once

// The four files of an ISPEC named N in a directory: _N.DFN (definition),
// _N_P.DFN (profiles), _N.DAT (data) and _N.IDX (index).

#include <filesystem>
#include <string>

namespace ondrel::writer {

enum class FileKind { Definition, Profile, Data, Index };

struct FileSet {
  std::filesystem::path dir;
  std::string ispec;

  std::filesystem::path Path(FileKind kind) const;
  std::filesystem::path Definition() const { return Path(FileKind::Definition); }
  std::filesystem::path Profile() const { return Path(FileKind::Profile); }
  std::filesystem::path Data() const { return Path(FileKind::Data); }
  std::filesystem::path Index() const { return Path(FileKind::Index); }
};

}  // namespace ondrel::writer
