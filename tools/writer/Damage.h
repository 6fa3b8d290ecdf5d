#pragma once

// Deliberate damage to an existing file set, for tests of how the viewer
// copes.  Every function works on one file of the set inside its directory,
// opens it for update only (never creates a file), and changes exactly what
// its name says.  All throw std::runtime_error when the file is missing or the
// place to damage lies outside it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/writer/FileSet.h"

namespace ondrel::writer {

// Cuts (or extends with NUL bytes) one file of the set to `length` bytes.
void TruncateFile(const FileSet& set, FileKind kind, std::uintmax_t length);

// Deletes one file of the set.
void RemoveFile(const FileSet& set, FileKind kind);

// What the index header and key descriptions say, read back from the file.
struct IndexGeometry {
  int nodeSize = 512;
  std::uint32_t k = 0;
  std::uint32_t recordCount = 0;
  std::uint64_t nodeCount = 0;  // file size / node size, rounded down
  struct Key {
    std::uint64_t offset = 0;  // file offset of the description
    std::uint16_t length = 0;
    std::uint32_t root = 0;
    int keyLength = 0;
    int entryTail = 4;
  };
  std::vector<Key> keys;  // as many descriptions as `keyCount` asked for
};
IndexGeometry ReadIndexGeometry(const FileSet& set, int keyCount);

// Sets the pointer of entry `entry` (0-based) of node `node` to `value`; the
// entry layout is that of key description `key`.  Returns the old pointer.
std::uint32_t SetEntryPointer(const FileSet& set, int key, std::uint32_t node, int entry,
                              std::uint32_t value);

// Sets the flag byte of entry `entry` (0-based) of node `node` to `flag`.
void SetEntryFlag(const FileSet& set, int key, std::uint32_t node, int entry, char flag);

// Sets the key bytes of entry `entry` (0-based) of node `node` to `bytes`,
// which must be as long as the key.  Returns the old key.
std::string SetEntryKey(const FileSet& set, int key, std::uint32_t node, int entry, const std::string& bytes);

// Swaps two whole entries (flag, key, tail and pointer) of the same key's
// tree, in one node or in two.
void SwapEntries(const FileSet& set, int key, std::uint32_t nodeA, int entryA, std::uint32_t nodeB, int entryB);

// Takes entry `entry` (0-based) out of node `node`: the entries after it
// move up, the used length shrinks by one entry, and the bytes freed at the
// end become NUL.  In a leaf this leaves the entry's record out of the key.
void RemoveEntry(const FileSet& set, int key, std::uint32_t node, int entry);

// Marks data record `recordNumber` (1-based) purged: its terminator, the
// last byte of its slot, becomes NUL.
void PurgeRecord(const FileSet& set, int recordLength, std::uint32_t recordNumber);

// Writes `bytes` into data record `recordNumber` (1-based) at `fieldOffset`
// within its slot: a field changed under the index.
void SetRecordBytes(const FileSet& set, int recordLength, std::uint32_t recordNumber, int fieldOffset,
                    const std::string& bytes);

// Swaps the root pointers of key descriptions `keyA` and `keyB`: each
// profile then reaches the other's tree.
void SwapRoots(const FileSet& set, int keyA, int keyB);

// A child pointer of 0.
inline std::uint32_t ZeroChildPointer(const FileSet& set, int key, std::uint32_t node, int entry) {
  return SetEntryPointer(set, key, node, entry, 0);
}
// A child pointer to the first node number past the end of the file.
// Returns that number.
std::uint32_t ChildPointerPastEnd(const FileSet& set, int key, std::uint32_t node, int entry);
// A cycle: the child pointer points at `target`, an ancestor of `node` or
// `node` itself.
inline void MakeCycle(const FileSet& set, int key, std::uint32_t node, int entry, std::uint32_t target) {
  SetEntryPointer(set, key, node, entry, target);
}

// Sets the BE16 total length of key description `key`.
void SetKeyDescriptionLength(const FileSet& set, int key, std::uint16_t length);

// Sets the BE16 used length at offset 0 of node `node`.
void SetUsedLength(const FileSet& set, int nodeSize, std::uint32_t node, std::uint16_t used);

// Writes `bytes` at `offset` of one file of the set (must lie inside it).
void PatchBytes(const FileSet& set, FileKind kind, std::uint64_t offset, const std::string& bytes);

}  // namespace ondrel::writer
