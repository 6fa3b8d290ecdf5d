// Fuzz target: the whole path from choosing an ISPEC to the windows on view,
// on an arbitrary definition, profile, index and data file (chunks 0 to 3):
// choosing the ISPEC and its first profile, building the reference
// information, and filling the window at the first entry, the middle, the
// last and beyond the end, then a drag and a keypad jump.
#include <cstddef>
#include <cstdint>

#include "database/Catalogue.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "fuzz/FuzzFiles.h"
#include "viewer/PlainContentsView.h"
#include "viewer/RecordWindow.h"
#include "viewer/Scrolling.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ondrel;
  const auto chunks = fuzz::SplitChunks(data, size, 4);
  fuzz::WriteFile("_F.DFN", chunks[0]);
  fuzz::WriteFile("_F_P.DFN", chunks[1]);
  fuzz::WriteFile("_F.IDX", chunks[2]);
  fuzz::WriteFile("_F.DAT", chunks[3]);
  SharedState state;
  SetTextConstants(state);
  fuzz::FuzzPlatform platform;
  try {
    const auto profiles = LoadFileSet(state, platform, fuzz::FuzzDir().string(), "F");
    if (profiles.empty()) return 0;
    LoadProfile(state, platform, profiles, 0);
  } catch (const fuzz::Ended&) {
    return 0;
  }
  BuildReferenceInformation(state, platform);
  state.SectionCount = SectionCountOf(state.RecordCount);
  PlainContentsView view;
  view.SetFilePosMax(OpeningScrollMaximum(state.RecordCount));
  const Long last = state.LeafTable.empty() ? 0 : state.LeafTable.back().CumCount;
  for (double start : {1.0, last / 2.0, static_cast<double>(last), last + 1.0, -31999.0}) {
    state.StartRecord = start;
    FillRecordWindow(state, platform, view);
    if (!state.WindowIdle || state.IdxOpen || state.DatOpen) __builtin_trap();
    if (view.FilePosValue() < 1 || view.FilePosValue() > ScrollTop(view)) __builtin_trap();
  }
  FilePos_Scroll(state, platform, view);
  for (int key : {9, 9, kPartEnter, kPartMinusOne, kPartEnter}) Part_Click(state, platform, view, key);
  if (!state.WindowIdle) __builtin_trap();
  return 0;
}
