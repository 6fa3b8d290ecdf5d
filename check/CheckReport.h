// What the deep check finds, as values: one item per problem, warning,
// note and "not judged" line, a heading per profile, one summary per
// profile and one total for the whole run.  The front end decides how they
// are shown; ReportLines.h writes them as the lines the tool prints:
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
// reaches a purged record); in a strict check it is a problem.  A "not
// judged" item names something the check normally judges and this time
// could not (a key part whose stored form the tree does not show, counts
// that disagree); it makes the exit status 3 when no problem was found.  A
// note tells and changes nothing.  The problems of one profile past the
// most to show are counted, not made items: the summary counts them under
// "problems not shown".
//
// A problem has a kind and, as far as it is known, a place:
// "open" (an ISPEC, profile or directory that cannot be opened),
// "index-file", "data-file", "key" (the files, the key description, and a
// profile whose stored keys mostly disagree with their records' fields),
// "node", "child" (the tree's shape; an interior entry is named by its node
// and position), "record-number", "key-order", "interior-key",
// "key-record", "duplicate", "record" (a record that could not be read),
// "unreached"; of a warning, "purged".
//
// Profile names, field names and key bytes are the database's Windows-1252
// text, held as UTF-8 with control characters escaped (ReportText); ISPEC
// names and paths are file names, held as the file system gives them
// (Printable).
//
// The report hands each item to its listener as it is made, and keeps them
// when asked to.  The listener also hears the messages of the loads and is
// asked, every so often, whether to go on: a "no" ends the check (Cancelled
// is thrown from Tick and caught by Run, Check.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ondrel::check {

// Where a problem lies, as far as it is known.
struct ProblemPlace {
  std::optional<std::int64_t> entry;     // entry number in key order
  std::optional<std::int64_t> node;      // index node number
  std::optional<std::int64_t> position;  // 1-based place of an interior entry in its node
  std::optional<std::int64_t> record;    // data record number
};

enum class ItemType { Profile, Problem, Warning, Note, Unjudged, Summary, Total };

// Named counts in order: "entries", "leaves", ... for a summary; "ISPECs",
// "profiles", ... for the total.
using Counts = std::vector<std::pair<std::string, std::int64_t>>;

struct ReportItem {
  ItemType type = ItemType::Note;
  std::string ispec;    // empty outside an ISPEC
  std::string profile;  // empty outside a profile
  std::string kind;     // of a problem or warning
  std::string text;     // of a problem, warning, note or "not judged" item
  ProblemPlace place;
  Counts counts;  // of a summary or the total
};

// Where the check stands, for a progress bar.
struct CheckProgress {
  std::string ispec;
  std::string profile;
  double fraction = 0;  // of the whole run, 0 to 1
};

class CheckListener {
 public:
  virtual ~CheckListener() = default;
  virtual void Item(const ReportItem&) {}
  // A message a load gave, "title: text" (the viewer would have shown it).
  virtual void Message(const std::string&) {}
  // Asked at each profile and every few dozen leaves (or a quarter MiB of
  // records); false ends the check.
  virtual bool Progress(const CheckProgress&) { return true; }
};

// What Tick throws when the listener ends the check.
struct Cancelled {};

struct ReportLimits {
  std::int64_t maxProblems = 0;  // items made of each profile's problems, 0 for all
  bool strict = false;           // warnings are problems
  bool keepItems = false;        // Items() holds every item made
};

class CheckReport {
 public:
  explicit CheckReport(ReportLimits limits = {}, CheckListener* listener = nullptr)
      : limits_(limits), listener_(listener) {}
  virtual ~CheckReport() = default;

  // Starts the items of one ISPEC, and of one of its profiles (whose
  // heading item is made here).
  void BeginIspec(const std::string& ispec);
  void BeginProfile(const std::string& profile);

  void Problem(const std::string& kind, const std::string& text, const ProblemPlace& place = {});
  // A problem when the check is strict.
  void Warning(const std::string& kind, const std::string& text, const ProblemPlace& place = {});
  void Note(const std::string& text);
  // Something the check could not judge.
  void Unjudged(const std::string& text);
  // The profile's summary: its counts in order; the report's own counts of
  // the profile follow them.
  void Summary(const Counts& counts);
  // The last item.  `notOpened` counts the ISPECs and profiles that could
  // not be opened.
  void Total(std::int64_t ispecs, std::int64_t profiles, std::int64_t notOpened);

  // A load's message, passed on to the listener.
  void Message(const std::string& line) {
    if (listener_) listener_->Message(line);
  }
  // Sets where the check stands and asks the listener whether to go on.
  void Progress(const std::string& ispec, const std::string& profile, double fraction);
  // Called for each leaf read (`weight` 1) or run of records (about a
  // leaf's worth of bytes each): every kTickSpan of them, asks the listener
  // whether to go on, and throws Cancelled when not.
  void Tick(std::int64_t weight = 1) {
    if (listener_ && (ticks_ += weight) >= kTickSpan) {
      ticks_ = 0;
      AskToGoOn();
    }
  }

  std::int64_t ProfileProblems() const { return profileProblems_; }
  std::int64_t Problems() const { return problems_; }
  std::int64_t Warnings() const { return warnings_; }
  std::int64_t UnjudgedCount() const { return unjudged_; }
  // 0 when everything was judged and sound, 1 on a problem, 3 when nothing
  // was found but something could not be judged.
  int ExitStatus() const { return problems_ > 0 ? 1 : unjudged_ > 0 ? 3 : 0; }
  const std::vector<ReportItem>& Items() const { return items_; }

 private:
  static constexpr std::int64_t kTickSpan = 64;

  void Make(ReportItem item);
  void AskToGoOn();

  ReportLimits limits_;
  CheckListener* listener_;
  std::vector<ReportItem> items_;
  CheckProgress progress_;
  std::int64_t ticks_ = 0;
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

// A name or key from the database as the report holds it: Windows-1252
// decoded to UTF-8, control characters escaped.
std::string ReportText(const std::string& bytes);

// Key bytes in quotes as the report shows them: as ReportText, with a
// backslash or quote of the key escaped by a backslash, so that no key
// reads as another (a backslash before "x41" is not the escape \x41).
std::string KeyText(const std::string& bytes);

}  // namespace ondrel::check
