#include "tools/export/ToolPlatform.h"

#include <cstdlib>

#include "database/Messages.h"
#include "tools/export/Output.h"

namespace ondrel::tool {

MsgAnswer ToolPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon,
                                   MsgButtons) {
  if (title == msg::kFineTitle) ++fineMessages_;
  ErrorLine((title.empty() ? std::string(kApplicationTitle) : title) + ": " + text);
  return MsgAnswer::Ok;
}

void ToolPlatform::EndProgram() {
  Stdout().Flush();
  std::exit(1);
}

void Fail(const std::string& text) {
  ErrorLine(std::string(kApplicationTitle) + ": " + text);
  std::exit(1);
}

}  // namespace ondrel::tool
