#!/usr/bin/python3
"""ondrelview.html in headless Chromium, opened from disk, against the native
ondrel-export on the same files: the window after the chooser's Ok, after
scrolling, after the section keypad, after going to a key and after finding
a text; the messages of a damaged set; and no network request at all.

Environment: ONDREL_PAGE (the page), ONDREL_EXPORT (the native tool),
ONDREL_PAGE_FIXTURE (writes the databases), ONDREL_CHROMIUM and
ONDREL_CHROMEDRIVER (optional: Debian's by default)."""
import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

PAGE = pathlib.Path(os.environ["ONDREL_PAGE"]).resolve()
EXPORT = os.environ["ONDREL_EXPORT"]
WAIT = 60


def native_bytes(*args, check=True):
    """The native tool's standard output and error, as bytes."""
    run = subprocess.run([EXPORT, *map(str, args)], capture_output=True, check=False, cwd=PageTest.root)
    if check and run.returncode != 0:
        raise AssertionError(f"ondrel-export {args} ended with {run.returncode}: {run.stderr!r}")
    return run.stdout, run.stderr


def native(*args, check=True):
    """The native tool's standard output (CR LF read as LF) and error."""
    out, err = native_bytes(*args, check=check)
    return out.decode("utf-8").replace("\r\n", "\n"), err.decode("utf-8")


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = pathlib.Path(tempfile.mkdtemp(prefix="ondrel-page-"))
        subprocess.run([os.environ["ONDREL_PAGE_FIXTURE"], str(cls.root)], check=True, capture_output=True)
        options = webdriver.ChromeOptions()
        options.binary_location = os.environ.get("ONDREL_CHROMIUM", "/usr/bin/chromium")
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         f"--user-data-dir={cls.root / 'profile'}", "--window-size=900,700"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
        service = Service(os.environ.get("ONDREL_CHROMEDRIVER", "/usr/bin/chromedriver"))
        cls.driver = webdriver.Chrome(service=service, options=options)
        cls.driver.set_script_timeout(WAIT)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.root, ignore_errors=True)

    # ------------------------------------------------------------ driving the page

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def idle(self):
        """Waits until the worker has finished and the page has drawn."""
        WebDriverWait(self.driver, WAIT).until(lambda d: not self.js("return document.body.hasAttribute('data-busy')"))

    def element(self, id_):
        return self.driver.find_element("id", id_)

    def open_page(self):
        self.driver.get_log("performance")  # what came before the page
        self.driver.get(PAGE.as_uri())
        # The chooser comes up once the worker runs the core.
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('chooser').open"))
        self.idle()

    def choose_folder(self, folder):
        self.element("directory").send_keys(str(folder))
        WebDriverWait(self.driver, WAIT).until(
            lambda d: self.js("return document.getElementById('folder').textContent") == folder.name)
        self.idle()

    def choose(self, ispec, profile):
        Select(self.element("ispec")).select_by_visible_text(ispec)
        self.idle()
        Select(self.element("profile")).select_by_visible_text(profile)
        self.idle()

    def ok(self):
        self.element("ok").click()
        self.idle()

    def window(self):
        return self.js("return document.getElementById('window').textContent")

    def keys(self, *keys):
        self.element("window").click()
        ActionChains(self.driver).send_keys(*keys).perform()
        self.idle()

    def ctrl(self, key):
        self.element("window").click()
        ActionChains(self.driver).key_down(Keys.CONTROL).send_keys(key).key_up(Keys.CONTROL).perform()

    def messages_shown(self):
        """The message box on view: its title and text, or None."""
        return self.js("""const d = document.getElementById('message');
            return d.open ? [document.getElementById('message-title').textContent,
                             document.getElementById('message-text').textContent] : null;""")

    def next_message(self, button="message-ok"):
        """The next message box, answered with OK (or the button named)."""
        WebDriverWait(self.driver, WAIT).until(lambda d: self.messages_shown() is not None)
        shown = self.messages_shown()
        self.element(button).click()
        return shown

    def open_profile(self, folder, ispec, profile):
        self.open_page()
        self.choose_folder(self.root / folder)
        self.choose(ispec, profile)
        self.ok()
        self.assertFalse(self.js("return document.getElementById('chooser').open"), "the chooser stays after Ok")

    def export(self, format_, name):
        """Ctrl+E, the format, Save: the bytes downloaded, once the page has
        shown the export's messages (which are answered and returned)."""
        downloads = self.root / "downloads"
        shutil.rmtree(downloads, ignore_errors=True)
        downloads.mkdir()
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
        self.ctrl("e")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('export').open"))
        self.element(f"export-{format_}").click()
        self.element("export-ok").click()
        messages = []
        saved = downloads / name
        def finished(_):
            if self.messages_shown() is not None:
                messages.append(self.next_message())
            return (saved.exists() and not list(downloads.glob("*.crdownload"))
                    and not self.js("return document.body.hasAttribute('data-busy')")
                    and self.messages_shown() is None)
        WebDriverWait(self.driver, WAIT, poll_frequency=0.2).until(finished)
        return saved.read_bytes(), messages

    def assertNoNetwork(self):
        """Every request of the page and its worker is the page itself or the
        worker's script made from it in memory.  (The browser's own pages,
        such as the new tab it starts with, make requests of their own.)"""
        requests = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                params = message["params"]
                if not params.get("documentURL", "").startswith("chrome:"):
                    requests.append(params["request"]["url"])
        self.assertIn(PAGE.as_uri(), requests)
        others = [url for url in requests if url != PAGE.as_uri() and not url.startswith("blob:")]
        self.assertEqual(others, [])

    # ------------------------------------------------------------ the tests

    def test_demo_windows_as_the_native_tool(self):
        demo = self.root / "demo"
        self.open_profile("demo", "CUSTOMER", "BYNAME")
        self.assertEqual(self.window(), native("--window", "1", demo, "CUSTOMER", "BYNAME")[0])
        self.assertEqual(self.element("records").text, "Record 1 thru 21 of 480")
        self.assertEqual(self.element("sections").text, "1 Section(s)")
        self.assertFalse(self.element("keypad").is_displayed())

        # A page down, two lines down, then the end of the bar.
        self.keys(Keys.PAGE_DOWN, Keys.ARROW_DOWN, Keys.ARROW_DOWN)
        self.assertEqual(self.window(), native("--window", "24", demo, "CUSTOMER", "BYNAME")[0])
        # Past the last entry the caption stays as the window before left it:
        # from the first window, as the native tool has it.
        self.keys(Keys.HOME)
        self.assertEqual(self.window(), native("--window", "1", demo, "CUSTOMER", "BYNAME")[0])
        self.keys(Keys.END)
        self.assertEqual(self.window(), native("--window", "480", demo, "CUSTOMER", "BYNAME")[0])

        # Ctrl+G: the key's boxes, one per ordinate; the window at the key.
        self.ctrl("g")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('goto').open"))
        labels = self.js("return [...document.querySelectorAll('#goto-boxes label')].map(l => l.textContent)")
        self.assertEqual(labels, ["NAME", "CUSTNO"])
        self.driver.find_element("css selector", "#goto-boxes input").send_keys("Mbeki")
        self.element("goto-ok").click()
        self.idle()
        self.assertEqual(self.window(), native("--window", "--seek", "Mbeki", demo, "CUSTOMER", "BYNAME")[0])

        # A key past the last: the desktop's message, the dialog again, the
        # window as it was.
        before = self.window()
        inputs = self.driver.find_elements("css selector", "#goto-boxes input")
        self.ctrl("g")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('goto').open"))
        inputs = self.driver.find_elements("css selector", "#goto-boxes input")
        inputs[0].send_keys("zzzz")
        self.element("goto-ok").click()
        self.assertEqual(self.next_message(), ["Ondrel viewer", 'No key at or after "zzzz".'])
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('goto').open"))
        self.element("goto-cancel").click()
        self.idle()
        self.assertEqual(self.window(), before)

        # Ctrl+F from the first entry: the first match, on the first line,
        # its text marked; F3 the next one.
        self.keys(Keys.HOME)
        found = [int(line.split()[0]) for line in
                 native("--find", "plumbing", "--entry-numbers", demo, "CUSTOMER", "BYNAME")[0].splitlines()[2:]]
        self.ctrl("f")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('find').open"))
        self.element("find-text").send_keys("plumbing")
        self.element("find-ok").click()
        self.idle()
        self.assertEqual(self.window(), native("--window", found[0], demo, "CUSTOMER", "BYNAME")[0])
        self.assertEqual(self.js("return document.querySelector('#window mark').textContent"), "Plumbing")
        self.keys(Keys.F3)
        self.assertEqual(self.window(), native("--window", found[1], demo, "CUSTOMER", "BYNAME")[0])

        # The profile saved as CSV and as JSON Lines: the native tool's bytes.
        for format_, name in (("csv", "CUSTOMER_BYNAME.csv"), ("json", "CUSTOMER_BYNAME.jsonl")):
            saved, messages = self.export(format_, name)
            self.assertEqual(messages, [])
            self.assertEqual(saved, native_bytes("--format", format_, demo, "CUSTOMER", "BYNAME")[0])

        # Exit goes back to the chooser.
        self.element("exit").click()
        self.idle()
        self.assertTrue(self.js("return document.getElementById('chooser').open"))
        self.assertEqual(self.element("ispec").get_attribute("selectedIndex"), "-1")
        self.assertNoNetwork()

    def test_chooser_as_the_desktops(self):
        demo = self.root / "demo"
        self.open_page()
        self.choose_folder(demo)
        self.assertEqual([o.text for o in Select(self.element("ispec")).options], native(demo)[0].split())
        self.assertEqual(self.element("chooser-title").text, "Choose Path and Ispec")
        # Ok asks for what is missing, and the chooser stays.
        self.element("ok").click()
        self.assertEqual(self.next_message(), ["Ondrel viewer", "Please select an ISPEC."])
        Select(self.element("ispec")).select_by_visible_text("CUSTOMER")
        self.idle()
        self.assertEqual(self.element("chooser-title").text, "Choose Profile")
        self.assertEqual(self.element("record-count").text, "480 Records")
        self.assertEqual([o.text for o in Select(self.element("profile")).options],
                         native(demo, "CUSTOMER")[0].split())
        self.element("ok").click()
        self.assertEqual(self.next_message(), ["Ondrel viewer", "Please select a Profile."])
        Select(self.element("profile")).select_by_visible_text("BYNAME")
        self.idle()
        self.assertEqual(self.element("chooser-title").text, "BYNAME Keys and Conditions")
        self.assertTrue(self.js("return document.getElementById('chooser').open"))
        self.ok()
        first = native("--window", "1", demo, "CUSTOMER", "BYNAME")[0]
        self.assertEqual(self.window(), first)
        self.assertEqual(self.driver.title, "Ondrel Runtime File Contents for CUSTOMER via BYNAME")

        # Another ISPEC chosen, then Cancel: the window, the chooser and the
        # moves after are those of the set opened last.
        self.element("choose-file").click()
        self.idle()
        Select(self.element("ispec")).select_by_visible_text("ORDERS")
        self.idle()
        self.assertEqual(self.element("chooser-title").text, "Choose Profile")
        self.element("cancel").click()
        self.idle()
        self.assertEqual(self.window(), first)
        self.keys(Keys.PAGE_DOWN)
        self.assertEqual(self.window(), native("--window", "22", demo, "CUSTOMER", "BYNAME")[0])
        self.element("choose-file").click()
        self.idle()
        self.assertEqual(Select(self.element("ispec")).first_selected_option.text, "CUSTOMER")
        self.assertEqual(Select(self.element("profile")).first_selected_option.text, "BYNAME")
        self.assertEqual(self.element("chooser-title").text, "BYNAME Keys and Conditions")

    def test_long_work_is_cancelled_and_the_screen_stays(self):
        demo, big = self.root / "demo", self.root / "big"
        # Five million records: the walk of BYNAME and the export take
        # seconds in the page, so that Cancel comes while they work.  (With
        # two million the walk ended within a second, and now and then
        # before the dialog, which shows after half a second, could be read.)
        subprocess.run([os.environ["ONDREL_PAGE_FIXTURE"], "--large", "5000000", str(big)], check=True)
        self.open_profile("demo", "CUSTOMER", "BYNAME")
        self.keys(Keys.PAGE_DOWN)
        at22 = native("--window", "22", demo, "CUSTOMER", "BYNAME")[0]
        self.assertEqual(self.window(), at22)

        # Another folder chosen, then Cancel: the screen still reads its own.
        self.element("choose-file").click()
        self.idle()
        self.choose_folder(big)
        self.element("cancel").click()
        self.idle()
        self.keys(Keys.PAGE_DOWN)
        self.assertEqual(self.window(), native("--window", "43", demo, "CUSTOMER", "BYNAME")[0])
        self.keys(Keys.PAGE_UP)

        # Ok on the large profile, cancelled while it walks: the chooser as it
        # was, the screen behind it as it was.
        self.element("choose-file").click()
        self.idle()
        self.choose_folder(big)
        self.choose("LARGE", "BYNAME")
        self.element("ok").click()
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('work').open"))
        self.assertEqual(self.element("work-label").text, "Building reference information, please wait.")
        self.element("work-cancel").click()
        self.idle()
        self.assertTrue(self.js("return document.getElementById('chooser').open"))
        self.assertEqual(self.element("folder").text, "big")
        self.assertEqual(Select(self.element("ispec")).first_selected_option.text, "LARGE")
        self.assertEqual(Select(self.element("profile")).first_selected_option.text, "BYNAME")
        self.assertIsNone(self.messages_shown())
        self.assertEqual(self.window(), at22)
        self.element("cancel").click()
        self.idle()
        self.assertEqual(self.window(), at22)
        self.assertEqual(self.element("records").text, "Record 22 thru 42 of 480")

        # Ok again, let run: the large profile opens.
        self.element("choose-file").click()
        self.idle()
        self.choose_folder(big)
        self.choose("LARGE", "BYNAME")
        self.ok()
        self.assertEqual(self.window(), native("--window", "1", big, "LARGE", "BYNAME")[0])

        # Its export, cancelled while it writes: nothing saved, the screen as
        # it was, and the next command answered.
        downloads = self.root / "downloads"
        shutil.rmtree(downloads, ignore_errors=True)
        downloads.mkdir()
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
        self.keys(Keys.PAGE_DOWN)
        self.ctrl("e")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('export').open"))
        self.element("export-csv").click()
        self.element("export-ok").click()
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('work').open"))
        self.assertTrue(self.element("work-label").text.startswith("Exporting LARGE via BYNAME..."))
        self.element("work-cancel").click()
        self.idle()
        self.assertIsNone(self.messages_shown())
        self.assertEqual(self.window(), native("--window", "22", big, "LARGE", "BYNAME")[0])
        self.keys(Keys.PAGE_DOWN)
        self.assertEqual(self.window(), native("--window", "43", big, "LARGE", "BYNAME")[0])
        self.assertEqual(list(downloads.iterdir()), [])
        shutil.rmtree(big)

    def test_find_goes_on_from_the_other_end_when_told(self):
        demo = self.root / "demo"
        found = [int(line.split()[0]) for line in
                 native("--find", "plumbing", "--entry-numbers", demo, "CUSTOMER", "BYNAME")[0].splitlines()[2:]]
        self.open_profile("demo", "CUSTOMER", "BYNAME")
        self.ctrl("f")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('find').open"))
        self.element("find-text").send_keys("PLUMBING")
        self.element("find-up").click()
        self.element("find-ok").click()
        # Up from the first entry: at once at the beginning; Cancel stays.
        self.assertEqual(self.next_message("message-cancel"), [
            "Ondrel viewer", "The search has reached the beginning of the profile.  Go on from the end?"])
        self.idle()
        self.assertIsNone(self.messages_shown())
        self.assertEqual(self.window(), native("--window", "1", demo, "CUSTOMER", "BYNAME")[0])
        # Shift+F3 again, and OK: the last match, from the end.
        self.element("window").click()
        ActionChains(self.driver).key_down(Keys.SHIFT).send_keys(Keys.F3).key_up(Keys.SHIFT).perform()
        WebDriverWait(self.driver, WAIT).until(lambda d: self.messages_shown() is not None)
        self.assertEqual(self.messages_shown()[1],
                         "The search has reached the beginning of the profile.  Go on from the end?")
        self.element("message-ok").click()
        self.idle()
        self.assertEqual(self.window(), native("--window", found[-1], demo, "CUSTOMER", "BYNAME")[0])
        self.assertEqual(self.js("return document.querySelector('#window mark').textContent"), "Plumbing")
        # F3 from the last match: the end, OK, the first match.
        self.keys(Keys.F3)
        self.assertEqual(self.next_message()[1],
                         "The search has reached the end of the profile.  Go on from the beginning?")
        self.idle()
        self.assertEqual(self.window(), native("--window", found[0], demo, "CUSTOMER", "BYNAME")[0])
        # A text nowhere: asked, then told.
        self.ctrl("f")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('find').open"))
        self.element("find-text").clear()
        self.element("find-text").send_keys("no such text")
        self.element("find-ok").click()
        self.next_message()
        self.assertEqual(self.next_message(), ["Ondrel viewer", "The text was not found."])
        self.idle()
        self.assertEqual(self.window(), native("--window", found[0], demo, "CUSTOMER", "BYNAME")[0])

    def test_thumb_copy_and_print(self):
        demo = self.root / "demo"
        self.open_profile("demo", "CUSTOMER", "BYNAME")
        # While the thumb is dragged Ptr names the entry under it; let go,
        # the window starts there.
        ActionChains(self.driver).click_and_hold(self.element("thumb")).move_by_offset(0, 120).perform()
        WebDriverWait(self.driver, WAIT).until(lambda d: self.element("ptr").is_displayed())
        self.idle()
        entry = int(self.element("ptr").text)
        self.assertGreater(entry, 1)
        self.assertEqual(self.window(), native("--window", "1", demo, "CUSTOMER", "BYNAME")[0])
        ActionChains(self.driver).release().perform()
        self.idle()
        self.assertFalse(self.element("ptr").is_displayed())
        self.assertEqual(self.window(), native("--window", entry, demo, "CUSTOMER", "BYNAME")[0])
        # Copy to Clipboard puts the window's text there.
        self.driver.execute_cdp_cmd("Browser.grantPermissions",
                                    {"permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})
        self.element("copy").click()
        self.idle()
        copied = self.driver.execute_async_script(
            "const done = arguments[0]; navigator.clipboard.readText().then(done, (e) => done('failed: ' + e));")
        self.assertEqual(copied, self.window())

        # Tips: the tip of the control whose zone holds the pointer, three
        # pixels beyond it on the left; none where no zone is.
        contents = self.element("contents")
        size = contents.size
        at = lambda x, y: ActionChains(self.driver).move_to_element_with_offset(
            contents, x - size["width"] // 2, y - size["height"] // 2).perform()
        self.element("tips").click()
        self.assertEqual(self.element("tip").text, "Explanations of controls under the mouse.")
        at(558, 10)
        self.assertEqual(self.element("tip").text, "Take a guess!")
        at(240, 60)
        self.assertFalse(self.element("tip").is_displayed())

        # Print, twice: the second press prints the document the first began
        # (the browser's print dialog stands in for a recorder here): the
        # version line, then the window block of each press, centred in 90
        # columns.
        self.js("window.print = () => { document.body.dataset.printed ="
                " document.getElementById('print-document').textContent; }")
        self.element("print").click()
        self.idle()
        self.assertIsNone(self.js("return document.body.dataset.printed"))
        self.element("print").click()
        self.idle()
        centred = lambda text: " " * max(round(45 - len(text) / 2), 0) + text
        caption, window_text = self.window().split("\n", 1)
        block = ["", "", "", centred("CUSTOMER via BYNAME"), centred(caption.split(": ", 1)[1]), "", "",
                 *window_text.split("\n")]
        self.assertEqual(self.js("return document.body.dataset.printed"),
                         "\n".join(["", "", centred("Version 2001.01.05"), *block, *block]))

    def test_sections_through_the_keypad(self):
        large = self.root / "large"
        self.open_profile("large", "LARGE", "BYNAME")
        self.assertEqual(self.element("sections").text, "3 Section(s)")
        self.assertEqual(self.window(), native("--window", "1", large, "LARGE", "BYNAME")[0])
        # The last section: "3", then "Enter".
        for part in ("3", "12"):
            self.driver.find_element("css selector", f'.part[data-part="{part}"]').click()
            self.idle()
        self.assertEqual(self.element("label1").text, "3")
        self.assertEqual(self.window(), native("--window", "64001", large, "LARGE", "BYNAME")[0])
        # Ctrl+K, then Cancel while the check runs: no report, and the page,
        # in a new worker, shows the same window and goes on.
        self.ctrl("k")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js(
            "return document.getElementById('check-progress').open"))
        self.element("check-cancel").click()
        self.idle()
        self.assertFalse(self.js("return document.getElementById('check-report').open"))
        self.assertIsNone(self.messages_shown())
        self.assertEqual(self.window(), native("--window", "64001", large, "LARGE", "BYNAME")[0])
        # Down the section by a page, then to its end.
        self.keys(Keys.PAGE_DOWN)
        self.assertEqual(self.window(), native("--window", "64022", large, "LARGE", "BYNAME")[0])
        self.keys(Keys.END)
        self.assertEqual(self.window(), native("--window", "70000", large, "LARGE", "BYNAME")[0])
        self.assertNoNetwork()

    def test_damaged_sets_give_the_desktops_messages(self):
        # Without its index the ISPEC cannot be chosen: the desktop ends
        # there, the page goes back to an empty chooser and goes on working.
        self.open_page()
        self.choose_folder(self.root / "no-index")
        Select(self.element("ispec")).select_by_visible_text("ORD")
        stderr = native("no-index", "ORD", "ORDNO", check=False)[1]
        title, text = self.next_message()
        self.assertEqual(f"{title}: {text}\n", stderr)
        self.idle()
        self.assertEqual(self.element("ispec").get_attribute("selectedIndex"), "-1")
        self.assertEqual(self.element("profile").get_attribute("innerHTML"), "")

        # A file removed after the folder was chosen: the browser refuses to
        # read it, which is the message the native tool gives for the
        # missing file.
        gone = self.root / "gone"
        shutil.copytree(self.root / "demo", gone)
        self.choose_folder(gone)
        (gone / "_CUSTOMER.IDX").unlink()
        Select(self.element("ispec")).select_by_visible_text("CUSTOMER")
        title, text = self.next_message()
        self.assertEqual(f"{title}: {text}\n", native("gone", "CUSTOMER", "BYNAME", check=False)[1])
        self.idle()

        # A child pointer of the tree zeroed: the walk's message at Ok, then
        # the window of what could be read, as the native tool has them.
        walk = self.root / "walk"
        self.choose_folder(walk)
        self.choose("ORD", "ORDNO")
        self.element("ok").click()
        stdout, stderr = native("--window", "1", "walk", "ORD", "ORDNO", check=False)
        expected = stderr.splitlines()
        shown = [self.next_message()]
        # The tool adds its own last line, the count of what it could not read.
        while len(shown) < len(expected) - 1:
            shown.append(self.next_message())
        self.idle()
        self.assertEqual([f"{t}: {m}" for t, m in shown], expected[:-1])
        self.assertIsNone(self.messages_shown())
        self.assertEqual(self.window(), stdout)
        # Its export writes what could be read and ends with the tool's
        # messages, the count of what could not be read last.
        saved, messages = self.export("csv", "ORD_ORDNO.csv")
        stdout, stderr = native_bytes("--format", "csv", "walk", "ORD", "ORDNO", check=False)
        self.assertEqual(saved, stdout)
        self.assertEqual([f"{t}: {m}" for t, m in messages], stderr.decode("utf-8").splitlines())

        # Ctrl+K: the deep check's report holds the tool's lines.
        self.ctrl("k")
        WebDriverWait(self.driver, WAIT).until(lambda d: self.js("return document.getElementById('check-report').open"))
        self.assertEqual(self.element("check-title").text, "Check of ORD")
        lines = self.js("return document.getElementById('check-lines').textContent")
        self.assertEqual(lines, native("--check", "walk", "ORD", check=False)[0])
        self.assertIn("problem", self.element("check-verdict").text)
        self.element("check-close").click()
        self.assertNoNetwork()


if __name__ == "__main__":
    unittest.main(verbosity=2)
