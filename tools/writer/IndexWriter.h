#pragma once

// Index file (_N.IDX): fixed-size nodes holding one B-tree per key.
//
//   node 1 (header): offset 6 node size code, offset 33 record count (BE32),
//                    offset 45 K (BE32); key descriptions begin at offset
//                    K * nodeSize + 6.
//   key description: BE16 total length, BE32 root node, 1 unused byte, the
//                    wide-tail byte (0 = entries end with the pointer alone),
//                    4 unused bytes, then 5 bytes per key part (BE16 part
//                    length, BE16 offset of the part in the record, 1 type byte).
//   tree node:       BE16 used length U at offset 0, packed entries from offset
//                    2 to U - 1, level word at nodeSize - 2 (first byte = level,
//                    0 for a leaf).
//   entry:           flag byte, key bytes, an extra BE32 when the tail is 8,
//                    then a BE32 pointer: the record number in a leaf, the
//                    child's node number in an interior node.
//
// Trees are built bottom-up from entries given in key order.  Nodes are
// numbered as they fill and written straight to the file, so memory use does
// not grow with the number of entries (only the layout record, one number per
// node, does).
//
// Use:
//   IndexWriter w(path, options, {key0, key1});
//   w.BeginKey();  w.Add(key, recno); ...  TreeLayout t0 = w.EndKey();
//   w.BeginKey();  ...                     TreeLayout t1 = w.EndKey();
//   IndexLayout layout = w.Finish();

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondrel::writer {

struct KeyPart {
  std::uint16_t length = 0;  // bytes of the key this part contributes
  std::uint16_t offset = 0;  // where the part lies in the data record (informative)
  std::uint8_t type = 0;     // informative type byte
};

// Which key of a child an interior entry carries.  Both are found in files:
// the highest key of the child (its last entry's) or its lowest (its first).
enum class InteriorKey { LastOfChild, FirstOfChild };

struct KeyShape {
  std::vector<KeyPart> parts;  // key length = sum of the part lengths
  int entryTail = 4;           // 4, or 8 for an extra BE32 before the pointer
  // Byte written at offset 7 of the description.  Unset: 0 for a tail of 4,
  // 'Y' for 8.  Setting it lets a test make a description that disagrees with
  // the entries.
  std::optional<std::uint8_t> wideTailByte;
  // Most entries per leaf / per interior node; 0 = as many as fit.  Small
  // values force deep trees with few entries.  Interior nodes need >= 2.
  int maxLeafFill = 0;
  int maxInteriorFill = 0;
  std::uint8_t interiorFlag = 'Y';  // flag byte of interior entries
  InteriorKey interiorKey = InteriorKey::LastOfChild;

  int KeyLength() const;
  int EntrySize() const { return 1 + KeyLength() + entryTail; }
};

// A key of one part of `length` bytes.
KeyShape SimpleKey(std::uint16_t length, int entryTail = 4);

struct IndexOptions {
  int nodeSize = 512;  // 512 or 2048
  // Byte at offset 6.  Unset: 7 for 2048-byte nodes, 1 for 512-byte nodes.
  std::optional<std::uint8_t> nodeSizeCode;
  std::uint32_t recordCount = 0;  // BE32 at offset 33
  // false: the key descriptions fill the nodes right after the header (K = 1).
  // true: they are written after the last tree node (K is then large).
  bool descriptionsAtEnd = false;
};

// How one key's tree came out.
struct TreeLayout {
  std::uint32_t root = 0;     // node number of the root
  int depth = 0;              // number of levels; 1 = the root is a leaf
  std::uint64_t entries = 0;  // leaf entries
  // levels[0]: the leaves in key order; levels[i]: the nodes of level i in
  // key order; levels.back() holds the root alone.
  std::vector<std::vector<std::uint32_t>> levels;
  std::vector<std::uint32_t> leafEntries;  // entries of each leaf, in key order
  int keyLength = 0;
  int entryTail = 4;

  const std::vector<std::uint32_t>& Leaves() const { return levels.front(); }
};

struct IndexLayout {
  int nodeSize = 512;
  std::uint32_t k = 1;                     // header value at offset 45
  std::uint64_t descriptionsOffset = 0;    // k * nodeSize + 6
  std::vector<std::uint64_t> descriptionOffsets;  // file offset of each key description
  std::vector<TreeLayout> keys;            // in description order; 0 belongs to no profile
  std::uint32_t nodeCount = 0;             // nodes in the file, header included
};

class IndexWriter {
 public:
  // Opens (creates or replaces) `path`.  `keys` are the key descriptions in
  // file order; their trees must then be built in the same order.
  IndexWriter(const std::filesystem::path& path, IndexOptions options, std::vector<KeyShape> keys);
  ~IndexWriter();
  IndexWriter(const IndexWriter&) = delete;
  IndexWriter& operator=(const IndexWriter&) = delete;

  // Starts the tree of the next key.
  void BeginKey();
  // Adds one leaf entry.  Entries must come in the key's order; the writer
  // does not sort.  `key` is cut or padded with NUL bytes to the key length.
  void Add(std::string_view key, std::uint32_t recordNumber, std::uint8_t flag = 'Y',
           std::uint32_t extra = 0);
  // Completes the tree (an empty key gets a root leaf with U = 2).
  TreeLayout EndKey();

  // Writes the key descriptions and the header and closes the file.  Keys not
  // built yet get empty trees.  Throws std::runtime_error on a write failure.
  IndexLayout Finish();

 private:
  struct Level;
  void Flush(std::size_t level);
  void PushEntry(std::size_t level, const unsigned char* key, std::uint32_t pointer, std::uint8_t flag,
                 std::uint32_t extra);
  std::uint32_t WriteNode(const std::vector<unsigned char>& node);

  std::filesystem::path path_;
  IndexOptions options_;
  std::vector<KeyShape> keys_;
  std::FILE* file_ = nullptr;
  std::uint32_t nextNode_ = 1;
  std::uint32_t descriptionNodes_ = 0;
  std::size_t current_ = 0;   // index of the key being built
  bool building_ = false;
  std::vector<Level> levels_;
  TreeLayout tree_;
  IndexLayout layout_;
  std::vector<unsigned char> scratch_;
};

// One leaf entry for the callback forms below.
struct IndexEntry {
  std::string_view key;
  std::uint32_t recordNumber = 0;
  std::uint8_t flag = 'Y';
  std::uint32_t extra = 0;
};

// Builds a whole index from entry sources, one per key: source(i, entry)
// fills entry number i (0-based) of that key, in key order; `counts` gives the
// number of entries of each key.  The key view must stay valid until the next
// call.  Convenient for very large generated keys.
using EntrySource = std::function<void(std::uint64_t index, IndexEntry& entry)>;
IndexLayout WriteIndex(const std::filesystem::path& path, const IndexOptions& options,
                       const std::vector<KeyShape>& keys, const std::vector<std::uint64_t>& counts,
                       const std::vector<EntrySource>& sources);

}  // namespace ondrel::writer
