#include "check/CheckReport.h"

#include "database/Text.h"
#include "viewer/Cp1252.h"

namespace ondrel::check {

std::string ReportText(const std::string& bytes) { return Cp1252ToUtf8(Printable(bytes)); }

std::string KeyText(const std::string& bytes) {
  std::string escaped;
  escaped.reserve(bytes.size());
  for (const char c : bytes) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return '"' + ReportText(escaped) + '"';
}

void CheckReport::Make(ReportItem item) {
  item.ispec = ispec_;
  item.profile = profile_;
  if (listener_) listener_->Item(item);
  if (limits_.keepItems) items_.push_back(std::move(item));
}

void CheckReport::BeginIspec(const std::string& ispec) {
  ispec_ = Printable(ispec);  // a file name, in the file system's encoding
  profile_.clear();
}

void CheckReport::BeginProfile(const std::string& profile) {
  profile_ = ReportText(profile);
  inProfile_ = true;
  profileProblems_ = 0;
  profileUnjudged_ = 0;
  profileWarnings_ = 0;
  notShown_ = 0;
  Make({.type = ItemType::Profile});
}

void CheckReport::Problem(const std::string& kind, const std::string& text, const ProblemPlace& place) {
  ++problems_;
  ++profileProblems_;
  if (inProfile_ && limits_.maxProblems > 0 && profileProblems_ > limits_.maxProblems) {
    ++notShown_;
    return;
  }
  Make({.type = ItemType::Problem, .kind = kind, .text = text, .place = place});
}

void CheckReport::Warning(const std::string& kind, const std::string& text, const ProblemPlace& place) {
  if (limits_.strict) {
    Problem(kind, text, place);
    return;
  }
  ++warnings_;
  ++profileWarnings_;
  Make({.type = ItemType::Warning, .kind = kind, .text = text, .place = place});
}

void CheckReport::Note(const std::string& text) { Make({.type = ItemType::Note, .text = text}); }

void CheckReport::Unjudged(const std::string& text) {
  ++unjudged_;
  ++profileUnjudged_;
  Make({.type = ItemType::Unjudged, .text = text});
}

void CheckReport::Summary(const Counts& counts) {
  Counts all = counts;
  all.insert(all.end(), {{"warnings", profileWarnings_},
                         {"not judged", profileUnjudged_},
                         {"problems not shown", notShown_},
                         {"problems", profileProblems_}});
  Make({.type = ItemType::Summary, .counts = std::move(all)});
  profile_.clear();
  inProfile_ = false;
}

void CheckReport::Total(std::int64_t ispecs, std::int64_t profiles, std::int64_t notOpened) {
  ispec_.clear();
  profile_.clear();
  Make({.type = ItemType::Total,
        .counts = {{"ISPECs", ispecs},
                   {"profiles", profiles},
                   {"not opened", notOpened},
                   {"warnings", warnings_},
                   {"not judged", unjudged_},
                   {"problems", problems_}}});
}

void CheckReport::Progress(const std::string& ispec, const std::string& profile, double fraction) {
  progress_ = {ispec, profile, fraction};
  if (listener_) AskToGoOn();
}

void CheckReport::AskToGoOn() {
  if (!listener_->Progress(progress_)) throw Cancelled{};
}

}  // namespace ondrel::check
