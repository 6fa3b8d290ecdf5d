// What could not be read, or could not be trusted, while the chosen key's
// entries and their data records were read for one record window, one
// export or one scan.
//
// Each kind is counted.  The user is told with the fine-tables message once,
// the first time anything is met: a damaged or changing file would otherwise
// raise one message box per entry, which is no message but a hang.
#pragma once

#include <cstdint>
#include <string>

#include "database/Platform.h"

namespace ondrel {

class FineProblems {
 public:
  explicit FineProblems(Platform& platform) : platform_(platform) {}
  // A set for work done on another thread for the read `told`: it counts
  // without telling the user, and Take hands its counts on.
  struct Quiet {};
  FineProblems(const FineProblems& told, Quiet) : platform_(told.platform_), shown_(true) {}

  // Counts what `held` met, telling the user as the first problem of this
  // set does, and clears `held`.
  void Take(FineProblems& held);

  // A leaf node that could not be read, or whose level word or used length
  // says it is no sound leaf.
  void Leaf() { Count(leaves); }
  // An entry with a field that could not be read.
  void Entry() { Count(entries); }
  // A data record that could not be read.
  void Record() { Count(records); }
  // A key that comes before the key before it in the tree's order.
  void Order() { Count(order); }
  // A key that is not the ordinate fields of the record it points at.
  void Mismatch() { Count(mismatches); }
  // Anything else: a file that cannot be opened, an arithmetic overflow, a
  // position outside the reference information.
  void Other() { Count(other); }

  bool Any() const { return leaves + entries + records + order + mismatches + other > 0; }
  // What was met, in words: "2 index entries and 1 data record could not be
  // read; 3 keys were out of the tree's order".  Empty when nothing was.
  std::string Summary() const;

  std::int64_t leaves = 0;
  std::int64_t entries = 0;
  std::int64_t records = 0;
  std::int64_t order = 0;
  std::int64_t mismatches = 0;
  std::int64_t other = 0;

 private:
  void Count(std::int64_t& counter);
  // The fine-tables message, the first time only.
  void Tell();

  Platform& platform_;
  bool shown_ = false;
};

}  // namespace ondrel
