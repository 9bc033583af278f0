#!/usr/bin/python3
"""The web page's figures in headless Chromium, from a local server: time
from navigation to an interactive form, keystroke to updated result, bytes
transferred, file sizes, and Lighthouse's four category scores for a phone.
Needs `make web` and Lighthouse under build/npm (`make web-bench` builds both).

  bench/web_bench.py [--runs N] [--keys N] [--lighthouse-runs N]
  bench/web_bench.py --screenshot FILE.png [--scheme light|dark]

--screenshot instead saves the page as a 360-pixel-wide phone shows it, with
the focus in a field, in the system's light or dark colour scheme."""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
from web_browser import (  # noqa: E402
    CHROMIUM, CHROMIUM_FLAGS, COLOURS, WEB_BUILD, Chromium, Server, install_check)

from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

LIGHTHOUSE = os.path.join(ROOT, "build", "npm", "lighthouse", "node_modules", ".bin", "lighthouse")
CATEGORIES = ["performance", "accessibility", "best-practices", "seo"]

# Keystroke timing: from the key event's time stamp to the moment the result
# field holds the new text (the page's listener on the field runs before this
# one on the document), and to the start of the frame that paints it.
KEY_PROBE = """
window.keyTimes = [];
let down = 0;
document.addEventListener('keydown', (e) => { down = e.timeStamp; }, true);
document.addEventListener('input', () => {
    const set = performance.now() - down;
    requestAnimationFrame((frame) => window.keyTimes.push([set, frame - down]));
});
"""


def figure(name, value, unit):
    print("%-52s %8s %s" % (name, value, unit))


def ms(x):
    return "%.1f" % x


def ready_time(driver):
    """Milliseconds from navigation start to the form's first result."""
    return driver.execute_script(
        "return performance.getEntriesByName('kandu-ready')[0].startTime")


def load_times(browser, url, runs):
    times = []
    for _ in range(runs):
        browser.open(url)
        times.append(ready_time(browser.driver))
    return times


def key_times(browser, keys):
    d = browser.driver
    d.execute_script(KEY_PROBE)
    d.find_element(By.ID, "real").click()
    for i in range(keys):
        ActionChains(d).send_keys("5" if i % 2 == 0 else Keys.BACKSPACE).perform()
    WebDriverWait(d, 10).until(lambda d: d.execute_script("return keyTimes.length") >= keys)
    return d.execute_script("return keyTimes")


def report_keys(label, times):
    set_times = [t[0] for t in times]
    frame_times = [t[1] for t in times]
    figure("%s to result, median of %d" % (label, len(times)), ms(statistics.median(set_times)),
           "ms")
    figure(label + " to result, slowest", ms(max(set_times)), "ms")
    figure(label + " to its frame, median", ms(statistics.median(frame_times)), "ms")
    figure(label + " to its frame, slowest", ms(max(frame_times)), "ms")


def colours(browser, url):
    """The page's colours and contrasts in each scheme, its result shown."""
    for scheme in ("light", "dark"):
        browser.color_scheme(scheme)
        browser.open(url)
        found = browser.driver.execute_script(COLOURS)
        figure(scheme + " scheme: color-scheme", found["scheme"], "")
        for name, what in (("background", "page's background"), ("card", "card's background"),
                           ("theme", "theme colour")):
            figure("%s scheme: %s, luminance" % (scheme, what), "%.4f" % found[name], "")
        figure(scheme + " scheme: lowest contrast of any text", "%.2f" % found["text"], ": 1")
        figure(scheme + " scheme: lowest contrast of a field's border", "%.2f" % found["border"],
               ": 1")
    browser.color_scheme()


