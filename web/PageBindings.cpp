// The page's core as the worker calls it: one PageSession, its commands
// taking and giving strings (UTF-8; the answers are JSON).
#include <emscripten/bind.h>

#include "web/PageSession.h"

EMSCRIPTEN_BINDINGS(ondrel_page) {
  using ondrel::web::PageSession;
  emscripten::class_<PageSession>("PageSession")
      .constructor<>()
      .function("showChooser", &PageSession::ShowChooser)
      .function("chooseFolder", &PageSession::ChooseFolder)
      .function("chooseIspec", &PageSession::ChooseIspec)
      .function("chooseProfile", &PageSession::ChooseProfile)
      .function("cancelChooser", &PageSession::CancelChooser)
      .function("ok", &PageSession::Ok)
      .function("view", &PageSession::View)
      .function("scroll", &PageSession::Scroll)
      .function("drag", &PageSession::Drag)
      .function("release", &PageSession::Release)
      .function("keypad", &PageSession::Keypad)
      .function("goTo", &PageSession::GoTo)
      .function("keyParts", &PageSession::KeyParts)
      .function("goToKey", &PageSession::GoToKey)
      .function("find", &PageSession::Find)
      .function("print", &PageSession::Print)
      .function("check", &PageSession::Check)
      .function("exit", &PageSession::Exit)
      .function("copyText", &PageSession::CopyText)
      .function("exportProfile", &PageSession::Export);
}
