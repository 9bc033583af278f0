#!/usr/bin/python3
"""The web page in headless Chromium, typed into with real key events: the
form, the worked cases, editing keys, Tab order, huge pastes, offline use and
the one-file page; then generated field texts through the page's calculation,
compared with kandu-calc's batch output. One browser serves every test.

Needs `make web` and build/native/kandu-calc (KANDU_NATIVE_BUILD overrides
build/native)."""
import os
import random
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import ROOT, WEB_BUILD, Browser, Server  # noqa: E402

from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

KANDU_CALC = os.path.join(ROOT, os.environ.get("KANDU_NATIVE_BUILD", "build/native"), "kandu-calc")
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
    characters, each outside ASCII as a byte that is no digit, blank or sign."""
    return "".join(c if ord(c) < 128 else "?" for c in text[:WINDOW_READS])


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


browser = None
server = None


def setUpModule():
    global browser, server
    for needed in (os.path.join(WEB_BUILD, "index.html"), os.path.join(WEB_BUILD, "kandu.html"),
                   KANDU_CALC):
        if not os.path.exists(needed):
            raise RuntimeError(needed + " is not built")
    server = Server()
    browser = Browser()


def tearDownModule():
    if browser:
        browser.quit()
    if server:
        server.stop()


class Page(unittest.TestCase):
    def setUp(self):
        self.driver = browser.driver
        browser.open(server.url())

    def tearDown(self):
        self.assertEqual(browser.console_errors(), [], "errors in the console")

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

    def paste(self, field, text):
        """Puts text on the clipboard and pastes it over a field's text with Ctrl+V."""
        self.driver.find_element(By.ID, field).click()
        self.driver.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": server.origin, "permissions": ["clipboardReadWrite",
                                                     "clipboardSanitizedWrite"]})
        self.driver.execute_script("return navigator.clipboard.writeText(arguments[0])", text)
        self.chord("a")
        self.chord("v")

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
        self.assertLessEqual(d.execute_script("return document.documentElement.scrollWidth"), 360)

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

    def test_tab_order_and_help_lines(self):
        d = self.driver
        helps = d.find_elements(By.CLASS_NAME, "help")

        def walk(modifier):
            order = []
            for _ in range(8):
                if modifier:
                    self.chord(Keys.TAB, modifier)
                else:
                    self.keys(Keys.TAB)
                order.append(self.focused())
                shown = [h.get_attribute("id") for h in helps if h.is_displayed()]
                self.assertEqual(shown, [order[-1] + "-help"])
            return order

        d.find_element(By.ID, "coeff").click()
        self.assertEqual(walk(None), ["displayed", "real", "result", "coeff"] * 2)
        self.assertEqual(walk(Keys.SHIFT), ["result", "real", "displayed", "coeff"] * 2)

    def test_result_field_is_read_only(self):
        self.driver.find_element(By.ID, "result").click()
        before = self.values()
        self.keys("5", Keys.BACKSPACE, Keys.DELETE, "x")
        self.chord("x")
        self.paste("result", "880")
        self.assertEqual(self.focused(), "result")
        self.assertEqual(self.values(), before)

    def test_huge_pastes_read_as_the_window_reads_them(self):
        # The window reads 31999 characters: blanks and "1100", then no more
        # of the 5s; a digit run of that length that wraps to 200.
        coeff = " " * (WINDOW_READS - 4) + "1100" + "5" * (100000 - WINDOW_READS)
        displayed = digits_congruent_to(200, WINDOW_READS, random.Random(5))
        displayed += "9" * (100000 - len(displayed))
        self.paste("coeff", coeff)
        self.paste("displayed", displayed)
        self.paste("real", "250")
        self.assertEqual(self.values(), [coeff, displayed, "250", "880"])
        seen = [self.values()]
        self.keys(Keys.BACKSPACE)  # in the real field, after the pastes
        seen.append(self.values())
        self.assert_results_follow(seen)

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

    def test_works_offline_after_the_first_visit(self):
        first = Server()
        try:
            browser.open(first.url())
            WebDriverWait(self.driver, 10).until(
                lambda d: d.execute_script("return !!navigator.serviceWorker.controller"))
        finally:
            first.stop()
        # The page was first fetched as '/': offline it also opens by name.
        browser.open(first.url("index.html"))
        seen = []
        for field, text in zip(FIELDS, WORKED_CASES[1][0]):
            self.retype(field, text, seen)
        self.assertEqual(seen[-1][3], WORKED_CASES[1][1])

    def test_one_file_page_opened_from_disk(self):
        browser.open("file://" + os.path.join(WEB_BUILD, "kandu.html"))
        seen = []
        for field, text in zip(FIELDS, WORKED_CASES[2][0]):
            self.retype(field, text, seen)
        self.assertEqual(seen[-1][3], WORKED_CASES[2][1])
        self.assertEqual(
            self.driver.execute_script("return performance.getEntriesByType('resource').length"),
            0, "the one-file page fetched something")


if __name__ == "__main__":
    unittest.main(verbosity=2)
