// A value for each node of an index file, by node number, kept in pages of
// kPageNodes made when a node of theirs is first written.  An index may
// pass 2 GiB, and a sparse file may claim terabytes that hold no node: what
// is kept grows with the nodes a walk enters (a page for each, at worst,
// when a damaged tree scatters its pointers), and with the size the file
// claims only by a pointer per page.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace ondrel {

template <typename T, std::int64_t kPageNodes = 512>
class NodeMap {
 public:
  // Nodes 0 to count - 1: those written keep their values, the others
  // hold T{} until written.
  void Resize(std::int64_t count) {
    count_ = count < 0 ? 0 : count;
    pages_.resize(static_cast<std::size_t>((count_ + kPageNodes - 1) / kPageNodes));
  }
  std::int64_t Count() const { return count_; }
  // Nodes outside 0 to Count() - 1 are the caller's to keep out.
  const T& Get(std::int64_t node) const {
    const auto& page = pages_[static_cast<std::size_t>(node / kPageNodes)];
    return page ? page[node % kPageNodes] : kUnwritten;
  }
  T& At(std::int64_t node) {
    auto& page = pages_[static_cast<std::size_t>(node / kPageNodes)];
    if (!page) page = std::make_unique<T[]>(static_cast<std::size_t>(kPageNodes));
    return page[node % kPageNodes];
  }
  // How many nodes from `first` on have a value for which `test` holds; a
  // page never written counts as T{} throughout.
  template <typename Test>
  std::int64_t CountFrom(std::int64_t first, Test test) const {
    std::int64_t count = 0;
    for (std::int64_t node = first; node < count_;) {
      const std::int64_t pageEnd = std::min(count_, (node / kPageNodes + 1) * kPageNodes);
      if (!pages_[static_cast<std::size_t>(node / kPageNodes)]) {
        if (test(kUnwritten)) count += pageEnd - node;
      } else {
        for (; node < pageEnd; ++node) count += test(Get(node)) ? 1 : 0;
      }
      node = pageEnd;
    }
    return count;
  }

 private:
  static inline const T kUnwritten{};
  std::int64_t count_ = 0;
  std::vector<std::unique_ptr<T[]>> pages_;
};

// A mark for each node, a bit each, in the pages of a NodeMap.
class NodeBits {
 public:
  // Nodes 0 to count - 1, none marked.
  explicit NodeBits(std::int64_t count = 0) { words_.Resize(count / 64 + 1); }
  bool Test(std::int64_t node) const { return (words_.Get(node / 64) >> (node % 64)) & 1; }
  void Set(std::int64_t node) { words_.At(node / 64) |= std::uint64_t{1} << (node % 64); }

 private:
  NodeMap<std::uint64_t> words_;
};

}  // namespace ondrel
