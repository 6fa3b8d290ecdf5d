#include "tools/export/ToolPlatform.h"

#include <cstdlib>

#include "database/Messages.h"
#include "tools/export/Output.h"

namespace ondrel::tool {

MsgAnswer ToolPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon,
                                   MsgButtons) {
  if (title == msg::kFineTitle) ++fineMessages_;
  std::string line = (title.empty() ? std::string(kApplicationTitle) : title) + ": " + text;
  if (holding_)
    held_.push_back(std::move(line));
  else
    ErrorLine(line);
  return MsgAnswer::Ok;
}

void ToolPlatform::Show() {
  holding_ = false;
  for (const std::string& line : held_) ErrorLine(line);
  held_.clear();
}

void ToolPlatform::Drop() {
  held_.clear();
  fineMessages_ = 0;
}

void ToolPlatform::EndProgram() {
  Show();
  Stdout().Flush();
  std::exit(1);
}

void Fail(const std::string& text) {
  ErrorLine(std::string(kApplicationTitle) + ": " + text);
  std::exit(1);
}

}  // namespace ondrel::tool
