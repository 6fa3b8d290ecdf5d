"""The SQL extension and ondrel-export --sqlite through their real clients:
Python's sqlite3 module and the sqlite3 shell, checked against
ondrel-export's own export of the same profiles.

Run by CTest with the paths of the built pieces in the environment:
ONDREL_EXTENSION (libondrel.so), ONDREL_EXPORT (ondrel-export) and
ONDREL_TESTDB (the program that writes the test databases).
"""
import contextlib
import csv
import io
import json
import operator
import os
import resource
import shutil
import sqlite3
import stat
import subprocess
import tempfile
import unittest

EXTENSION = os.path.splitext(os.environ["ONDREL_EXTENSION"])[0]
EXPORT = os.environ["ONDREL_EXPORT"]
MAKER = os.environ["ONDREL_TESTDB"]
SECTION = 32000
CUSTOMERS = 70000

INCOMPLETE = ("The runtime database is incomplete.  You are missing all or part of {}.  "
              "You need to create or restore the database.")
NO_DEFINITION = ("Sorry, the file you selected has no associated definition.  "
                 "Perhaps it is not a user-defined file.")
COARSE = "An error has been encountered in navigating through the D-ISAM coarse tables."
FINE = "An error has been encountered in navigating through the D-ISAM fine tables."


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, timeout=300, **kwargs)


def export_csv(directory, ispec, profile):
    """The profile's rows as ondrel-export writes them in CSV."""
    result = run([EXPORT, "--format", "csv", directory, ispec, profile])
    assert result.returncode == 0, result.stderr
    return list(csv.reader(io.StringIO(result.stdout.decode("utf-8"))))


def same_value(sql_value, csv_text):
    """A value from SQL against the export's text of the same field: numbers
    by value, and anything the export shows that is no number as text."""
    try:
        number = float(csv_text)
    except ValueError:
        return sql_value == csv_text
    return isinstance(sql_value, (int, float)) and not isinstance(sql_value, bool) and sql_value == number


class Fixture(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="ondrel-sql-")
        made = run([MAKER, cls.root])
        assert made.returncode == 0, made.stderr
        cls.good = os.path.join(cls.root, "good")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def connect(self):
        db = sqlite3.connect(":memory:")
        db.enable_load_extension(True)
        db.load_extension(EXTENSION)
        self.addCleanup(db.close)
        return db

    def table(self, db, name, directory, ispec, profile):
        db.execute(f"CREATE VIRTUAL TABLE temp.{name} USING ondrel('{directory}', '{ispec}', '{profile}')")


