#pragma once

// A file set that the owning application keeps rewriting, for the tests of
// reading a database while it changes.  Each version of the ISPEC LIVE holds
// a different number of records; record n carries the number n in its key
// field NO and in its name ("V0007R000042" in version 7), whatever the
// version, so that a reader can tell a line that belongs to no version from
// one of any version.  A version is written either in place, file by file
// (the reader may meet any file half written), or into a folder beside the
// set and renamed over it file by file (the reader may meet files of two
// versions).

#include <filesystem>

namespace ondrel::writer {

inline constexpr const char* kLiveIspec = "LIVE";

enum class Rewrite { InPlace, Rename };

// Writes version `version` of LIVE into `dir`.
void WriteLiveVersion(const std::filesystem::path& dir, int version, Rewrite how);

// The records of a version.
int LiveRecordCount(int version);

}  // namespace ondrel::writer
