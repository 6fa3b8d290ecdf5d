// What the tool asks of the operating system beyond the core's file seam:
// its arguments, its two standard streams, and the one file it writes (the
// SQLite file of --sqlite).  SystemPosix.cpp answers through POSIX,
// SystemWindows.cpp through the Win32 API.  Failures leave errno set to why.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ondrel::tool {

// The arguments after the program's name, as UTF-8 (on Windows from the
// UTF-16 ones, so that any name the user types arrives whole).
#ifdef _WIN32
std::vector<std::string> ProgramArguments(int argc, wchar_t** argv);
#else
std::vector<std::string> ProgramArguments(int argc, char** argv);
#endif

// An ISPEC name typed by the user as the core holds it: the bytes the
// owning application wrote its files' names in.  (A profile's name is kept as
// typed and matched by TypedProfilePosition.)  On Linux the argument is
// those bytes already; on Windows it
// arrives as Unicode and is put in the owning application's code page,
// Windows-1252 (a name with a character outside it stays as typed and names
// nothing).
std::string DatabaseNameFromArgument(const std::string& typed);

// Sets up the standard streams for the run: a closed pipe ends the process
// quietly, even when the signal was set to be ignored by whoever started the
// tool; on Windows the bytes pass unchanged (no CR added) and a console
// shows UTF-8, its own code page given back when the process ends.
void PrepareStandardStreams();

enum class Stream { Out, Error };

// Writes all bytes; false on a failure other than a reader gone away, which
// ends the process.
bool WriteAll(Stream stream, const char* data, std::size_t size);

bool IsTerminal(Stream stream);

// Ends the process now, with no clean-up but giving the console back.
[[noreturn]] void EndNow(int status);

// What a name names, links not followed.
enum class NameKind { Free, RegularFile, SymbolicLink, Directory, Pipe, Device, Other };
NameKind KindOfName(const std::string& path);

// Makes a new empty file named `prefix` and a unique tail, with the mode any
// new file of the user gets; its name in `path`.
bool CreateTemporaryFile(const std::string& prefix, std::string& path);

// Writes a file's data to the disk.
bool SyncFile(const std::string& path);

// Renames `from` to `to` in one step, replacing any file `to` names.
bool RenameReplacing(const std::string& from, const std::string& to);

// Removes a file; safe in a signal handler.
void RemoveFile(const char* path);

// Runs `handler` on the signals that end a run from outside (an interrupt,
// a termination, a hang-up), and gives them back their default.
void CatchEndingSignals(void (*handler)(int));
void ReleaseEndingSignals();

}  // namespace ondrel::tool
