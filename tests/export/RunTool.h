// Runs the built ondrel-export with arguments and collects what it wrote and
// how it ended.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace ondrel::test {

struct ToolRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when ended by a signal
  long peakKiB = 0;  // the tool's peak resident memory
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

#ifdef _WIN32
// One argument as CommandLineToArgvW reads it back: quoted when it holds a
// space, a tab or a quote, backslashes doubled only before a quote.
inline std::wstring QuotedArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L'"';
}

inline std::wstring WideOf(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// ONDREL_EXPORT_PATH names the tool from the folder of this test program.
inline ToolRun RunTool(const std::vector<std::string>& args) {
  TempDir scratch;
  const std::string outPath = scratch.str() + "/out", errPath = scratch.str() + "/err";
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring program = self.substr(0, self.find_last_of(L"\\/") + 1) + WideOf(ONDREL_EXPORT_PATH);
  std::wstring command = QuotedArgument(program);
  for (const auto& a : args) command += L" " + QuotedArgument(WideOf(a));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto create = [&](const std::string& path) {
    return ::CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  const HANDLE out = create(outPath), err = create(errPath);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
  ::CloseHandle(out);
  ::CloseHandle(err);
  if (!started) return {"", "cannot start the tool", -1, 0};
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return {ReadAll(outPath), ReadAll(errPath), static_cast<int>(status), static_cast<long>(memory.PeakWorkingSetSize / 1024)};
}
#else
inline ToolRun RunTool(const std::vector<std::string>& args) {
  TempDir scratch;
  const std::string outPath = scratch.str() + "/out", errPath = scratch.str() + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(ONDREL_EXPORT_PATH)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ONDREL_EXPORT_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {ReadAll(outPath), ReadAll(errPath), WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}
#endif

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace ondrel::test
