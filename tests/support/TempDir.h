// A fresh directory under the system's temporary folder, removed with the
// object.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace ondrel::test {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("ondrel-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  // Writes a file of the given bytes and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const auto p = path_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }

  // Copies what the folder `from` holds into this one.  A copy of the folder
  // itself onto this existing one would do the same on Linux, but is refused
  // elsewhere ("File exists"), so each entry is copied on its own.
  void CopyContentsOf(const std::filesystem::path& from) const {
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::copy(entry.path(), path_ / entry.path().filename(), std::filesystem::copy_options::recursive);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace ondrel::test
