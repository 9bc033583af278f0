"""The three engines that phones' browsers are built on, each from Debian's
packages and driven through selenium: Chromium, WebKit (WebKitGTK) and
Firefox; and a local server for build/web. What tests/web/web_test.py and
bench/web_bench.py share."""
import functools
import glob
import http.server
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait
from selenium.webdriver.webkitgtk.options import Options as WebKitGTKOptions
from selenium.webdriver.webkitgtk.service import Service as WebKitGTKService

import firefox_bidi

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WEB_BUILD = os.path.join(ROOT, "build", "web")
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WEBKITWEBDRIVER = "/usr/bin/WebKitWebDriver"
# WebKitGTK's own browser, which its driver starts; under the machine's
# multiarch folder.
MINIBROWSER = (glob.glob("/usr/lib/*/webkit2gtk-4.1/MiniBrowser") or ["MiniBrowser"])[0]

# Root in a sandbox without a network: no sandbox, GPU or background traffic.
CHROMIUM_FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
]

# The page's colours in the colour scheme shown: the luminance of the page's
# and the card's backgrounds and of the theme colour that applies, the
# computed color-scheme, and the lowest contrast of any shown text and of any
# field's border against the background around the field (WCAG's formulas).
COLOURS = """
const rgb = (c) => c[0] === '#' ? c.slice(1).match(/../g).map((h) => parseInt(h, 16))
    : c.match(/[\\d.]+/g).slice(0, 3).map(Number);
const lum = (c) => {
    const [r, g, b] = rgb(c).map((v) => v / 255)
        .map((v) => v <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4);
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
};
const ratio = (a, b) => (Math.max(lum(a), lum(b)) + 0.05) / (Math.min(lum(a), lum(b)) + 0.05);
// The first opaque background from the element outwards; the page sets none translucent.
const back = (e) => {
    for (; e; e = e.parentElement) {
        const c = getComputedStyle(e).backgroundColor;
        if (!/^rgba\\(.*, 0\\)$/.test(c)) return c;
    }
    return 'rgb(255, 255, 255)';
};
const shown = [...document.querySelectorAll('body *')].filter((e) => e.checkVisibility()
    && e.getBoundingClientRect().width > 1
    && (e.matches('input') || [...e.childNodes].some((n) => n.nodeType === 3 && n.data.trim())));
const theme = [...document.querySelectorAll('meta[name=theme-color]')]
    .find((m) => !m.media || matchMedia(m.media).matches).content;
return {
    background: lum(back(document.documentElement)),
    card: lum(back(document.querySelector('main'))),
    theme: lum(theme),
    scheme: getComputedStyle(document.documentElement).colorScheme,
    text: Math.min(...shown.map((e) => ratio(getComputedStyle(e).color, back(e)))),
    border: Math.min(...[...document.querySelectorAll('input')]
        .map((e) => ratio(getComputedStyle(e).borderTopColor, back(e.parentElement)))),
};
"""


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    """Serves one request per connection (HTTP/1.0), so that the bytes
    written on a connection are one response's."""

    def log_message(self, *args):
        pass

    def log_request(self, code="-", size="-"):
        self._status = int(code)

    def setup(self):
        super().setup()
        self.wfile = _CountingWriter(self.wfile, self.server)
        self.server.connections.add(self.connection)

    def end_headers(self):
        for name, value in self.server.extra_headers.items():
            self.send_header(name, value)
        super().end_headers()

    def do_POST(self):
        """Takes a Content-Security-Policy violation report: a browser posts
        one to the policy's report-uri."""
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.server.reports.append(json.loads(body or b"{}").get("csp-report", {}))
        self.send_response(204)
        self.end_headers()

    def finish(self):
        self.server.connections.discard(self.connection)
        super().finish()
        self.server.requests.append(
            (getattr(self, "path", ""), getattr(self, "_status", 0), self.wfile.count))


class _CountingWriter:
    def __init__(self, stream, server):
        self._stream = stream
        self._server = server
        self.count = 0

    def write(self, data):
        self.count += len(data)
        with self._server.count_lock:
            self._server.bytes_sent += len(data)
        return self._stream.write(data)

    def __getattr__(self, name):
        return getattr(self._stream, name)


class Server:
    """build/web, or another directory, on a free loopback port, served from a
    thread with the given extra response headers; counts every byte it sends,
    headers included, and keeps each request's path, status and bytes."""

    def __init__(self, directory=WEB_BUILD, headers=None):
        self.directory = directory
        handler = functools.partial(_QuietHandler, directory=directory)
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self._httpd.daemon_threads = True
        self._httpd.extra_headers = headers or {}
        self._httpd.requests = []
        self._httpd.reports = []
        # A browser may open a connection before it has a request for it.
        self._httpd.connections = set()
        self._httpd.bytes_sent = 0
        self._httpd.count_lock = threading.Lock()
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        self.origin = "http://127.0.0.1:%d" % self._httpd.server_address[1]

    def url(self, path=""):
        return self.origin + "/" + path

    @property
    def bytes_sent(self):
        return self._httpd.bytes_sent

    @property
    def requests(self):
        return list(self._httpd.requests)

    @property
    def reports(self):
        return list(self._httpd.reports)

    def take_reports(self):
        """The violation reports posted since the last call, each as the
        browser sent it."""
        taken = self._httpd.reports[:]
        del self._httpd.reports[:len(taken)]
        return taken

    def stop(self):
        """Stops answering, as a host that went offline: the connections
        that a browser opened ahead and holds are cut too."""
        self._httpd.shutdown()
        self._httpd.server_close()
        for connection in list(self._httpd.connections):
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self._thread.join()


