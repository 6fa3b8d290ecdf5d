#include "web/PageProgress.h"

#include <emscripten.h>

namespace ondrel::web {
namespace {

EM_JS(void, PostProgress, (double done, double total), {
  postMessage({type: "progress", done: done, total: total});
});

}  // namespace

bool PageProgress::Continue(std::int64_t done, std::int64_t total) {
  PostProgress(static_cast<double>(done), static_cast<double>(total));
  return true;
}

void PageProgress::Pause() { PostProgress(-1, -1); }

}  // namespace ondrel::web
