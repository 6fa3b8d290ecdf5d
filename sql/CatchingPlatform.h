// The platform of the front ends that live inside another program: the SQL
// extension, loaded into whatever process opens it, and the SQLite export,
// which must go on with the next ISPEC when one cannot be read.
//
// No message box is shown: each message is kept, in order, with its title.
// Ending the program would end the host process, so EndProgram throws
// ProgramEnded instead, after the message that ended it has been kept; the
// front end catches it at its boundary and reports the message as its own
// error.  The database routines are exception-safe (their files close as the
// exception passes), so nothing is left open.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/Platform.h"

namespace ondrel::sql {

struct Message {
  std::string title;
  std::string text;
};

// What EndProgram throws: the message that would have ended the viewer.
class ProgramEnded : public std::runtime_error {
 public:
  explicit ProgramEnded(const std::string& text) : std::runtime_error(text) {}
};

class CatchingPlatform : public QuietPlatform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon, MsgButtons) override {
    messages.push_back({title, text});
    return MsgAnswer::Ok;
  }
  [[noreturn]] void EndProgram() override {
    throw ProgramEnded(messages.empty() ? std::string("The database cannot be read.") : messages.back().text);
  }
  void ClearList(ChooserList list) override { lists[list].clear(); }
  void AddToList(ChooserList list, const std::string& line) override { lists[list].push_back(line); }

  // The first message kept, which names the first thing that went wrong;
  // empty when there is none.
  std::string FirstMessage() const { return messages.empty() ? std::string() : messages.front().text; }

  std::vector<Message> messages;
  std::map<ChooserList, std::vector<std::string>> lists;
};

}  // namespace ondrel::sql
