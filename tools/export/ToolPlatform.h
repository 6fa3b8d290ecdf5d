// The platform of the command-line tool: every message box becomes one line
// on standard error, "title: text" (the application's title where the box has
// none), answered with OK; ending the program exits with status 1; the
// chooser's lists are kept for the modes that print them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "database/Platform.h"

namespace ondrel::tool {

inline constexpr const char* kApplicationTitle = "Ondrel viewer";

class ToolPlatform : public QuietPlatform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  [[noreturn]] void EndProgram() override;
  void ClearList(ChooserList list) override { lists[list].clear(); }
  void AddToList(ChooserList list, const std::string& line) override {
    lists[list].push_back(line);
  }

  // How many fine-tables messages were shown.
  int FineMessages() const { return fineMessages_; }

  // While a set is opened again and again because it changes, the messages
  // of an attempt are held: the attempt that counts shows them (Show), the
  // others drop them (Drop).  Ending the program shows what is held.
  void Hold() { holding_ = true; }
  void Show();
  void Drop();

  // The lines of one of the chooser's lists, in the order they were added.
  const std::vector<std::string>& List(ChooserList list) { return lists[list]; }

  std::map<ChooserList, std::vector<std::string>> lists;

 private:
  int fineMessages_ = 0;
  bool holding_ = false;
  std::vector<std::string> held_;
};

// Shows a message of the tool's own (titled with the application's title)
// and exits with status 1.
[[noreturn]] void Fail(const std::string& text);

}  // namespace ondrel::tool
