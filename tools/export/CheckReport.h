// What --check writes: one line per problem, notes, one summary per profile
// and one last line for the whole run, as text or as JSON.
//
// Text, one line each:
//
//   Profile: ORD ORDNO
//   Problem: Entry 12 (node 5, record 12): its key "000013" comes before ...
//   Warning: Entry 40 (node 9, record 41): its record is purged.
//   Not judged: The descending key part DATE is not compared with ...
//   Note: The profile has 288 entries for 300 active records.
//   Summary: entries 300, leaves 50, depth 3, ..., warnings 1,
//            not judged 1, problems not shown 0, problems 1
//   Total: ISPECs 1, profiles 2, not opened 0, warnings 1, not judged 1,
//          problems 1
//
// A problem is damage: the database is not what it should be.  A warning is
// what a live database may hold and the viewer shows as such (an entry that
// reaches a purged record); --strict makes it a problem.  A "Not
// judged" line names something the check normally judges and this time
// could not (a key part whose stored form the tree does not show, counts
// that disagree); it makes the exit status 3 when no problem was found.  A
// note tells and changes nothing.  The problems of one profile past the
// most to print (--max-problems) are counted, not printed: the summary
// counts them under "problems not shown".
//
// JSON (--format json): the same content, one object per line, with the
// ISPEC and profile it belongs to and, for a problem, its kind and the entry
// number, node and record number wherever the text names them:
//
//   {"type":"problem","ispec":"ORD","profile":"ORDNO","kind":"key-order",
//    "entry":12,"node":5,"record":12,"text":"Entry 12 (node 5, ..."}
//   {"type":"warning","ispec":"ORD","profile":"ORDNO","kind":"purged",...}
//   {"type":"unjudged","ispec":"ORD","profile":"ORDNO","text":"The ..."}
//
// The kinds: "open" (an ISPEC, profile or directory that cannot be opened),
// "index-file", "data-file", "key" (the files, the key description, and a
// profile whose stored keys mostly disagree with their records' fields),
// "node", "child" (the tree's shape; an interior entry is named by its node
// and "position"), "record-number", "key-order", "interior-key",
// "key-record", "duplicate", "record" (a record that could not be read),
// "unreached"; of a warning, "purged".
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
  // `maxProblems`: the problems printed per profile, 0 for all.
  explicit CheckReport(ReportFormat format, std::int64_t maxProblems = 0, bool strict = false)
      : format_(format), maxProblems_(maxProblems), strict_(strict) {}

  // Starts the lines of one ISPEC, and of one of its profiles; the profile's
  // own heading line is written here.
  void BeginIspec(const std::string& ispec);
  void BeginProfile(const std::string& profile);

  // `kind` names the check in JSON ("key-order", "duplicate", ...).
  void Problem(const std::string& kind, const std::string& text, const ProblemPlace& place = {});
  // A problem under --strict.
  void Warning(const std::string& kind, const std::string& text, const ProblemPlace& place = {});
  void Note(const std::string& text);
  // Something the check could not judge.
  void Unjudged(const std::string& text);
  // The profile's summary: its counts in order, the problems last.
  void Summary(const std::vector<std::pair<std::string, std::int64_t>>& counts);
  // The last line.  `notOpened` counts the ISPECs and profiles that could
  // not be opened.
  void Total(std::int64_t ispecs, std::int64_t profiles, std::int64_t notOpened);

  std::int64_t ProfileProblems() const { return profileProblems_; }
  std::int64_t Problems() const { return problems_; }
  std::int64_t UnjudgedCount() const { return unjudged_; }
  // 0 when everything was judged and sound, 1 on a problem, 3 when nothing
  // was found but something could not be judged.
  int ExitStatus() const { return problems_ > 0 ? 1 : unjudged_ > 0 ? 3 : 0; }

 private:
  // The opening members every JSON line shares.
  std::string JsonHead(const char* type) const;
  void Write(const char* type, const std::string& kind, const std::string& text, const ProblemPlace& place);

  ReportFormat format_;
  std::int64_t maxProblems_;
  bool strict_;
  std::string ispec_;
  std::string profile_;
  bool inProfile_ = false;
  std::int64_t profileProblems_ = 0;
  std::int64_t profileUnjudged_ = 0;
  std::int64_t profileWarnings_ = 0;
  std::int64_t warnings_ = 0;
  std::int64_t notShown_ = 0;
  std::int64_t problems_ = 0;
  std::int64_t unjudged_ = 0;
};

// A name or key from the database as the report writes it: Windows-1252
// decoded to UTF-8, control characters escaped.
std::string ReportText(const std::string& bytes);

// Key bytes in quotes as the text report writes them: as ReportText, with
// a backslash or quote of the key escaped by a backslash, so that no key
// reads as another (a backslash before "x41" is not the escape \x41).
std::string KeyText(const std::string& bytes);

// `text` as a JSON string, quotes included.  Bytes that are no valid UTF-8
// (a path given in another encoding) are written as the Latin-1 character of
// the same number.
std::string JsonString(const std::string& text);

}  // namespace ondrel::tool
