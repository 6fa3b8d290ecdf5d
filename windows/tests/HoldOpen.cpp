// ondrel-hold-open --share|--exclusive FILE...: a Windows program that opens
// each file for writing, as the owning application holds its database open,
// says "held", and keeps them open until its standard input ends.
// --share lets others read and write meanwhile, as the owner does;
// --exclusive shares nothing, for the control that the holding is real.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ondrel-hold-open --share|--exclusive FILE...\n");
    return 2;
  }
  const DWORD share = std::wcscmp(argv[1], L"--exclusive") == 0 ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  std::vector<HANDLE> held;
  for (int i = 2; i < argc; ++i) {
    const HANDLE file =
        ::CreateFileW(argv[i], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "ondrel-hold-open: cannot open argument %d (error %lu)\n", i, ::GetLastError());
      return 1;
    }
    held.push_back(file);
  }
  std::fputs("held\n", stdout);
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  for (HANDLE file : held) ::CloseHandle(file);
  return 0;
}
