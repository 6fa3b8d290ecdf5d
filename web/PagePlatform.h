// The platform of the page's core, run in a Web Worker: a message box cannot
// wait there for the user, so each one is kept, in order, and the page shows
// them as modal dialogs when the command that raised them has returned.  The
// one question whose answer matters (whether a search goes on from the other
// end) is answered from what the user has already said; asked for the first
// time, it is answered Cancel and kept, and the page runs the command again
// with the user's answer (see PageSession::Find).
//
// Ending the program throws PageEnded: a page cannot end itself, so the
// session goes back to an empty chooser instead.  The chooser's title,
// record count and lists are kept as the loads set them.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/Platform.h"

namespace ondrel::web {

struct PageMessage {
  std::string title;
  std::string text;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
};

// What EndProgram throws.
class PageEnded : public std::runtime_error {
 public:
  PageEnded() : std::runtime_error("the program would end here") {}
};

// How the chooser looks: what the loads set on it.
struct ChooserLook {
  std::string title;
  std::string recordCount;
  std::map<ChooserList, std::vector<std::string>> lists;
};

class PagePlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  void DoEvents() override {}
  [[noreturn]] void EndProgram() override { throw PageEnded(); }
  void SetRecordCountLabel(const std::string& caption) override { look.recordCount = caption; }
  void SetChooserTitle(const std::string& title) override { look.title = title; }
  void ClearList(ChooserList list) override { look.lists[list].clear(); }
  void AddToList(ChooserList list, const std::string& line) override { look.lists[list].push_back(line); }

  // Starts a command: no messages kept.  With `questions`, a question with
  // Ok and Cancel is answered by `answer` when given; otherwise it is kept
  // as `question` and answered Cancel.  The first `skip` messages are the
  // ones the user has seen already (the same command, run before the
  // question) and are not kept again.
  void BeginCommand(bool questions = false, std::optional<MsgAnswer> answer = std::nullopt, int skip = 0);

  std::vector<PageMessage> messages;
  std::optional<PageMessage> question;
  ChooserLook look;

 private:
  bool questions_ = false;
  std::optional<MsgAnswer> answer_;
  int skip_ = 0;
};

}  // namespace ondrel::web
