#include "web/PagePlatform.h"

namespace ondrel::web {

void PagePlatform::BeginCommand(bool questions, std::optional<MsgAnswer> answer, int skip) {
  messages.clear();
  question.reset();
  questions_ = questions;
  answer_ = answer;
  skip_ = skip;
}

MsgAnswer PagePlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                   MsgButtons buttons) {
  if (questions_ && buttons == MsgButtons::OkCancel) {
    if (answer_) {
      const MsgAnswer given = *answer_;
      answer_.reset();
      return given;
    }
    if (!question) question = PageMessage{title, text, icon, buttons};
    return MsgAnswer::Cancel;
  }
  if (skip_ > 0) {
    --skip_;
    return MsgAnswer::Ok;
  }
  messages.push_back({title, text, icon, buttons});
  return MsgAnswer::Ok;
}

}  // namespace ondrel::web