class Browser:
    """One browser with a fresh profile, showing the page on a phone's
    screen 360 CSS pixels wide where its driver can emulate one. Each engine
    is a subclass; `driver` is selenium's WebDriver for it."""

    name = ""
    # Whether `screen` can set any width and scale.
    emulates_screens = True

    def quit(self):
        self.driver.quit()

    @property
    def version(self):
        return self.driver.caps.get("browserVersion", "")

    def screen(self, width=360, height=640, scale=2, mobile=True):
        """Emulates a screen `width` CSS pixels wide; 200 % zoom on a phone
        360 pixels wide is a width of 180 at twice the scale."""
        raise NotImplementedError

    def console_errors(self):
        """Errors in the console since the last call."""
        return []

    def open(self, url):
        """Loads the page and waits until its first result is shown."""
        self.driver.get(url)
        self.wait_ready()

    def wait_ready(self, timeout=30):
        """Waits for the page's first result; fails at once with the page's
        own message when its calculation cannot load."""
        state = WebDriverWait(self.driver, timeout).until(
            lambda d: d.execute_script(
                "if (performance.getEntriesByName('kandu-ready').length) return 'ready';"
                "const failure = document.getElementById('failure');"
                "return failure && !failure.hidden && failure.textContent;"
            )
        )
        if state != "ready":
            raise AssertionError("the page says: " + state)

    def paste(self, field, text):
        """Pastes text over a field's text with Ctrl+V, having copied it
        with Ctrl+C from a text area put on the page for a moment: the
        clipboard as a user fills it, which every engine lets keys do."""
        d = self.driver
        d.execute_script("const t = document.createElement('textarea'); t.value = arguments[0];"
                         "document.body.append(t); t.focus(); t.select();", text)
        ActionChains(d).key_down(Keys.CONTROL).send_keys("c").key_up(Keys.CONTROL).perform()
        d.execute_script("document.querySelector('body > textarea').remove()")
        d.find_element(By.ID, field).click()
        for key in "av":
            ActionChains(d).key_down(Keys.CONTROL).send_keys(key).key_up(Keys.CONTROL).perform()


class Chromium(Browser):
    """Headless Chromium through chromedriver; its console messages are kept
    for get_log."""

    name = "Chromium"

    def __init__(self, width=360, height=640, scale=2, mobile=True):
        self._profile = tempfile.mkdtemp(prefix="kandu-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + self._profile)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except Exception:
            shutil.rmtree(self._profile, ignore_errors=True)
            raise
        self.screen(width, height, scale, mobile)

    def screen(self, width=360, height=640, scale=2, mobile=True):
        self.driver.execute_cdp_cmd(
            "Emulation.setDeviceMetricsOverride",
            {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile},
        )

    def color_scheme(self, scheme=""):
        """Emulates a system in the light or dark colour scheme; "" ends it."""
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": scheme}]})

    def quit(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self._profile, ignore_errors=True)

    def console_errors(self):
        """Console messages of level error (SEVERE) since the last call."""
        return [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]


class WebKit(Browser):
    """WebKitGTK's MiniBrowser through WebKitWebDriver, on a virtual display
    of its own. Its driver can neither emulate a
    screen nor read the console, and the window is no narrower than its
    toolbar; it stays as narrow as that."""

    name = "WebKit"
    emulates_screens = False

    def __init__(self):
        # A display of its own, even on a desktop: nothing there takes the
        # window's keys.
        self._display = subprocess.Popen(
            ["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=":" + self._display.stdout.readline().decode().strip())
        options = WebKitGTKOptions()
        options.binary_location = MINIBROWSER
        options.add_argument("--automation")
        self._service = WebKitGTKService(WEBKITWEBDRIVER, env=env)
        try:
            self._service.start()
            self.driver = webdriver.Remote(self._service.service_url, options=options)
        except Exception:
            self._stop()
            raise
        self.driver.set_window_size(360, 640)

    @property
    def version(self):
        return "WebKitGTK " + super().version

    def _stop(self):
        self._service.stop()
        self._display.terminate()
        self._display.wait()
        self._display.stdout.close()

    def quit(self):
        try:
            self.driver.quit()
        finally:
            self._stop()


class Firefox(Browser):
    """Headless firefox-esr, driven over the WebDriver BiDi server it starts
    itself (firefox_bidi.py)."""

    name = "Firefox"

    def __init__(self, width=360, height=640, scale=2):
        self.driver = firefox_bidi.Firefox()
        self.screen(width, height, scale)

    def screen(self, width=360, height=640, scale=2, mobile=True):
        self.driver.bidi.set_viewport(width, height, scale)

    def console_errors(self):
        return self.driver.bidi.console_errors()


def install_check(driver, server):
    """Asks Chromium whether the page open from `server` can be installed,
    then fetches from the page what of the manifest and its icons Chromium
    has not fetched yet, as an installing browser would. Returns Chromium's
    installability errors and the manifest."""
    errors = driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"]
    with open(os.path.join(server.directory, "manifest.webmanifest")) as f:
        manifest = json.load(f)
    fetched = {path for path, _, _ in server.requests}
    for name in ["manifest.webmanifest"] + [icon["src"] for icon in manifest["icons"]]:
        if "/" + name not in fetched:
            driver.execute_async_script(
                "fetch(arguments[0], {cache: 'no-store'}).then(arguments[1], arguments[1])", name)
    return errors, manifest
