// At the Windows boundary: the program holds every name and message as
// UTF-8, the system's wide calls take and give UTF-16; and the messages that
// say why a call failed come from errno, which the system's calls leave
// alone.
#pragma once

#include <string>
#include <string_view>

namespace ondrel {

// UTF-8 to UTF-16; false (and `wide` empty) when `text` is no well-formed
// UTF-8 or holds a NUL, which no name can.
bool Utf8ToWide(std::string_view text, std::wstring& wide);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// The names of a database's files are the owning application's bytes in
// its code page, Windows-1252, wherever the core holds them (the ISPEC names
// it lists, shows and joins to the folder), as on Linux, where they are the
// bytes on the disk.  Windows keeps names in UTF-16, so they are converted
// where they cross: a name listed is given as a program of that code page
// sees it (a character it has no byte for as '?', which names no file), and
// a name joined to a folder is decoded back (every byte is a character).
std::string WideToCp1252(std::wstring_view wide);
std::string Cp1252NameToUtf8(std::string_view bytes);

// Sets errno from the system's last error, for the messages that tell why a
// file could not be opened or written; only the reasons a reader or the
// tool can meet are told apart, any other is EIO.
void SetErrnoFromLastError();

}  // namespace ondrel
