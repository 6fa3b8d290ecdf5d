#include "web/PageSession.h"

#include <algorithm>

#include "check/Check.h"
#include "check/ReportLines.h"
#include "database/Catalogue.h"
#include "database/FileIdentity.h"
#include "database/KeyOrder.h"
#include "database/Profile.h"
#include "viewer/Cp1252.h"
#include "viewer/RecordWindow.h"
#include "viewer/Refresh.h"
#include "viewer/Scrolling.h"
#include "viewer/Search.h"
#include "tools/export/Modes.h"
#include "tools/export/Options.h"
#include "tools/export/Output.h"
#include "web/PageProgress.h"

namespace ondrel::web {
namespace {

constexpr int kPrint = 2;
constexpr int kCopy = 3;

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A message's text: paths and names come as the browser gave them (UTF-8),
// database text as its bytes; a text that is no UTF-8 is the database's.
std::string Shown(const std::string& bytes) { return ValidUtf8(bytes) ? bytes : Cp1252ToUtf8(bytes); }

std::vector<std::string> Shown(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(Cp1252ToUtf8(line));
  return out;
}

// CR LF line ends as LF, which is how the page shows and copies text.
std::string WithLineFeeds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

const char* IconName(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical: return "critical";
    case MsgIcon::Exclamation: return "exclamation";
    case MsgIcon::Information: return "information";
    case MsgIcon::Question: return "question";
    case MsgIcon::None: break;
  }
  return "none";
}

void WriteMessage(Json& json, const PageMessage& m) {
  json.Begin();
  json.Key("title").String(Shown(m.title));
  json.Key("text").String(Shown(m.text));
  json.Key("icon").String(IconName(m.icon));
  json.Key("buttons").String(m.buttons == MsgButtons::OkCancel ? "okcancel" : "ok");
  json.End();
}

// The print document of "Print", kept until it ends.
class PagePrinter : public Printer {
 public:
  explicit PagePrinter(std::vector<std::string>& lines, bool& ended) : lines_(lines), ended_(ended) {}
  void PrintLine(const std::string& text) override { lines_.push_back(text); }
  void PrintEmptyLine() override { lines_.emplace_back(); }
  void EndDocument() override { ended_ = true; }

 private:
  std::vector<std::string>& lines_;
  bool& ended_;
};

}  // namespace

PageSession::PageSession() : view_(state_, platform_) {
  ResetContents();
  chosen_ = state_;
}

void PageSession::ResetContents() {
  // What the contents screen's load sets, the splash's version text among it.
  state_ = SharedState{};
  SetTextConstants(state_);
  state_.VersionText = "2001.01.05";
  state_.TwipsPerPixelX = 15;
  state_.TwipsPerPixelY = 15;
  static_cast<PlainContentsView&>(view_) = PlainContentsView{};
  view_.dragging = false;
  view_.selLength = 0;
  title_ = "Ondrel Runtime File Contents";
  printed_.clear();
  printEnded_ = false;
}

// ---------------------------------------------------------------- answers

std::string PageSession::Finish(bool chooser, bool view) {
  Json json;
  json.Begin();
  json.Key("messages").BeginArray();
  for (const PageMessage& m : platform_.messages) WriteMessage(json, m);
  json.EndArray();
  if (platform_.question) {
    json.Key("question");
    WriteMessage(json, *platform_.question);
  }
  if (chooser) {
    json.Key("chooser");
    WriteChooser(json);
  }
  if (view) {
    json.Key("view");
    WriteView(json);
  }
  if (printEnded_) {
    json.Key("printed").Strings(Shown(printed_));
    printed_.clear();
    printEnded_ = false;
  }
  json.End();
  return json.Text();
}

void PageSession::RestartChooser() {
  // Everything starts again but the folder, which is listed anew.
  ResetContents();
  chosen_ = state_;
  platform_.look = ChooserLook{};
  ListFolder();
  acceptedLook_ = platform_.look;
  acceptedIspecs_ = ispecs_;
  acceptedProfiles_.clear();
  acceptedIspecRow_ = ispecRow_;
  acceptedProfileRow_ = -1;
  acceptedDirectory_ = directory_;
}

std::string PageSession::Ended() {
  // The messages that ended it are still to be shown.
  RestartChooser();
  std::string answer = Finish(true, true);
  answer.insert(1, "\"ended\":true,");
  return answer;
}

void PageSession::WriteChooser(Json& json) const {
  const ChooserLook& look = platform_.look;
  auto list = [&](ChooserList which) {
    const auto found = look.lists.find(which);
    return found == look.lists.end() ? std::vector<std::string>() : found->second;
  };
  json.Begin();
  json.Key("title").String(Shown(look.title));
  json.Key("recordCount").String(Shown(look.recordCount));
  json.Key("directory").String(directory_);
  json.Key("ispecs").Strings(ispecs_);
  json.Key("ispec").Number(ispecRow_);
  json.Key("profiles").Strings(Shown(profiles_));
  json.Key("profile").Number(profileRow_);
  json.Key("profileIspecs").Strings(Shown(list(ChooserList::Ispecs)));
  json.Key("ordinates").Strings(Shown(list(ChooserList::Ordinates)));
  json.Key("conditions").Strings(Shown(list(ChooserList::Conditions)));
  json.End();
}

