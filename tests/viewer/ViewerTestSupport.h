// What the record viewer's tests share: writer-built databases, opening a
// profile the way the file chooser's Ok does, and a contents view that
// records what the viewer does to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tests/viewer/NumberedIspec.h"
#include "viewer/PlainContentsView.h"
#include "viewer/Refresh.h"
#include "viewer/Scrolling.h"
#include "viewer/TextFind.h"

namespace ondrel::test {

// Counts a search's reports of progress, checks that none claims more than
// the whole, and cancels at report `cancelAt`.
// The progress of one search: it never runs backwards or past the whole.
class CountingProgress : public SearchProgress {
 public:
  bool Continue(std::int64_t done, std::int64_t total) override {
    EXPECT_LE(done, total);
    EXPECT_GE(done, told);
    told = done;
    return ++calls < cancelAt;
  }
  int calls = 0;
  int cancelAt = 1 << 30;
  std::int64_t told = 0;
};

// A contents view whose scroll bar raises its change event on every change of
// its value, as the screen's bar does, and which counts the window's refills.
class RecordingView : public PlainContentsView {
 public:
  RecordingView(SharedState& state, Platform& platform) : state_(state), platform_(platform) {}
  void FilePosChanged() override {
    ++changeEvents;
    FilePos_Change(state_, platform_, *this);
  }
  void SetFileTxtText(const std::string& text) override {
    ++textSets;
    PlainContentsView::SetFileTxtText(text);
  }
  int changeEvents = 0;
  int textSets = 0;

 private:
  SharedState& state_;
  Platform& platform_;
};

// Chooses the ISPEC and the profile and builds the reference information, as
// the file chooser does up to its Ok; sets the scroll maximum and the section
// count as the Ok does.
inline void OpenProfile(SharedState& state, Platform& platform, PlainContentsView& view,
                        const std::string& dir, const std::string& ispec, const std::string& profile) {
  SetTextConstants(state);
  state.VersionText = "2001.01.05";
  const auto profiles = LoadFileSet(state, platform, dir, ispec);
  int position = 0;
  while (position < static_cast<int>(profiles.size()) && profiles[static_cast<std::size_t>(position)] != profile)
    ++position;
  LoadProfile(state, platform, profiles, position);
  ASSERT_EQ(ReadChosenSet(state, platform), "");
  view.filePosMax = OpeningScrollMaximum(state.RecordCount);
  state.SectionCount = SectionCountOf(state.RecordCount);
  state.Section = 1;
}

}  // namespace ondrel::test
