#!/usr/bin/python3
"""The web page in Chromium, WebKit and Firefox, typed into with real key
events: the form, the worked cases, editing keys, the keyboard and screen
readers, huge pastes, narrow screens, updates, offline use, the strict
policy, the one-file page, a calculation that cannot load; generated field
texts through the page's calculation, compared with kandu-calc's batch
output; and in Chromium alone, installing and axe-core's WCAG 2.1 A and AA
rules in the light and the dark colour scheme. One set of tests, run in each
engine by one browser of it: `web_test.py InFirefox` runs one engine's.

Needs `make web`, build/native/kandu-calc (KANDU_NATIVE_BUILD overrides
build/native) and axe-core under build/npm (`make web-test` builds all three)."""
import contextlib
import hashlib
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import (  # noqa: E402
    COLOURS, ROOT, WEB_BUILD, Chromium, Firefox, Server, WebKit, install_check)

from selenium.common.exceptions import WebDriverException  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

KANDU_CALC = os.path.join(ROOT, os.environ.get("KANDU_NATIVE_BUILD", "build/native"), "kandu-calc")
AXE = os.path.join(ROOT, "build", "npm", "axe", "node_modules", "axe-core", "axe.min.js")
# A host that lets the browser keep every file for ten minutes.
KEPT_TEN_MINUTES = {"Cache-Control": "max-age=600"}
OUT_OF_RANGE = "out of range"
FIELDS = ("coeff", "displayed", "real")
LABELS = {
    "coeff": "actual temp. coeff.",
    "displayed": "displayed temperature",
    "real": "real temperature",
    "result": "adjust temp. coeff to",
}
TOOLTIPS = {
    "coeff": "temperature coefficient in the controller's menue",
    "displayed": "temperature on the controller's display",
    "real": "measuered temperature of the heater",
    "result": "type this value in the controller's menue",
}
INITIAL = {"coeff": "1100", "displayed": "150", "real": "150"}
WORKED_CASES = [
    (("1100", "150", "150"), "1100"),
    (("1100", "200", "250"), "880"),
    (("700", "200", "250"), "560"),
    (("1100", "21", "100"), OUT_OF_RANGE),
    (("1100", "150", "20"), OUT_OF_RANGE),
]
# The window reads a field with GetWindowTextA into 32000 bytes, from an ANSI
# edit control.
WINDOW_READS = 31999


def window_reads(text):
    """A field's text as the window's calculation gets it: its first 31999
    characters up to a zero, which ends a field's text, each outside ASCII as
    a byte that is no digit, blank or sign."""
    text = text[:WINDOW_READS].split("\0")[0]
    return "".join(c if ord(c) < 128 else "?" for c in text)


def kandu_calc(triples):
    """kandu-calc's batch result for each triple of field texts."""
    lines = ["\t".join(window_reads(t) for t in triple) + "\n" for triple in triples]
    run = subprocess.run(
        [KANDU_CALC], input="".join(lines).encode("ascii"), capture_output=True, check=True
    )
    results = run.stdout.decode("ascii").split("\n")
    assert results.pop() == "" and len(results) == len(triples), "kandu-calc: wrong line count"
    return results


def digits_congruent_to(value, length, rng):
    """A run of `length` digits whose number is `value` modulo 2^32."""
    head = str(rng.randint(1, 9)) + "".join(rng.choice("0123456789") for _ in range(length - 11))
    low = 0
    for digit in head:
        low = (low * 10 + int(digit)) % 2**32
    tail = (value - low * 10**10) % 2**32  # below 10^10
    return "%s%010d" % (head, tail)


