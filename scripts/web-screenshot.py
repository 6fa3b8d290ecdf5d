#!/usr/bin/python3
"""Takes docs/web.png: ondrelview.html in headless Chromium, opened from
disk, on the demo database, CUSTOMER through BYNAME.

    /usr/bin/python3 scripts/web-screenshot.py PAGE DEMO_DIR [OUT]

PAGE is the ondrelview.html that scripts/build-web.sh writes, DEMO_DIR the
demo database (build/demo after a build)."""
import pathlib
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import Select, WebDriverWait

page, demo = (pathlib.Path(a).resolve() for a in sys.argv[1:3])
out = pathlib.Path(sys.argv[3] if len(sys.argv) > 3 else "docs/web.png")
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=800,700",
                 "--force-device-scale-factor=1"):
    options.add_argument(argument)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    idle = lambda d: not d.execute_script("return document.body.hasAttribute('data-busy')")
    driver.get(page.as_uri())
    WebDriverWait(driver, 60).until(lambda d: d.execute_script("return document.getElementById('chooser').open"))
    driver.find_element("id", "directory").send_keys(str(demo))
    WebDriverWait(driver, 60).until(lambda d: len(Select(d.find_element("id", "ispec")).options) > 0)
    Select(driver.find_element("id", "ispec")).select_by_visible_text("CUSTOMER")
    WebDriverWait(driver, 60).until(idle)
    Select(driver.find_element("id", "profile")).select_by_visible_text("BYNAME")
    WebDriverWait(driver, 60).until(idle)
    driver.find_element("id", "ok").click()
    WebDriverWait(driver, 60).until(lambda d: idle(d) and not d.execute_script(
        "return document.getElementById('chooser').open"))
    driver.find_element("id", "contents").screenshot(str(out))
finally:
    driver.quit()
print(f"Wrote {out}")