def bench(runs, keys):
    print("\n== web page (headless Chromium, local server) ==")
    for name in sorted(os.listdir(WEB_BUILD)):
        figure(name + " size", os.path.getsize(os.path.join(WEB_BUILD, name)), "bytes")

    server = Server()
    browser = Chromium()
    try:
        d = browser.driver
        # The browser's own start-up costs land on its first page: that page
        # comes from another origin, so that the measured first visit still
        # finds no cache and no service worker.
        warm_up = Server()
        try:
            browser.open(warm_up.url())
            figure("first page after browser start: interactive", ms(ready_time(d)), "ms")
        finally:
            warm_up.stop()

        browser.open(server.url())
        figure("first visit: navigation to interactive form", ms(ready_time(d)), "ms")
        WebDriverWait(d, 10).until(
            lambda d: d.execute_script("return !!navigator.serviceWorker.controller"))
        page = [r for r in server.requests if not r[0].endswith((".png", ".webmanifest"))]
        figure("first visit: page, wasm, service worker, headers", sum(r[2] for r in page),
               "bytes")
        figure("first visit: transferred, headers included", server.bytes_sent, "bytes")
        errors, _ = install_check(d, server)
        figure("same with manifest and icons, as when installing", server.bytes_sent, "bytes")
        if errors:
            print("installability errors:", errors)

        before = server.bytes_sent
        cached = load_times(browser, server.url(), runs)
        figure("repeat visit: transferred", server.bytes_sent - before, "bytes")
        figure("repeat visit: interactive, median of %d" % runs, ms(statistics.median(cached)),
               "ms")
        figure("repeat visit: interactive, slowest", ms(max(cached)), "ms")

        d.execute_cdp_cmd("Network.enable", {})
        d.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        d.execute_cdp_cmd("Network.setBypassServiceWorker", {"bypass": True})
        cold = load_times(browser, server.url(), runs)
        d.execute_cdp_cmd("Network.setBypassServiceWorker", {"bypass": False})
        d.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": False})
        figure("no cache: interactive, median of %d" % runs, ms(statistics.median(cold)), "ms")
        figure("no cache: interactive, slowest", ms(max(cold)), "ms")

        browser.open(server.url())
        report_keys("keystroke", key_times(browser, keys))
        browser.open(server.url())
        d.execute_script("const c = document.getElementById('coeff');"
                         "c.value = '1'.repeat(100000); c.dispatchEvent(new Event('input'));")
        report_keys("keystroke, 100k-char field", key_times(browser, keys))
        colours(browser, server.url())
        errors = browser.console_errors()
        if errors:
            print("errors in the console:", errors)
    finally:
        browser.quit()
        server.stop()


def lighthouse(runs):
    """Lighthouse's scores for a phone (its default device), each the median
    of `runs` runs; each run starts a Chromium of its own."""
    server = Server()
    scores = {c: [] for c in CATEGORIES}
    speed = []
    try:
        with tempfile.TemporaryDirectory(prefix="kandu-lighthouse-") as tmp:
            report = os.path.join(tmp, "report.json")
            for _ in range(runs):
                subprocess.run(
                    [LIGHTHOUSE, server.url(), "--quiet", "--output=json", "--output-path=" + report,
                     "--only-categories=" + ",".join(CATEGORIES),
                     "--chrome-flags=" + " ".join(CHROMIUM_FLAGS)],
                    env=dict(os.environ, CHROME_PATH=CHROMIUM), check=True)
                with open(report) as f:
                    result = json.load(f)
                for c in CATEGORIES:
                    scores[c].append(round(result["categories"][c]["score"] * 100))
                speed.append(result["environment"]["benchmarkIndex"])
    finally:
        server.stop()
    for c in CATEGORIES:
        figure("Lighthouse %s, phone, median of %d (lowest)" % (c, runs),
               "%d (%d)" % (statistics.median(scores[c]), min(scores[c])), "of 100")
    # Lighthouse scales its CPU slow-down for a machine of about 1000 and
    # warns below it: a busy machine scores lower.
    figure("Lighthouse's benchmark index of this machine, median", statistics.median(speed), "")


def screenshot(path, scheme):
    server = Server()
    browser = Chromium(width=360, height=440)
    try:
        browser.color_scheme(scheme)
        browser.open(server.url())
        browser.driver.find_element(By.ID, "real").click()
        with open(path, "wb") as f:
            f.write(browser.driver.get_screenshot_as_png())
    finally:
        browser.quit()
        server.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=21, help="page loads per figure")
    parser.add_argument("--keys", type=int, default=50, help="keystrokes per figure")
    parser.add_argument("--lighthouse-runs", type=int, default=3, help="Lighthouse runs")
    parser.add_argument("--screenshot", metavar="FILE", help="save a phone-sized screenshot")
    parser.add_argument("--scheme", choices=("light", "dark"), default="light",
                        help="the system's colour scheme for the screenshot")
    args = parser.parse_args()
    if not os.path.exists(os.path.join(WEB_BUILD, "kandu.html")) or not os.path.exists(LIGHTHOUSE):
        sys.exit("web_bench: build the page and install Lighthouse first: make web-bench")
    if args.screenshot:
        screenshot(args.screenshot, args.scheme)
    else:
        bench(args.runs, args.keys)
        lighthouse(args.lighthouse_runs)


if __name__ == "__main__":
    main()
