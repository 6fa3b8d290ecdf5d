// Judging what a reader printed from the LIVE set that the writer keeps
// rewriting: version v holds records 1 to LiveRecordCount(v), record n with
// NO n and NAME "V%04dR%06d" (v, n).  Each judge decides from that alone,
// not from the reader's opinion, and returns what is wrong ("" when
// nothing).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ondrel::test {

// The lines of a text, without their line ends (LF or CR LF).
std::vector<std::string> LinesOf(const std::string& text);

// One record as a reader printed it: "000042 V0007R000042 " (text) or
// "000042,V0007R000042" (CSV).
struct Row {
  int no = 0;
  int version = 0;
};

std::optional<Row> ParseRow(const std::string& line, bool csv);

// What is wrong with `lines` as the records of one version whose k-th line
// (from 0) is record expect(count, k), given a version's count.  `rows` is
// how many lines there must be for that count.
std::string JudgeRows(const std::vector<std::string>& lines, std::size_t from, bool csv,
                      const std::function<int(int, int)>& expect, const std::function<int(int)>& rows);

// The number after `label` in `text`, or -1.
long NumberAfter(const std::string& text, const std::string& label);

// The window from entry 1500 as "Copy to Clipboard" gives it: the caption,
// "LIVE via BYNO: Record 1500 thru 1520 of 4191", and its 21 lines (from
// the last record down for `back`).
std::string JudgeWindow(const std::string& out, const std::string& profile, bool back);

// One table and two views (BYNO, BACK) of a version, as --sqlite wrote them.
std::string JudgeSqlite(const std::string& file);

}  // namespace ondrel::test