class PythonClientTest(Fixture):
    def test_rows_values_and_types_match_the_export(self):
        db = self.connect()
        for profile in ("BYNO", "BYCITY"):
            with self.subTest(profile=profile):
                self.table(db, profile.lower(), self.good, "CUST", profile)
                rows = db.execute(
                    f"SELECT CUSTNO, NAME, CITY, BALANCE, STATUS FROM {profile.lower()} "
                    "WHERE purged = 0 AND entry_flag = 'Y'").fetchall()
                exported = export_csv(self.good, "CUST", profile)
                self.assertEqual(exported[0], ["CUSTNO", "NAME", "CITY", "BALANCE", "STATUS"])
                self.assertEqual(len(rows), len(exported) - 1)
                for row, line in zip(rows, exported[1:]):
                    self.assertTrue(all(same_value(v, t) for v, t in zip(row, line)), (row, line))
        # The types: numbers where the stored text is one, the text otherwise.
        types = dict(db.execute("SELECT BALANCE, typeof(BALANCE) FROM byno WHERE CUSTNO IN (7, 8)").fetchall())
        # (the N field is stored right-aligned: the blanks in front are part of the text)
        self.assertEqual(types, {"   12x.50": "text", (8 * 7919 % 200000 - 50000) / 100: "real"})
        self.assertEqual(db.execute("SELECT typeof(CUSTNO), typeof(NAME) FROM byno LIMIT 1").fetchone(),
                         ("integer", "text"))
        self.assertEqual(db.execute("SELECT NAME FROM byno WHERE CUSTNO = 103").fetchone(), ("Caf\u00e9-000103",))
        # Entries the window leaves out are rows too, flagged as they are.
        self.assertEqual(db.execute("SELECT count(*) FROM bycity WHERE entry_flag = 'N'").fetchone(),
                         (len([n for n in range(1, CUSTOMERS + 1) if n % 500 == 0 and n % 97 != 0]),))

    def test_hidden_columns_and_purged_rows(self):
        db = self.connect()
        self.table(db, "c", self.good, "CUST", "BYNO")
        columns = [d[0] for d in db.execute("SELECT * FROM c LIMIT 1").description]
        self.assertEqual(columns, ["CUSTNO", "NAME", "CITY", "BALANCE", "STATUS"])
        row = db.execute('SELECT "[REGION]", entry_number, record_number, purged, stored_key, entry_flag '
                         "FROM c WHERE entry_number = 41").fetchone()
        self.assertEqual(row, ("NTH", 41, 41, 0, b"000041", "Y"))
        purged = db.execute("SELECT CUSTNO, NAME FROM c WHERE purged = 1").fetchall()
        self.assertEqual([n for n, _ in purged], [n for n in range(1, CUSTOMERS + 1) if n % 97 == 0])
        self.assertEqual(purged[0], (97, "Firm-000097"))  # a purged record keeps its values
        with self.assertRaisesRegex(sqlite3.OperationalError, "may not be modified"):
            db.execute("DELETE FROM c WHERE CUSTNO = 1")

    def test_limit_offset_and_entry_numbers_start_at_the_right_entry(self):
        db = self.connect()
        self.table(db, "c", self.good, "CUST", "BYCITY")  # the scattered profile
        everything = db.execute("SELECT entry_number, CUSTNO, CITY FROM c").fetchall()
        n = len(everything)
        self.assertEqual([r[0] for r in everything], list(range(1, n + 1)))
        plan = " ".join(str(r) for r in db.execute("EXPLAIN QUERY PLAN SELECT * FROM c LIMIT 21 OFFSET 5"))
        self.assertIn("OM", plan)  # OFFSET and LIMIT are taken by the table
        for offset in (0, SECTION - 1, SECTION, SECTION + 1, 2 * SECTION - 1, 2 * SECTION, n - 21, n - 1, n, n + 5):
            with self.subTest(offset=offset):
                page = db.execute("SELECT entry_number, CUSTNO, CITY FROM c LIMIT 21 OFFSET ?", (offset,)).fetchall()
                self.assertEqual(page, everything[offset:offset + 21])
        for where, expected in (("entry_number BETWEEN 31990 AND 32010", range(31990, 32011)),
                                (f"entry_number > {n - 2.5}", range(n - 2, n + 1)),
                                ("entry_number = 32000", [32000]), ("entry_number = 2.5", []),
                                ("entry_number < 1", []),
                                ("entry_number >= 64000 AND entry_number < 64003", range(64000, 64003)),
                                ("rowid <= 2", [1, 2]), ("entry_number > 'a'", [])):
            with self.subTest(where=where):
                got = [r[0] for r in db.execute(f"SELECT entry_number FROM c WHERE {where}")]
                self.assertEqual(got, list(expected))
        # With a condition SQLite tests itself, OFFSET counts the rows that pass.
        leeds = [r for r in everything if r[2] == "Leeds"]
        self.assertEqual(db.execute("SELECT entry_number, CUSTNO, CITY FROM c WHERE CITY = 'Leeds' "
                                    "LIMIT 5 OFFSET 3000").fetchall(), leeds[3000:3005])
        self.assertEqual(db.execute("SELECT entry_number FROM c ORDER BY entry_number DESC LIMIT 2").fetchall(),
                         [(n,), (n - 1,)])

    def test_limit_and_offset_with_every_kind_of_constraint(self):
        # Each query against the same query over the rows copied once, whole,
        # into plain tables: the copy is read with no constraint at all.
        db = self.connect()
        self.table(db, "t", self.good, "CUST", "BYNAME")
        db.execute("CREATE TEMP TABLE plain AS SELECT entry_number, record_number, purged, NAME, CITY FROM t")
        db.execute("CREATE TEMP TABLE plainf AS SELECT entry_number, record_number, purged, fields "
                   "FROM ondrel(?, 'CUST', 'BYNAME')", (self.good,))
        self.assertEqual(db.execute("SELECT count(*), max(rowid) = max(entry_number) FROM plain").fetchone(),
                         (CUSTOMERS - CUSTOMERS // 97, 1))
        shared = ("entry_number IN (1, 2, 40000, 69999)", "rowid IN (SELECT 7)", "entry_number IN (1, 2)",
                  "entry_number IN (SELECT entry_number + 3 FROM plain WHERE record_number % 5000 = 0)",
                  "entry_number = 32000", "entry_number > 69990", "entry_number >= 31999", "entry_number < 9",
                  "entry_number <= 9", "entry_number BETWEEN 31990 AND 32010", "rowid > 100 AND rowid < 140",
                  "record_number IN (5, 96, 98, 1000)", "record_number = 5", "purged = 0 AND record_number < 300",
                  "entry_number > 60000 AND record_number % 2 = 0")
        named = ("NAME = 'Firm-035000'", "NAME >= 'Firm-069990'", "NAME < 'Caf\u00e9-000503'",
                 "NAME BETWEEN 'Firm-000100' AND 'Firm-000200'", "NAME IN ('Firm-000010', 'Zed', 'Firm-050000')",
                 "NAME IN (SELECT NAME FROM plain WHERE entry_number % 9000 = 1)", "CITY = 'Leeds'",
                 "entry_number IN (1, 2, 3) AND NAME >= 'F'", "NAME > 'Firm-0690' AND entry_number < 69990")
        function = ("fields->>'CITY' = 'Hull'", "fields->>'NAME' IN ('Firm-000010', 'Zed')")
        pages = ("LIMIT 5", "LIMIT 5 OFFSET 3", "LIMIT -1 OFFSET 2", "LIMIT 0", "LIMIT 1 OFFSET 100000")
        forms = ((f"SELECT entry_number, record_number, NAME, CITY FROM {{}} WHERE {{}} {{}} {{}}", "t", "plain",
                  shared + named),
                 ("SELECT entry_number, record_number, purged, fields FROM {} WHERE {} {} {}",
                  f"ondrel('{self.good}', 'CUST', 'BYNAME')", "plainf", shared + function))
        checked = 0
        for query, table, copy, conditions in forms:
            for where in conditions:
                for page in pages:
                    for order in ("", "ORDER BY entry_number", "ORDER BY entry_number DESC"):
                        with self.subTest(table=table, where=where, page=page, order=order):
                            expected = db.execute(query.format(copy, where, order, page)).fetchall()
                            self.assertEqual(db.execute(query.format(table, where, order, page)).fetchall(),
                                             expected)
                            checked += bool(expected)
        self.assertGreater(checked, 250)  # and not all of them for want of rows

    def test_the_key_seek_never_loses_a_row(self):
        db = self.connect()
        self.table(db, "n", self.good, "CUST", "BYNAME")
        cases = (("NAME = ?", "Firm-035000"), ("NAME >= ?", "Firm-069990"), ("NAME > ?", "Zed"), ("NAME <= ?", "Zed"),
                 ("NAME < ?", "Zed\u00e9"), ("NAME >= ?", "Zed\u00e9"), ("NAME >= ?", "Zed\u20ac"),
                 ("NAME > ?", "Zed\x01"), ("NAME BETWEEN 'Caf' AND ?", "Firm-000200"), ("NAME >= ?", "Caf"),
                 ("NAME < ?", "Firm-000050 and more"), ("NAME = ?", "Nobody"), ("NAME > ?", "Zz"),
                 ("NAME = ? COLLATE NOCASE", "FIRM-000042"), ("NAME > ?", 5))
        # What SQL accepts, worked out from every row: text compares by code
        # point (as SQLite's BINARY compares UTF-8), a number sorts before any
        # text, NOCASE folds ASCII letters.
        every = db.execute("SELECT entry_number, NAME FROM n").fetchall()
        ops = {"=": operator.eq, ">=": operator.ge, ">": operator.gt, "<=": operator.le, "<": operator.lt}
        for where, value in cases:
            with self.subTest(where=where, value=value):
                seek = db.execute(f"SELECT entry_number, NAME FROM n WHERE {where}", (value,)).fetchall()
                if "BETWEEN" in where:
                    expected = [r for r in every if "Caf" <= r[1] <= value]
                elif isinstance(value, int):
                    expected = every  # every text is above every number
                elif "NOCASE" in where:
                    expected = [r for r in every if r[1].lower() == value.lower()]
                else:
                    compare = ops[where.split()[1]]
                    expected = [r for r in every if compare(r[1], value)]
                self.assertEqual(seek, expected)
                plan = str(db.execute(f"EXPLAIN QUERY PLAN SELECT * FROM n WHERE {where}", (value,)).fetchall())
                self.assertEqual(any(f":{letter}" in plan for letter in "lLuUe"), "NOCASE" not in where, plan)
        self.assertEqual(len(db.execute("SELECT * FROM n WHERE NAME = 'Firm-035000'").fetchall()), 1)
        # Keys made in capitals from records typed in small letters: the
        # stored order is not the records', so nothing may be sought in it.
        folded = self.connect()
        self.table(folded, "f", os.path.join(self.root, "folded"), "FRUIT", "BYNAME")
        self.assertEqual(folded.execute("SELECT NAME, QTY FROM f").fetchall(),
                         [("apple", 5), ("Banana", 12), ("cherry", 40)])
        for where, expected in (("NAME = 'cherry'", ["cherry"]), ("NAME >= 'b'", ["cherry"]),
                                ("NAME BETWEEN 'a' AND 'z'", ["apple", "cherry"]), ("NAME < 'C'", ["Banana"]),
                                ("NAME IN ('Banana', 'apple')", ["apple", "Banana"])):
            with self.subTest(where=where):
                got = folded.execute(f"SELECT NAME FROM f WHERE {where} ORDER BY entry_number").fetchall()
                self.assertEqual([r[0] for r in got], expected)
        # The orders disagree on these: every one is still found.
        self.assertEqual([r[0] for r in db.execute("SELECT NAME FROM n WHERE NAME >= 'Zed'")],
                         ["Zed\x01", "Zed", "Zedz", "Zed\u20ac", "Zed\u00e9"])
        # A deleted entry (flagged "N") whose record was written again for
        # another customer is a row under that customer's name, halfway
        # through the tree under its old one: every seek must reach it.
        stale = self.connect()
        self.table(stale, "s", os.path.join(self.root, "stale"), "CUST", "BYNAME")
        every = stale.execute("SELECT entry_number, NAME, entry_flag FROM s").fetchall()
        moved = [r for r in every if r[2] == "N"]
        self.assertEqual([r[1] for r in moved], ["Firm-001234"])
        for where, accepts in (("NAME = ?", operator.eq), ("NAME <= ?", operator.le), ("NAME >= ?", operator.ge),
                               ("NAME < ?", operator.lt)):
            for value in ("Firm-001234", "Firm-001235", "Firm-004000"):
                with self.subTest(where=where, value=value):
                    got = stale.execute(f"SELECT entry_number, NAME, entry_flag FROM s WHERE {where}", (value,))
                    self.assertEqual(got.fetchall(), [r for r in every if accepts(r[1], value)])
        self.assertIn(":e", str(stale.execute("EXPLAIN QUERY PLAN SELECT * FROM s WHERE NAME = 'Firm-001234'").fetchall()))

    def ordered_or_refused(self, db, table, copy, key, where, order, page, params):
        """Runs a query on the profile table and on its plain copy, which
        SQLite sorts itself: the table's rows must be the copy's, or the
        statement must fail saying to order by entry_number.  True when it
        gave rows."""
        query = "SELECT entry_number, {key}, {other} FROM {t} {where} {order} {page}"
        other = "AMT" if key == "CODE" else "CODE"
        fill = dict(key=key, other=other, where=where, order=order, page=page)
        expected = db.execute(query.format(t=copy, **fill), params).fetchall()
        try:
            got = db.execute(query.format(t=table, **fill), params).fetchall()
        except sqlite3.Error as error:
            self.assertRegex(str(error), r"SQL's order of \w+: entry \d+ .*ORDER BY entry_number gives")
            return False
        # Equal keys may come in any order: the keys must be the copy's, and
        # every row one of the copy's that passes the constraints.
        self.assertEqual([r[1] for r in got], [r[1] for r in expected])
        passing = set(db.execute(query.format(t=copy, **dict(fill, order="", page="")), params).fetchall())
        self.assertLessEqual(set(got), passing)
        self.assertEqual(len(set(got)), len(got))
        return True

    def test_order_by_the_key_is_sql_order_or_fails_with_the_message(self):
        db = self.connect()
        self.table(db, "c", os.path.join(self.root, "mixed"), "MIX", "BYCODE")
        self.table(db, "a", os.path.join(self.root, "mixed"), "MIX", "BYAMT")
        self.table(db, "s", os.path.join(self.root, "mixed"), "MIX", "BYSEQ")
        for name in ("c", "a", "s"):
            db.execute(f"CREATE TABLE {name}_copy AS SELECT entry_number, CODE, AMT, SEQ FROM {name} "
                       "ORDER BY entry_number")
        codes = [r[0] for r in db.execute("SELECT CODE FROM c_copy ORDER BY entry_number")]
        self.assertEqual(len(codes), 400)
        # The text key is taken in the tree's order, and so is the numeric
        # one whose keys are all four digits or blank; the numeric one of
        # mixed forms is left to SQLite, whose order of "-12", "  100" and
        # "abc" no bytes follow.
        for table, order in (("c", "CODE DESC"), ("s", "SEQ"), ("s", "SEQ DESC")):
            plan = str(db.execute(f"EXPLAIN QUERY PLAN SELECT * FROM {table} ORDER BY {order}").fetchall())
            self.assertIn(":RK" if "DESC" in order else ":K", plan)
            self.assertNotIn("B-TREE", plan)
        self.assertIn("B-TREE", str(db.execute("EXPLAIN QUERY PLAN SELECT * FROM a ORDER BY AMT").fetchall()))
        bounds = [codes[i] for i in range(0, 400, 37)] + ["A", "B", "A\x01", "A\u20ac", "A\xe9", "Az", "C"]
        wheres = [("", ())] + [(w, (b,)) for b in bounds for w in ("WHERE CODE > ?", "WHERE CODE <= ?", "WHERE CODE = ?")]
        wheres += [("WHERE CODE >= ? AND CODE < ?", (lo, hi)) for lo, hi in zip(bounds, bounds[3:]) if lo < hi]
        numeric = {"AMT": [("", ()), ("WHERE AMT > ?", (0,)), ("WHERE AMT < ?", (10,))],
                   "SEQ": [("", ()), ("WHERE SEQ > ?", (700,)), ("WHERE SEQ <= ?", (35,)), ("WHERE SEQ IS NULL", ()),
                           ("WHERE SEQ BETWEEN ? AND ?", (100, 120)), ("WHERE SEQ = ?", (1498,))]}
        given = refused = 0
        for key, table in (("CODE", "c"), ("AMT", "a"), ("SEQ", "s")):
            for where, params in wheres if key == "CODE" else numeric[key]:
                for order in (f"ORDER BY {key}", f"ORDER BY {key} DESC"):
                    for page in ("", "LIMIT 1", "LIMIT 5", "LIMIT 5 OFFSET 3"):
                        with self.subTest(key=key, where=where, params=params, order=order, page=page):
                            if self.ordered_or_refused(db, table, table + "_copy", key, where, order, page, params):
                                given += 1
                            else:
                                self.assertEqual(key, "CODE")  # numbers are given or left to SQLite
                                refused += 1
        # Both outcomes are met (the codes are mostly bytes the orders part
        # on, so most statements are refused): the grid tells a wrong order
        # from a refusal.
        self.assertGreater(given, 20)
        self.assertGreater(refused, 20)

        # A profile whose stored order is SQL's gives every page; the last
        # names of BYNAME are stored otherwise ("Zed\x01" before "Zed", the
        # euro sign before e acute) and are refused in either direction.
        self.table(db, "n", self.good, "CUST", "BYNAME")
        db.execute("CREATE TABLE n_copy AS SELECT entry_number, NAME FROM n ORDER BY entry_number")
        page = "SELECT NAME, entry_number FROM {} WHERE NAME > ? AND NAME < 'Zed' ORDER BY NAME LIMIT 21"
        last, pages = "", 0
        while pages < 40:
            rows = db.execute(page.format("n"), (last,)).fetchall()
            self.assertEqual([r[0] for r in rows], [r[0] for r in db.execute(page.format("n_copy"), (last,))])
            if not rows:
                break
            last, pages = rows[-1][0], pages + 1
        self.assertEqual(pages, 40)
        descending = "SELECT NAME FROM {} WHERE NAME < ? ORDER BY NAME DESC LIMIT 21"
        self.assertEqual(db.execute(descending.format("n"), ("Firm-050000",)).fetchall(),
                         db.execute(descending.format("n_copy"), ("Firm-050000",)).fetchall())
        zed = [r[0] for r in db.execute("SELECT entry_number FROM n_copy WHERE NAME >= 'Zec'")]
        self.assertEqual(len(zed), 5)
        for statement in ("SELECT NAME FROM n WHERE NAME >= 'Zec' ORDER BY NAME",
                          "SELECT NAME FROM n ORDER BY NAME DESC LIMIT 1"):
            with self.subTest(statement=statement):
                with self.assertRaisesRegex(sqlite3.OperationalError,
                                            r"SQL's order of NAME: entry (\d+) of the profile BYNAME .*entry_number") as caught:
                    db.execute(statement).fetchall()
                self.assertIn(int(str(caught.exception).split("entry ")[1].split()[0]), zed)
        # ORDER BY the entry number backwards is the walk backwards.
        self.assertEqual(db.execute("SELECT entry_number, NAME FROM n ORDER BY entry_number DESC LIMIT 30").fetchall(),
                         db.execute("SELECT entry_number, NAME FROM n_copy ORDER BY entry_number DESC LIMIT 30").fetchall())

    def same_rows_as_the_copy(self, db, query, name, params):
        """Runs query ({} for the table) on table name and on its plain copy
        name_copy: the same rows, the table's in the tree's order, as the seek
        reads them.  Whether there were any."""
        with self.subTest(table=name, query=query, params=params):
            expected = sorted(db.execute(query.format(name + "_copy"), params).fetchall(), key=repr)
            got = db.execute(query.format(name), params).fetchall()
            self.assertEqual(sorted(got, key=repr), expected)
            self.assertEqual([r[0] for r in got], sorted(r[0] for r in got))
            return bool(expected)
        return False

    def test_seeks_and_joins_on_the_key_find_what_sqlite_finds(self):
        """Point lookups, ranges at either end and joins on the leading key,
        text and numeric, each against the same statement over a plain copy
        of the rows, which SQLite filters itself: the rows must be the same,
        whatever the value's type, width or sign, and the plans must be the
        seek's, so that it is the seek that is checked."""
        db = self.connect()
        mixed = os.path.join(self.root, "mixed")
        tables = (("c", mixed, "MIX", "BYCODE", "CODE"),   # text: controls, blanks, 0x7F, 0x80 up
                  ("s", mixed, "MIX", "BYSEQ", "SEQ"),     # four digits or blank: sought as numbers
                  ("a", mixed, "MIX", "BYAMT", "AMT"),     # mixed widths, signs and text: left to SQLite
                  ("b", self.good, "CUST", "BYNO", "CUSTNO"))  # six digits over 70,000 entries
        for name, directory, ispec, profile, key in tables:
            self.table(db, name, directory, ispec, profile)
            db.execute(f"CREATE TABLE {name}_copy AS SELECT entry_number, {key} FROM {name}")
        values = {
            "CODE": ["A", "AZ", "B", "Az~", "A\x01", "A\u20ac", "A\xe9", "A ", "A a", "", 5, None,
                     *[r[0] for r in db.execute("SELECT CODE FROM c_copy WHERE entry_number % 41 = 0")]],
            "SEQ": [0, 1, 35, 700, 1498, 1499, 1500, 9999, 10000, -1, -0.5, 2.5, 700.0, 1e300, -1e300, 2**62,
                    "700", "abc", "", None, *[r[0] for r in db.execute("SELECT SEQ FROM s_copy WHERE entry_number % 37 = 0")]],
            "AMT": [-12, -5, 0, 3, 12, 100, 2.5, "abc", "12", None],
            "CUSTNO": [0, 1, 2, 31999, 32000, 69999, 70000, 70001, 999999, 1000000, -3, 35000.5, 35000.0,
                       "35000", None]}
        wheres = ["{k} = ?", "{k} > ?", "{k} >= ?", "{k} < ?", "{k} <= ?", "{k} BETWEEN ? AND ?",
                  "{k} > ? AND {k} < ?", "{k} >= ? AND {k} <= ? AND {k} > 3"]
        checked = nonempty = 0
        for name, _, _, _, key in tables:
            vals = values[key]
            for where in wheres:
                pairs = [(v,) for v in vals] if where.count("?") == 1 else \
                    [(lo, hi) for lo, hi in zip(vals, vals[3:] + vals[:3])]
                for params in pairs:
                    condition = where.format(k=key)
                    query = f"SELECT entry_number, {key} FROM {{}} WHERE {condition}"
                    nonempty += self.same_rows_as_the_copy(db, query, name, params)
                    checked += 1
            plan = str(db.execute(f"EXPLAIN QUERY PLAN SELECT * FROM {name} WHERE {key} > ? AND {key} <= ?",
                                  (1, 2)).fetchall())
            self.assertEqual(":lU" in plan, name != "a", plan)
        self.assertGreater(checked, 600)
        self.assertGreater(nonempty, 350)

        # Two parts: an equality on the leading text ordinate pins it, and
        # the second ordinate's bounds are sought behind it.  SEQ is digits
        # or blank, TAG text of controls, blanks and bytes from 0x7F up (the
        # tree's order and SQL's differ there), AMT of mixed forms: never
        # sought as a number; CUST's BYNAME over 70,000 entries.
        compound = (("cs", mixed, "MIX", "CODESEQ", "CODE", "SEQ", True),
                    ("ct", mixed, "MIX", "CODETAG", "CODE", "TAG", True),
                    ("ca", mixed, "MIX", "CODEAMT", "CODE", "AMT", False),
                    ("bn", self.good, "CUST", "BYNAME", "NAME", "CUSTNO", True))
        seconds = {"SEQ": [0, 35, 700, 1499, 1500, -1, 2.5, 700.0, "700", "abc", None],
                   "TAG": ["A", "AB", "B", "B ", "", "\x01", "A\x7f", "\xe9", "Z~", "Z", 3, None],
                   "AMT": [-12, -5, 0, 3, 12, 100, 2.5, "abc", None],
                   "CUSTNO": [0, 1, 69999, 70000, 1000000, -3, 35000.5, "35000", None]}
        wheres = ["{l} = ? AND {k} = ?", "{l} = ? AND {k} > ?", "{l} = ? AND {k} <= ?",
                  "{l} = ? AND {k} >= ? AND {k} < ?", "{l} = ? AND {k} > ? AND {k} <= ? AND {l} > 'A'"]
        checked = nonempty = 0
        for name, directory, ispec, profile, lead, key, sought in compound:
            self.table(db, name, directory, ispec, profile)
            db.execute(f"CREATE TABLE {name}_copy AS SELECT entry_number, {lead}, {key} FROM {name}")
            rows = db.execute(f"SELECT {lead}, {key} FROM {name}_copy WHERE entry_number % 61 = 1").fetchall()
            pairs = {(l, k) for l, k in rows[:12]}
            pairs |= {(l, v) for l, _ in rows[:4] for v in seconds[key]}
            pairs |= {(l, k) for l in ("A", "B", "Zed", "Zed\x01", "Zed\x80", "A ", "") for k in seconds[key][:5]}
            if key in ("SEQ", "CUSTNO"):
                pairs |= {(l, k + d) for l, k in rows[:8] if k is not None for d in (-1, 1)}
            for where in wheres:
                condition = where.format(l=lead, k=key)
                query = f"SELECT entry_number, {lead}, {key} FROM {{}} WHERE {condition}"
                for l, k in sorted(pairs, key=repr):
                    params = (l, k) if where.count("?") == 2 else \
                        (l, k, k + 40 if isinstance(k, (int, float)) else k + "~" if isinstance(k, str) else None)
                    nonempty += self.same_rows_as_the_copy(db, query, name, params)
                    checked += 1
            # The plan takes the second ordinate only where it can be sought.
            plan = str(db.execute(f"EXPLAIN QUERY PLAN SELECT * FROM {name} WHERE {lead} = ? AND {key} = ?",
                                  ("A", 1)).fetchall())
            self.assertIn("e", plan.split("INDEX 1:")[1][:3], plan)
            self.assertEqual("q" in plan.split("INDEX 1:")[1][:3], sought, plan)
        self.assertGreater(checked, 800)
        self.assertGreater(nonempty, 150)

        # Keyset pages on the numeric key: each page starts after the last
        # one's key, forwards and backwards, through the whole profile.
        for order, op in (("", ">"), (" DESC", "<")):
            page = f"SELECT entry_number, CUSTNO FROM {{}} WHERE CUSTNO {op} ? ORDER BY CUSTNO{order} LIMIT 500"
            last, pages = (-1 if op == ">" else 10**6), 0
            while True:
                rows = db.execute(page.format("b"), (last,)).fetchall()
                self.assertEqual(rows, db.execute(page.format("b_copy"), (last,)).fetchall())
                if not rows:
                    break
                last, pages = rows[-1][1], pages + 1
            self.assertEqual(pages, 140)
        self.assertNotIn("B-TREE", str(db.execute(
            "EXPLAIN QUERY PLAN SELECT * FROM b WHERE CUSTNO > 5 ORDER BY CUSTNO DESC LIMIT 3").fetchall()))

        # Joins: the key as the inner side, sought once an outer row, with
        # outer values of every type; and the two profiles of MIX joined.
        db.execute("CREATE TEMP TABLE outer_values(v)")
        db.executemany("INSERT INTO outer_values VALUES (?)",
                       [(v,) for v in values["CUSTNO"] + values["SEQ"] + [n * 331 for n in range(300)]])
        for name, key in (("b", "CUSTNO"), ("s", "SEQ"), ("c", "CODE")):
            join = f"SELECT o.v, t.entry_number, t.{key} FROM outer_values o JOIN {{}} t ON t.{key} = o.v"
            with self.subTest(join=name):
                plan = str(db.execute("EXPLAIN QUERY PLAN " + join.format(name)).fetchall())
                self.assertIn("VIRTUAL TABLE INDEX 1:e", plan)
                self.assertEqual(sorted(db.execute(join.format(name)).fetchall(), key=repr),
                                 sorted(db.execute(join.format(name + "_copy")).fetchall(), key=repr))
        both = "SELECT x.entry_number, y.entry_number FROM {} x JOIN {} y ON y.SEQ = x.SEQ"
        self.assertEqual(sorted(db.execute(both.format("s_copy", "s")).fetchall()),
                         sorted(db.execute(both.format("s_copy", "s_copy")).fetchall()))

    def test_a_point_lookup_after_a_rewrite_reads_the_new_files(self):
        """The profile a table keeps between statements is taken without
        looking at the files first, and the files the last statement held
        open are taken again while their names name them; a rewrite since,
        in place or into new files renamed over the old, must still give the
        new version's row, never the old one's nor a mix."""
        live = tempfile.mkdtemp(dir=self.root)
        self.assertEqual(run([MAKER, "--live", live, "4"]).returncode, 0)
        db = self.connect()
        self.table(db, "v", live, "LIVE", "BYNO")
        lookup = "SELECT NAME FROM v WHERE NO = ?"
        self.assertIn(":e", str(db.execute("EXPLAIN QUERY PLAN " + lookup, (42,)).fetchall()))
        self.assertEqual(db.execute(lookup, (42,)).fetchall(), [("V0004R000042",)])
        for version, how in ((2004, "--live"), (7, "--live-renamed"), (12, "--live-renamed"), (3, "--live")):
            self.assertEqual(run([MAKER, how, live, str(version)]).returncode, 0)
            self.assertEqual(db.execute(lookup, (42,)).fetchall(), [(f"V{version:04d}R000042",)])

    def test_a_join_of_two_ispecs(self):
        db = self.connect()
        self.table(db, "cust", self.good, "CUST", "BYNO")
        self.table(db, "ord", self.good, "ORD", "BYORD")
        # Joined as the README says to join on a field that is no key: the
        # customers materialized once, which SQLite then indexes itself.
        joined = db.execute("WITH c AS MATERIALIZED (SELECT CUSTNO, NAME FROM cust) "
                            "SELECT o.ORDNO, c.NAME, o.AMOUNT FROM ord o JOIN c ON c.CUSTNO = o.CUSTNO "
                            "ORDER BY o.ORDNO").fetchall()
        orders = export_csv(self.good, "ORD", "BYORD")[1:]
        self.assertEqual(len(joined), len(orders))
        for (ordno, name, amount), (e_ordno, e_custno, e_amount) in zip(joined, orders):
            self.assertEqual((ordno, name, amount), (int(e_ordno), "Firm-%06d" % int(e_custno)
                                                     if int(e_custno) % 100 != 3 else "Caf\u00e9-%06d" % int(e_custno),
                                                     float(e_amount)))

    def test_the_functions(self):
        db = self.connect()
        rows = db.execute("SELECT entry_number, record_number, purged, fields FROM ondrel(?, 'CUST', 'BYCITY') "
                          "LIMIT 3 OFFSET 40000", (self.good,)).fetchall()
        self.table(db, "c", self.good, "CUST", "BYCITY")
        named = db.execute('SELECT entry_number, record_number, purged, CUSTNO, NAME, CITY, BALANCE, "[REGION]", '
                           "STATUS FROM c LIMIT 3 OFFSET 40000").fetchall()
        for row, expected in zip(rows, named):
            fields = json.loads(row[3])
            self.assertEqual(list(fields), ["CUSTNO", "NAME", "CITY", "BALANCE", "[REGION]", "STATUS"])
            self.assertEqual(tuple(row[:3]) + tuple(fields.values()), expected)
        self.assertEqual(db.execute("SELECT ispec, records, profiles, problem FROM ondrel_ispecs(?)",
                                    (self.good,)).fetchall(), [("CUST", CUSTOMERS, 3, None), ("ORD", 600, 1, None)])
        self.assertEqual(db.execute("SELECT position, profile, ordinates FROM ondrel_profiles(?, 'CUST')",
                                    (self.good,)).fetchall(), [(1, "BYNO", "CUSTNO"), (2, "BYNAME", "NAME; CUSTNO"),
                                                          (3, "BYCITY", "CITY, Desc; CUSTNO")])

    def test_blank_numbers_are_null_and_shown_is_what_the_viewer_lists(self):
        db = self.connect()
        values = os.path.join(self.root, "values")
        self.table(db, "v", values, "VAL", "BYITEM")
        # (numbers are stored right-aligned: text in a number field keeps the blanks in front)
        self.assertEqual(
            db.execute("SELECT ITEM, QTY, typeof(QTY), PRICE, typeof(PRICE), purged, entry_flag, shown FROM v").fetchall(),
            [("bolt", None, "null", None, "null", 0, "Y", 1), ("gone", 7, "integer", 0.1, "real", 1, "Y", 0),
             ("nut", 12, "integer", 1.5, "real", 0, "N", 0), ("washer", -3, "integer", "   abc", "text", 0, "Y", 1)])
        rows = db.execute("SELECT entry_number, fields, shown FROM ondrel(?, 'VAL', 'BYITEM')", (values,)).fetchall()
        self.assertEqual([(n, json.loads(f), s) for n, f, s in rows],
                         [(1, {"ITEM": "bolt", "QTY": None, "PRICE": None}, 1),
                          (2, {"ITEM": "gone", "QTY": 7, "PRICE": 0.1}, 0),
                          (3, {"ITEM": "nut", "QTY": 12, "PRICE": 1.5}, 0),
                          (4, {"ITEM": "washer", "QTY": -3, "PRICE": "   abc"}, 1)])
        # The viewer's count: the export's rows, on a profile holding purged
        # records and on one with entries flagged "N".
        viewer = {"BYNO": [n for n in range(1, CUSTOMERS + 1) if n % 97],
                  "BYCITY": [n for n in range(1, CUSTOMERS + 1) if n % 97 and n % 500]}
        for profile, listed in viewer.items():
            with self.subTest(profile=profile):
                self.table(db, profile.lower(), self.good, "CUST", profile)
                named = db.execute(f"SELECT CUSTNO FROM {profile.lower()} WHERE shown").fetchall()
                counted = db.execute("SELECT count(*) FROM ondrel(?, 'CUST', ?) WHERE shown",
                                     (self.good, profile)).fetchone()[0]
                self.assertEqual(sorted(n for (n,) in named), listed)
                self.assertEqual(counted, len(listed))
                self.assertEqual(len(export_csv(self.good, "CUST", profile)) - 1, len(listed))

    def test_a_view_in_someone_elses_file_cannot_read_a_folder(self):
        path = os.path.join(tempfile.mkdtemp(dir=self.root), "given.db")
        quoted = self.good.replace("'", "''")
        calls = {"ispecs": f"SELECT ispec FROM ondrel_ispecs('{quoted}')",
                 "profiles": f"SELECT profile FROM ondrel_profiles('{quoted}', 'CUST')",
                 "records": f"SELECT entry_number FROM ondrel('{quoted}', 'ORD', 'BYORD')"}
        # The file as it comes: views and a trigger over the functions, and
        # a named table with a view of its own, written by a client that
        # has the extension.
        maker = self.connect()
        maker.execute(f"ATTACH '{path}' AS given")
        for name, call in calls.items():
            maker.execute(f"CREATE VIEW given.{name} AS {call}")
        maker.execute("CREATE TABLE given.log(x)")
        maker.execute(f"CREATE TRIGGER given.spy AFTER INSERT ON log BEGIN "
                      f"INSERT INTO log SELECT ispec FROM ondrel_ispecs('{quoted}'); END")
        maker.execute(f"CREATE VIRTUAL TABLE given.orders USING ondrel('{quoted}', 'ORD', 'BYORD')")
        maker.execute("CREATE VIEW given.big_orders AS SELECT ORDNO FROM orders WHERE AMOUNT > 8000")
        maker.commit()
        maker.close()

        db = sqlite3.connect(path)
        db.enable_load_extension(True)
        db.load_extension(EXTENSION)
        self.addCleanup(db.close)
        for name, call in calls.items():
            with self.subTest(name=name):
                with self.assertRaisesRegex(sqlite3.OperationalError, "unsafe use of"):
                    db.execute(f"SELECT * FROM {name}").fetchall()
                self.assertGreater(len(db.execute(call).fetchall()), 0)  # called directly, it answers
        with self.assertRaisesRegex(sqlite3.OperationalError, "unsafe use of"):
            db.execute("INSERT INTO log VALUES (1)")
        self.assertEqual(db.execute("SELECT count(*) FROM log").fetchone(), (0,))
        # The named table reads what it was made for, directly and through a view.
        self.assertEqual(db.execute("SELECT count(*) FROM orders").fetchone(), (600,))
        self.assertEqual(db.execute("SELECT count(*) FROM big_orders").fetchone(),
                         (len([n for n in range(1, 601) if n * 13 % 9000 + 0.25 > 8000]),))

    def failure(self, db, statement, *params):
        """The result code and message a statement fails with, all its rows fetched."""
        with self.assertRaises(sqlite3.DatabaseError) as raised:
            db.execute(statement, params).fetchall()
        return raised.exception.sqlite_errorcode, str(raised.exception)

    def test_damaged_files_give_the_viewer_message(self):
        db = self.connect()
        nodata = os.path.join(self.root, "nodata")
        self.assertEqual(self.failure(db, f"CREATE VIRTUAL TABLE temp.a USING ondrel('{nodata}', CUST, BYNO)"),
                         (sqlite3.SQLITE_CANTOPEN, INCOMPLETE.format(os.path.join(nodata, "_CUST.DAT"))))
        self.assertEqual(self.failure(db, "CREATE VIRTUAL TABLE temp.b USING ondrel('{}', CUST, BYNO)".format(
            os.path.join(self.root, "nodef"))), (sqlite3.SQLITE_CORRUPT_VTAB, NO_DEFINITION))
        code, message = self.failure(db, "SELECT count(*) FROM ondrel(?, 'CUST', 'BYNO')",
                                     os.path.join(self.root, "badleaf"))
        self.assertEqual(code, sqlite3.SQLITE_CORRUPT_VTAB)
        self.assertTrue(message.startswith((COARSE, FINE)), message)
        # Keys out of order halfway through the profile: the rows before that part
        # are read, the statement fails when it reaches it.
        swapped = os.path.join(self.root, "swapped")
        self.table(db, "s", swapped, "CUST", "BYNO")
        self.assertEqual(db.execute("SELECT CUSTNO FROM s LIMIT 3").fetchall(), [(1,), (2,), (3,)])
        code, message = self.failure(db, "SELECT count(*) FROM s")
        self.assertEqual(code, sqlite3.SQLITE_CORRUPT_VTAB)
        self.assertTrue(message.startswith(FINE), message)
        # An entry in order that points at another record than its key's:
        # the rows would be wrong without a word, so the statement fails.
        mismatch = os.path.join(self.root, "mismatch")
        self.table(db, "m", mismatch, "CUST", "BYNAME")
        code, message = self.failure(db, "SELECT count(NAME) FROM m")
        self.assertEqual(code, sqlite3.SQLITE_CORRUPT_VTAB)
        self.assertTrue(message.startswith(FINE), message)
        self.assertEqual(db.execute("SELECT count(*) FROM m").fetchone(), (5000 - 5000 // 97,))  # keys alone
        # The same three quarters through a scattered profile of 70,000, in a batch read
        # on the scan's own thread while the rows before it go out, whether
        # the keys go with the rows (stored_key asked for) or serve only that
        # comparison: no statement that reads the records gets past it.
        far = os.path.join(self.root, "farmismatch")
        self.table(db, "fm", far, "CUST", "BYCITY")
        for query in ("SELECT count(NAME) FROM fm", "SELECT count(stored_key), count(CITY) FROM fm",
                      f"SELECT sum(length(fields)) FROM ondrel('{far}', 'CUST', 'BYCITY') WHERE entry_number > 100"):
            with self.subTest(query=query):
                code, message = self.failure(db, query)
                self.assertEqual(code, sqlite3.SQLITE_CORRUPT_VTAB)
                self.assertTrue(message.startswith(FINE), message)
        self.assertEqual(db.execute("SELECT count(*) FROM fm").fetchone(), (CUSTOMERS - CUSTOMERS // 97,))
        # The same damage in the first entry of a leaf, where the sample that
        # decides whether keys are checked at all looks: read as it stands,
        # one customer would come twice and the one before it never.
        firstbad = os.path.join(self.root, "firstbad")
        self.table(db, "f", firstbad, "CUST", "BYNO")
        for query in ("SELECT CUSTNO FROM f", f"SELECT fields FROM ondrel('{firstbad}', 'CUST', 'BYNO')"):
            with self.subTest(query=query):
                code, message = self.failure(db, query)
                self.assertEqual(code, sqlite3.SQLITE_CORRUPT_VTAB)
                self.assertTrue(message.startswith(FINE), message)
        self.assertEqual(db.execute("SELECT count(*) FROM f").fetchone(), (1000,))
        out = os.path.join(self.root, "firstbad.db")
        exported = run([EXPORT, "--sqlite", out, firstbad])
        self.assertEqual(exported.returncode, 1, exported.stderr)
        self.assertIn(FINE, exported.stderr.decode())
        written = sqlite3.connect(out)
        self.addCleanup(written.close)
        # The entry is left out: no customer shows twice.
        self.assertEqual(written.execute("SELECT count(*), count(DISTINCT CUSTNO) FROM CUST_BYNO").fetchone(),
                         (999, 999))

    def test_a_statement_stopped_early_returns_no_row_read_after_a_rewrite(self):
        """A LIMIT that the plan keeps for SQLite ends the statement after its
        last row without the table being told.  The set is rewritten in place,
        with a version of the same size, while the statement is under way:
        every row that comes out must be of the version the statement began
        with, and the statement must fail once it reads the new one."""
        live = tempfile.mkdtemp(dir=self.root)
        before, after = 4, 2004
        self.assertEqual(run([MAKER, "--live", live, str(before)]).returncode, 0)
        size = os.path.getsize(os.path.join(live, "_LIVE.DAT"))
        db = self.connect()
        statement = ("SELECT fields->>'NAME' FROM ondrel(?, 'LIVE', 'BYNO') "
                     "WHERE fields->>'NAME' LIKE 'V%' LIMIT 900")
        plan = " ".join(str(r) for r in db.execute("EXPLAIN QUERY PLAN " + statement, (live,)))
        self.assertRegex(plan, r"INDEX 1:DIP\b")  # the table is not told of the LIMIT

        rows = db.execute(statement, (live,))
        names = [rows.fetchone()[0]]
        self.assertEqual(run([MAKER, "--live", live, str(after)]).returncode, 0)
        self.assertEqual(os.path.getsize(os.path.join(live, "_LIVE.DAT")), size)
        with self.assertRaises(sqlite3.DatabaseError) as raised:
            names.extend(name for (name,) in rows)
        self.assertEqual(raised.exception.sqlite_errorcode, sqlite3.SQLITE_ABORT)
        self.assertIn("changed on disk", str(raised.exception))
        self.assertEqual(names, [f"V{before:04d}R{n:06d}" for n in range(1, len(names) + 1)])

    def test_arguments_names_and_a_stored_table_whose_files_are_gone(self):
        db = self.connect()
        # Names beyond ASCII are Windows-1252 in the files: SQL lists them in
        # UTF-8 and takes them back the same way, in both table forms.
        latin = os.path.join(self.root, "latin")
        self.assertEqual(db.execute("SELECT ispec FROM ondrel_ispecs(?)", (latin,)).fetchall(), [("CAF\u00c9",)])
        self.assertEqual(db.execute("SELECT profile FROM ondrel_profiles(?, ?)", (latin, "CAF\u00c9")).fetchall(),
                         [("PR\u00c9",)])
        fields = [json.loads(f) for (f,) in db.execute("SELECT fields FROM ondrel(?, ?, ?)",
                                                         (latin, "CAF\u00c9", "PR\u00c9"))]
        self.assertEqual(fields, [{"CAF\u00c9": "cr\u00e8me", "QTY": 3}, {"CAF\u00c9": "lait", "QTY": 12}])
        db.execute(f"CREATE VIRTUAL TABLE temp.l USING ondrel('{latin}', 'CAF\u00c9', 'PR\u00c9')")
        self.assertEqual(db.execute('SELECT "CAF\u00c9", QTY FROM l').fetchall(), [("cr\u00e8me", 3), ("lait", 12)])
        # Missing, empty or extra arguments fail; none reads another folder.
        for statement in ("CREATE VIRTUAL TABLE temp.x USING ondrel",
                          "CREATE VIRTUAL TABLE temp.x USING ondrel('', CUST, BYNO)",
                          f"CREATE VIRTUAL TABLE temp.x USING ondrel('{self.good}', CUST, '')",
                          "SELECT * FROM ondrel(NULL, 'CUST', 'BYNO')", "SELECT * FROM ondrel('', 'CUST', 'BYNO')",
                          f"SELECT * FROM ondrel('{self.good}', NULL, 'BYNO')",
                          f"SELECT * FROM ondrel('{self.good}', 'CUST', 'BYNO', X'303030303431')",
                          "SELECT * FROM ondrel_ispecs('')", f"SELECT * FROM ondrel_profiles('{self.good}', NULL)"):
            with self.subTest(statement=statement):
                code, message = self.failure(db, statement)
                self.assertEqual(code, sqlite3.SQLITE_ERROR)
                self.assertRegex(message, "three arguments|too many arguments|needs a database directory")
        self.assertEqual(self.failure(db, "SELECT * FROM ondrel(?, 'CUST', 'NOSUCH')", self.good),
                         (sqlite3.SQLITE_ERROR, "The ISPEC CUST has no profile NOSUCH."))
        # A stored table whose data file is gone can still be dropped; the
        # message names the file as the directory holds it, in UTF-8.
        folder = tempfile.mkdtemp(prefix="ondrel-gone-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        gone = shutil.copytree(latin, os.path.join(folder, "latin"))
        stored = os.path.join(folder, "stored.db")
        with contextlib.closing(sqlite3.connect(stored)) as first:
            first.enable_load_extension(True)
            first.load_extension(EXTENSION)
            first.execute(f"CREATE VIRTUAL TABLE kept USING ondrel('{gone}', 'CAF\u00c9', 'PR\u00c9')")
            first.commit()
        os.remove(os.path.join(os.fsencode(gone), b"_CAF\xc9.DAT"))
        with contextlib.closing(sqlite3.connect(stored)) as again:
            again.enable_load_extension(True)
            again.load_extension(EXTENSION)
            self.assertEqual(self.failure(again, "SELECT * FROM kept"),
                             (sqlite3.SQLITE_CANTOPEN, INCOMPLETE.format(os.path.join(gone, "_CAF\u00c9.DAT"))))
            again.execute("DROP TABLE kept")
            again.commit()
            self.assertEqual(again.execute("SELECT count(*) FROM sqlite_schema").fetchone(), (0,))


    # The sanitizers' runtime opens a pipe for its own checks, which fail
    # when no descriptor is left: a sanitized run cannot judge this.
    @unittest.skipIf("libubsan" in os.environ.get("LD_PRELOAD", ""), "the sanitizers need descriptors of their own")
    def test_out_of_file_descriptors_the_files_are_refused_not_damaged(self):
        db = self.connect()
        self.table(db, "c", self.good, "CUST", "BYNO")
        self.table(db, "d", self.good, "CUST", "BYNO")
        self.assertEqual(db.execute("SELECT count(CUSTNO) FROM c").fetchone(), (CUSTOMERS,))
        limits = resource.getrlimit(resource.RLIMIT_NOFILE)
        held = []
        resource.setrlimit(resource.RLIMIT_NOFILE, (64, limits[1]))
        try:
            with contextlib.suppress(OSError):
                while True:
                    held.append(os.open(self.good, os.O_RDONLY))
            # A table whose files the last statement held open goes on with
            # them; one that must open its files is refused.
            kept = db.execute("SELECT count(CUSTNO) FROM c").fetchone()
            refused = [self.failure(db, "SELECT count(CUSTNO) FROM d"),
                       self.failure(db, "SELECT count(*) FROM ondrel(?, 'ORD', 'BYORD')", self.good)]
        finally:
            for fd in held:
                os.close(fd)
            resource.setrlimit(resource.RLIMIT_NOFILE, limits)
        self.assertEqual(kept, (CUSTOMERS,))
        for code, message in refused:
            self.assertEqual(code, sqlite3.SQLITE_CANTOPEN)
            self.assertRegex(message, "^The file .* could not be opened: Too many open files")
        self.assertEqual(db.execute("SELECT count(CUSTNO) FROM d").fetchone(), (CUSTOMERS,))


class ShellTest(Fixture):
    def shell(self, *commands, database=":memory:"):
        return run(["sqlite3", "-bail", "-batch", database, ".load " + EXTENSION] + list(commands))

    def test_the_shell_loads_the_extension_and_pages(self):
        result = self.shell(".mode csv",
                            f"CREATE VIRTUAL TABLE temp.c USING ondrel('{self.good}', CUST, BYNO)",
                            "SELECT entry_number, CUSTNO, CITY FROM c LIMIT 3 OFFSET 31999")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode().split(),
                         ["32000,32000,%s" % CITIES[32000 % 7], "32001,32001,%s" % CITIES[32001 % 7],
                          "32002,32002,%s" % CITIES[32002 % 7]])

    def test_the_shell_shows_the_viewer_message(self):
        nodata = os.path.join(self.root, "nodata")
        result = self.shell(f"SELECT * FROM ondrel('{nodata}', 'CUST', 'BYNO')")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(INCOMPLETE.format(os.path.join(nodata, "_CUST.DAT")), result.stderr.decode())

    def test_the_exported_file(self):
        out = os.path.join(self.root, "export.db")
        result = run([EXPORT, "--sqlite", out, self.good])
        self.assertEqual(result.returncode, 0, result.stderr)
        counts = run(["sqlite3", "-batch", "-csv", out,
                      "SELECT count(*) FROM CUST", "SELECT count(*) FROM ORD",
                      "SELECT count(*) FROM CUST_BYCITY_entries", "SELECT count(*) FROM CUST_BYCITY"])
        active = str(CUSTOMERS - CUSTOMERS // 97)  # BYCITY holds the active records
        self.assertEqual(counts.stdout.decode().split(), [str(CUSTOMERS), "600", active, active])
        for profile in ("BYNO", "BYCITY"):
            described = run([EXPORT, "--describe", self.good, "CUST", profile]).stdout.decode()
            entries = [line.split(": ")[1] for line in described.splitlines() if line.startswith("Entries:")]
            shown = run(["sqlite3", "-batch", "-csv", "-header", out,
                         f"SELECT v.CUSTNO, v.NAME, v.CITY, v.BALANCE, v.STATUS FROM CUST_{profile} v "
                         f"JOIN CUST_{profile}_entries e USING (entry_number) "
                         "WHERE v.purged = 0 AND e.entry_flag = 'Y' ORDER BY entry_number"])
            rows = list(csv.reader(io.StringIO(shown.stdout.decode("utf-8"))))
            exported = export_csv(self.good, "CUST", profile)
            self.assertEqual(rows[0], exported[0])
            self.assertEqual(len(rows), len(exported))
            for row, line in zip(rows[1:], exported[1:]):
                self.assertTrue(all(same_value(_number_or_text(v), t) for v, t in zip(row, line)), (row, line))
            count = run(["sqlite3", "-batch", out, f"SELECT count(*) FROM CUST_{profile}_entries"])
            self.assertEqual(count.stdout.decode().strip(), entries[0])
        # An existing file is kept unless --force is given.
        before = os.stat(out)
        refused = run([EXPORT, "--sqlite", out, self.good])
        self.assertEqual(refused.returncode, 1)
        self.assertIn("--force", refused.stderr.decode())
        self.assertEqual(os.stat(out).st_mtime_ns, before.st_mtime_ns)

    def test_only_a_regular_file_is_replaced(self):
        folder = tempfile.mkdtemp(prefix="ondrel-force-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        target, fifo, link = (os.path.join(folder, name) for name in ("kept.db", "fifo", "link"))
        with open(target, "w") as f:
            f.write("kept")
        os.mkfifo(fifo)
        os.symlink(target, link)
        targets = [(fifo, "a pipe"), (link, "a symbolic link"), (folder, "a directory")]
        # A character device of our own, inside the test's folder (only root
        # may make one): the test never points a write at a system path.
        device = os.path.join(folder, "null")
        if os.geteuid() == 0:
            os.mknod(device, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            targets.append((device, "a device"))
        for out, kind in targets:
            result = run([EXPORT, "--sqlite", out, "--force", os.path.join(self.root, "odd")])
            self.assertEqual(result.returncode, 1, out)
            self.assertIn(kind, result.stderr.decode())
        self.assertTrue(stat.S_ISFIFO(os.lstat(fifo).st_mode))
        self.assertEqual(os.readlink(link), target)
        kept = ["fifo", "kept.db", "link"]
        if os.geteuid() == 0:
            self.assertTrue(stat.S_ISCHR(os.lstat(device).st_mode))
            kept.append("null")
        with open(target) as f:
            self.assertEqual(f.read(), "kept")
        self.assertEqual(sorted(os.listdir(folder)), kept)  # no file left behind
        # A regular file is replaced when asked.
        self.assertEqual(run([EXPORT, "--sqlite", target, "--force", os.path.join(self.root, "odd")]).returncode, 0)
        with contextlib.closing(sqlite3.connect(target)) as db:
            self.assertEqual(db.execute('SELECT count(*) FROM "_sqlite_odd"').fetchone(), (2,))
        # A directory with no ISPEC writes nothing.
        empty = os.path.join(folder, "empty")
        os.mkdir(empty)
        out = os.path.join(folder, "empty.db")
        result = run([EXPORT, "--sqlite", out, empty])
        self.assertEqual(result.returncode, 1)
        self.assertIn("no ISPEC", result.stderr.decode())
        self.assertFalse(os.path.lexists(out))

    def test_an_unreadable_ispec_is_left_out(self):
        out = os.path.join(self.root, "partial.db")
        result = run([EXPORT, "--sqlite", out, os.path.join(self.root, "nodata")])
        self.assertEqual(result.returncode, 1)
        self.assertIn("_CUST.DAT", result.stderr.decode())
        tables = run(["sqlite3", "-batch", out, "SELECT name FROM sqlite_schema ORDER BY name"])
        self.assertEqual(tables.stdout.decode().split(), ["ORD", "ORD_BYORD", "ORD_BYORD_entries"])
        self.assertEqual([f for f in os.listdir(self.root) if "partial-" in f], [])

    def test_names_sql_cannot_take_as_they_are(self):
        odd = os.path.join(self.root, "odd")
        out = os.path.join(self.root, "odd.db")
        result = run([EXPORT, "--sqlite", out, odd])
        self.assertEqual(result.returncode, 0, result.stderr)
        db = sqlite3.connect(out)
        self.addCleanup(db.close)
        names = [r[0] for r in db.execute("SELECT name FROM sqlite_schema ORDER BY name")]
        self.assertEqual(names, ["_sqlite_odd", "_sqlite_odd_P-1", "_sqlite_odd_P-1_2", "_sqlite_odd_P-1_2_entries",
                                 "_sqlite_odd_P-1_entries"])
        columns = [r[1] for r in db.execute('PRAGMA table_info("_sqlite_odd")')]
        self.assertEqual(columns, ["record_number", "purged", "record_number_2", "Name", "NAME_2", 'a"b'])
        self.assertEqual(db.execute('SELECT * FROM "_sqlite_odd_P-1_2"').fetchall(),
                         [(1, 1, 0, 1, "ab", "AB", "q1"), (2, 2, 0, 2, "cd", "CD", "q2")])
        # The extension names the same fields the same way (the ones whose
        # names begin with a lower-case letter are hidden, as in the viewer).
        ext = self.connect()
        self.table(ext, "o", odd, "sqlite_odd", "P-1")
        self.assertEqual([d[0] for d in ext.execute("SELECT * FROM o").description], ["Name", "NAME_2"])
        self.assertEqual(ext.execute('SELECT record_number_2, "a""b", record_number FROM o').fetchall(),
                         [(1, "q1", 1), (2, "q2", 2)])
        # --sqlite takes the directory alone; --force only goes with it.
        self.assertEqual(run([EXPORT, "--sqlite", out, odd, "sqlite_odd"]).returncode, 2)
        self.assertEqual(run([EXPORT, "--force", odd, "sqlite_odd", "P-1"]).returncode, 2)


CITIES = ["Leeds", "York", "Hull", "Bristol", "Exeter", "Dundee", "Norwich"]


def _number_or_text(text):
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


if __name__ == "__main__":
    unittest.main(verbosity=2)
