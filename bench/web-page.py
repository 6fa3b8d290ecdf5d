#!/usr/bin/python3
"""ondrelview.html in headless Chromium beside the native ondrel-export, in
one run, on LARGE of BYNAME (the writer's benchmark ISPEC; its key order
takes the records from all over the data file):

  open     the chooser's Ok on the page (header, key description, the walk
           and the first window) against ondrel-export --describe
  window   the page's fills at 24 places: PgDn from the first entry, the
           keypad's sections and End (the worker's time per command)
  find     a text found nowhere, from the first entry to the end: entries a
           second
  csv      Ctrl+E as CSV, to the end of the download, against ondrel-export
           --format csv; both must be the same bytes
  memory   the worker's WebAssembly memory once the profile is open
  size     ondrelview.html

    /usr/bin/python3 bench/web-page.py PAGE EXPORT FIXTURE [SCRATCH_DIR]

PAGE and EXPORT: what scripts/build-web.sh and the native build wrote;
FIXTURE: ondrel-page-fixture, which writes the 10M and 1M databases into
SCRATCH_DIR (default /tmp/ondrel-page-bench) when they are not there."""
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

page, export, fixture = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
scratch = pathlib.Path(sys.argv[4] if len(sys.argv) > 4 else "/tmp/ondrel-page-bench")
for name, records in (("10M", 10_000_000), ("1M", 1_000_000)):
    if not (scratch / name / "_LARGE.IDX").exists():
        subprocess.run([fixture, "--large", str(records), scratch / name], check=True)
        # Every file read once, so that both sides meet a warm cache.
    for f in (scratch / name).iterdir():
        f.read_bytes()


def native_seconds(*args, out=subprocess.DEVNULL):
    start = time.perf_counter()
    subprocess.run([export, *map(str, args)], stdout=out, check=True)
    return time.perf_counter() - start


options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
    options.add_argument(argument)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
js = driver.execute_script
idle = lambda d: not js("return document.body.hasAttribute('data-busy')")
wait = WebDriverWait(driver, 3600, poll_frequency=0.01)
results = []


def open_profile(folder):
    driver.get(page.as_uri())
    wait.until(lambda d: js("return document.getElementById('chooser').open"))
    driver.find_element("id", "directory").send_keys(str(folder))
    wait.until(lambda d: len(Select(d.find_element("id", "ispec")).options) > 0)
    Select(driver.find_element("id", "ispec")).select_by_visible_text("LARGE")
    wait.until(idle)
    Select(driver.find_element("id", "profile")).select_by_visible_text("BYNAME")
    wait.until(idle)
    start = time.perf_counter()
    driver.find_element("id", "ok").click()
    wait.until(lambda d: idle(d) and not js("return document.getElementById('chooser').open"))
    return time.perf_counter() - start


def worker_ms():
    return float(js("return document.body.dataset.workerMs"))


def key(*keys):
    driver.find_element("id", "window").click()
    ActionChains(driver).send_keys(*keys).perform()
    wait.until(idle)


try:
    big = scratch / "10M"
    described = native_seconds("--describe", big, "LARGE", "BYNAME")
    opened = open_profile(big)
    heap = int(js("return document.body.dataset.workerHeap"))
    results.append(("Open 10M BYNAME (walk and first window)", f"{opened:.2f} s",
                    f"--describe: {described:.2f} s", f"{opened / described:.1f}x"))
    fills = []
    for _ in range(8):
        key(Keys.PAGE_DOWN)
        fills.append(worker_ms())
    sections = int(js("return document.getElementById('sections').textContent").split()[0])
    for section in (sections // 3, sections // 2, sections):
        for digit in str(section):
            driver.find_element("css selector", f'.part[data-part="{digit}"]').click()
            wait.until(idle)
        driver.find_element("id", "enter").click()
        wait.until(idle)
        fills.append(worker_ms())
        for _ in range(4):
            key(Keys.PAGE_DOWN)
            fills.append(worker_ms())
    key(Keys.END)
    fills.append(worker_ms())
    results.append((f"Window fill, {len(fills)} places in 10M", f"median {statistics.median(fills):.2f} ms",
                    f"max {max(fills):.2f} ms", ""))
    key(Keys.HOME)
    driver.find_element("id", "window").click()
    ActionChains(driver).key_down(Keys.CONTROL).send_keys("f").key_up(Keys.CONTROL).perform()
    wait.until(lambda d: js("return document.getElementById('find').open"))
    driver.find_element("id", "find-text").send_keys("no such text")
    driver.find_element("id", "find-ok").click()
    wait.until(lambda d: js("return document.getElementById('message').open"))
    searched = worker_ms()
    entries = 10_000_000
    driver.find_element("id", "message-cancel").click()
    results.append(("Find, a text found nowhere, 10M entries", f"{searched / 1000:.2f} s",
                    f"{entries / (searched / 1000) / 1e6:.1f} M entries/s", ""))
    results.append(("Worker's WebAssembly memory, 10M open", f"{heap / 2**20:.0f} MiB", "", ""))

    small = scratch / "1M"
    csv = scratch / "native.csv"
    with open(csv, "wb") as out:
        native_csv = native_seconds("--format", "csv", small, "LARGE", "BYNAME", out=out)
    open_profile(small)
    downloads = scratch / "downloads"
    shutil.rmtree(downloads, ignore_errors=True)
    downloads.mkdir()
    driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
    driver.find_element("id", "window").click()
    ActionChains(driver).key_down(Keys.CONTROL).send_keys("e").key_up(Keys.CONTROL).perform()
    wait.until(lambda d: js("return document.getElementById('export').open"))
    driver.find_element("id", "export-csv").click()
    start = time.perf_counter()
    driver.find_element("id", "export-ok").click()
    saved = downloads / "LARGE_BYNAME.csv"
    wait.until(lambda d: saved.exists() and not list(downloads.glob("*.crdownload")) and idle(d))
    page_csv = time.perf_counter() - start
    if saved.read_bytes() != csv.read_bytes():
        sys.exit("the page's CSV differs from the native tool's")
    results.append(("CSV export, 1M BYNAME, to the saved file", f"{page_csv:.2f} s ({1e6 / page_csv / 1e3:.0f} k records/s)",
                    f"native: {native_csv:.2f} s ({1e6 / native_csv / 1e3:.0f} k records/s)",
                    f"{native_csv / page_csv:.2f} of native"))
    results.append(("ondrelview.html", f"{page.stat().st_size / 1024:.0f} KiB", "", ""))
finally:
    driver.quit()

print("| Measure | page | beside it | ratio |")
print("|---|---|---|---|")
for row in results:
    print("| " + " | ".join(row) + " |")
