#include "database/FineProblems.h"

#include <vector>

#include "database/Messages.h"

namespace ondrel {
namespace {

std::string Counted(std::int64_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

}  // namespace

void FineProblems::Count(std::int64_t& counter) {
  ++counter;
  Tell();
}

void FineProblems::Tell() {
  if (shown_) return;
  shown_ = true;
  platform_.MessageBox(msg::kFine, msg::kFineTitle, MsgIcon::None, MsgButtons::Ok);
}

void FineProblems::Take(FineProblems& held) {
  if (!held.Any()) return;
  leaves += held.leaves;
  entries += held.entries;
  records += held.records;
  order += held.order;
  mismatches += held.mismatches;
  other += held.other;
  held.leaves = held.entries = held.records = held.order = held.mismatches = held.other = 0;
  Tell();
}

std::string FineProblems::Summary() const {
  std::vector<std::string> unread;
  if (entries > 0) unread.push_back(Counted(entries, "index entry", "index entries"));
  if (records > 0) unread.push_back(Counted(records, "data record", "data records"));
  std::vector<std::string> parts;
  if (leaves > 0) parts.push_back(Counted(leaves, "index leaf was", "index leaves were") + " unreadable or damaged");
  if (!unread.empty()) parts.push_back(Joined(unread) + " could not be read");
  if (order > 0) parts.push_back(Counted(order, "key was", "keys were") + " out of the tree's order");
  if (mismatches > 0)
    parts.push_back(Counted(mismatches, "key did", "keys did") + " not match the record it points at");
  if (other > 0) parts.push_back(Counted(other, "other read failed", "other reads failed"));
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? "; " : "") + parts[i];
  return text;
}

}  // namespace ondrel