void PageSession::WriteView(Json& json) const {
  const std::string& text = view_.fileTxt;
  const auto crBefore = [&](Long at) {
    const auto end = text.begin() + std::clamp<Long>(at, 0, static_cast<Long>(text.size()));
    return static_cast<Long>(std::count(text.begin(), end, '\r'));
  };
  json.Begin();
  json.Key("title").String(Shown(title_));
  json.Key("text").String(Cp1252ToUtf8(WithLineFeeds(text)));
  json.Key("copy").String(CopyText());
  json.Key("records").String(Cp1252ToUtf8(view_.filePosTxt));
  json.Key("label1").String(view_.label1);
  json.Key("label1Visible").Bool(view_.label1Visible);
  json.Key("label2").String(view_.label2);
  json.Key("label2Visible").Bool(view_.label2Visible);
  json.Key("ords").String(Cp1252ToUtf8(WithLineFeeds(view_.ords)));
  json.Key("ordsVisible").Bool(view_.ordsVisible);
  json.Key("keypad").Bool(view_.keypadVisible);
  json.Key("print").Bool(view_.commandVisible[kPrint]);
  json.Key("copyButton").Bool(view_.commandVisible[kCopy]);
  json.Key("value").Number(view_.FilePosValue());
  json.Key("max").Number(ScrollTop(view_));
  json.Key("ptr").String(view_.ptrCaption);
  json.Key("ptrVisible").Bool(view_.ptrVisible);
  json.Key("ptrTop").Number(view_.ptrTop);
  json.Key("open").Bool(FileSetOpen(state_));
  json.Key("first").Number(state_.FirstShown);
  json.Key("ispec").String(state_.IspecName);
  json.Key("profile").String(Shown(state_.ProfileName));
  const Long start = view_.selStart - crBefore(view_.selStart);
  json.Key("selStart").Number(start);
  json.Key("selLength").Number(view_.selLength - (crBefore(view_.selStart + view_.selLength) - crBefore(view_.selStart)));
  json.End();
}

std::string PageSession::CopyText() const {
  const std::optional<std::string> text = ClipboardText(state_, view_);
  if (!text) return "";
  // The ISPEC's name is a file name, UTF-8 already; the rest is database text.
  const std::size_t name = std::min(state_.IspecName.size(), text->size());
  return text->substr(0, name) + Cp1252ToUtf8(WithLineFeeds(text->substr(name)));
}

// ---------------------------------------------------------------- the chooser

std::string PageSession::ShowChooser() {
  platform_.BeginCommand();
  chosen_ = state_;
  return Finish(true, false);
}

void PageSession::ListFolder() {
  // What the directory list's change does (Dir1_Change).
  ispecs_.clear();
  profiles_.clear();
  ispecRow_ = -1;
  profileRow_ = -1;
  platform_.look.title = "Choose Path and Ispec";
  bool readable = true;
  ispecs_ = ListIspecs(directory_, &readable);
  std::sort(ispecs_.begin(), ispecs_.end());
  if (!readable)
    platform_.MessageBox("The directory " + directory_ + " cannot be read.  Choose another drive or directory.", "",
                         MsgIcon::Exclamation, MsgButtons::Ok);
  for (std::size_t row = 0; row < ispecs_.size(); ++row) {
    std::string name = ispecs_[row];
    name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
    name.erase(name.find_last_not_of(' ') + 1);
    if (name == chosen_.IspecName) {
      ispecRow_ = static_cast<int>(row);
      platform_.look.title = "Choose Profile";
      profiles_ = LoadFileSet(chosen_, platform_, directory_, ispecs_[row]);
      break;
    }
  }
  chosen_.ProfileName.clear();
}

template <typename Work>
std::string PageSession::Run(bool chooser, bool view, Work work) {
  try {
    work();
  } catch (const PageEnded&) {
    return Ended();
  }
  return Finish(chooser, view);
}

std::string PageSession::ChooseFolder(const std::string& directory) {
  platform_.BeginCommand();
  return Run(true, false, [&] {
    directory_ = directory;
    ListFolder();
  });
}

std::string PageSession::ChooseIspec(int row) {
  platform_.BeginCommand();
  if (row < 0 || row >= static_cast<int>(ispecs_.size())) return Finish(true, false);
  return Run(true, false, [&] {
    ispecRow_ = row;
    profileRow_ = -1;
    platform_.look.title = "Choose Profile";
    profiles_ = LoadFileSet(chosen_, platform_, directory_, ispecs_[static_cast<std::size_t>(row)]);
  });
}

