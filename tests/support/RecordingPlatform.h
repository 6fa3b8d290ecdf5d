// A Platform for tests: records every message box, yield and effect on the
// chooser, answers message boxes with a chosen button, and turns the end of
// the program into an exception the test can expect.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "database/Platform.h"

namespace ondrel::test {

struct ProgramEnded {};

struct RecordedMessage {
  std::string text;
  std::string title;
  MsgIcon icon;
  MsgButtons buttons;
};

class RecordingPlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override {
    messages.push_back({text, title, icon, buttons});
    events.push_back("message:" + title);
    return answer;
  }
  void DoEvents() override {
    ++yields;
    events.push_back("yield");
  }
  [[noreturn]] void EndProgram() override {
    ended = true;
    throw ProgramEnded{};
  }
  void SetRecordCountLabel(const std::string& caption) override {
    recordCountLabel = caption;
    events.push_back("label:" + caption);
  }
  void SetChooserTitle(const std::string& title) override { chooserTitle = title; }
  void ClearList(ChooserList list) override {
    lists[list].clear();
    events.push_back("clear");
  }
  void AddToList(ChooserList list, const std::string& line) override {
    lists[list].push_back(line);
  }

  MsgAnswer answer = MsgAnswer::Ok;
  std::vector<RecordedMessage> messages;
  std::vector<std::string> events;
  int yields = 0;
  bool ended = false;
  std::string recordCountLabel;
  std::string chooserTitle;
  std::map<ChooserList, std::vector<std::string>> lists;
};

}  // namespace ondrel::test
