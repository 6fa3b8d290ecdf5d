#include "tools/writer/Damage.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "tools/writer/Bytes.h"

namespace ondrel::writer {

namespace {

// The path of one file of the set, refusing names that would lead out of
// the set's directory.
std::filesystem::path SetPath(const FileSet& set, FileKind kind) {
  if (set.ispec.empty() || set.ispec.find('/') != std::string::npos || set.ispec == "." || set.ispec == "..")
    throw std::runtime_error("not an ISPEC name: " + set.ispec);
  const std::filesystem::path path = set.Path(kind);
  if (!std::filesystem::is_regular_file(path)) throw std::runtime_error("no such file: " + path.string());
  return path;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens an existing file for update; "r+b" never creates one.
File OpenForUpdate(const std::filesystem::path& path) {
  File file(std::fopen(path.string().c_str(), "r+b"));
  if (!file) throw std::runtime_error("cannot open " + path.string());
  return file;
}

std::string ReadAt(const std::filesystem::path& path, std::uint64_t offset, std::size_t size) {
  const std::uint64_t fileSize = std::filesystem::file_size(path);
  if (offset + size > fileSize) throw std::runtime_error("read outside " + path.string());
  File file(std::fopen(path.string().c_str(), "rb"));
  if (!file) throw std::runtime_error("cannot open " + path.string());
  std::string bytes(size, '\0');
  if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, size, file.get()) != size)
    throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

void WriteAt(const std::filesystem::path& path, std::uint64_t offset, const std::string& bytes) {
  const std::uint64_t fileSize = std::filesystem::file_size(path);
  if (offset + bytes.size() > fileSize) throw std::runtime_error("write outside " + path.string());
  File file = OpenForUpdate(path);
  if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || std::fflush(file.get()) != 0)
    throw std::runtime_error("cannot write " + path.string());
}

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string BE16(std::uint16_t v) {
  std::string s(2, '\0');
  PutBE16(reinterpret_cast<unsigned char*>(s.data()), v);
  return s;
}

std::string BE32(std::uint32_t v) {
  std::string s(4, '\0');
  PutBE32(reinterpret_cast<unsigned char*>(s.data()), v);
  return s;
}

}  // namespace

void TruncateFile(const FileSet& set, FileKind kind, std::uintmax_t length) {
  std::filesystem::resize_file(SetPath(set, kind), length);
}

void RemoveFile(const FileSet& set, FileKind kind) { std::filesystem::remove(SetPath(set, kind)); }

void PatchBytes(const FileSet& set, FileKind kind, std::uint64_t offset, const std::string& bytes) {
  WriteAt(SetPath(set, kind), offset, bytes);
}

IndexGeometry ReadIndexGeometry(const FileSet& set, int keyCount) {
  const std::filesystem::path path = SetPath(set, FileKind::Index);
  IndexGeometry g;
  const std::string header = ReadAt(path, 0, 49);
  g.nodeSize = static_cast<unsigned char>(header[6]) == 7 ? 2048 : 512;
  g.recordCount = GetBE32(U(header) + 33);
  g.k = GetBE32(U(header) + 45);
  g.nodeCount = std::filesystem::file_size(path) / static_cast<std::uint64_t>(g.nodeSize);
  std::uint64_t offset = std::uint64_t{g.k} * static_cast<std::uint64_t>(g.nodeSize) + 6;
  for (int i = 0; i < keyCount; ++i) {
    const std::string head = ReadAt(path, offset, 12);
    IndexGeometry::Key key;
    key.offset = offset;
    key.length = GetBE16(U(head));
    key.root = GetBE32(U(head) + 2);
    key.entryTail = head[7] == 0 ? 4 : 8;
    if (key.length < 12 || (key.length - 12) % 5 != 0) throw std::runtime_error("bad key description length");
    const std::string parts = ReadAt(path, offset + 12, key.length - 12u);
    for (std::size_t p = 0; p + 5 <= parts.size(); p += 5) key.keyLength += GetBE16(U(parts) + p);
    g.keys.push_back(key);
    offset += key.length;
  }
  return g;
}

namespace {

// Where entry `entry` (0-based) of node `node` of key description `key`
// begins in the index file, and the key's geometry.
struct EntryPlace {
  std::uint64_t offset = 0;
  int keyLength = 0;
  int entryTail = 4;
  int Size() const { return 1 + keyLength + entryTail; }
};

EntryPlace PlaceOf(const FileSet& set, int key, std::uint32_t node, int entry) {
  const IndexGeometry g = ReadIndexGeometry(set, key + 1);
  const IndexGeometry::Key& k = g.keys[static_cast<std::size_t>(key)];
  if (node < 1 || node > g.nodeCount) throw std::runtime_error("no such node");
  const std::uint64_t nodeOffset = (node - 1ull) * static_cast<std::uint64_t>(g.nodeSize);
  EntryPlace place;
  place.keyLength = k.keyLength;
  place.entryTail = k.entryTail;
  const int used = GetBE16(U(ReadAt(set.Index(), nodeOffset, 2)));
  if (entry < 0 || 2 + (entry + 1) * place.Size() > used) throw std::runtime_error("no such entry");
  place.offset = nodeOffset + 2 + static_cast<std::uint64_t>(entry) * static_cast<std::uint64_t>(place.Size());
  return place;
}

}  // namespace

