#include "web/PageProgress.h"

#include <emscripten.h>

namespace ondrel::web {
namespace {

EM_JS(void, PostProgress, (double done, double total), {
  postMessage({type: "progress", done: done, total: total});
});

EM_JS(void, PostCheckProgress, (double fraction, const char* profile), {
  postMessage({type: "progress", done: fraction * 1000, total: 1000, profile: UTF8ToString(profile)});
});

}  // namespace

bool PageProgress::Continue(std::int64_t done, std::int64_t total) {
  PostProgress(static_cast<double>(done), static_cast<double>(total));
  return true;
}

void PageProgress::Pause() { PostProgress(-1, -1); }

bool PageCheckProgress::Progress(const check::CheckProgress& progress) {
  PostCheckProgress(progress.fraction, progress.profile.c_str());
  return true;
}

}  // namespace ondrel::web
