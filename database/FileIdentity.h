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
// descriptor.  The owner writes the four files of a set one after another,
// with no mark of where a version of the set ends, so a set is taken as it
// is only after a quiet spell: while any of its files changed less than
// kQuietSpell ago, the identities are taken again after a wait.  That also
// closes the hole of the coarse clock the system stamps file times from: a
// write in the same tick as an identity would leave the times as they were,
// but a spell longer than a tick means any later write stamps a newer time.
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

// The identities of the files `paths` name now.  A path that names no
// regular file, or a file replaced between the open and the look at the
// name, has an identity that is not present.
SetIdentity IdentityOf(const SetPaths& paths);

// How long none of a set's files must have changed before it is read.
inline constexpr std::int64_t kQuietSpell = 20'000'000;  // nanoseconds

// The identities of a set after a quiet spell, waiting up to about ten
// spells for one; false (with the last identities taken) when the set kept
// changing.
bool QuietIdentityOf(const SetPaths& paths, SetIdentity& identity);

// How many times a set that changes while it is being opened is opened.
inline constexpr int kOpenAttempts = 4;

// Runs `read` (an open, a walk) after a quiet spell until the set's
// identities are the same before and after it, at most kOpenAttempts times;
// `identity` is then what was read.  False when the set changed during, or
// just before, every attempt.
bool ReadUnchanged(const SetPaths& paths, SetIdentity& identity, const std::function<void()>& read);

// Whether the set chosen in `state` is no longer the one its leaf table was
// built from (state.FilesRead); false when none was recorded.
bool FilesChanged(const SharedState& state);

// The owner writes a set file by file, so a set can hold, for as long as
// the owner pauses between two files, the data of one version and the index
// of another, with no file changing.  Their counts then tell: whether the
// index header's record count differs from the data file's whole records
// while the files were written moments ago (kRecentSpell).  An old set whose
// counts differ is taken as it is.  False when the definition is not loaded.
inline constexpr std::int64_t kRecentSpell = 2'000'000'000;  // nanoseconds
bool LooksHalfWritten(const SharedState& state);

// The message of a result that may mix two states of the files.
std::string ChangedFilesText(const std::string& ispec);

}  // namespace ondrel
