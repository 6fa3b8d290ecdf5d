// The report of --check as the tool prints it: each item a line on standard
// output as soon as it is found (text, or JSON with --format json), each
// message of a load a line on standard error.
#pragma once

#include <cstdint>

#include "check/CheckReport.h"
#include "check/ReportLines.h"
#include "tools/export/Output.h"

namespace ondrel::tool {

enum class ReportFormat { Text, Json };

class PrintedReport : private check::CheckListener, public check::CheckReport {
 public:
  explicit PrintedReport(ReportFormat format, std::int64_t maxProblems = 0, bool strict = false)
      : check::CheckReport({.maxProblems = maxProblems, .strict = strict}, this), format_(format) {}

 private:
  void Item(const check::ReportItem& item) override {
    Stdout().Write(format_ == ReportFormat::Json ? check::JsonLine(item) : check::TextLine(item));
  }
  void Message(const std::string& line) override { ErrorLine(line); }

  ReportFormat format_;
};

}  // namespace ondrel::tool
