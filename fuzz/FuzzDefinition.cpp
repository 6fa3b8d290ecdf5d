// Fuzz target: the definition reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "database/Definition.h"
#include "fuzz/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ondrel;
  SharedState state;
  SetTextConstants(state);
  state.DefinitionPath =
      fuzz::WriteFile("_F.DFN", std::string(reinterpret_cast<const char*>(data), size));
  fuzz::FuzzPlatform platform;
  if (LoadDefinition(state, platform)) {
    // What a sound load promises the record reader.
    Long sum = 1;
    for (int i = 1; i <= state.FieldCount; ++i) sum += state.FieldTable[static_cast<std::size_t>(i)].Width;
    if (sum != state.RecordLength || state.Heading.empty()) __builtin_trap();
  } else if (state.RecordLength != 0 || state.FieldCount != 0 || !state.Heading.empty()) {
    __builtin_trap();
  }
  return 0;
}
