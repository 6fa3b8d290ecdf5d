#include "database/WindowsBoundary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <limits>

namespace ondrel {

bool Utf8ToWide(std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.find('\0') != std::string_view::npos || text.size() > std::numeric_limits<int>::max()) return false;
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length) == length;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > std::numeric_limits<int>::max()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

std::string WideToCp1252(std::wstring_view wide) {
  if (wide.empty() || wide.size() > std::numeric_limits<int>::max()) return {};
  const int size = static_cast<int>(wide.size());
  // No best fit: a character outside the code page becomes '?', never a
  // look-alike letter that could name another file.
  const int length = ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, "?", nullptr);
  if (length <= 0) return {};
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), length, "?", nullptr);
  return bytes;
}

std::string Cp1252NameToUtf8(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<int>::max()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(1252, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(1252, 0, bytes.data(), size, wide.data(), length);
  return WideToUtf8(wide);
}

void SetErrnoFromLastError() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: errno = EACCES; break;
    case ERROR_TOO_MANY_OPEN_FILES: errno = EMFILE; break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: errno = ENOMEM; break;
    case ERROR_FILENAME_EXCED_RANGE: errno = ENAMETOOLONG; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    case ERROR_WRITE_PROTECT: errno = EROFS; break;
    default: errno = EIO; break;
  }
}

}  // namespace ondrel
