// ondrel-sql-bench: SQL over the generated databases.
//
//   ondrel-sql-bench [--bench_dir=DIR] [--bench_records=1M,10M] [--bench_nodes=512,2048]
//                    [--bench_sqlite_records=1M] [Google Benchmark flags]
//
// Measured, on the databases ondrel-bench writes (it writes them here too
// when they are missing):
// - sql_page: the last page, SELECT * ... LIMIT 21 OFFSET (n - 21), through
//   the extension in a connection that has queried the table before (the
//   reference information is built by the first query and kept);
//   sql_page_first: the same in a new connection each time, walk included.
// - sql_scan: every record of KEYNO (record order) and of BYNAME (an order
//   that scatters the records over the data file) read through SQL.
// - export_text and check on BYNAME and KEYNO: the tool's other whole-profile
//   reads, for the scattered profile beside the record-ordered one.
// - sqlite_export: ondrel-export --sqlite of the whole database, in records
//   of the ISPEC written per second (its two profiles' key orders included).
// - sql_key/ours and sql_key/sqlite: queries by the key as SQL users write
//   them, through the extension (the table queried once before) and on
//   SQLite's own table with an index on the key, side by side:
//   ORDER BY KEYNO LIMIT 21, the same DESC, a keyset page in the middle, a
//   point lookup on KEYNO and on BYNAME (NAME and KEYNO), and a join of
//   1,000 outer rows on the key.
// Each run checks its result (the page's keys, the scan's count and sums,
// the tool's exit status and line count, the exported file's row counts) and
// reports an error instead of a figure when it is wrong.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/BenchSettings.h"
#include "bench/Subprocess.h"
#include "tools/writer/LargeIspec.h"

#ifndef ONDREL_EXPORT_PATH
#define ONDREL_EXPORT_PATH ""
#endif
#ifndef ONDREL_EXTENSION_PATH
#define ONDREL_EXTENSION_PATH ""
#endif

