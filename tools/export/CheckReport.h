// What --check writes: one line per problem, notes, one summary per profile
// and one last line for the whole run, as text or as JSON.
//
// Text, one line each:
//
//   Profile: ORD ORDNO
//   Problem: Entry 12 (node 5, record 12): its key "000013" comes before ...
//   Note: The key part DATE is not compared with the records: ...
//   Summary: entries 300, leaves 50, depth 3, ..., problems 1
//   Total: ISPECs 1, profiles 2, not opened 0, problems 1
//
// JSON (--format json): the same content, one object per line, with the
// ISPEC and profile it belongs to and, for a problem, its kind and the entry
// number, node and record number wherever the text names them:
//
//   {"type":"problem","ispec":"ORD","profile":"ORDNO","kind":"key-order",
//    "entry":12,"node":5,"record":12,"text":"Entry 12 (node 5, ..."}
//
// The kinds: "open" (an ISPEC, profile or directory that cannot be opened),
// "index-file", "data-file", "key" (the files and the key description),
// "node", "child" (the tree's shape; an interior entry is named by its node
// and "position"), "record-number", "key-order", "interior-key",
// "key-record", "duplicate", "purged", "record" (a record that could not be
// read), "unreached".
//
// Profile names, field names and key bytes are the database's Windows-1252
// text, written as UTF-8 with control characters escaped (ReportText); ISPEC
// names and paths are file names, written as the file system gives them
// (Printable).  The JSON escaping is
// written here, since a line of a few string and number members needs no
// library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ondrel::tool {

enum class ReportFormat { Text, Json };

// Where a problem lies, as far as it is known.
struct ProblemPlace {
  std::optional<std::int64_t> entry;     // entry number in key order
  std::optional<std::int64_t> node;      // index node number
  std::optional<std::int64_t> position;  // 1-based place of an interior entry in its node
  std::optional<std::int64_t> record;    // data record number
};

class CheckReport {
 public:
  explicit CheckReport(ReportFormat format) : format_(format) {}

  // Starts the lines of one ISPEC, and of one of its profiles; the profile's
  // own heading line is written here.
  void BeginIspec(const std::string& ispec);
  void BeginProfile(const std::string& profile);

  // `kind` names the check in JSON ("key-order", "duplicate", ...).
  void Problem(const std::string& kind, const std::string& text, const ProblemPlace& place = {});
  void Note(const std::string& text);
  // The profile's summary: its counts in order, the problems last.
  void Summary(const std::vector<std::pair<std::string, std::int64_t>>& counts);
  // The last line.  `notOpened` counts the ISPECs and profiles that could
  // not be opened.
  void Total(std::int64_t ispecs, std::int64_t profiles, std::int64_t notOpened);

  std::int64_t ProfileProblems() const { return profileProblems_; }
  std::int64_t Problems() const { return problems_; }

 private:
  // The opening members every JSON line shares.
  std::string JsonHead(const char* type) const;

  ReportFormat format_;
  std::string ispec_;
  std::string profile_;
  std::int64_t profileProblems_ = 0;
  std::int64_t problems_ = 0;
};

// A name or key from the database as the report writes it: Windows-1252
// decoded to UTF-8, control characters escaped.
std::string ReportText(const std::string& bytes);

// `text` as a JSON string, quotes included.  Bytes that are no valid UTF-8
// (a path given in another encoding) are written as the Latin-1 character of
// the same number.
std::string JsonString(const std::string& text);

}  // namespace ondrel::tool
