"""The network page of bperp-stack --html in headless Chromium driven by
Selenium: it loads without a console error, draws a point per acquisition
and a line per pair, a click drops a pair, and the list it downloads is the
CSV of --export pairs without that pair (and, where bperp-stack reads such
lists, gives the network the page showed).

    network_page_browser.py BPERP_STACK SOURCE_DIR WORK_DIR

Exits 77 (skipped) where Chromium or Selenium is missing and CI is not set.
"""
import csv
import json
import os
import shutil
import subprocess
import sys
import time

SKIP = 77
WAIT_S = 60  # bounded generously: the machines are loaded


def skip_or_fail(why):
    if os.environ.get("CI"):
        print("FAILED: " + why + " (CI must run this test)")
        sys.exit(1)
    print("SKIPPED: " + why)
    sys.exit(SKIP)


def browser():
    try:
        from selenium import webdriver
    except ImportError:
        skip_or_fail("python3-selenium is not installed")
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    if not chromium or not driver_path:
        skip_or_fail("chromium and chromium-driver are not installed")
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1200,1000"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(driver_path), options=options)


def wait_for(what, check):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("waited %d s for %s" % (WAIT_S, what))


def run_stack(exe, arguments):
    done = subprocess.run([exe] + arguments, capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    return done


def main():
    exe, source, work = sys.argv[1], sys.argv[2], sys.argv[3]
    shutil.rmtree(work, ignore_errors=True)
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)
    stack = os.path.join(source, "examples", "stack")
    inputs = [os.path.join(stack, "reference.txt")] + sorted(
        os.path.join(stack, f) for f in os.listdir(stack) if f.startswith("2"))
    page = os.path.join(work, "page.html")
    exported = os.path.join(work, "pairs.csv")
    # Names with their folders, so that the download is byte for byte what
    # --export pairs writes; the model's coherence through --sensor.
    limits = ["--pairs", "--max-perp", "300", "--max-days", "400", "--sensor", "alos"]
    document = json.loads(run_stack(exe, ["--format", "json"] + limits + [
        "--html", page, "--html-paths", "--export", "pairs:" + exported] + inputs).stdout)
    expected_pairs = len(document["pairs"])
    expected_points = 1 + sum(1 for s in document["secondaries"] if s.get("error") is None)
    assert expected_pairs > 3, expected_pairs

    driver = browser()
    try:
        driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        driver.set_page_load_timeout(WAIT_S)
        started = time.monotonic()
        driver.get("file://" + page)
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys

        wait_for("the points", lambda: driver.find_elements(By.CSS_SELECTOR, "circle.point"))
        print("page loaded in %.1f s" % (time.monotonic() - started))
        points = driver.find_elements(By.CSS_SELECTOR, "circle.point")
        lines = driver.find_elements(By.CSS_SELECTOR, "line.pair")
        assert len(points) == expected_points, (len(points), expected_points)
        assert len(lines) == expected_pairs, (len(lines), expected_pairs)
        print("%d points and %d pairs drawn, as the command's JSON has them" % (len(points), len(lines)))

        # A click on a pair drops it.
        target = lines[len(lines) // 2]
        ends = [int(target.get_attribute("data-first")), int(target.get_attribute("data-second"))]
        label = target.get_attribute("aria-label")  # "pair DATE to DATE; ..."
        dropped_dates = [label.split(";")[0].split()[1], label.split(";")[0].split()[3]]
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'});", target)
        from selenium.webdriver.common.action_chains import ActionChains

        ActionChains(driver).move_to_element(target).click().perform()
        wait_for("the pair dropped",
                 lambda: len(driver.find_elements(By.CSS_SELECTOR, "line.pair")) == expected_pairs - 1)
        status = driver.find_element(By.ID, "status").text
        assert status.startswith("Dropped the pair"), status
        print("a click dropped one pair: " + status)

        driver.find_element(By.ID, "download").click()
        downloaded = os.path.join(downloads, "pairs.csv")
        wait_for("the download", lambda: os.path.exists(downloaded) and os.path.getsize(downloaded) > 0)
        with open(downloaded, encoding="utf-8") as f:
            got = f.read()

        # A click on one point of the dropped pair and a shift-click on the
        # other add it back, with the numbers the command embedded.
        points = driver.find_elements(By.CSS_SELECTOR, "circle.point")
        points[ends[0]].click()
        ActionChains(driver).key_down(Keys.SHIFT).click(points[ends[1]]).key_up(Keys.SHIFT).perform()
        wait_for("the pair added", lambda: len(driver.find_elements(By.CSS_SELECTOR, "line.pair")) == expected_pairs)
        with open(exported, encoding="utf-8") as f:
            assert driver.execute_script("return window.bperpPage.pairsCsv();") == f.read()
        print("a click and a shift-click added it back: " + driver.find_element(By.ID, "status").text)

        # The days slider at its least: no pair left, every acquisition alone.
        driver.find_element(By.ID, "max-days").send_keys(Keys.HOME)
        wait_for("the slider", lambda: not driver.find_elements(By.CSS_SELECTOR, "line.pair"))
        report = driver.find_element(By.ID, "connectivity").text
        assert report.startswith("Split into %d parts" % expected_points), report
        print("the days slider at 0: " + report)
        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        assert not errors, errors
        print("no console error")
    finally:
        driver.quit()

    # The download is the export without the dropped pair.
    with open(exported, encoding="utf-8") as f:
        export_lines = f.read().splitlines(keepends=True)
    got_lines = got.splitlines(keepends=True)
    assert got_lines[0] == export_lines[0], (got_lines[0], export_lines[0])
    missing = [row for row in export_lines[1:] if row not in got_lines]
    assert len(got_lines) == len(export_lines) - 1 and len(missing) == 1, (got, export_lines)
    assert next(csv.reader(missing))[2:4] == dropped_dates, (missing, dropped_dates)
    assert [row for row in export_lines if row not in missing] == got_lines
    got_rows = got_lines[1:]
    print("the download is --export pairs without the dropped pair (%d pairs)" % len(got_rows))

    helped = run_stack(exe, ["--help"]).stdout
    if "--pairs-from" not in helped:
        print("SKIPPED part: --pairs-from on the download: this bperp-stack has no --pairs-from yet")
    else:
        again = json.loads(run_stack(exe, ["--format", "json", "--pairs", "--pairs-from", downloaded] + inputs).stdout)
        read_back = [(p["first"], p["second"]) for p in again["pairs"]]
        shown = [tuple(next(csv.reader([row]))[:2]) for row in got_rows]
        assert read_back == shown, (read_back, shown)
        print("--pairs-from on the download gives the %d pairs the page showed" % len(shown))
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
