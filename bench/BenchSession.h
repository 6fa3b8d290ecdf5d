// A generated profile opened the way the file chooser's Ok and "Choose File"
// open it, with no screen: the state, a platform that counts messages and
// an in-memory contents view.
#pragma once

#include <cstdint>
#include <string>

#include "database/Platform.h"
#include "database/SharedState.h"
#include "bench/BenchFiles.h"
#include "viewer/PlainContentsView.h"

namespace ondrel::bench {

// Counts the message boxes: a sound generated database shows none, so any
// message means the measured run did not do the work it claims.
class BenchPlatform : public QuietPlatform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon, MsgButtons) override {
    ++messages;
    lastMessage = title + ": " + text;
    return MsgAnswer::Ok;
  }
  [[noreturn]] void EndProgram() override;

  int messages = 0;
  std::string lastMessage;
};

struct OpenedProfile {
  SharedState state;
  BenchPlatform platform;
  PlainContentsView view;
};

// Chooses the ISPEC and its profile (LoadFileSet, LoadProfile).  With
// `walk`, also builds the reference information, sets the scroll maximum and
// section count, and shows the window at entry 1 as "Choose File" does.
void OpenProfile(OpenedProfile& opened, const BenchProfile& profile, bool walk,
                 const char* profileName = kProfile);

// Fills the window at `entry`.
void FillAt(OpenedProfile& opened, double entry);

// Types the last section's number on the keypad and presses "Enter", as a
// user does to reach the end of a large file.
void GoToLastSection(OpenedProfile& opened);

// Puts the scroll bar and the window back as "Choose File" left them: the
// maximum set at opening, section 1, entry 1.
void ReopenAtFirstEntry(OpenedProfile& opened);

// What is wrong with the window on view for a fill at `entry` of a profile
// of `records` entries (every entry shown, record n carrying key n): its
// first and last entry numbers, its line count and the key of each line.
// Empty when nothing is wrong.
std::string WindowProblem(const OpenedProfile& opened, std::uint64_t entry, std::uint64_t records);

// The entry numbers the windows are measured at: the first entry, the
// middle, the first entry of the last section, and the last entry.
struct WindowPoint {
  const char* name;
  std::uint64_t entry;
};
std::vector<WindowPoint> WindowPoints(std::uint64_t records);

}  // namespace ondrel::bench