std::string PageSession::ChooseProfile(int row) {
  platform_.BeginCommand();
  if (row < 0 || row >= static_cast<int>(profiles_.size())) return Finish(true, false);
  return Run(true, false, [&] {
    profileRow_ = row;
    LoadProfile(chosen_, platform_, profiles_, row);
  });
}

std::string PageSession::CancelChooser() {
  platform_.BeginCommand();
  chosen_ = state_;
  platform_.look = acceptedLook_;
  ispecs_ = acceptedIspecs_;
  profiles_ = acceptedProfiles_;
  ispecRow_ = acceptedIspecRow_;
  profileRow_ = acceptedProfileRow_;
  directory_ = acceptedDirectory_;
  return Finish(true, true);
}

std::string PageSession::Ok() {
  platform_.BeginCommand();
  if (chosen_.IspecName.empty()) {
    platform_.MessageBox("Please select an ISPEC.", "", MsgIcon::None, MsgButtons::Ok);
    return Finish(true, false);
  }
  if (chosen_.ProfileName.empty()) {
    platform_.MessageBox("Please select a Profile.", "", MsgIcon::None, MsgButtons::Ok);
    return Finish(true, false);
  }
  try {
    const std::string failure = ReadChosenSet(chosen_, platform_);
    if (!failure.empty()) {
      platform_.MessageBox(failure, "", MsgIcon::Exclamation, MsgButtons::Ok);
      return Finish(true, false);
    }
    // The chooser's choice becomes the screen's; its look is what Cancel
    // brings back from now on.
    state_ = chosen_;
    acceptedLook_ = platform_.look;
    acceptedIspecs_ = ispecs_;
    acceptedProfiles_ = profiles_;
    acceptedIspecRow_ = ispecRow_;
    acceptedProfileRow_ = profileRow_;
    acceptedDirectory_ = directory_;
    title_ = "Ondrel Runtime File Contents for " + state_.IspecName + " via " + state_.ProfileName;
    state_.WindowIdle = false;
    view_.SetFilePosMax(OpeningScrollMaximum(state_.RecordCount));
    state_.WindowIdle = true;
    state_.SectionCount = SectionCountOf(state_.RecordCount);
    // "Choose File" carries on once the chooser has hidden itself.
    state_.ChooserCancelled = false;
    const auto ordinates = platform_.look.lists.find(ChooserList::Ordinates);
    ShowChosenFile(state_, platform_, view_,
                   ordinates == platform_.look.lists.end() ? std::vector<std::string>() : ordinates->second);
  } catch (const PageEnded&) {
    return Ended();
  }
  return Finish(true, true);
}

// ---------------------------------------------------------------- the contents screen

std::string PageSession::View() {
  platform_.BeginCommand();
  return Finish(false, true);
}

std::string PageSession::Scroll(int value) {
  platform_.BeginCommand();
  return Run(false, true, [&] {
    view_.dragging = false;
    view_.SetPtrVisible(false);
    view_.SetFilePosValue(value);
  });
}

std::string PageSession::Drag(int value) {
  platform_.BeginCommand();
  view_.dragging = true;
  view_.dragValue = std::clamp(value, 1, static_cast<int>(ScrollTop(view_)));
  FilePos_Scroll(state_, platform_, view_);
  return Finish(false, true);
}

std::string PageSession::Release() {
  platform_.BeginCommand();
  view_.dragging = false;
  view_.SetPtrVisible(false);
  return Finish(false, true);
}

std::string PageSession::Keypad(int index) {
  platform_.BeginCommand();
  return Run(false, true, [&] {
    if (FileSetOpen(state_)) Part_Click(state_, platform_, view_, index);
  });
}

std::string PageSession::GoTo(int entry) {
  platform_.BeginCommand();
  return Run(false, true, [&] {
    if (FileSetOpen(state_) && state_.WindowIdle && entry >= 1) GoToEntry(state_, platform_, view_, entry);
  });
}

std::string PageSession::KeyParts() {
  platform_.BeginCommand();
  Json json;
  json.Begin();
  if (FileSetOpen(state_) && state_.WindowIdle) {
    const KeyOrder order(state_);
    if (order.Parts().empty()) {
      platform_.MessageBox("The profile's key cannot be searched: " + order.Unmatched() + ".", "",
                           MsgIcon::Exclamation, MsgButtons::Ok);
    } else {
      json.Key("parts").BeginArray();
      for (const KeyPartOrder& part : order.Parts()) {
        json.Begin();
        json.Key("name").String(Cp1252ToUtf8(part.name));
        json.Key("length").Number(part.length);
        json.End();
      }
      json.EndArray();
    }
  }
  json.Key("messages").BeginArray();
  for (const PageMessage& m : platform_.messages) WriteMessage(json, m);
  json.EndArray();
  json.End();
  return json.Text();
}

