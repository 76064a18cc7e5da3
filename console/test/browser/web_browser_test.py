#!/usr/bin/python3
"""vxctl web in a real browser: headless Chromium through its WebDriver
against a running conveyor. The page shows the active step; Step advances
the counter by exactly one; setting hold stops the belt and the boxes stand
still in the plant view; a variable forced in the page is forced for
vxctl; End shows the program's end. Saves a screenshot and prints the time
to the chart's first drawing.

  web_browser_test.py --vxctl PATH --program PATH [--screenshot FILE]

Exit status 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(SKIP)


def eventually(condition, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)


class Check:
    def __init__(self):
        self.failures = []

    def __call__(self, ok, what):
        print(("ok    " if ok else "FAIL  ") + what, flush=True)
        if not ok:
            self.failures.append(what)


def start_program(program, block, env):
    proc = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    return proc


def vxctl(path, block, *args):
    return subprocess.run([path, "--block", block, *args], capture_output=True, text=True, timeout=30)


def start_web(path, block):
    web = subprocess.Popen([path, "--block", block, "web", "--listen", "127.0.0.1:0"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = web.stdout.readline()
    match = re.search(r"(http://\S+)", line)
    if not match:
        web.kill()
        raise AssertionError("vxctl web printed no URL: " + line + web.stderr.read())
    return web, match.group(1)


def browser(profile):
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1400,1200", "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.binary_location = CHROMIUM
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def boxes(driver):
    """The product polygons shown in the plant view: name -> points."""
    return driver.execute_script("""
        const shown = {};
        for (const g of document.querySelectorAll('#plant g[data-name]')) {
          const p = g.querySelector('polygon.product');
          if (p && g.style.display !== 'none' && p.getAttribute('points')) shown[g.dataset.name] = p.getAttribute('points');
        }
        return shown;""")


def row(driver, name):
    return driver.find_element(By.CSS_SELECTOR, 'tr[data-name="%s"]' % name)


def write_in_row(driver, name, value, button):
    r = row(driver, name)
    field = r.find_element(By.CSS_SELECTOR, "td.edit input")
    field.clear()
    field.send_keys(value)
    r.find_element(By.CSS_SELECTOR, "td.edit button." + button).click()


def scenario(driver, url, args, block, check):
    def load(reload):
        driver.refresh() if reload else driver.get(url)
        eventually(lambda: driver.find_elements(By.CSS_SELECTOR, "#chart g.step"), what="the chart")
        return driver.execute_script("return window.vxChartDrawn")

    # The first load starts the browser's own machinery too; the figure is
    # the median of the loads after it.
    first = load(False)
    again = sorted(load(True) for _ in range(5))
    print("figure: chart drawn %.0f ms after navigation start (median of 5 reloads; the first load %.0f ms)"
          % (again[2], first))
    check(again[2] < 3000, "the chart is drawn soon after the page loads")

    status = driver.find_element(By.ID, "status")
    eventually(lambda: status.text == "STOP", what="status STOP")
    check(bool(driver.find_elements(By.CSS_SELECTOR, "#step-1.active")), "the page shows the initial step 1 active")
    check(not driver.find_elements(By.CSS_SELECTOR, "#step-2.active, #step-3.active"), "and no other step active")

    counter = driver.find_element(By.ID, "counter")
    before = int(eventually(lambda: counter.text.isdigit() and counter.text, what="the counter"))
    driver.find_element(By.ID, "step").click()
    eventually(lambda: counter.text == str(before + 1), what="the counter after Step")
    time.sleep(0.4)
    check(counter.text == str(before + 1), "Step advances the counter by exactly one (%d -> %s)" % (before, counter.text))

    for name in ("belt_on", "batch.CV"):
        row(driver, name).find_element(By.CSS_SELECTOR, "input[type=checkbox]").click()
    driver.find_element(By.ID, "run").click()
    eventually(lambda: status.text == "RUN", what="status RUN")
    first = eventually(lambda: boxes(driver), what="a box in the plant view")
    eventually(lambda: any(boxes(driver).get(n) not in (None, p) for n, p in first.items()),
               what="the boxes to move")
    check(True, "the boxes move in the plant view while the belt runs")

    write_in_row(driver, "hold", "1", "set")
    eventually(lambda: driver.find_elements(By.CSS_SELECTOR, "#step-3.active"), what="step 3 after hold")
    belt = row(driver, "belt_on").find_element(By.CSS_SELECTOR, "td.value")
    eventually(lambda: belt.text.strip() == "0", what="belt_on 0")
    check(True, "setting hold activates step 3 and the belt stops")
    time.sleep(0.3)
    held = boxes(driver)
    time.sleep(1.0)
    later = boxes(driver)
    common = [n for n in held if n in later]
    check(bool(common) and all(held[n] == later[n] for n in common),
          "the boxes stand still in the plant view while held (%d boxes compared)" % len(common))

    write_in_row(driver, "belt_on", "1", "force")
    eventually(lambda: "forced" in row(driver, "belt_on").get_attribute("class"), what="belt_on shown forced")
    forced = vxctl(args.vxctl, block, "forced").stdout
    check("belt_on (B6) = 1" in forced, "belt_on forced in the page shows in vxctl forced: " + forced.strip())

    time.sleep(1.5)  # some trend to show
    if args.screenshot:
        driver.save_screenshot(args.screenshot)
        print("screenshot: " + args.screenshot)

    driver.find_element(By.ID, "end").click()
    banner = driver.find_element(By.ID, "banner")
    eventually(lambda: "has ended" in banner.text, what="the end in the page")
    check(True, "End ends the program and the page says so")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vxctl", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    for tool in (CHROMIUM, DRIVER):
        if not os.access(tool, os.X_OK):
            print("skipped: %s is not installed" % tool)
            return SKIP

    block = "vxweb%d" % os.getpid()
    env = dict(os.environ, VX_MEMORY_NAME=block)
    profile = tempfile.mkdtemp(prefix="vx-chromium-")
    program = start_program(args.program, block, env)
    web = driver = None
    check = Check()
    try:
        eventually(lambda: vxctl(args.vxctl, block, "status").returncode == 0, what="the conveyor to start")
        web, url = start_web(args.vxctl, block)
        driver = browser(profile)
        scenario(driver, url, args, block, check)
    except AssertionError as e:
        check(False, str(e))
    finally:
        if driver:
            driver.quit()
        if web:
            web.send_signal(signal.SIGTERM)
            web.wait(timeout=10)
        if program.poll() is None:
            vxctl(args.vxctl, block, "end")
            try:
                program.wait(timeout=10)
            except subprocess.TimeoutExpired:
                program.kill()
        shutil.rmtree(profile, ignore_errors=True)
        if os.path.exists("/dev/shm/" + block):
            os.unlink("/dev/shm/" + block)
    if check.failures:
        print("%d failed" % len(check.failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
