"""The Windows build under Wine, judged against the Linux build on the same
files: ondrel-export.exe against ondrel-export in every mode, over the
writer's databases and the damage corpus (standard output and exit status
byte for byte, standard error equal once the folder's two spellings are
mapped); ondrel.dll in sqlite3.exe against libondrel.so in the sqlite3 shell,
statement by statement; a database whose files another process holds open
for writing; folders named in Greek and Japanese.

Run by CTest with the paths of the pieces in the environment:
ONDREL_WINDOWS_DIR (ondrel-export.exe, ondrel.dll, sqlite3.exe,
ondrel-hold-open.exe), ONDREL_EXPORT and ONDREL_EXTENSION (the Linux
tool and extension), ONDREL_TESTDB, ONDREL_CORPUS and ONDREL_MAKE_DEMO (the
programs that write the databases), WINEPREFIX.
"""
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

WINDOWS = os.environ["ONDREL_WINDOWS_DIR"]
EXPORT = os.environ["ONDREL_EXPORT"]
EXTENSION = os.path.splitext(os.environ["ONDREL_EXTENSION"])[0]
# Wine reads the command line in the locale's encoding: UTF-8, so that a
# Greek or Japanese name reaches the program whole.
WINE_ENV = dict(os.environ, WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8")


def windows_path(path):
    """A Linux path as a Windows program under Wine names it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def shell_load(path):
    """The shell's .load of a Windows path: its unquoted arguments lose
    backslashes, and Windows takes the other separator as well."""
    return ".load " + windows_path(path).replace("\\", "/")


# A Windows run that ends with status 1 having written nothing at all is not
# a run of the tool that can be judged.  The tool writes a line to standard
# error before every status 1 it ends with (Output.cpp, SystemWindows.cpp),
# so it could end so only if its standard error could not be written; and a
# usage error ends with 2 on every path.  Under Wine such runs were seen in
# three of this test's runs of many hundred Windows programs each, the last
# one a usage error (--seek 1 --window 2 odd sqlite_odd P-1) whose run again
# gave status 2 and the usage text, as on Linux.  Such a run is made again, at most twice, and each time
# is reported at the end; one that stays silent is judged as it is, with
# what Wine itself says of it when run once more with its messages shown.
SILENT_RERUNS = []
SILENT_FAILURES = {}


def silent_failure(result):
    return result.returncode == 1 and not result.stdout and not result.stderr


def run(args, cwd, wine=False, stdin=None):
    if wine:
        args = ["wine", os.path.join(WINDOWS, args[0])] + args[1:]
    result = subprocess.run(args, cwd=cwd, capture_output=True, timeout=300, env=WINE_ENV if wine else None,
                            input=stdin)
    for attempt in (2, 3):
        if not wine or not silent_failure(result):
            break
        result = subprocess.run(args, cwd=cwd, capture_output=True, timeout=300, env=WINE_ENV, input=stdin)
        SILENT_RERUNS.append("%s: status 1 and nothing written; run %d gave status %d" % (
            " ".join(args[1:]), attempt, result.returncode))
    if wine and result.returncode != 0 and not result.stdout and not result.stderr:
        # Only for the report: the run judged is the one above.
        again = subprocess.run(args, cwd=cwd, capture_output=True, timeout=300, input=stdin,
                               env=dict(WINE_ENV, WINEDEBUG="err+all,warn+process,warn+module"))
        SILENT_FAILURES[tuple(args[2:])] = "status %d again, Wine said:\n%s" % (
            again.returncode, again.stderr[-3000:].decode(errors="replace"))
    return result.returncode, result.stdout, result.stderr


class WindowsBuildTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="ondrel-windows-")
        cls.root = cls.scratch.name
        for maker, folder in ((os.environ["ONDREL_TESTDB"], "sql"), (os.environ["ONDREL_CORPUS"], "corpus"),
                              (os.environ["ONDREL_MAKE_DEMO"], "demo")):
            subprocess.run([maker, os.path.join(cls.root, folder)], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()
        for line in SILENT_RERUNS:
            print("Made again, Wine ended it silently:", line, file=sys.stderr)

    def compare(self, args, cwd, path_map=None):
        """Runs both tools; `path_map` is the (Linux, Windows) spellings of an
        argument that differs, the Windows one given to the Windows tool and
        mapped back in its standard error.  Gives both results."""
        windows_args = list(args)
        if path_map:
            windows_args = [path_map[1] if a == path_map[0] else a for a in args]
        native = run([EXPORT] + args, cwd)
        wine = run(["ondrel-export.exe"] + windows_args, cwd, wine=True)
        if path_map:
            wine = (wine[0], wine[1], wine[2].replace(path_map[1].encode(), path_map[0].encode()))
        return native, wine

    def check_same(self, args, native, wine):
        """Status, output and messages at once, so that a difference in one
        is shown with the other two."""
        def shown(result):
            return "status %d\n--- output (%d bytes):\n%s\n--- messages:\n%s" % (
                result[0], len(result[1]), result[1][:600].decode(errors="replace"), result[2].decode(errors="replace"))
        if wine != native:
            silent = SILENT_FAILURES.get(tuple(args))
            self.fail("%s\n=== Windows: %s\n=== Linux: %s%s" % (
                " ".join(args), shown(wine), shown(native),
                "\n=== The same Windows run again, Wine's messages shown: " + silent if silent else ""))

    def same(self, args, cwd, path_map=None):
        native, wine = self.compare(args, cwd, path_map)
        self.check_same(args, native, wine)
        return native

    def all_same(self, cases, cwd):
        """Compares many runs, a few at a time: a Wine run mostly waits."""
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            results = list(pool.map(lambda args: self.compare(args, cwd), cases))
        for args, (native, wine) in zip(cases, results):
            with self.subTest(args=" ".join(args)):
                self.check_same(args, native, wine)
        return len(cases)

    def lines(self, args, cwd):
        status, out, _ = run([EXPORT] + args, cwd)
        return out.decode("utf-8").split("\n")[:-1] if status == 0 else []

    def every_mode(self, folder, cwd, thorough=True, ispecs=None, profiles=None):
        """Lists, then every mode on every profile of every ISPEC (or on those
        named); gives the number of runs compared."""
        cases = [["--check", "--format", "json", "--max-problems", "0", folder]]
        for ispec in ispecs or self.lines([folder], cwd):
            cases += [[folder, ispec], ["--check", folder, ispec]]
            for profile in profiles or self.lines([folder, ispec], cwd):
                base = [folder, ispec, profile]
                modes = [[], ["--window", "3"], ["--describe"], ["--check", "--strict"]]
                if thorough:
                    modes += [["--format", "csv", "--entry-numbers"], ["--format", "json", "--from", "7", "--count", "40"],
                              ["--find", "a", "--entry-numbers"], ["--find", "A", "--match-case", "--count", "5"],
                              ["--seek", "1", "--window", "2"], ["--describe", "--check"]]
                cases += [mode + base for mode in modes]
        return self.all_same(cases, cwd)

    def test_every_mode_over_the_writers_databases(self):
        sql = os.path.join(self.root, "sql")
        self.same(["--help"], sql)
        self.same(["--version"], sql)
        self.same(["--no-such-option"], sql)
        self.same(["good", "NOSUCH", "X"], sql)
        # Not "latin": its file names hold a Windows-1252 byte, which is no
        # UTF-8, so Wine shows them to a Windows program as U+FFFD and the
        # file cannot be named back; a Windows disk holds no such name.
        folders = sorted(set(os.listdir(sql)) - {"latin"})
        runs = sum(self.every_mode(folder, sql, thorough=folder in ("good", "values", "odd")) for folder in folders)
        runs += self.every_mode("demo", self.root)
        self.assertGreater(runs, 150)

    def test_every_mode_over_the_damage_corpus(self):
        corpus = os.path.join(self.root, "corpus")
        folders = sorted(os.listdir(corpus))
        self.assertGreater(len(folders), 20)
        # Named, not listed: a set without its definition lists no ISPEC.
        # The damage lies in ORDNO, the profile every kind of it was aimed at.
        runs = sum(self.every_mode(folder, corpus, thorough=False, ispecs=["ORD"], profiles=["ORDNO"])
                   for folder in folders)
        self.assertGreater(runs, 100)

    def test_the_sqlite_file_written_is_the_same(self):
        sql = os.path.join(self.root, "sql")
        for folder in ("good", "values", "odd", "nodata"):
            with self.subTest(folder=folder):
                linux = os.path.join(self.root, folder + "-linux.db")
                windows = os.path.join(self.root, folder + "-windows.db")
                native = run([EXPORT, "--sqlite", linux, folder], sql)
                wine = run(["ondrel-export.exe", "--sqlite", windows_path(windows), folder], sql, wine=True)
                self.assertEqual(wine[0], native[0], wine[2])
                self.assertEqual(wine[1], native[1])
                self.assertEqual(wine[2].replace(windows_path(windows).encode(), linux.encode()), native[2])
                dump = [subprocess.run(["sqlite3", path, ".dump"], capture_output=True, check=True).stdout
                        for path in (linux, windows)]
                self.assertIn(b"CREATE TABLE", dump[0])
                self.assertEqual(dump[1], dump[0])
                # Written once, and never over a file without --force.
                again = run(["ondrel-export.exe", "--sqlite", windows_path(windows), folder], sql, wine=True)
                self.assertEqual(again[0], 1)
                self.assertIn(b"exists already; give --force", again[2])

    def test_absolute_windows_paths_and_names_in_greek_and_japanese(self):
        for name in ("Δοκιμή", "テスト"):
            with self.subTest(name=name):
                folder = os.path.join(self.root, name)
                shutil.copytree(os.path.join(self.root, "sql", "values"), folder)
                # As the user typed it, relative and absolute.
                self.every_mode(name, self.root)
                absolute = os.path.join(self.root, name)
                mapping = (absolute, windows_path(absolute))
                ispec = self.lines([absolute], self.root)[0]
                profile = self.lines([absolute, ispec], self.root)[0]
                self.same([absolute], self.root, mapping)
                self.same(["--format", "csv", absolute, ispec, profile], self.root, mapping)
                self.same(["--check", absolute], self.root, mapping)
                # Arguments reach the tool as typed: a pattern is not
                # expanded to the names it matches, quotes and blanks stay.
                for text in ("*", "?", 'a "b"  c\\', name):
                    self.same(["--find", text, "--match-case", name, ispec, profile], self.root)
                # A message naming a file of the folder names it as typed.
                os.remove(os.path.join(folder, "_" + ispec + ".DAT"))
                native = self.same([absolute, ispec, profile], self.root, mapping)
                self.assertEqual(native[0], 1)
                self.assertIn(absolute.encode(), native[2])

    def test_an_output_closed_early_ends_the_tool_with_a_message(self):
        """A reader that goes away (`| more` ended early): the Linux tool is
        ended by the signal; the Windows tool, which has none, ends with
        status 1 and says why, never silently."""
        def read_a_line_and_close(args):
            process = subprocess.Popen(args, cwd=os.path.join(self.root, "sql"), stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, env=WINE_ENV)
            first = process.stdout.readline()
            process.stdout.close()
            with process.stderr:
                err = process.stderr.read()
            return first, process.wait(timeout=300), err
        args = ["--format", "csv", "good", "CUST", "BYNO"]
        first, status, err = read_a_line_and_close([EXPORT] + args)
        self.assertEqual((status, err), (-13, b""))
        wine = read_a_line_and_close(["wine", os.path.join(WINDOWS, "ondrel-export.exe")] + args)
        self.assertEqual(wine, (first, 1, b"Ondrel viewer: the output was closed before all of it was written.\n"))

    def test_names_in_the_owning_applications_code_page(self):
        """"latin" holds its names as the Windows-1252 bytes the Linux tool
        reads from the disk; a Windows disk holds the same names in UTF-16,
        which Wine makes of UTF-8 names.  Named by the user in Unicode, the
        ISPEC and profile are found by the Windows tool, and it lists and
        exports the same bytes as the Linux tool given the disk's bytes."""
        latin = os.fsencode(os.path.join("sql", "latin"))
        folder = "latin-windows"
        os.mkdir(os.path.join(self.root, folder))
        for name in os.listdir(os.path.join(os.fsencode(self.root), latin)):
            shutil.copyfile(os.path.join(os.fsencode(self.root), latin, name),
                            os.path.join(self.root, folder, name.decode("cp1252")))
        ispecs = run([EXPORT, latin], self.root)
        self.assertEqual(ispecs[0], 0, ispecs[2])
        self.assertIn(b"\xc9", ispecs[1])
        self.assertEqual(run(["ondrel-export.exe", folder], self.root, wine=True), ispecs)
        runs = 0
        for ispec in ispecs[1].split(b"\n")[:-1]:
            profiles = run([EXPORT, latin, ispec], self.root)
            self.assertEqual(profiles[0], 0, profiles[2])
            self.assertEqual(run(["ondrel-export.exe", folder, ispec.decode("cp1252")], self.root, wine=True), profiles)
            # Profiles are listed as UTF-8 but taken as the bytes of the
            # profile file by the Linux tool.
            for profile in profiles[1].decode().split("\n")[:-1]:
                for mode in ([], ["--format", "csv"], ["--describe"]):
                    with self.subTest(ispec=ispec, profile=profile, mode=mode):
                        native = run([EXPORT] + mode + [latin, ispec, profile.encode("cp1252")], self.root)
                        wine = run(["ondrel-export.exe"] + mode + [folder, ispec.decode("cp1252"), profile],
                                   self.root, wine=True)
                        self.assertEqual(native[0], 0, native[2])
                        self.assertGreater(native[1].count(b"\n"), 1)
                        self.assertEqual(wine, native)
                        runs += 1
        self.assertGreater(runs, 0)

    def test_files_held_open_for_writing_are_read(self):
        cwd = os.path.join(self.root, "sql")
        files = [os.path.join(cwd, "good", name) for name in ("_CUST.DFN", "_CUST_P.DFN", "_CUST.DAT", "_CUST.IDX")]
        args = ["--format", "csv", "good", "CUST", "BYCITY"]
        expected = run([EXPORT] + args, cwd)
        self.assertEqual(expected[0], 0)
        for mode, readable in (("--share", True), ("--exclusive", False)):
            with self.subTest(mode=mode):
                holder = subprocess.Popen(["wine", os.path.join(WINDOWS, "ondrel-hold-open.exe"), mode]
                                          + [windows_path(f) for f in files], stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, env=WINE_ENV)
                try:
                    # The helper writes in text mode, as Windows programs do.
                    self.assertEqual(holder.stdout.readline(), b"held\r\n")
                    got = run(["ondrel-export.exe"] + args, cwd, wine=True)
                    count = "SELECT count(*) FROM ondrel('good', 'CUST', 'BYCITY') WHERE shown"
                    sql = run(["sqlite3.exe", "-bail", "-batch", ":memory:", shell_load(os.path.join(WINDOWS, "ondrel")),
                               count], cwd, wine=True)
                finally:
                    holder.stdin.close()
                    holder.wait(timeout=60)
                self.assertEqual(holder.returncode, 0)
                if readable:
                    self.assertEqual(got, expected)
                    self.assertEqual(sql[0], 0, sql[2])
                    # The CSV export has a header line, then a line per row shown.
                    self.assertEqual(int(sql[1]), expected[1].count(b"\n") - 1)
                else:
                    # The control: a holder that shares nothing does keep
                    # the files from us, so the case above proves the share.
                    self.assertEqual(got[0], 1)
                    self.assertEqual(got[1], b"")
                    self.assertNotEqual(got[2], b"")
                    self.assertNotEqual(sql[0], 0)

    def shell(self, statements, cwd, wine):
        """The statements in SQLite's shell with the extension loaded.  The
        shell ends its lines as its system does (CSV rows with CRLF
        everywhere): line ends are the shell's, not the extension's, and are
        compared as LF."""
        if wine:
            load = shell_load(os.path.join(WINDOWS, "ondrel"))
            status, out, err = run(["sqlite3.exe", "-bail", "-batch", ":memory:", load] + statements, cwd, wine=True)
        else:
            status, out, err = run(["sqlite3", "-bail", "-batch", ":memory:", ".load " + EXTENSION] + statements, cwd)
        return status, out.replace(b"\r\n", b"\n"), err.replace(b"\r\n", b"\n")

    def test_the_extension_opens_names_beyond_ascii_typed_in_sql(self):
        """ondrel.dll in sqlite3.exe, the SQL typed on the command line: a
        folder named in Greek and Japanese, relative and absolute, holding an
        ISPEC, profile and field named with a Windows-1252 letter (the files
        named as a Windows disk holds them, in Unicode).  Rows and messages
        as the Linux extension gives them from the disk's bytes."""
        latin = os.path.join(self.root, "sql", "latin")
        name = "Καφές-カフェ"
        folder = os.path.join(self.root, name)
        os.mkdir(folder)
        for file in os.listdir(os.fsencode(latin)):
            shutil.copyfile(os.path.join(os.fsencode(latin), file), os.path.join(folder, file.decode("cp1252")))

        def statements(directory):
            return [".mode csv", "SELECT * FROM ondrel_ispecs('%s')" % directory,
                    "SELECT * FROM ondrel_profiles('%s', 'CAFÉ')" % directory,
                    "SELECT entry_number, fields, stored_key FROM ondrel('%s', 'CAFÉ', 'PRÉ')" % directory]
        native = self.shell(statements(latin), self.root, wine=False)
        self.assertEqual(native[0], 0, native[2])
        self.assertIn('"CAFÉ",2,1,\n1,"PRÉ","CAFÉ","CAFÉ","",\n1,"{""CAFÉ"":""crème"",""QTY"":3}"'.encode(), native[1])
        for typed in (name, windows_path(folder)):
            with self.subTest(folder=typed):
                self.assertEqual(self.shell(statements(typed), self.root, wine=True), native)
        # A folder that is not there is named in the message as typed.
        missing = [statement.replace(latin, latin + "-Δ") for statement in statements(latin)[:2]]
        native = self.shell(missing, self.root, wine=False)
        self.assertIn(("The directory %s-Δ cannot be read." % latin).encode(), native[2])
        typed = windows_path(folder) + "-Δ"
        wine = self.shell([statement.replace(latin + "-Δ", typed) for statement in missing], self.root, wine=True)
        self.assertEqual((wine[0], wine[1], wine[2].replace(typed.encode(), (latin + "-Δ").encode())), native)

    def test_the_extension_in_the_windows_shell(self):
        cwd = os.path.join(self.root, "sql")
        table = "CREATE VIRTUAL TABLE temp.{0} USING ondrel('{1}', {2}, {3})"
        cases = [
            [".mode csv", "SELECT * FROM ondrel_ispecs('good')",
             "SELECT * FROM ondrel_profiles('good', 'CUST')"],
            [".mode csv", table.format("c", "good", "CUST", "BYCITY"),
             "SELECT entry_number, record_number, purged, shown, stored_key, * FROM c"],
            [".mode csv", table.format("c", "good", "CUST", "BYNO"),
             "SELECT count(*), sum(shown), sum(purged) FROM c",
             "SELECT * FROM c WHERE entry_number BETWEEN 31990 AND 32010",
             "SELECT * FROM c LIMIT 21 OFFSET 64000",
             "SELECT fields, stored_key FROM ondrel('good', 'CUST', 'BYNO') LIMIT 5 OFFSET 33"],
            [".mode csv", table.format("c", "good", "CUST", "BYNO"), table.format("o", "good", "ORD", "BYORD"),
             "SELECT o.*, c.* FROM o JOIN c ON c.record_number = o.record_number LIMIT 50"],
            [".mode csv", table.format("v", "values", "VAL", "BYITEM"), "SELECT *, typeof(QTY) FROM v"],
            [".mode csv", "SELECT * FROM ondrel_ispecs('odd')", "SELECT * FROM ondrel_profiles('odd', 'sqlite_odd')"],
            ["SELECT count(*) FROM ondrel('nodata', 'CUST', 'BYNO')"],
            ["SELECT count(*) FROM ondrel('nodef', 'CUST', 'BYNO')"],
            ["SELECT count(*) FROM ondrel('badleaf', 'CUST', 'BYNO')"],
            ["SELECT count(*) FROM ondrel('good', 'CUST', 'NOSUCH')"],
            ["CREATE VIEW temp.peek AS SELECT * FROM ondrel_ispecs('good')", "SELECT * FROM peek"],
        ]
        for statements in cases:
            with self.subTest(statements=statements[-1]):
                native = self.shell(statements, cwd, wine=False)
                wine = self.shell(statements, cwd, wine=True)
                self.assertEqual(wine[0], native[0], wine[2])
                self.assertEqual(wine[1], native[1])
                self.assertEqual(wine[2], native[2])
        # The cases are no empty agreement: rows, and the viewer's messages.
        rows = self.shell([table.format("c", "good", "CUST", "BYNO"), "SELECT count(*) FROM c"], cwd, wine=True)
        self.assertEqual(rows[1], b"70000\n")
        missing = self.shell(["SELECT count(*) FROM ondrel('nodata', 'CUST', 'BYNO')"], cwd, wine=True)
        self.assertIn(b"The runtime database is incomplete.", missing[2])


if __name__ == "__main__":
    unittest.main(verbosity=2)
