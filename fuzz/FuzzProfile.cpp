// Fuzz target: choosing an ISPEC and each of its profiles, on an arbitrary
// profile file and index file (chunks 0 and 1).
#include <cstddef>
#include <cstdint>

#include "database/Catalogue.h"
#include "database/Profile.h"
#include "fuzz/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ondrel;
  const auto chunks = fuzz::SplitChunks(data, size, 2);
  fuzz::WriteFile("_F_P.DFN", chunks[0]);
  fuzz::WriteFile("_F.IDX", chunks[1]);
  fuzz::WriteFile("_F.DAT", "");
  SharedState state;
  SetTextConstants(state);
  fuzz::FuzzPlatform platform;
  std::vector<std::string> profiles;
  try {
    profiles = LoadFileSet(state, platform, fuzz::FuzzDir().string(), "F");
  } catch (const fuzz::Ended&) {
    return 0;
  }
  for (std::size_t i = 0; i < profiles.size() && i < 4; ++i) {
    try {
      LoadProfile(state, platform, profiles, static_cast<int>(i));
      if (state.EntryTail != 4 && state.EntryTail != 8) __builtin_trap();
      if (static_cast<int>(state.EntryPad.size()) != state.KeyLength + state.EntryTail - 3)
        __builtin_trap();
    } catch (const fuzz::Ended&) {
    }
  }
  return 0;
}