std::uint32_t SetEntryPointer(const FileSet& set, int key, std::uint32_t node, int entry, std::uint32_t value) {
  const EntryPlace place = PlaceOf(set, key, node, entry);
  const std::uint64_t at = place.offset + 1 + place.keyLength + place.entryTail - 4;
  const std::uint32_t old = GetBE32(U(ReadAt(set.Index(), at, 4)));
  WriteAt(set.Index(), at, BE32(value));
  return old;
}

void SetEntryFlag(const FileSet& set, int key, std::uint32_t node, int entry, char flag) {
  WriteAt(set.Index(), PlaceOf(set, key, node, entry).offset, std::string(1, flag));
}

std::string SetEntryKey(const FileSet& set, int key, std::uint32_t node, int entry, const std::string& bytes) {
  const EntryPlace place = PlaceOf(set, key, node, entry);
  if (bytes.size() != static_cast<std::size_t>(place.keyLength)) throw std::runtime_error("key of the wrong length");
  const std::string old = ReadAt(set.Index(), place.offset + 1, bytes.size());
  WriteAt(set.Index(), place.offset + 1, bytes);
  return old;
}

void SwapEntries(const FileSet& set, int key, std::uint32_t nodeA, int entryA, std::uint32_t nodeB, int entryB) {
  const EntryPlace a = PlaceOf(set, key, nodeA, entryA);
  const EntryPlace b = PlaceOf(set, key, nodeB, entryB);
  const std::string bytesA = ReadAt(set.Index(), a.offset, static_cast<std::size_t>(a.Size()));
  const std::string bytesB = ReadAt(set.Index(), b.offset, static_cast<std::size_t>(b.Size()));
  WriteAt(set.Index(), a.offset, bytesB);
  WriteAt(set.Index(), b.offset, bytesA);
}

void RemoveEntry(const FileSet& set, int key, std::uint32_t node, int entry) {
  const EntryPlace place = PlaceOf(set, key, node, entry);
  const IndexGeometry g = ReadIndexGeometry(set, key + 1);
  const std::uint64_t nodeOffset = (node - 1ull) * static_cast<std::uint64_t>(g.nodeSize);
  const int used = GetBE16(U(ReadAt(set.Index(), nodeOffset, 2)));
  const std::uint64_t end = nodeOffset + static_cast<std::uint64_t>(used);
  const std::uint64_t after = place.offset + static_cast<std::uint64_t>(place.Size());
  const std::string rest = ReadAt(set.Index(), after, static_cast<std::size_t>(end - after));
  WriteAt(set.Index(), place.offset, rest + std::string(static_cast<std::size_t>(place.Size()), '\0'));
  WriteAt(set.Index(), nodeOffset, BE16(static_cast<std::uint16_t>(used - place.Size())));
}

void PurgeRecord(const FileSet& set, int recordLength, std::uint32_t recordNumber) {
  if (recordLength < 1 || recordNumber < 1) throw std::runtime_error("no such record");
  const std::uint64_t terminator = std::uint64_t{recordNumber} * static_cast<std::uint64_t>(recordLength) - 1;
  WriteAt(SetPath(set, FileKind::Data), terminator, std::string(1, '\0'));
}

void SetRecordBytes(const FileSet& set, int recordLength, std::uint32_t recordNumber, int fieldOffset,
                    const std::string& bytes) {
  if (recordLength < 1 || recordNumber < 1 || fieldOffset < 0 ||
      fieldOffset + static_cast<std::int64_t>(bytes.size()) > recordLength - 1)
    throw std::runtime_error("no such field");
  const std::uint64_t slot = (recordNumber - 1ull) * static_cast<std::uint64_t>(recordLength);
  WriteAt(SetPath(set, FileKind::Data), slot + static_cast<std::uint64_t>(fieldOffset), bytes);
}

void SwapRoots(const FileSet& set, int keyA, int keyB) {
  const IndexGeometry g = ReadIndexGeometry(set, std::max(keyA, keyB) + 1);
  const auto& a = g.keys[static_cast<std::size_t>(keyA)];
  const auto& b = g.keys[static_cast<std::size_t>(keyB)];
  WriteAt(SetPath(set, FileKind::Index), a.offset + 2, BE32(b.root));
  WriteAt(SetPath(set, FileKind::Index), b.offset + 2, BE32(a.root));
}

std::uint32_t ChildPointerPastEnd(const FileSet& set, int key, std::uint32_t node, int entry) {
  const IndexGeometry g = ReadIndexGeometry(set, key + 1);
  const std::uint32_t pastEnd = static_cast<std::uint32_t>(g.nodeCount + 1);
  SetEntryPointer(set, key, node, entry, pastEnd);
  return pastEnd;
}

void SetKeyDescriptionLength(const FileSet& set, int key, std::uint16_t length) {
  const IndexGeometry g = ReadIndexGeometry(set, key + 1);
  WriteAt(SetPath(set, FileKind::Index), g.keys[static_cast<std::size_t>(key)].offset, BE16(length));
}

void SetUsedLength(const FileSet& set, int nodeSize, std::uint32_t node, std::uint16_t used) {
  if (node < 1) throw std::runtime_error("no such node");
  WriteAt(SetPath(set, FileKind::Index), (node - 1ull) * static_cast<std::uint64_t>(nodeSize), BE16(used));
}

}  // namespace ondrel::writer
