#include "tools/writer/IndexWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tools/writer/Bytes.h"

namespace ondrel::writer {

namespace {

// No tree built here gets anywhere near this deep: interior nodes hold at
// least two entries, so 64 levels would need 2^63 entries.
constexpr std::size_t kMaxLevels = 64;

// Bytes of a node that entries may use: all but the used length and the
// level word.
int EntryRoom(int nodeSize) { return nodeSize - 4; }

}  // namespace

int KeyShape::KeyLength() const {
  int length = 0;
  for (const KeyPart& part : parts) length += part.length;
  return length;
}

KeyShape SimpleKey(std::uint16_t length, int entryTail) {
  KeyShape setup;
  setup.parts.push_back(KeyPart{length, 0, 0});
  setup.entryTail = entryTail;
  return setup;
}

// The node being filled at one level of the tree under construction.
struct IndexWriter::Level {
  std::vector<unsigned char> node;     // one whole node, written when full
  std::vector<unsigned char> childKey;  // the key the parent's entry for the last node flushed carries
  std::size_t used = 2;
  int count = 0;
  int capacity = 0;
  bool flushedAny = false;
};

IndexWriter::IndexWriter(const std::filesystem::path& path, IndexOptions options, std::vector<KeyShape> keys)
    : path_(path), options_(options), keys_(std::move(keys)) {
  if (options_.nodeSize < 64 || options_.nodeSize > 32768)
    throw std::invalid_argument("unsupported node size");
  for (const KeyShape& key : keys_) {
    if (key.entryTail != 4 && key.entryTail != 8) throw std::invalid_argument("entry tail must be 4 or 8");
    const int fit = EntryRoom(options_.nodeSize) / key.EntrySize();
    if (fit < 2) throw std::invalid_argument("key too long for the node size");
    if (key.maxLeafFill < 0 || key.maxLeafFill > fit) throw std::invalid_argument("bad leaf fill");
    if (key.maxInteriorFill != 0 && (key.maxInteriorFill < 2 || key.maxInteriorFill > fit))
      throw std::invalid_argument("interior fill must be 0 or 2 to what fits");
    if (12 + 5 * key.parts.size() > 0x7FFF) throw std::invalid_argument("too many key parts");
  }

  file_ = std::fopen(path_.string().c_str(), "wb");
  if (!file_) throw std::runtime_error("cannot create " + path_.string());
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);

  std::size_t descriptionBytes = 0;
  for (const KeyShape& key : keys_) descriptionBytes += 12 + 5 * key.parts.size();
  const std::size_t node = static_cast<std::size_t>(options_.nodeSize);
  descriptionNodes_ = static_cast<std::uint32_t>((6 + descriptionBytes + node - 1) / node);

  layout_.nodeSize = options_.nodeSize;
  // The header node, and unless they go last, the description nodes, are
  // reserved now and filled in by Finish.
  const std::uint32_t reserved = options_.descriptionsAtEnd ? 1 : 1 + descriptionNodes_;
  std::vector<unsigned char> zeros(node, 0);
  for (std::uint32_t i = 0; i < reserved; ++i) WriteNode(zeros);
}

IndexWriter::~IndexWriter() {
  if (file_) std::fclose(file_);
}

std::uint32_t IndexWriter::WriteNode(const std::vector<unsigned char>& node) {
  if (nextNode_ == 0xFFFFFFFFu) throw std::runtime_error("index file too large");
  if (std::fwrite(node.data(), 1, node.size(), file_) != node.size())
    throw std::runtime_error("cannot write " + path_.string());
  return nextNode_++;
}

void IndexWriter::BeginKey() {
  if (building_) throw std::logic_error("BeginKey while a key is being built");
  if (current_ >= keys_.size()) throw std::logic_error("more trees than key descriptions");
  building_ = true;
  const KeyShape& key = keys_[current_];
  tree_ = TreeLayout{};
  tree_.keyLength = key.KeyLength();
  tree_.entryTail = key.entryTail;
  levels_.clear();
  levels_.reserve(kMaxLevels);
  levels_.emplace_back();
  const int fit = EntryRoom(options_.nodeSize) / key.EntrySize();
  levels_[0].node.assign(static_cast<std::size_t>(options_.nodeSize), 0);
  levels_[0].capacity = key.maxLeafFill > 0 ? key.maxLeafFill : fit;
  scratch_.assign(static_cast<std::size_t>(key.EntrySize()), 0);
}

