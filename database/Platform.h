// What the database routines and the record viewer need from the toolkit.
//
// The routines never call Qt Widgets.  The screens supply a Qt implementation
// of this interface; the command-line tool prints the messages; the tests
// record every call.  Besides message boxes, yielding and ending the program,
// it carries the few effects the routines have on the file chooser's labels
// and lists while a file set or a profile is being loaded.
#pragma once

#include <string>

namespace ondrel {

enum class MsgIcon { None, Critical, Exclamation, Information, Question };
enum class MsgButtons { Ok, OkCancel };
enum class MsgAnswer { Ok, Cancel };

// The chooser's lists that the loads fill.
enum class ChooserList { Profiles, Ispecs, Ordinates, Conditions };

class Platform {
 public:
  virtual ~Platform() = default;

  // Shows a modal message box and returns the button pressed.
  virtual MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                               MsgButtons buttons) = 0;

  // Lets the event loop process pending events once.
  virtual void DoEvents() = 0;

  // Ends the program at once.  Never returns.
  [[noreturn]] virtual void EndProgram() = 0;

  // The chooser's record-count label ("5000 Records"), title and lists.
  virtual void SetRecordCountLabel(const std::string& caption) = 0;
  virtual void SetChooserTitle(const std::string& title) = 0;
  virtual void ClearList(ChooserList list) = 0;
  virtual void AddToList(ChooserList list, const std::string& line) = 0;
};

// A Platform with no screen: messages go nowhere and answer OK, yielding does
// nothing, and the chooser's effects are dropped.  EndProgram is left to the
// front end.  Useful as a base for the command-line tool and for tests.
class QuietPlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons) override {
    return MsgAnswer::Ok;
  }
  void DoEvents() override {}
  void SetRecordCountLabel(const std::string&) override {}
  void SetChooserTitle(const std::string&) override {}
  void ClearList(ChooserList) override {}
  void AddToList(ChooserList, const std::string&) override {}
};

}  // namespace ondrel
