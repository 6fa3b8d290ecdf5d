// The file seam (RandomAccessFile.h) through the Win32 API.
//
// Names are UTF-8 inside the program and UTF-16 at the system: each call
// converts its path, and a name that is no well-formed UTF-8 names nothing.
// Every file is opened for reading with all three share modes, so that the
// owning application can go on writing, renaming and deleting the file while
// we hold it, as it can on POSIX; a read moves the handle's position and
// reads from there under a lock, so two threads can share one handle.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <mutex>

#include "database/RandomAccessFile.h"
#include "database/WindowsBoundary.h"

namespace ondrel {
namespace {

// FILETIME counts 100 ns steps from 1601-01-01; the readers count
// nanoseconds from 1970-01-01, as POSIX does.
constexpr std::int64_t kFiletimeToUnix = 116444736000000000;  // 100 ns steps from 1601 to 1970

std::int64_t Nanoseconds(std::int64_t filetime) { return (filetime - kFiletimeToUnix) * 100; }
std::int64_t Nanoseconds(const FILETIME& t) {
  return Nanoseconds(static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime));
}

// Opens for reading only, never creating, with every share mode and no lock.
// With no access asked for (`access` 0) only the file's attributes can be
// read, which is enough for its identity.
HANDLE OpenShared(const std::string& path, DWORD access) {
  std::wstring wide;
  if (path.empty() || !Utf8ToWide(path, wide)) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether an open handle is a file on a disk, not a directory, a console,
// a pipe or a device such as NUL.
bool IsRegularFile(HANDLE file) {
  if (::GetFileType(file) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

class WindowsFile : public RandomAccessFile {
 public:
  WindowsFile(HANDLE file, std::int64_t size) : file_(file), size_(size) {}
  ~WindowsFile() override { ::CloseHandle(file_); }
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  std::int64_t Size() const override { return size_; }

  bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const override {
    // The handle's position is moved to the offset and the bytes read from
    // there, one thread at a time: a read at an OVERLAPPED offset costs Wine
    // a round trip to its server on every call, a plain read none.
    const std::lock_guard<std::mutex> hold(position_);
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t got = 0;
    while (got < n) {
      const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n - got, std::numeric_limits<DWORD>::max()));
      DWORD read = 0;
      // At the end of the file a synchronous read succeeds with no bytes:
      // the file shrank since it was opened.
      if (!::ReadFile(file_, out + got, ask, &read, nullptr) || read == 0) return false;
      got += read;
    }
    return true;
  }

 private:
  HANDLE file_;
  std::int64_t size_;
  mutable std::mutex position_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccess(const std::string& path) {
  // A directory is not opened at all (CreateFileW refuses one without
  // FILE_FLAG_BACKUP_SEMANTICS, saying ERROR_ACCESS_DENIED), so it is told
  // apart first and left without a reason, as on POSIX.
  if (KindOfPath(path) == PathKind::Directory) return nullptr;
  const HANDLE file = OpenShared(path, GENERIC_READ);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return nullptr;
  }
  LARGE_INTEGER size{};
  // A device or pipe under the name is never read: a read of one can block.
  if (!IsRegularFile(file) || !::GetFileSizeEx(file, &size)) {
    ::CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<WindowsFile>(file, size.QuadPart);
}

PathKind KindOfPath(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !Utf8ToWide(path, wide)) return PathKind::Missing;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  // The attributes of a reserved name (NUL, CON) look like a file's: only an
  // open handle tells a file on a disk from a device.
  const HANDLE file = OpenShared(path, 0);
  if (file == INVALID_HANDLE_VALUE) return PathKind::Other;
  const bool regular = IsRegularFile(file);
  ::CloseHandle(file);
  return regular ? PathKind::RegularFile : PathKind::Other;
}

bool DirectoryNames(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  std::wstring pattern;
  if (directory.empty() || !Utf8ToWide(directory, pattern)) return false;
  if (pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty directory still holds "." and ".."; only a drive's root can
    // hold no name at all.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  // As the owning application's code page spells them (WindowsBoundary.h).
  do names.push_back(WideToCp1252(found.cFileName));
  while (::FindNextFileW(search, &found));
  const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return complete;
}

FileIdentity IdentityOfFile(const std::string& path) {
  FileIdentity id;
  const HANDLE file = OpenShared(path, 0);
  if (file == INVALID_HANDLE_VALUE) return id;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO times{};
  const bool read = IsRegularFile(file) && ::GetFileInformationByHandle(file, &info);
  // The change time (of the data or the attributes) is only in the basic
  // information; a file system without it leaves it 0, and the last write
  // stands in for it.
  const bool changeTime = read && ::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
  ::CloseHandle(file);
  if (!read) return id;
  // The handle was opened from the name itself, so the name named the file
  // at that moment; a name renamed over afterwards gives a new file index
  // when the identity is taken again.
  id.present = true;
  id.device = info.dwVolumeSerialNumber;
  id.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  id.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  id.modified = Nanoseconds(info.ftLastWriteTime);
  id.changed = changeTime && times.ChangeTime.QuadPart != 0 ? Nanoseconds(times.ChangeTime.QuadPart) : id.modified;
  return id;
}

std::int64_t CoarseNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return Nanoseconds(now);
}

std::int64_t CoarseTick() {
  DWORD adjustment = 0, increment = 0;
  BOOL disabled = FALSE;
  // The clock's step, in 100 ns units; the usual 15.625 ms when not told.
  if (!::GetSystemTimeAdjustment(&adjustment, &increment, &disabled) || increment == 0) increment = 156250;
  return std::int64_t{increment} * 100;
}

void Rest(std::int64_t nanoseconds) {
  // Sleep counts whole milliseconds: rounded up, so that a rest is never
  // shorter than asked.
  ::Sleep(static_cast<DWORD>((nanoseconds + 999999) / 1000000));
}

}  // namespace ondrel
