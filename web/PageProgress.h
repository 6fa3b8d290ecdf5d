// How far a long search has come, told to the page as it goes: the worker
// posts each report to the page, which shows the progress dialog.  Cancel
// is the page's to do (it ends the worker and opens the set again in a new
// one), so the search itself is never asked to stop.
#pragma once

#include "check/CheckReport.h"
#include "viewer/TextFind.h"

namespace ondrel::web {

class PageProgress : public SearchProgress {
 public:
  bool Continue(std::int64_t done, std::int64_t total) override;
  void Pause() override;
};

// The same for the deep check: where it stands, and the profile it checks.
class PageCheckProgress : public check::CheckListener {
 public:
  bool Progress(const check::CheckProgress& progress) override;
};

}  // namespace ondrel::web
