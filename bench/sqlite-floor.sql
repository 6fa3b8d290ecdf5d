-- What SQLite itself needs to write the rows ondrel-export --sqlite writes for
-- a million records of the LARGE ISPEC: the record's row and its entry in
-- each of two key orders, with the tool's settings, the values already made
-- (copied from a temporary table).  Run it on an empty file:
--
--   rm -f /tmp/floor.db && sqlite3 /tmp/floor.db < bench/sqlite-floor.sql
--
-- The three INSERT timings, added, are the floor of the tool's figure.
PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE; PRAGMA page_size=65536; PRAGMA cache_size=-65536;
CREATE TABLE r(record_number INTEGER PRIMARY KEY, purged INTEGER, KEYNO INTEGER, NAME TEXT, CITY TEXT, AMOUNT REAL, BRANCH TEXT);
CREATE TABLE e1(entry_number INTEGER PRIMARY KEY, record_number INTEGER, entry_flag TEXT);
CREATE TABLE e2(entry_number INTEGER PRIMARY KEY, record_number INTEGER, entry_flag TEXT);
CREATE TEMP TABLE src AS SELECT value AS v, 'Brennan Hardware ' || (value % 128) AS n, printf('%02d', value % 100) AS b
  FROM generate_series(1, 1000000);
.timer on
BEGIN;
INSERT INTO r SELECT v, 0, v, n, 'Dundee', v * 0.01, b FROM src;
INSERT INTO e1 SELECT v, v, 'Y' FROM src;
INSERT INTO e2 SELECT v, (v * 7919) % 1000000 + 1, 'Y' FROM src;
COMMIT;
