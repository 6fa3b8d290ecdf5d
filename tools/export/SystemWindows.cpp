// The tool's system calls (System.h) through the Win32 API and the C
// runtime's descriptors.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "database/WindowsBoundary.h"
#include "tools/export/System.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {
namespace {

int Descriptor(Stream stream) { return stream == Stream::Out ? 1 : 2; }

// The console's output code page before the run, 0 when it was not changed.
std::atomic<UINT> consolePage{0};

void GiveConsoleBack() {
  if (const UINT page = consolePage.exchange(0)) ::SetConsoleOutputCP(page);
}

std::wstring Wide(const std::string& path) {
  std::wstring wide;
  if (!Utf8ToWide(path, wide)) wide.clear();
  return wide;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(WideToUtf8(argv[i]));
  return args;
}

std::string DatabaseNameFromArgument(const std::string& typed) {
  std::string bytes;
  return Utf8ToCp1252(typed, bytes) ? bytes : typed;
}

void PrepareStandardStreams() {
  // Bytes as they are: no CR before each LF, no end at a ^Z.
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  // A console shows the UTF-8 the tool writes only in code page 65001; the
  // one it had is given back at the end, so that the programs run after us
  // in the same console see what they expect.
  const UINT page = ::GetConsoleOutputCP();
  if (page != 0 && page != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
    consolePage = page;
    std::atexit(GiveConsoleBack);
  }
}

bool WriteAll(Stream stream, const char* data, std::size_t size) {
  // Straight to the handle, not through the C runtime's descriptors: the
  // runtime takes a short write for a failure and leaves errno to whatever
  // error came last, which can be a broken pipe of long before.
  const HANDLE handle = ::GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr)) {
      const DWORD error = ::GetLastError();
      // The output's reader gone away (`| more` ended): POSIX ends the tool
      // by a signal, which its shell reports; Windows has none, so the tool
      // says so itself and ends with status 1, since what was asked for was
      // not all written.  No status 1 goes without a line that says why.
      if (stream == Stream::Out &&
          (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED)) {
        static const char kGone[] = "Ondrel viewer: the output was closed before all of it was written.\n";
        DWORD ignored = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kGone, sizeof kGone - 1, &ignored, nullptr);
        EndNow(1);
      }
      ::SetLastError(error);
      SetErrnoFromLastError();
      return false;
    }
    if (written == 0) {  // a success that moved nothing would be asked again forever
      errno = EIO;
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool IsTerminal(Stream stream) { return ::_isatty(Descriptor(stream)) != 0; }

void EndNow(int status) {
  GiveConsoleBack();
  std::_Exit(status);
}

NameKind KindOfName(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return NameKind::Free;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return NameKind::Free;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return NameKind::SymbolicLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return NameKind::Directory;
  // A reserved name (NUL, CON, COM1) has a file's attributes: only an open
  // handle tells a device or a pipe from a file on a disk.
  const HANDLE file = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return NameKind::Other;
  const DWORD type = ::GetFileType(file);
  ::CloseHandle(file);
  switch (type) {
    case FILE_TYPE_DISK: return NameKind::RegularFile;
    case FILE_TYPE_CHAR: return NameKind::Device;
    case FILE_TYPE_PIPE: return NameKind::Pipe;
    default: return NameKind::Other;
  }
}

bool CreateTemporaryFile(const std::string& prefix, std::string& path) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // The tail mixes the process, the clock and a count; CREATE_NEW refuses a
  // name that is taken, and another tail is tried.
  std::uint64_t seed = (std::uint64_t{::GetCurrentProcessId()} << 32) ^ ::GetTickCount64();
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = prefix;
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    for (int i = 0; i < 6; ++i) path += kLetters[(seed >> (16 + 6 * i)) % (sizeof kLetters - 1)];
    const std::wstring wide = Wide(path);
    if (wide.empty()) {
      errno = EINVAL;
      return false;
    }
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      SetErrnoFromLastError();
      return false;
    }
  }
  errno = EEXIST;
  return false;
}

bool SyncFile(const std::string& path) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return false;
  }
  const bool synced = ::FlushFileBuffers(file);
  if (!synced) SetErrnoFromLastError();
  ::CloseHandle(file);
  return synced;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  SetErrnoFromLastError();
  return false;
}

// A console's Ctrl+C runs the handler on a thread of its own, where a
// conversion and a system call are safe.
void RemoveFile(const char* path) { ::DeleteFileW(Wide(path).c_str()); }

void CatchEndingSignals(void (*handler)(int)) {
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, handler);
}

void ReleaseEndingSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, SIG_DFL);
}

}  // namespace ondrel::tool
