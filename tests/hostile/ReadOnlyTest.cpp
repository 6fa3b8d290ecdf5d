// Proof that the command-line tool never writes to a database: every mode
// runs under strace, and the trace shows no open for writing or creating and
// no write, truncate, rename, unlink or lock of a database file, and no read
// past a file's end; afterwards every file's bytes and time are unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/hostile/HostileDatabase.h"
#include "tests/hostile/StraceCheck.h"
#include "tests/hostile/Subprocess.h"
#include "tests/support/TempDir.h"

namespace ondrel::test {
namespace {

const std::string kExport = ONDREL_EXPORT_PATH;

class ReadOnlyTest : public ::testing::Test {
 protected:
  ReadOnlyTest() { BuildHostileIspec(db.path()); }

  TraceFindings Traced(const std::string& commandLine) {
    const std::string log = (logs.path() / "trace").string();
    const RunResult r = RunCommand(StraceCommand(log) + commandLine, 120);
    EXPECT_NE(r.status, 124) << commandLine;
    lastStatus = r.status;
    return CheckTrace(log, db.str(), FileSizes(db.path()));
  }

  TempDir db;
  TempDir logs;
  int lastStatus = -1;
};

TEST_F(ReadOnlyTest, EveryModeOfTheToolOnlyReads) {
  const auto before = Snapshot(db.path());
  const std::string dir = Quote(db.str());
  int opens = 0;
  int reads = 0;
  for (const std::string& args :
       {dir, dir + " ORD", dir + " ORD ORDNO", dir + " ORD BYCUST", "--format csv " + dir + " ORD ORDNO",
        "--window 40 " + dir + " ORD ORDNO", "--from 100 --count 5 " + dir + " ORD BYCUST",
        "--describe " + dir + " ORD ORDNO", "--check " + dir + " ORD ORDNO",
        "--sqlite " + Quote(logs.str() + "/whole.db") + " --force " + dir}) {
    SCOPED_TRACE(args);
    const TraceFindings found = Traced(Quote(kExport) + " " + args + " >/dev/null");
    for (const auto& v : found.violations) ADD_FAILURE() << v;
    opens += found.databaseOpens;
    reads += found.positionedReads;
  }
  // The trace really saw the tool read the database.
  EXPECT_GT(opens, 20);
  EXPECT_GT(reads, 20);
  EXPECT_TRUE(Snapshot(db.path()) == before);
}

#ifdef ONDREL_VIEWER_JOURNEY_PATH
TEST_F(ReadOnlyTest, TheViewerOnlyReads) {
  const auto before = Snapshot(db.path());
  const std::string journey = std::string("env QT_QPA_PLATFORM=offscreen HOME=") + Quote(logs.str()) + " " +
                              Quote(ONDREL_VIEWER_JOURNEY_PATH) + " " + Quote(db.str());
  for (const char* profile : {" ORD ORDNO", " ORD BYCUST"}) {
    SCOPED_TRACE(profile);
    const TraceFindings found = Traced(journey + profile + " >/dev/null 2>&1");
    EXPECT_EQ(lastStatus, 0);  // the journey saw records at every step
    for (const auto& v : found.violations) ADD_FAILURE() << v;
    EXPECT_GT(found.databaseOpens, 5);
    EXPECT_GT(found.positionedReads, 5);
  }
  EXPECT_TRUE(Snapshot(db.path()) == before);
}
#endif

#ifdef ONDREL_SQL_EXTENSION_PATH
// The sqlite3 shell with the extension loaded, querying the database every
// way the extension reads it: the tables of ISPECs and profiles, a named
// table scanned whole, paged and joined with itself, and the function.
TEST_F(ReadOnlyTest, TheSqlExtensionOnlyReads) {
  const auto before = Snapshot(db.path());
  const std::string dir = "'" + db.str() + "'";
  std::string shell = std::string(ONDREL_SQL_PRELOAD) + "sqlite3 -bail -batch :memory: " +
                      Quote(std::string(".load ") + ONDREL_SQL_EXTENSION_PATH);
  for (const std::string& statement : std::vector<std::string>{
           "SELECT count(*) FROM ondrel_ispecs(" + dir + ")", "SELECT count(*) FROM ondrel_profiles(" + dir + ", 'ORD')",
        "CREATE VIRTUAL TABLE temp.o USING ondrel(" + dir + ", ORD, BYCUST)", "SELECT count(*), sum(purged) FROM o",
        "SELECT * FROM o LIMIT 21 OFFSET 200", "SELECT count(*) FROM o a JOIN o b USING (entry_number)",
        "SELECT count(fields) FROM ondrel(" + dir + ", 'ORD', 'ORDNO')"})
    shell += " " + Quote(statement);
  const TraceFindings found = Traced(shell + " >/dev/null");
  EXPECT_EQ(lastStatus, 0);
  for (const auto& v : found.violations) ADD_FAILURE() << v;
  EXPECT_GT(found.databaseOpens, 10);
  EXPECT_GT(found.positionedReads, 10);
  EXPECT_TRUE(Snapshot(db.path()) == before);
}
#endif

TEST_F(ReadOnlyTest, TheCheckSeesAProgramThatWrites) {
  const std::string file = db.str() + "/_ORD.DAT";
  for (const std::string& writer :
       {"printf x >> " + Quote(file), "touch " + Quote(db.str() + "/_NEW.DAT"),
        "truncate -s 10 " + Quote(file), "mv " + Quote(file) + " " + Quote(file + ".old")}) {
    SCOPED_TRACE(writer);
    EXPECT_FALSE(Traced("/bin/sh -c " + Quote(writer)).violations.empty());
  }
}

TEST_F(ReadOnlyTest, TheCheckSeesAReadPastTheEnd) {
  const std::string log = (logs.path() / "trace").string();
  RunCommand(StraceCommand(log) + Quote(kExport) + " --describe " + Quote(db.str()) + " ORD ORDNO >/dev/null", 60);
  auto sizes = FileSizes(db.path());
  EXPECT_TRUE(CheckTrace(log, db.str(), sizes).violations.empty());
  sizes[db.str() + "/_ORD.IDX"] = 100;  // as if the index were shorter than what was read
  EXPECT_FALSE(CheckTrace(log, db.str(), sizes).violations.empty());
}

}  // namespace
}  // namespace ondrel::test