namespace ondrel::bench {
namespace {

int failures = 0;

void Fail(benchmark::State& state, const std::string& problem) {
  ++failures;
  state.SkipWithError(problem.c_str());
}

struct Connection {
  sqlite3* db = nullptr;
  ~Connection() { sqlite3_close(db); }
};

// A connection with the extension loaded and the profile as table t.
std::unique_ptr<Connection> Connect(const BenchProfile& profile, const std::string& name, std::string& problem) {
  auto connection = std::make_unique<Connection>();
  char* error = nullptr;
  if (sqlite3_open_v2(":memory:", &connection->db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_enable_load_extension(connection->db, 1) != SQLITE_OK ||
      sqlite3_load_extension(connection->db, ONDREL_EXTENSION_PATH, nullptr, &error) != SQLITE_OK) {
    problem = error ? error : sqlite3_errmsg(connection->db);
    sqlite3_free(error);
    return nullptr;
  }
  const std::string create = "CREATE VIRTUAL TABLE temp.t USING ondrel('" + profile.directory.string() + "', " +
                             kIspec + ", " + name + ")";
  if (sqlite3_exec(connection->db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    problem = error ? error : "cannot create the table";
    sqlite3_free(error);
    return nullptr;
  }
  return connection;
}

// Runs a query and hands each row's statement to `row`; returns what went
// wrong, or "".
template <typename Row>
std::string Query(sqlite3* db, const std::string& sql, Row row) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return sqlite3_errmsg(db);
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
  std::string problem = step == SQLITE_DONE ? "" : sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  return problem;
}

// The last page of KEYNO: 21 rows whose keys are the last 21 entry numbers.
std::string LastPage(sqlite3* db, std::uint64_t records) {
  const std::uint64_t offset = records - 21;
  std::uint64_t rows = 0;
  std::string wrong;
  const std::string problem =
      Query(db, "SELECT KEYNO, NAME, CITY, AMOUNT FROM t LIMIT 21 OFFSET " + std::to_string(offset),
            [&](sqlite3_stmt* s) {
              if (static_cast<std::uint64_t>(sqlite3_column_int64(s, 0)) != offset + rows + 1 && wrong.empty())
                wrong = "row " + std::to_string(rows + 1) + " has key " + std::to_string(sqlite3_column_int64(s, 0));
              ++rows;
            });
  if (!problem.empty()) return problem;
  if (!wrong.empty()) return wrong;
  return rows == 21 ? "" : "the page holds " + std::to_string(rows) + " rows";
}

void RegisterPage(const BenchProfile& profile) {
  const std::string name = "sql_page/" + profile.label;
  benchmark::RegisterBenchmark(name.c_str(), [profile](benchmark::State& state) {
    std::string problem;
    const auto connection = Connect(profile, kProfile, problem);
    if (!connection) return Fail(state, problem);
    problem = LastPage(connection->db, profile.records);  // builds the reference information
    for (auto _ : state) problem = LastPage(connection->db, profile.records);
    if (!problem.empty()) Fail(state, problem);
  })->Unit(benchmark::kMicrosecond)->UseRealTime();

  const std::string first = "sql_page_first/" + profile.label;
  benchmark::RegisterBenchmark(first.c_str(), [profile](benchmark::State& state) {
    std::string problem;
    for (auto _ : state) {
      const auto connection = Connect(profile, kProfile, problem);
      problem = connection ? LastPage(connection->db, profile.records) : problem;
    }
    if (!problem.empty()) Fail(state, problem);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Every record through SQL: the count, the names' lengths and the amounts,
// which must come out the same in either order.
void RegisterScan(const BenchProfile& profile, const char* profileName) {
  const std::string name = std::string("sql_scan/") + profile.label + "/" + profileName;
  const std::string profileText = profileName;
  benchmark::RegisterBenchmark(name.c_str(), [profile, profileText](benchmark::State& state) {
    std::string problem;
    const auto connection = Connect(profile, profileText, problem);
    if (!connection) return Fail(state, problem);
    std::int64_t count = 0;
    for (auto _ : state)
      problem = Query(connection->db, "SELECT count(*), sum(length(NAME)), count(CITY), sum(AMOUNT) FROM t",
                      [&](sqlite3_stmt* s) { count = sqlite3_column_int64(s, 0); });
    if (problem.empty() && static_cast<std::uint64_t>(count) != profile.records)
      problem = "the scan counted " + std::to_string(count) + " rows";
    if (!problem.empty()) Fail(state, problem);
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(profile.records), benchmark::Counter::kIsIterationInvariantRate);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

// The tool's text export and --check of a profile, as a user runs them.
void RegisterTool(const BenchProfile& profile, const char* profileName) {
  for (const char* mode : {"export_text", "check"}) {
    const std::string name = std::string(mode) + "/" + profile.label + "/" + profileName;
    std::vector<std::string> args{profile.directory.string(), kIspec, profileName};
    const bool check = std::strcmp(mode, "check") == 0;
    if (check) args.insert(args.begin(), "--check");
    benchmark::RegisterBenchmark(name.c_str(), [args, check, profile](benchmark::State& state) {
      ToolRun run;
      for (auto _ : state) run = RunTool(ONDREL_EXPORT_PATH, args);
      if (run.exitStatus != 0 || (!check && run.lines != profile.records + 2))
        Fail(state, "ondrel-export ended with status " + std::to_string(run.exitStatus) + " after " +
                        std::to_string(run.lines) + " lines");
      state.counters["records_per_s"] =
          benchmark::Counter(static_cast<double>(profile.records), benchmark::Counter::kIsIterationInvariantRate);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

// The whole database into an SQLite file, checked by its row counts.
void RegisterSqliteExport(const BenchProfile& profile, const std::filesystem::path& scratch) {
  const std::string name = "sqlite_export/" + profile.label;
  const std::string out = (scratch / ("sql-export-" + profile.label + ".db")).string();
  benchmark::RegisterBenchmark(name.c_str(), [profile, out](benchmark::State& state) {
    ToolRun run;
    for (auto _ : state) run = RunTool(ONDREL_EXPORT_PATH, {"--sqlite", out, "--force", profile.directory.string()});
    std::string problem = run.exitStatus == 0 ? "" : "ondrel-export --sqlite ended with status " + std::to_string(run.exitStatus);
    Connection file;
    if (problem.empty() && sqlite3_open_v2(out.c_str(), &file.db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      for (const char* table : {"LARGE", "LARGE_KEYNO_entries", "LARGE_BYNAME_entries"}) {
        std::int64_t rows = -1;
        problem = Query(file.db, std::string("SELECT count(*) FROM ") + table,
                        [&](sqlite3_stmt* s) { rows = sqlite3_column_int64(s, 0); });
        if (problem.empty() && static_cast<std::uint64_t>(rows) != profile.records)
          problem = std::string(table) + " holds " + std::to_string(rows) + " rows";
        if (!problem.empty()) break;
      }
    }
    std::filesystem::remove(out);
    if (!problem.empty()) Fail(state, problem);
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(profile.records), benchmark::Counter::kIsIterationInvariantRate);
  })->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}

// One query by the key, on our table or SQLite's: its statement, how each
// run binds it (by the run's number) and the keys the run must return.
struct KeyQuery {
  const char* name;
  const char* profile;  // the profile behind our table
  std::string ours, sqlite;
  std::function<void(sqlite3_stmt*, std::uint64_t run, bool ours)> bind;
  std::function<std::vector<std::int64_t>(std::uint64_t run)> expect;
};

std::string Keyno(std::uint64_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%010llu", static_cast<unsigned long long>(n));
  return text;
}

// The 1,000 outer rows of the join: keys spread over the profile.
constexpr std::uint64_t kOuter = 1000;
std::uint64_t OuterKey(std::uint64_t i, std::uint64_t records) { return 1 + (i * 7919 * 1009) % records; }

std::vector<KeyQuery> KeyQueries(std::uint64_t records) {
  const std::string columns = "SELECT KEYNO, NAME, CITY, AMOUNT FROM t ";
  const std::string theirs = "SELECT keyno, name, city, amount FROM records ";
  const std::uint64_t middle = records / 2;
  auto none = [](sqlite3_stmt*, std::uint64_t, bool) {};
  auto run = [](std::uint64_t from, int step) {
    std::vector<std::int64_t> keys;
    for (int i = 0; i < 21; ++i) keys.push_back(static_cast<std::int64_t>(from) + step * i);
    return keys;
  };
  // A different key each run, spread over the profile.
  auto point = [records](std::uint64_t r) { return 1 + (r * 104729) % records; };
  std::vector<KeyQuery> queries;
  queries.push_back({"order_asc", "KEYNO", columns + "ORDER BY KEYNO LIMIT 21", theirs + "ORDER BY keyno LIMIT 21", none,
                     [run](std::uint64_t) { return run(1, 1); }});
  queries.push_back({"order_desc", "KEYNO", columns + "ORDER BY KEYNO DESC LIMIT 21",
                     theirs + "ORDER BY keyno DESC LIMIT 21", none,
                     [run, records](std::uint64_t) { return run(records, -1); }});
  queries.push_back({"keyset", "KEYNO", columns + "WHERE KEYNO > ? ORDER BY KEYNO LIMIT 21",
                     theirs + "WHERE keyno > ? ORDER BY keyno LIMIT 21",
                     [middle](sqlite3_stmt* s, std::uint64_t, bool ours) {
                       if (ours) sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(middle));
                       else sqlite3_bind_text(s, 1, Keyno(middle).c_str(), -1, SQLITE_TRANSIENT);
                     },
                     [run, middle](std::uint64_t) { return run(middle + 1, 1); }});
  queries.push_back({"point_KEYNO", "KEYNO", columns + "WHERE KEYNO = ?", theirs + "WHERE keyno = ?",
                     [point](sqlite3_stmt* s, std::uint64_t r, bool ours) {
                       if (ours) sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(point(r)));
                       else sqlite3_bind_text(s, 1, Keyno(point(r)).c_str(), -1, SQLITE_TRANSIENT);
                     },
                     [point](std::uint64_t r) { return std::vector<std::int64_t>{static_cast<std::int64_t>(point(r))}; }});
  queries.push_back({"point_BYNAME", "BYNAME", columns + "WHERE NAME = ? AND KEYNO = ?",
                     theirs + "WHERE name = ? AND keyno = ?",
                     [point](sqlite3_stmt* s, std::uint64_t r, bool ours) {
                       const std::uint64_t key = point(r);
                       sqlite3_bind_text(s, 1, writer::LargeRecordName(key).c_str(), -1, SQLITE_TRANSIENT);
                       if (ours) sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(key));
                       else sqlite3_bind_text(s, 2, Keyno(key).c_str(), -1, SQLITE_TRANSIENT);
                     },
                     [point](std::uint64_t r) { return std::vector<std::int64_t>{static_cast<std::int64_t>(point(r))}; }});
  std::int64_t sum = 0;
  for (std::uint64_t i = 0; i < kOuter; ++i) sum += static_cast<std::int64_t>(OuterKey(i, records));
  queries.push_back({"join_1000", "KEYNO", "SELECT count(*), sum(t.KEYNO) FROM temp.outer_keys o JOIN t ON t.KEYNO = o.k",
                     "SELECT count(*), sum(r.keyno) FROM temp.outer_keys o JOIN records r ON r.keyno = o.k", none,
                     [sum](std::uint64_t) { return std::vector<std::int64_t>{static_cast<std::int64_t>(kOuter), sum}; }});
  return queries;
}

// Runs a prepared statement once: the first column of each row, or, for a
// single row of several columns, that row's columns.
std::string RunKeyQuery(sqlite3* db, sqlite3_stmt* statement, std::vector<std::int64_t>& got) {
  got.clear();
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    got.push_back(sqlite3_column_int64(statement, 0));
    if (sqlite3_column_count(statement) == 2) got.push_back(sqlite3_column_int64(statement, 1));
  }
  std::string problem = step == SQLITE_DONE ? "" : sqlite3_errmsg(db);
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  return problem;
}

void RegisterKeyQueries(const BenchProfile& profile) {
  for (const KeyQuery& query : KeyQueries(profile.records)) {
    for (const bool ours : {true, false}) {
      const std::string name = std::string("sql_key/") + (ours ? "ours/" : "sqlite/") + profile.label + "/" + query.name;
      benchmark::RegisterBenchmark(name.c_str(), [profile, query, ours](benchmark::State& state) {
        std::string problem;
        std::unique_ptr<Connection> connection;
        if (ours) {
          connection = Connect(profile, query.profile, problem);
        } else {
          connection = std::make_unique<Connection>();
          if (sqlite3_open_v2(profile.sqlite.c_str(), &connection->db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            problem = sqlite3_errmsg(connection->db);
        }
        if (!problem.empty()) return Fail(state, problem);
        // The join's outer rows, in a temporary table of the connection.
        std::string outer = std::string("CREATE TEMP TABLE outer_keys(k ") + (ours ? "INTEGER" : "TEXT") + ")";
        problem = Query(connection->db, outer, [](sqlite3_stmt*) {});
        for (std::uint64_t i = 0; problem.empty() && i < kOuter; ++i) {
          const std::uint64_t key = OuterKey(i, profile.records);
          problem = Query(connection->db,
                          "INSERT INTO temp.outer_keys VALUES (" +
                              (ours ? std::to_string(key) : "'" + Keyno(key) + "'") + ")",
                          [](sqlite3_stmt*) {});
        }
        sqlite3_stmt* statement = nullptr;
        if (problem.empty() && sqlite3_prepare_v2(connection->db, (ours ? query.ours : query.sqlite).c_str(), -1,
                                                  &statement, nullptr) != SQLITE_OK)
          problem = sqlite3_errmsg(connection->db);
        if (!problem.empty()) return Fail(state, problem);
        std::vector<std::int64_t> got;
        // Once before the timing: the table's first query prepares it.
        query.bind(statement, 0, ours);
        problem = RunKeyQuery(connection->db, statement, got);
        std::uint64_t run = 0;
        for (auto _ : state) {
          ++run;
          query.bind(statement, run, ours);
          problem = RunKeyQuery(connection->db, statement, got);
          if (!problem.empty() || got != query.expect(run)) break;
        }
        sqlite3_finalize(statement);
        if (problem.empty() && got != query.expect(run)) {
          problem = "run " + std::to_string(run) + " returned " + std::to_string(got.size()) + " values";
          if (!got.empty()) problem += ", the first " + std::to_string(got.front());
        }
        if (!problem.empty()) Fail(state, problem);
      })->Unit(benchmark::kMicrosecond)->UseRealTime();
    }
  }
}

}  // namespace
}  // namespace ondrel::bench

int main(int argc, char** argv) {
  using namespace ondrel::bench;
  benchmark::Initialize(&argc, argv);
  std::string directory = "/tmp/ondrel-bench";
  std::vector<std::uint64_t> records{1000000, 10000000};
  std::vector<std::uint64_t> sqliteRecords{1000000};
  std::vector<int> nodes{512, 2048};
  for (int i = 1; i < argc; ++i) {
    std::string value;
    bool ok = true;
    if (TakeFlag(argv[i], "--bench_dir", value)) directory = value;
    else if (TakeFlag(argv[i], "--bench_records", value)) ok = ParseCounts(value, records);
    else if (TakeFlag(argv[i], "--bench_sqlite_records", value)) ok = ParseCounts(value, sqliteRecords);
    else if (TakeFlag(argv[i], "--bench_nodes", value)) ok = ParseNodeSizes(value, nodes);
    else ok = false;
    if (!ok) {
      std::fprintf(stderr, "usage: ondrel-sql-bench [--bench_dir=DIR] [--bench_records=1M,10M] [--bench_nodes=512,2048]\n"
                           "                        [--bench_sqlite_records=1M] [benchmark flags]\n");
      return 2;
    }
  }
  const std::vector<BenchProfile> profiles = ProfileSet(directory, records, nodes);
  try {
    for (const BenchProfile& profile : profiles) EnsureProfile(profile);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-sql-bench: %s\n", e.what());
    return 1;
  }
  for (const BenchProfile& profile : profiles) {
    ReadWholeFile(profile.IndexFile().string(), 1 << 17);
    ReadWholeFile(profile.DataFile().string(), 1 << 17);
    RegisterPage(profile);
    for (const char* name : {"KEYNO", "BYNAME"}) {
      RegisterScan(profile, name);
      RegisterTool(profile, name);
    }
    for (std::uint64_t count : sqliteRecords)
      if (count == profile.records) RegisterSqliteExport(profile, directory);
    if (EnsureSqlite(profile)) std::fprintf(stderr, "wrote %s\n", profile.sqlite.c_str());
    RegisterKeyQueries(profile);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (failures != 0) std::fprintf(stderr, "ondrel-sql-bench: %d benchmarks measured a wrong result\n", failures);
  return failures == 0 ? 0 : 1;
}
