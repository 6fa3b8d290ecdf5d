#!/usr/bin/python3
"""What reading a chosen file costs a page, in headless Chromium: the floor
under the page's window fill and open.  A worker of a page written into a
scratch folder gets the data and index files through <input type=file> and
times, on the data file:

  separate   21 reads of one record each at random places, one after another,
             through FileReaderSync (what a window of a scattered profile asks)
  composite  the same 21 pieces read in one FileReaderSync call, as one Blob
             made of the 21 slices
  parallel   the same 21 pieces asked at once with Blob.arrayBuffer(), timed
             until the last one arrives

and on the index file, read from front to back in 16 MiB pieces through
FileReaderSync, the rate (what a walk of the whole tree can read at most).
Beside it, the native tool's --describe of the same profile (the walk), and
the index bytes it reads (strace).

    /usr/bin/python3 bench/web-file-reads.py EXPORT DIR ISPEC PROFILE [ROUNDS]
"""
import json
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

export, folder = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()
ispec, profile = sys.argv[3], sys.argv[4]
rounds = int(sys.argv[5]) if len(sys.argv) > 5 else 8
data, index = folder / f"_{ispec}.DAT", folder / f"_{ispec}.IDX"

# The record length from the header's count, so that the pieces are records.
described = subprocess.run([export, "--describe", folder, ispec, profile], capture_output=True, text=True,
                           check=True).stdout
length = data.stat().st_size // int(re.search(r"^Records: (\d+)", described, re.M).group(1))

WORKER = """
onmessage = async (e) => {
  const [data, index, length, rounds] = e.data;
  const reader = new FileReaderSync();
  const places = () => Array.from({length: 21},
      () => Math.floor(Math.random() * Math.floor(data.size / length)) * length);
  const out = {separate: [], composite: [], parallel: []};
  for (let r = 0; r < rounds; ++r) {
    let at = places(), start = performance.now();
    for (const p of at) reader.readAsArrayBuffer(data.slice(p, p + length));
    out.separate.push(performance.now() - start);
    at = places(); start = performance.now();
    const whole = reader.readAsArrayBuffer(new Blob(at.map(p => data.slice(p, p + length))));
    out.composite.push(performance.now() - start);
    if (whole.byteLength !== 21 * length) throw new Error("short composite read");
    at = places(); start = performance.now();
    await Promise.all(at.map(p => data.slice(p, p + length).arrayBuffer()));
    out.parallel.push(performance.now() - start);
  }
  const piece = 16 * 1024 * 1024;
  let start = performance.now();
  for (let p = 0; p < index.size; p += piece) reader.readAsArrayBuffer(index.slice(p, p + piece));
  out.indexMBs = index.size / 1e6 / ((performance.now() - start) / 1000);
  postMessage(out);
};
"""
PAGE = """<!doctype html><meta charset=utf-8><input type=file id=files multiple><pre id=out></pre>
<script>
const worker = new Worker(URL.createObjectURL(new Blob([%s])));
worker.onmessage = (e) => { document.getElementById("out").textContent = JSON.stringify(e.data); };
worker.onerror = (e) => { document.getElementById("out").textContent = JSON.stringify({error: e.message}); };
document.getElementById("files").onchange = (e) => {
  const [a, b] = e.target.files;
  const data = a.name.endsWith(".DAT") ? a : b, index = data === a ? b : a;
  worker.postMessage([data, index, %d, %d]);
};
</script>""" % (json.dumps(WORKER), length, rounds)

with tempfile.TemporaryDirectory() as scratch:
    page = pathlib.Path(scratch) / "reads.html"
    page.write_text(PAGE)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(page.as_uri())
        driver.find_element("id", "files").send_keys(f"{data}\n{index}")
        text = ""
        for _ in range(6000):
            text = driver.find_element("id", "out").text
            if text:
                break
            time.sleep(0.1)
    finally:
        driver.quit()
result = json.loads(text)
if "error" in result:
    sys.exit("the worker failed: " + result["error"])

walks = []
for _ in range(3):
    start = time.perf_counter()
    subprocess.run([export, "--describe", folder, ispec, profile], stdout=subprocess.DEVNULL, check=True)
    walks.append(time.perf_counter() - start)
traced = subprocess.run(["strace", "-f", "-e", "trace=pread64", "-e", "signal=none", "-o", "/dev/stdout",
                         export, "--describe", folder, ispec, profile], capture_output=True, text=True).stdout
read = {}
for line in traced.splitlines():
    m = re.search(r"pread64\((\d+),.*\)\s+=\s+(\d+)", line)
    if m:
        read[m.group(1)] = read.get(m.group(1), 0) + int(m.group(2))
index_read = max(read.values()) if read else 0

spread = lambda xs: "median %.1f ms (%.1f to %.1f)" % (statistics.median(xs), min(xs), max(xs))
print(f"{rounds} rounds, records of {length} bytes in {data.name} ({data.stat().st_size:,} bytes)")
print("21 records, one read each:       ", spread(result["separate"]))
print("21 records, one composite read:  ", spread(result["composite"]))
print("21 records, asked at once:       ", spread(result["parallel"]))
print(f"{index.name} ({index.stat().st_size:,} bytes) in 16 MiB reads: {result['indexMBs']:.0f} MB/s")
print(f"native --describe {ispec} {profile}: median {statistics.median(walks):.2f} s,"
      f" {index_read:,} bytes read from its largest file")
print(f"those bytes at the page's rate: {index_read / 1e6 / result['indexMBs']:.2f} s"
      f" ({index_read / 1e6 / result['indexMBs'] / statistics.median(walks):.1f}x --describe)")