void IndexWriter::PushEntry(std::size_t level, const unsigned char* key, std::uint32_t pointer,
                            std::uint8_t flag, std::uint32_t extra) {
  const KeyShape& setup = keys_[current_];
  if (level == levels_.size()) {
    if (levels_.size() == kMaxLevels) throw std::logic_error("tree deeper than any real one");
    levels_.emplace_back();
    const int fit = EntryRoom(options_.nodeSize) / setup.EntrySize();
    levels_.back().node.assign(static_cast<std::size_t>(options_.nodeSize), 0);
    levels_.back().capacity = setup.maxInteriorFill > 0 ? setup.maxInteriorFill : fit;
  }
  if (levels_[level].count == levels_[level].capacity) Flush(level);

  Level& at = levels_[level];
  const int keyLength = tree_.keyLength;
  unsigned char* entry = at.node.data() + at.used;
  entry[0] = flag;
  if (keyLength > 0) std::memcpy(entry + 1, key, static_cast<std::size_t>(keyLength));
  if (setup.entryTail == 8) PutBE32(entry + 1 + keyLength, extra);
  PutBE32(entry + 1 + keyLength + setup.entryTail - 4, pointer);
  at.used += static_cast<std::size_t>(setup.EntrySize());
  ++at.count;
}

void IndexWriter::Flush(std::size_t level) {
  Level& at = levels_[level];
  const int nodeSize = options_.nodeSize;
  PutBE16(at.node.data(), static_cast<std::uint16_t>(at.used));
  at.node[static_cast<std::size_t>(nodeSize - 2)] = static_cast<unsigned char>(level);
  at.node[static_cast<std::size_t>(nodeSize - 1)] = 0;
  const std::uint32_t number = WriteNode(at.node);

  if (tree_.levels.size() <= level) tree_.levels.resize(level + 1);
  tree_.levels[level].push_back(number);
  if (level == 0) tree_.leafEntries.push_back(static_cast<std::uint32_t>(at.count));

  // The parent's entry for this node carries the node's highest key, or its
  // lowest when the key's interior entries carry their child's first key.
  const int entrySize = keys_[current_].EntrySize();
  const unsigned char* childKey = keys_[current_].interiorKey == InteriorKey::FirstOfChild
                                      ? at.node.data() + 3
                                      : at.node.data() + at.used - static_cast<std::size_t>(entrySize) + 1;
  at.childKey.assign(childKey, childKey + tree_.keyLength);
  std::fill(at.node.begin(), at.node.begin() + static_cast<std::ptrdiff_t>(at.used), 0);
  at.used = 2;
  at.count = 0;
  at.flushedAny = true;

  // levels_ never reallocates (reserved in BeginKey), so the key stays put.
  PushEntry(level + 1, levels_[level].childKey.data(), number, keys_[current_].interiorFlag, 0);
}

void IndexWriter::Add(std::string_view key, std::uint32_t recordNumber, std::uint8_t flag, std::uint32_t extra) {
  if (!building_) throw std::logic_error("Add outside BeginKey/EndKey");
  const std::size_t keyLength = static_cast<std::size_t>(tree_.keyLength);
  const std::size_t n = std::min(key.size(), keyLength);
  if (n > 0) std::memcpy(scratch_.data(), key.data(), n);
  std::fill(scratch_.begin() + static_cast<std::ptrdiff_t>(n),
            scratch_.begin() + static_cast<std::ptrdiff_t>(keyLength), 0);
  PushEntry(0, scratch_.data(), recordNumber, flag, extra);
  ++tree_.entries;
}