def generated_triples(rng, count):
    """Field texts a user might type or paste, and worse: plain numbers over
    the whole useful range, decorated ones, the range limits, int32 and
    uint32 edges, long digit runs that wrap, junk. ASCII without TAB, CR or
    LF, which separate kandu-calc's batch fields and lines."""
    edges = [
        "", " ", "   ", "+", "-", "+-5", "-+5", "--5", "++5", "- 5", " -5", "5 5", "0", "-0",
        "+0", "1100.9", ".5", "1e3", "0x4b0", "abc", "x1100", "1100x", "1 100", "1,100",
        "\x0b1100", "\x001100", "1100\x00", "2147483647", "2147483648", "-2147483648",
        "-2147483649", "4294967295", "4294967296", "4294968396", "-4294966196",
        "18446744073709552716",
    ]
    junk_chars = [chr(c) for c in range(1, 128) if chr(c) not in "\t\r\n"]
    displayed_limits = ["19", "20", "21", "22", "499", "500", "501", "502"]
    real_limits = ["19", "20", "21", "22"]

    def decorated(text):
        pick = rng.randrange(6)
        if pick == 0:
            return " " * rng.randint(1, 6) + text
        if pick == 1:
            return rng.choice("+-") + text
        if pick == 2:
            return text + "." + str(rng.randint(0, 99))
        if pick == 3:
            return text + rng.choice(["a", "x", " ", "-", "+", "e3", "C"])
        if pick == 4:
            return "0" * rng.randint(1, 8) + text
        return rng.choice(["++", "--", "+-", "-+", " - ", "\x0b"]) + text

    def field(useful, wide, limits):
        r = rng.random()
        if r < 0.55:
            return str(rng.randint(*useful))
        if r < 0.75:
            return decorated(str(rng.randint(*wide)))
        if r < 0.83:
            return rng.choice(edges)
        if r < 0.90:
            return rng.choice(limits)
        if r < 0.96:
            return digits_congruent_to(rng.randint(*useful), rng.randint(11, 60), rng)
        return "".join(rng.choice(junk_chars) for _ in range(rng.randint(0, 12)))

    useful = [(300, 4500), (0, 520), (0, 620)]
    wide = [(-100, 6000), (-150, 700), (-150, 700)]
    limits = [["400", "4000"], displayed_limits, real_limits]
    triples = []
    for _ in range(count):
        if rng.random() < 0.5:
            triples.append(tuple(str(rng.randint(*u)) for u in useful))
        else:
            triples.append(tuple(field(*f) for f in zip(useful, wide, limits)))
    triples += [(c, d, r) for c in ("400", "1100", "3900") for d in displayed_limits
                for r in real_limits + ["150", "250"]]
    # Halfway between two settings: displayed equal to real and a coefficient
    # ending in 5, where the single-precision roundings decide up or down.
    for _ in range(1000):
        temperature = str(rng.randint(21, 500))
        triples.append((str(rng.randint(40, 399) * 10 + 5), temperature, temperature))
    # As long as the window reads: leading blanks, leading zeros, a digit run.
    triples += [
        (" " * (WINDOW_READS - 4) + "1100", "0" * (WINDOW_READS - 3) + "200",
         digits_congruent_to(250, WINDOW_READS, rng)),
    ]
    return triples


def page_policy():
    """The Content-Security-Policy that the built page carries."""
    with open(os.path.join(WEB_BUILD, "index.html")) as f:
        return re.search(r'http-equiv="Content-Security-Policy" content="([^"]+)"', f.read())[1]


server = None


def setUpModule():
    global server
    for needed in (os.path.join(WEB_BUILD, "index.html"), os.path.join(WEB_BUILD, "kandu.html"),
                   KANDU_CALC, AXE):
        if not os.path.exists(needed):
            raise RuntimeError(needed + " is not built")
    # The page's own policy again, only reporting: a browser posts to the
    # server what breaks the policy, as it reports nothing of a policy in
    # the page itself.
    server = Server(headers={"Content-Security-Policy-Report-Only":
                             page_policy() + "; report-uri /violations"})


def tearDownModule():
    if server:
        server.stop()


def only_in(engines, why):
    """A test that only these engines can check, for the reason given."""
    def mark(test):
        test.only_in = engines, why
        return test
    return mark


