#include "tests/hostile/LiveJudge.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/writer/LiveSet.h"

namespace ondrel::test {

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::optional<Row> ParseRow(const std::string& line, bool csv) {
  Row row;
  int record = 0;
  char sep = 0, end = 0;
  const int fields = std::sscanf(line.c_str(), "%6d%cV%4dR%6d%c", &row.no, &sep, &row.version, &record, &end);
  if (line.size() != (csv ? 19u : 20u) || sep != (csv ? ',' : ' ') || row.no != record) return std::nullopt;
  if (csv ? fields != 4 : fields != 5 || end != ' ') return std::nullopt;
  return row;
}

std::string JudgeRows(const std::vector<std::string>& lines, std::size_t from, bool csv,
                      const std::function<int(int, int)>& expect, const std::function<int(int)>& rows) {
  if (lines.size() <= from) return "no records";
  const auto first = ParseRow(lines[from], csv);
  if (!first) return "no record of any version: " + lines[from];
  const int count = writer::LiveRecordCount(first->version);
  if (lines.size() - from != static_cast<std::size_t>(rows(count)))
    return std::to_string(lines.size() - from) + " records where version " + std::to_string(first->version) +
           " gives " + std::to_string(rows(count));
  for (std::size_t i = from; i < lines.size(); ++i) {
    const auto row = ParseRow(lines[i], csv);
    const int k = static_cast<int>(i - from);
    if (!row || row->version != first->version || row->no != expect(count, k))
      return "line " + std::to_string(i) + " is not record " + std::to_string(expect(count, k)) + " of version " +
             std::to_string(first->version) + ": " + lines[i];
  }
  return "";
}

long NumberAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  return at == std::string::npos ? -1 : std::atol(text.c_str() + at + label.size());
}

std::string JudgeWindow(const std::string& out, const std::string& profile, bool back) {
  const auto lines = LinesOf(out);
  if (lines.size() < 3) return "no window";
  const std::string caption = lines[0];
  const std::string expected = "LIVE via " + profile + ": Record 1500 thru 1520 of ";
  if (caption.rfind(expected, 0) != 0) return "caption " + caption;
  const long of = std::atol(caption.c_str() + expected.size());
  const std::string rows = JudgeRows(
      lines, 3, false, [back](int count, int k) { return back ? count - 1500 + 1 - k : 1500 + k; },
      [](int) { return 21; });
  if (!rows.empty()) return rows;
  const int version = ParseRow(lines[3], false)->version;
  if (of != writer::LiveRecordCount(version)) return "caption counts " + std::to_string(of) + " for version " +
                                                      std::to_string(version);
  return "";
}

std::string JudgeSqlite(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "the file cannot be opened";
  }
  auto ask = [db](const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return value;
  };
  std::string wrong;
  const long long version = ask("SELECT CAST(substr(NAME, 2, 4) AS INTEGER) FROM LIVE WHERE record_number = 1");
  const long long count = writer::LiveRecordCount(static_cast<int>(version));
  const std::string n = std::to_string(count);
  const std::string name = "printf('V%04dR%06d', " + std::to_string(version) + ", ";
  if (version < 0) wrong = "no record 1";
  else if (ask("SELECT count(*) FROM LIVE") != count) wrong = "the table does not hold " + n + " records";
  else if (ask("SELECT count(*) FROM LIVE WHERE record_number NOT BETWEEN 1 AND " + n + " OR NO != record_number "
               "OR NAME != " + name + "record_number)") != 0)
    wrong = "the table mixes versions";
  else if (ask("SELECT count(*) FROM LIVE_BYNO") != count || ask("SELECT count(*) FROM LIVE_BACK") != count)
    wrong = "a view does not hold " + n + " entries";
  else if (ask("SELECT count(*) FROM LIVE_BYNO WHERE NO IS NOT entry_number OR NAME IS NOT " + name +
               "entry_number)") != 0 ||
           ask("SELECT count(*) FROM LIVE_BACK WHERE NO IS NOT " + n + " + 1 - entry_number OR NAME IS NOT " +
               name + "NO)") != 0)
    wrong = "a view disagrees with the table";
  sqlite3_close(db);
  return wrong;
}

}  // namespace ondrel::test
