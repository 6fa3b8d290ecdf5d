// Which files were read: the identity of each file of a set, so that an
// answer built from files that the owning application rewrote meanwhile is
// never given as if it were current.
//
// The owning application writes its files while we read them, without
// locks: in place, or by renaming new files over the old.  Every routine
// opens a file for the one operation it does and closes it, so two reads of
// one answer (the walk and a window fill, two batches of an export) may meet
// two states of the set.  A front end therefore takes the identities of the
// four files when it opens a set, opens it again when they changed while it
// was opening, and takes them again before it gives a result: any difference
// means the result may mix states, and it is flagged.
//
// An identity is the device, inode, size and modification and change times
// (to the nanosecond) of the file a path names, taken from an open
// descriptor.  The system stamps file times from a coarse clock, so a write
// in the same tick as an identity leaves the times as they were.  An identity
// taken with `settle` closes that hole: while the file's change time is not
// older than the coarse clock's now, it waits a tick and takes it again, so
// that any later write stamps a newer time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace ondrel {

struct SharedState;

struct FileIdentity {
  bool present = false;  // the path named a regular file that could be opened
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch
  std::int64_t changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The four files of an ISPEC, in the order definition, profiles, data, index.
using SetPaths = std::array<std::string, 4>;
using SetIdentity = std::array<FileIdentity, 4>;

// The paths of the set of `ispec` in `directory`, named as the file chooser
// names them, and the paths of the set chosen in `state`.
SetPaths PathsOf(const std::string& directory, const std::string& ispec);
SetPaths PathsOf(const SharedState& state);

// The identity of the file `path` names now.  A path that names no regular
// file, or a file replaced between the open and the look at the name, has an
// identity that is not present.
FileIdentity IdentityOf(const std::string& path, bool settle);
SetIdentity IdentityOf(const SetPaths& paths, bool settle);

// How many times a set that changes while it is being opened is opened.
inline constexpr int kOpenAttempts = 4;

// Runs `read` (an open, a walk) until the set's identities are the same
// before and after it, at most kOpenAttempts times; `identity` is then what
// was read.  False when the set changed during every attempt.
bool ReadUnchanged(const SetPaths& paths, SetIdentity& identity, const std::function<void()>& read);

// Whether the set chosen in `state` is no longer the one its leaf table was
// built from (state.FilesRead); false when none was recorded.
bool FilesChanged(const SharedState& state);

// The message of a result that may mix two states of the files.
std::string ChangedFilesText(const std::string& ispec);

}  // namespace ondrel