class Page:
    """The tests; each engine's TestCase below runs them in that engine."""

    engine = None

    @classmethod
    def setUpClass(cls):
        cls.browser = cls.engine()
        print("\n%s %s" % (cls.engine.name, cls.browser.version), file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()

    def setUp(self):
        engines, why = getattr(getattr(self, self._testMethodName), "only_in", ((self.engine,), ""))
        if self.engine not in engines:
            self.skipTest(why)
        self.driver = self.browser.driver
        self.browser.open(server.url())

    def tearDown(self):
        self.assertEqual(self.browser.console_errors(), [], "errors in the console")
        self.assertEqual(server.take_reports(), [], "the page's policy was broken")

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def chord(self, key, modifier=Keys.CONTROL):
        ActionChains(self.driver).key_down(modifier).send_keys(key).key_up(modifier).perform()

    def values(self):
        """The four fields' texts: coefficient, displayed, real, result."""
        return self.driver.execute_script(
            "return ['coeff', 'displayed', 'real', 'result']"
            ".map((id) => document.getElementById(id).value)")

    def focused(self):
        return self.driver.execute_script("return document.activeElement.id")

    def retype(self, field, text, seen):
        """Selects a field's text and types another, key by key; the fields
        after every key go to `seen`."""
        self.driver.find_element(By.ID, field).click()
        self.chord("a")
        for key in text:
            self.keys(key)
            seen.append(self.values())

    def wait(self, script, timeout=30):
        """Waits until an async script, given `done` as its last argument,
        calls it with something true, and returns that."""
        return WebDriverWait(self.driver, timeout, poll_frequency=0.1).until(
            lambda d: d.execute_async_script("const done = arguments[0];" + script))

    def boxes(self):
        """Each field's and label's box: left, top, width, height."""
        return self.driver.execute_script(
            "return [...document.querySelectorAll('input'), ...document.querySelectorAll('label')]"
            "  .map((e) => {"
            "  const r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; })")

    def assert_no_axe_violations(self):
        with open(AXE) as f:
            self.driver.execute_script(f.read())
        found = self.driver.execute_async_script(
            "axe.run(document, {runOnly: {type: 'tag', values:"
            " ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']},"
            # Text at 7:1, beyond AA's 4.5:1.
            " rules: {'color-contrast-enhanced': {enabled: true}}})"
            ".then((r) => arguments[0](r))")
        self.assertGreater(len(found["passes"]), 10, "axe-core checked little")
        self.assertEqual([(v["id"], [n["target"] for n in v["nodes"]]) for v in found["violations"]],
                         [])

    def retype_worked_case(self, case):
        seen = []
        for field, text in zip(FIELDS, WORKED_CASES[case][0]):
            self.retype(field, text, seen)
        self.assertEqual(seen[-1][3], WORKED_CASES[case][1])

    def assert_results_follow(self, seen):
        """Every result shown is kandu-calc's for the field texts beside it."""
        expected = kandu_calc([v[:3] for v in seen])
        for v, e in zip(seen, expected):
            self.assertEqual(v[3], e, "fields %r" % (v[:3],))

    def test_form_as_the_window_has_it(self):
        d = self.driver
        self.assertEqual(d.title, "Corvane - KANDU")
        labels = d.find_elements(By.TAG_NAME, "label")
        self.assertEqual([(l.get_attribute("for"), l.text) for l in labels], list(LABELS.items()))
        for id, tooltip in TOOLTIPS.items():
            field = d.find_element(By.ID, id)
            self.assertEqual(field.get_attribute("title"), tooltip)
            help_line = d.find_element(By.ID, id + "-help")
            self.assertEqual(help_line.get_attribute("textContent"), tooltip)
            self.assertEqual(field.get_attribute("aria-describedby"), id + "-help")
            self.assertEqual(field.get_attribute("type"), "text")
            if id in INITIAL:
                self.assertEqual(field.get_attribute("inputmode"), "numeric")
                self.assertIsNone(field.get_attribute("readonly"))
            else:
                self.assertEqual(field.get_attribute("readonly"), "true")
        # The result is shown at once, not only after the first change.
        self.assertEqual(self.values(), list(INITIAL.values()) + ["1100"])
        self.assertLessEqual(*d.execute_script(
            "return [document.documentElement.scrollWidth, innerWidth]"), "a scroll bar across")

    def test_typing_worked_cases_editing_keys_and_any_text(self):
        seen = []
        for texts, expected in WORKED_CASES:
            for field, text in zip(FIELDS, texts):
                self.retype(field, text, seen)
            self.assertEqual(self.values(), list(texts) + [expected])
        # Signs, blanks, letters and characters outside ASCII, with 200 and 250.
        self.retype("displayed", "200", seen)
        self.retype("real", "250", seen)
        for text in ["+-1100", "--1100", "  1100", " + 1100", "1100.5", "1,100", "abc1100",
                     "0x44c", "-0000900", "1100e2", "11\u01310", "\uff11\uff11\uff10\uff10",
                     "\u00a01100", "1100\u00e9"]:
            self.retype("coeff", text, seen)
        # Backspace, Delete, Home and letters, key by key.
        self.driver.find_element(By.ID, "real").click()
        for key in [Keys.END, Keys.BACKSPACE, Keys.BACKSPACE, "1", "0", Keys.HOME, Keys.DELETE,
                    "x", Keys.BACKSPACE, "-", Keys.HOME, "+", " "]:
            self.keys(key)
            seen.append(self.values())
        self.assertEqual(self.values()[:3], ["1100\u00e9", "200", "+ -10"])
        self.assert_results_follow(seen)

    def test_keyboard_leaves_the_page_and_nothing_moves(self):
        d = self.driver
        helps = d.find_elements(By.CLASS_NAME, "help")
        # Whatever a page could do with the keys, the last listener sees. (On
        # WebKitGTK, Shift+Tab's key is "Unidentified"; its code is Tab.)
        d.execute_script("window.tabsTaken = []; addEventListener('keydown', (e) => {"
                         "  if (e.code === 'Tab') tabsTaken.push(e.defaultPrevented); })")
        d.find_element(By.ID, "coeff").click()
        place = self.boxes()
        order = []
        for _ in range(4):
            self.keys(Keys.TAB)
            order.append(self.focused())
            self.assertEqual(self.boxes(), place, "a field moved when %s took the focus" % order[-1])
            self.assertTrue(all(h.is_displayed() for h in helps))
        # Tab and Shift+Tab go on past the fields, as a browser's do: the
        # page takes neither key. WebKitGTK's window, having nothing else
        # to focus, brings the focus round to the other end of any page.
        self.assertEqual(order[:3], ["displayed", "real", "result"])
        d.find_element(By.ID, "coeff").click()
        self.chord(Keys.TAB, Keys.SHIFT)
        order.append(self.focused())
        if self.engine is WebKit:
            self.assertEqual(order[3:], ["coeff", "result"])
        else:
            self.assertNotIn(order[3], FIELDS + ("result",))
            self.assertNotIn(order[4], FIELDS + ("result",))
        self.assertEqual(d.execute_script("return tabsTaken"), [False] * 5)

    def test_status_says_the_result_once_typing_pauses(self):
        d = self.driver
        self.assertIsNone(d.find_element(By.ID, "result").get_attribute("aria-live"))
        self.assertEqual(d.find_element(By.ID, "status").get_attribute("role"), "status")
        said = "adjust temp. coeff to "
        self.retype("displayed", "200", [])
        self.wait("done(document.getElementById('status').textContent.startsWith(%r))" % said)
        d.execute_script(
            "window.statusSaid = [];"
            "const s = document.getElementById('status');"
            "new MutationObserver(() => statusSaid.push(s.textContent))"
            "    .observe(s, {childList: true, characterData: true, subtree: true});")
        d.find_element(By.ID, "real").click()
        self.chord("a")
        self.keys("250")  # three keys in one go: one pause, after the last
        self.wait("done(statusSaid.length > 0)")
        self.assertEqual(self.values()[3], "880")
        self.assertEqual(d.execute_script("return statusSaid"), [said + "880"])

    @only_in((Chromium, Firefox), "WebKitGTK's driver emulates no screen, and its window is"
             " wider than 360 pixels")
    def test_narrow_screens_and_200_percent_zoom(self):
        try:
            for width, scale in ((360, 2), (320, 2), (180, 4)):
                self.browser.screen(width, 640, scale)
                self.browser.open(server.url())
                seen = []
                self.retype("displayed", "21", seen)
                self.assertEqual(seen[-1][3], OUT_OF_RANGE)
                d = self.driver
                self.assertLessEqual(
                    d.execute_script("return document.documentElement.scrollWidth"), width)
                self.assertLessEqual(
                    *d.execute_script("const r = document.getElementById('result');"
                                      "return [r.scrollWidth, r.clientWidth]"),
                    "the result does not show whole at %d px" % width)
                boxes = self.boxes()
                for left, top, w, h in boxes[:4]:
                    self.assertGreaterEqual(min(w, h), 48, "field at %d px" % width)
                if width < 360:  # each label above its field
                    for field, label in zip(boxes[:4], boxes[4:]):
                        self.assertLessEqual(label[1] + label[3], field[1])
        finally:
            self.browser.screen()

    def test_result_field_is_read_only(self):
        self.driver.find_element(By.ID, "result").click()
        before = self.values()
        self.keys("5", Keys.BACKSPACE, Keys.DELETE, "x")
        self.chord("x")
        self.browser.paste("result", "880")
        self.assertEqual(self.focused(), "result")
        self.assertEqual(self.values(), before)

    def test_huge_pastes_read_as_the_window_reads_them(self):
        # The window reads 31999 characters: blanks and "1100", then no more
        # of the 5s; a digit run of that length that wraps to 200.
        coeff = " " * (WINDOW_READS - 4) + "1100" + "5" * (100000 - WINDOW_READS)
        displayed = digits_congruent_to(200, WINDOW_READS, random.Random(5))
        displayed += "9" * (100000 - len(displayed))
        self.browser.paste("coeff", coeff)
        self.browser.paste("displayed", displayed)
        self.browser.paste("real", "250")
        self.assertEqual(self.values(), [coeff, displayed, "250", "880"])
        seen = [self.values()]
        self.keys(Keys.BACKSPACE)  # in the real field, after the pastes
        seen.append(self.values())
        self.assert_results_follow(seen)

    def test_strict_policy_with_no_violation_reported(self):
        d = self.driver
        # Handlers in attributes would need 'unsafe-inline'.
        self.assertEqual(d.execute_script(
            "return [...document.querySelectorAll('*')].flatMap((e) => e.getAttributeNames())"
            "  .filter((name) => name.startsWith('on'))"), [])
        # Enter in a field sends the form nowhere (form-action 'none').
        d.find_element(By.ID, "real").click()
        self.keys(Keys.ENTER)
        self.wait("done(!!navigator.serviceWorker.controller)")
        self.assertEqual(self.values()[3], "1100")
        # An image from another origin: the page's policy refuses it and the
        # copy reports it, after anything that this visit broke before.
        other = server.origin.replace("127.0.0.1", "localhost")
        refused = self.wait("const i = new Image(); i.onload = () => done('loaded');"
                            "i.onerror = () => done('refused'); i.src = %s;"
                            % json.dumps(other + "/icon-192.png"))
        WebDriverWait(d, 30).until(lambda d: server.reports)
        self.assertEqual(refused, "refused")
        reports = server.take_reports()
        self.assertEqual([(r.get("effective-directive", r.get("violated-directive")),
                           r.get("blocked-uri", "").startswith(other)) for r in reports],
                         [("img-src", True)])
        # The refused image's error, which Firefox may log after the report
        # has come (WebKitGTK's driver reads no console).
        if self.engine is not WebKit:
            WebDriverWait(d, 30).until(lambda d: self.browser.console_errors())

    def test_page_calculation_equals_kandu_calc_on_generated_texts(self):
        triples = generated_triples(random.Random(20240611), 5000)
        shown = self.driver.execute_script(
            "return arguments[0].map((t) => kanduResult(...t))", triples)
        expected = kandu_calc(triples)
        mismatches = [(t, s, e) for t, s, e in zip(triples, shown, expected) if s != e]
        self.assertEqual(mismatches[:5], [], "%d of %d differ" % (len(mismatches), len(triples)))
        valid = [int(s) for s in shown if s != OUT_OF_RANGE]
        self.assertTrue(all(400 <= v <= 4000 and v % 10 == 0 for v in valid))
        # The comparison covers many valid results, not mostly "out of range".
        self.assertGreater(len(valid), len(triples) // 4)

    def test_update_arrives_past_the_http_cache_and_works_offline(self):
        with tempfile.TemporaryDirectory(prefix="kandu-web-") as tmp:
            site, second = os.path.join(tmp, "site"), os.path.join(tmp, "second")
            shutil.copytree(WEB_BUILD, site)
            # The second build: the same with another version, its page and
            # all that depends on it made anew.
            shutil.copytree(WEB_BUILD, second)
            os.remove(os.path.join(second, "index.html"))
            subprocess.run(["make", "-s", "-C", ROOT, "web", "WEB=" + second, "VERSION=9.9.9.9"],
                           check=True, stdout=subprocess.DEVNULL)
            host = Server(site, KEPT_TEN_MINUTES)
            try:
                self.browser.open(host.url())
                self.wait("done(!!navigator.serviceWorker.controller)")
                self.wait("caches.open('another-app').then(() => done(true))")
                # The new build goes up, the old one's files go away.
                shutil.rmtree(site)
                shutil.copytree(second, site)
                shown = []
                for _ in range(2):
                    self.browser.open(host.url())
                    shown.append(self.driver.find_element(By.TAG_NAME, "footer").text)
                    # The visit makes the browser look for a new service
                    # worker; this waits until one, if found, has taken over.
                    self.wait("navigator.serviceWorker.getRegistration().then((r) => r.update()"
                              "  .then(() => done(!r.installing && !r.waiting)))")
                self.assertEqual(shown[1], "Kandu 9.9.9.9", "visits after the update: %r" % shown)
                self.retype_worked_case(1)
                keys = self.wait("caches.keys().then(done)")
                self.assertIn("another-app", keys)
                self.assertEqual(len(keys), 2, keys)
            finally:
                host.stop()
            # Offline, from a link with a query string, and by name.
            for path in ("?from=home-screen", "index.html"):
                self.browser.open(host.url(path))
                self.assertEqual(self.driver.find_element(By.TAG_NAME, "footer").text,
                                 "Kandu 9.9.9.9")
                self.retype_worked_case(1)
            # Another page of the site fails offline as the browser fails it:
            # its own error (some drivers report it), not the page.
            try:
                self.driver.get(host.url("other.html"))
            except WebDriverException as failure:
                self.assertIn("CONNECTION_REFUSED", failure.msg)
            self.assertNotEqual(self.driver.title, "Corvane - KANDU")
            self.browser.console_errors()  # the refused connection
        # Each build names its wasm by its bytes' hash.
        with open(os.path.join(WEB_BUILD, "index.html")) as f:
            wasm = re.search(r"'(kandu-[0-9a-f]{16}\.wasm)'", f.read()).group(1)
        with open(os.path.join(WEB_BUILD, wasm), "rb") as f:
            self.assertEqual(wasm[6:22], hashlib.sha256(f.read()).hexdigest()[:16])

    def test_one_file_page_opened_from_disk(self):
        self.browser.open("file://" + os.path.join(WEB_BUILD, "kandu.html"))
        self.retype_worked_case(2)
        self.assertEqual(
            self.driver.execute_script("return performance.getEntriesByType('resource').length"),
            0, "the one-file page fetched something")

    def test_first_visit_within_its_byte_budget(self):
        host = Server()
        try:
            self.browser.open(host.url())
            self.wait("done(!!navigator.serviceWorker.controller)")
            # Chromium may fetch the manifest and an icon at once too; the
            # home-screen icon is fetched only when a link is made.
            page = [r for r in host.requests if not r[0].endswith((".png", ".webmanifest"))]
            # WebKitGTK's automation session keeps no HTTP cache, so there the
            # service worker's check of the page and wasm fetches them whole.
            if self.engine is not WebKit:
                self.assertLessEqual(sum(r[2] for r in page), 16 * 1024, page)
            self.assertNotIn("/apple-touch-icon.png", [r[0] for r in host.requests])
        finally:
            host.stop()

    @only_in((Chromium,), "only Chromium's driver asks whether a page can be installed")
    def test_installable(self):
        host = Server()
        try:
            self.browser.open(host.url())
            self.wait("done(!!navigator.serviceWorker.controller)")
            errors, manifest = install_check(self.driver, host)
            self.assertEqual(errors, [])
            icons = set()
            for icon in manifest["icons"]:
                with open(os.path.join(WEB_BUILD, icon["src"]), "rb") as f:
                    png = f.read(24)
                self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
                self.assertEqual("%dx%d" % struct.unpack(">II", png[16:24]), icon["sizes"])
                icons.add((icon["sizes"], icon.get("purpose", "any")))
            self.assertLessEqual({("192x192", "any"), ("512x512", "any")}, icons)
            self.assertIn("maskable", [purpose for _, purpose in icons])
            self.assertLessEqual(host.bytes_sent, 32 * 1024, host.requests)
            for meta in ("theme-color", "description"):
                self.assertTrue(self.driver.find_element(
                    By.CSS_SELECTOR, "meta[name=%s]" % meta).get_attribute("content"))
            # What an iPhone's "Add to Home Screen" takes: the short name, and
            # an icon 180 pixels square without transparency (made black
            # there), linked where navigator.standalone is, as on an iPhone.
            self.assertEqual(self.driver.find_element(
                By.CSS_SELECTOR, "meta[name=apple-mobile-web-app-title]").get_attribute("content"),
                manifest["short_name"])
            self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "[rel=apple-touch-icon]"),
                             [])
            iphone = self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {
                "source": "Navigator.prototype.standalone = false;"})["identifier"]
            try:
                self.browser.open(host.url())
                href = self.driver.find_element(
                    By.CSS_SELECTOR, "head > link[rel=apple-touch-icon]").get_attribute("href")
            finally:
                self.driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                                            {"identifier": iphone})
            self.assertEqual(href, host.url("apple-touch-icon.png"))
            with open(os.path.join(WEB_BUILD, "apple-touch-icon.png"), "rb") as f:
                png = f.read()
            self.assertEqual(struct.unpack(">II", png[16:24]), (180, 180))
            self.assertIn(png[25], (0, 2, 3), "a colour type with alpha")
            self.assertNotIn(b"tRNS", png)
        finally:
            host.stop()

    @contextlib.contextmanager
    def hosts_without_calculation(self):
        """Two hosts of a page that cannot load its calculation: one lacks
        the wasm; one's policy, without 'wasm-unsafe-eval', refuses to
        compile it."""
        with tempfile.TemporaryDirectory(prefix="kandu-web-") as site:
            for name in os.listdir(WEB_BUILD):
                path = os.path.join(WEB_BUILD, name)
                if os.path.isfile(path) and not name.endswith(".wasm"):
                    shutil.copy(path, site)
            missing = Server(site)
            refused = Server(headers={"Content-Security-Policy": "script-src 'unsafe-inline'"})
            try:
                yield missing, refused
            finally:
                missing.stop()
                refused.stop()

    def open_failing(self, host):
        """Opens the page from a host where its calculation cannot load."""
        d = self.driver
        d.get(host.url())
        WebDriverWait(d, 30).until(lambda d: d.find_element(By.ID, "failure").is_displayed())

    @only_in((Chromium,), "axe-core's rules are checked in one engine")
    def test_no_violation_of_wcag_2_1_a_and_aa_in_either_scheme(self):
        try:
            for scheme in ("light", "dark"):
                self.browser.color_scheme(scheme)
                self.browser.open(server.url())
                self.retype_worked_case(3)
                self.driver.find_element(By.ID, "result").click()
                self.assert_no_axe_violations()
                with self.hosts_without_calculation() as (missing, _):
                    self.open_failing(missing)
                    self.assert_no_axe_violations()
                    self.browser.console_errors()  # the failed fetch and registration
                    colours = self.driver.execute_script(COLOURS)
                self.assertGreaterEqual(colours["border"], 3, scheme)
                self.assertIn("dark", colours["scheme"])
                if scheme == "dark":  # the page, its card and the phone's status bar
                    self.assertLess(max(colours["background"], colours["card"], colours["theme"]),
                                    0.05, colours)
        finally:
            self.browser.color_scheme()

    def test_clear_message_when_the_calculation_cannot_load(self):
        with self.hosts_without_calculation() as hosts:
            for host in hosts:
                self.open_failing(host)
                self.assertIn("The calculation could not be loaded",
                              self.driver.find_element(By.ID, "failure").text)
                self.assertEqual(self.values()[3], "")
            self.browser.console_errors()  # the failed fetch, compilation and registration


class InChromium(Page, unittest.TestCase):
    engine = Chromium


class InWebKit(Page, unittest.TestCase):
    engine = WebKit


class InFirefox(Page, unittest.TestCase):
    engine = Firefox


if __name__ == "__main__":
    unittest.main(verbosity=2)
