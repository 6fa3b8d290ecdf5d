// The platform of a load whose caller decides what a failure means: the SQL
// extension, loaded into whatever process opens it; the SQLite export, which
// goes on with the next ISPEC when one cannot be read; the deep check, which
// reports a set that cannot be opened as a problem of its own; and the
// viewer's refresh, which keeps the set it has when reading it again fails.
//
// No message box is shown: each message is kept, in order, with its title,
// and passed on to `passOn` when there is one (the command-line tool prints
// the load's messages as they come).  Ending the program would end the host
// process or throw away the state the caller keeps, so EndProgram throws
// LoadEnded instead, after the message that ended it has been kept; the
// caller catches it at its boundary and reports the message as its own
// error.  The database routines are exception-safe (their files close as the
// exception passes), so nothing is left open.  Nothing yields, so no input
// arrives between two reads.  The chooser's lists are kept.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/Platform.h"

namespace ondrel {

struct LoadMessage {
  std::string title;
  std::string text;
  MsgIcon icon = MsgIcon::None;
};

// What EndProgram throws: the message that would have ended the viewer.
class LoadEnded : public std::runtime_error {
 public:
  explicit LoadEnded(const std::string& text) : std::runtime_error(text) {}
};

class LoadingPlatform : public QuietPlatform {
 public:
  LoadingPlatform() = default;
  explicit LoadingPlatform(Platform& passOn) : passOn_(&passOn) {}

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override {
    messages.push_back({title, text, icon});
    if (passOn_) passOn_->MessageBox(text, title, icon, buttons);
    return MsgAnswer::Ok;
  }
  [[noreturn]] void EndProgram() override { throw LoadEnded(LastMessage("The database cannot be read.")); }
  void ClearList(ChooserList list) override { lists[list].clear(); }
  void AddToList(ChooserList list, const std::string& line) override { lists[list].push_back(line); }

  // The first message kept, which names the first thing that went wrong;
  // empty when there is none.
  std::string FirstMessage() const { return messages.empty() ? std::string() : messages.front().text; }
  // The last message kept, which names what ended the load; `none` when
  // there is none.
  std::string LastMessage(const std::string& none = std::string()) const {
    return messages.empty() ? none : messages.back().text;
  }

  std::vector<LoadMessage> messages;
  std::map<ChooserList, std::vector<std::string>> lists;

 private:
  Platform* passOn_ = nullptr;
};

}  // namespace ondrel
