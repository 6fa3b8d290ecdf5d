#include "viewer/TypedNames.h"

#include "database/Text.h"
#include "viewer/Cp1252.h"

namespace ondrel {

int TypedProfilePosition(const std::vector<std::string>& profiles, std::string_view typed) {
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (Cp1252ToUtf8(profiles[i]) == typed || Cp1252ToUtf8(Printable(profiles[i])) == typed)
      return static_cast<int>(i);
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (profiles[i] == typed) return static_cast<int>(i);
  return -1;
}

}  // namespace ondrel