TreeLayout IndexWriter::EndKey() {
  if (!building_) throw std::logic_error("EndKey without BeginKey");
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    const bool top = level + 1 == levels_.size();
    if (top && !levels_[level].flushedAny) {
      // The one node of the top level is the root.
      Level& at = levels_[level];
      const int nodeSize = options_.nodeSize;
      PutBE16(at.node.data(), static_cast<std::uint16_t>(at.used));
      at.node[static_cast<std::size_t>(nodeSize - 2)] = static_cast<unsigned char>(level);
      at.node[static_cast<std::size_t>(nodeSize - 1)] = 0;
      tree_.root = WriteNode(at.node);
      if (tree_.levels.size() <= level) tree_.levels.resize(level + 1);
      tree_.levels[level].push_back(tree_.root);
      if (level == 0) tree_.leafEntries.push_back(static_cast<std::uint32_t>(at.count));
      break;
    }
    Flush(level);
  }
  tree_.depth = static_cast<int>(tree_.levels.size());
  levels_.clear();
  building_ = false;
  ++current_;
  layout_.keys.push_back(tree_);
  return std::move(tree_);
}

IndexLayout IndexWriter::Finish() {
  if (!file_) throw std::logic_error("Finish called twice");
  if (building_) EndKey();
  while (current_ < keys_.size()) {
    BeginKey();
    EndKey();
  }

  const std::uint64_t nodeSize = static_cast<std::uint64_t>(options_.nodeSize);
  const std::uint32_t k = options_.descriptionsAtEnd ? nextNode_ - 1 : 1;
  layout_.k = k;
  layout_.descriptionsOffset = k * nodeSize + 6;

  // Key descriptions, one after another from K * nodeSize + 6.
  std::vector<unsigned char> descriptions(static_cast<std::size_t>(descriptionNodes_ * nodeSize), 0);
  std::size_t at = 6;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const KeyShape& key = keys_[i];
    unsigned char* d = descriptions.data() + at;
    const std::size_t length = 12 + 5 * key.parts.size();
    PutBE16(d, static_cast<std::uint16_t>(length));
    PutBE32(d + 2, layout_.keys[i].root);
    d[7] = key.wideTailByte ? *key.wideTailByte : (key.entryTail == 8 ? 'Y' : 0);
    for (std::size_t p = 0; p < key.parts.size(); ++p) {
      unsigned char* part = d + 12 + 5 * p;
      PutBE16(part, key.parts[p].length);
      PutBE16(part + 2, key.parts[p].offset);
      part[4] = key.parts[p].type;
    }
    layout_.descriptionOffsets.push_back(k * nodeSize + at);
    at += length;
  }
  if (options_.descriptionsAtEnd) {
    for (std::uint32_t i = 0; i < descriptionNodes_; ++i) {
      std::vector<unsigned char> node(descriptions.begin() + static_cast<std::ptrdiff_t>(i * nodeSize),
                                      descriptions.begin() + static_cast<std::ptrdiff_t>((i + 1) * nodeSize));
      WriteNode(node);
    }
  } else {
    if (std::fseek(file_, static_cast<long>(k * nodeSize), SEEK_SET) != 0 ||
        std::fwrite(descriptions.data(), 1, descriptions.size(), file_) != descriptions.size())
      throw std::runtime_error("cannot write " + path_.string());
  }

  std::vector<unsigned char> header(static_cast<std::size_t>(nodeSize), 0);
  header[6] = options_.nodeSizeCode ? *options_.nodeSizeCode : (options_.nodeSize == 2048 ? 7 : 1);
  PutBE32(header.data() + 33, options_.recordCount);
  PutBE32(header.data() + 45, k);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size())
    throw std::runtime_error("cannot write " + path_.string());

  layout_.nodeCount = nextNode_ - 1;
  const bool failed = std::ferror(file_) != 0;
  const bool closeFailed = std::fclose(file_) != 0;
  file_ = nullptr;
  if (failed || closeFailed) throw std::runtime_error("cannot write " + path_.string());
  return std::move(layout_);
}

IndexLayout WriteIndex(const std::filesystem::path& path, const IndexOptions& options,
                       const std::vector<KeyShape>& keys, const std::vector<std::uint64_t>& counts,
                       const std::vector<EntrySource>& sources) {
  if (counts.size() != keys.size() || sources.size() != keys.size())
    throw std::invalid_argument("one count and one source per key");
  IndexWriter writer(path, options, keys);
  IndexEntry entry;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    writer.BeginKey();
    for (std::uint64_t i = 0; i < counts[k]; ++i) {
      entry = IndexEntry{};
      sources[k](i, entry);
      writer.Add(entry.key, entry.recordNumber, entry.flag, entry.extra);
    }
    writer.EndKey();
  }
  return writer.Finish();
}

}  // namespace ondrel::writer