std::string PageSession::GoToKey(const std::string& typed) {
  platform_.BeginCommand();
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = typed.find('\n', start);
    std::string bytes;
    if (!Utf8ToCp1252(typed.substr(start, end == std::string::npos ? std::string::npos : end - start), bytes)) {
      platform_.MessageBox("The key holds a character that the database's code page has no byte for.", "",
                           MsgIcon::Exclamation, MsgButtons::Ok);
      return Finish(false, true);
    }
    parts.push_back(bytes);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  bool moved = false;
  try {
    if (FileSetOpen(state_) && state_.WindowIdle) moved = ondrel::GoToKey(state_, platform_, view_, parts);
  } catch (const PageEnded&) {
    return Ended();
  }
  std::string answer = Finish(false, true);
  answer.insert(1, moved ? "\"moved\":true," : "\"moved\":false,");
  return answer;
}

std::string PageSession::Find(const std::string& text, bool matchCase, bool forward, bool fromFirstLine,
                              bool answerOk, int skip) {
  platform_.BeginCommand(true, answerOk ? std::optional<MsgAnswer>(MsgAnswer::Ok) : std::nullopt, skip);
  std::string bytes;
  if (!Utf8ToCp1252(text, bytes)) {
    platform_.MessageBox("The text holds a character that the database's code page has no byte for.", "",
                         MsgIcon::Exclamation, MsgButtons::Ok);
    return Finish(false, true);
  }
  FindOutcome outcome = FindOutcome::NotFound;
  try {
    if (FileSetOpen(state_) && state_.WindowIdle && !bytes.empty()) {
      PageProgress progress;
      outcome = FindNext(state_, platform_, view_, TextMatcher(bytes, matchCase), forward, &progress, fromFirstLine);
    }
  } catch (const PageEnded&) {
    return Ended();
  }
  std::string answer = Finish(false, true);
  const std::string shown = std::to_string(skip + static_cast<int>(platform_.messages.size()));
  answer.insert(1, std::string("\"found\":") + (outcome == FindOutcome::Found ? "true" : "false") +
                       ",\"shownBefore\":" + shown + ",");
  return answer;
}

std::string PageSession::Print() {
  platform_.BeginCommand();
  PagePrinter printer(printed_, printEnded_);
  PrintCommand(state_, view_, printer);
  return Finish(false, true);
}

std::string PageSession::Check() {
  platform_.BeginCommand();
  const std::optional<OpenIspec> open = OpenIspecOf(state_);
  Json json;
  json.Begin();
  if (FileSetOpen(state_) && state_.WindowIdle && open) {
    PageCheckProgress progress;
    check::CheckReport report({.keepItems = true}, &progress);
    const bool finished = check::RunCheck({open->directory, open->ispec, ""}, report);
    json.Key("ispec").String(Shown(open->ispec));
    json.Key("verdict").String(Shown(check::Verdict(report, finished)));
    json.Key("lines").String(Shown(check::TextLines(report.Items())));
  }
  json.Key("messages").BeginArray().EndArray();
  json.End();
  return json.Text();
}

int PageSession::Export(const std::string& format) const {
  const std::optional<OpenIspec> open = OpenIspecOf(state_);
  if (!FileSetOpen(state_) || !open) return 2;
  std::string error;
  const auto options =
      tool::ParseOptions({"--format", format, open->directory, open->ispec, state_.ProfileName}, error);
  if (!options) return 2;
  // The profile as the screen read it at Ok serves the export, its walk with
  // it (a walk of a large profile takes the page seconds), while none of its
  // files has changed since; the chooser's lists of that Ok are the ones
  // the tool's opening would fill.  Only a sound opening is taken so, one
  // whose reading showed no message: the tool's opening would show none
  // either, so that the export's messages are the tool's.  A set changed
  // since, a walk that met damage, a definition that could not be read:
  // the set is opened and walked again, as the tool opens it.  Either way
  // the export ends by looking at the files once more.
  const bool sound = state_.Walk.failures == 0 && !state_.Heading.empty() && state_.RecordLength != 0;
  int status = 0;
  if (sound && state_.FilesKnown && !FilesChanged(state_)) {
    tool::Session session;
    session.state = state_;
    session.platform.lists = acceptedLook_.lists;
    status = tool::ExportOpened(session, *options);
  } else {
    status = tool::ExportMode(*options);
  }
  tool::Stdout().Flush();
  return status;
}

std::string PageSession::Exit() {
  platform_.BeginCommand();
  // The routines close every file they open before they return: nothing is
  // open here.  The chooser comes back empty, on the folder chosen.
  RestartChooser();
  return Finish(true, true);
}

}  // namespace ondrel::web
