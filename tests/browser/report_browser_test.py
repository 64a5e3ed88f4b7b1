#!/usr/bin/env python3
"""The report page of quorvel-trace in a real browser (headless Chromium): it loads from a
file without a script error and without asking for anything; after its scripts ran it shows
every call row; a link with a filter in its fragment hides exactly the rows that do not
match; the filter box, the sortable tables, the buffers' hex and the timeline's links work
under real clicks and typing; a screenshot is taken; and the pages made from the capture
fuzz corpus load without a script error.

report_browser_test.py QUORVEL_TRACE CAPTURE MAKE_CAPTURE CORPUS_DIR WORK_DIR"""
import html.parser
import json
import os
import re
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "probes", "browser"))
import headless_chromium  # noqa: E402

ARGS = {}


def run_trace(*args):
    return subprocess.run([ARGS["trace"], *args], capture_output=True, text=True, timeout=600)


def make_report(capture, name, *options):
    out = os.path.join(ARGS["work"], name)
    done = run_trace("report", capture, *options, "-o", out)
    if done.returncode != 0:
        raise AssertionError(f"report {capture} failed: {done.stderr}")
    return out


def closing_calls(capture):
    """The number of calls the summary counts for |capture|."""
    done = run_trace("summary", capture)
    match = re.search(r"(\d+) messages, (\d+) calls", done.stdout)
    if not match:
        raise AssertionError("no closing line in: " + done.stdout + done.stderr)
    return int(match.group(2))


class Rows(html.parser.HTMLParser):
    """The call rows of a dumped page: id, classes, hidden or not, and their text."""

    def __init__(self):
        super().__init__()
        self.rows = []
        self._row = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "tr" and "call" in (attrs.get("class") or "").split():
            self._row = {"id": attrs.get("id"), "classes": attrs["class"].split(), "hidden": "hidden" in attrs,
                         "text": ""}
            self.rows.append(self._row)

    def handle_endtag(self, tag):
        if tag == "tr":
            self._row = None

    def handle_data(self, data):
        if self._row is not None:
            self._row["text"] += data


def parse_rows(dom):
    parser = Rows()
    parser.feed(dom)
    return parser.rows


def url(path, fragment=""):
    return "file://" + os.path.abspath(path) + fragment


class ReportInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(ARGS["work"], exist_ok=True)
        cls.small = make_report(ARGS["capture"], "small-report.html")
        cls.big_capture = os.path.join(ARGS["work"], "big.qtrace")
        subprocess.run([sys.executable, ARGS["make_capture"], cls.big_capture, "6000"], check=True)
        cls.big = make_report(cls.big_capture, "big-report.html")
        cls.browser = headless_chromium.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()

    def open(self, path, fragment=""):
        page = self.browser.open(url(path, fragment))
        self.assertEqual(page.errors(), [], path)
        self.assertEqual(page.requests(), [url(path)], "the page asked for more than itself")
        return page

    def test_dumped_page_shows_every_call_row(self):
        dom, console = headless_chromium.dump_dom(url(self.small))
        self.assertEqual(console, [])
        rows = parse_rows(dom)
        self.assertEqual(len(rows), closing_calls(ARGS["capture"]))
        self.assertEqual(len({r["id"] for r in rows}), len(rows), "row ids repeat")
        self.assertFalse([r for r in rows if r["hidden"]])

    def test_fragment_hides_exactly_the_rows_that_do_not_match(self):
        # The status name of the capture's first error, as in "#q=VI_ERROR_TMO&errors=1".
        with open(self.big, encoding="utf-8") as f:
            status = re.search(r'<tr class="call err"[^>]*>(?:<td>[^<]*</td>){3}<td>.*?</td><td>.*?</td><td>(\w+)',
                               f.read()).group(1)
        for fragment, words, errors in ((f"#q={status}&errors=1", [status.lower()], True),
                                        ("#q=viRead+GPIB0", ["viread", "gpib0"], False),
                                        ("#q=viWrite+GPIB0::9&errors=1", ["viwrite", "gpib0::9"], True)):
            dom, console = headless_chromium.dump_dom(url(self.big, fragment))
            self.assertEqual(console, [], fragment)
            rows = parse_rows(dom)
            expected = {r["id"] for r in rows
                        if (errors and "err" not in r["classes"]) or
                        not all(w in r["text"].lower() for w in words)}
            hidden = {r["id"] for r in rows if r["hidden"]}
            self.assertEqual(hidden, expected, fragment)
            self.assertTrue(0 < len(hidden) < len(rows), f"{fragment}: {len(hidden)} of {len(rows)} hidden")

    def test_filter_box_keeps_its_state_in_the_fragment(self):
        page = self.open(self.big)
        page.click("#q")
        page.call("Input.insertText", {"text": "viClear"})
        page.wait_until("location.hash === '#q=viClear'", "the fragment to follow the box")
        page.click("#errors")
        page.wait_until("location.hash === '#q=viClear&errors=1'", "the fragment to follow the check box")
        shown = page.evaluate("[...document.querySelectorAll('tr.call:not([hidden])')]"
                              ".every(r => r.classList.contains('err') && /viclear/i.test(r.textContent))")
        self.assertTrue(shown)
        self.assertIn(" rows shown", page.evaluate("document.getElementById('shown').textContent"))

    def test_click_on_a_timeline_call_scrolls_its_row_into_view(self):
        page = self.open(self.big)
        # The last bar of the first lane: a call far down the list.
        number = page.evaluate("(() => { const bars = document.querySelectorAll('svg [data-call]');"
                               " const b = bars[bars.length - 1]; b.id = 'target'; return b.dataset.call; })()")
        self.assertTrue(page.evaluate(f"document.getElementById('c{number}').getBoundingClientRect().top"
                                      " > innerHeight"))
        page.click("#target")
        page.wait_until(f"(() => {{ const r = document.getElementById('c{number}'); const b = r.getBoundingClientRect();"
                        " return r.classList.contains('current') && b.top >= 0 && b.bottom <= innerHeight; })()",
                        "the clicked call's row to come into view")
        title = page.evaluate("document.getElementById('target').querySelector('title').textContent")
        self.assertRegex(title, r"\d\d:\d\d:\d\d.* \u00b7 .* \u00b7 .* \u00b7 .* \u00b7 .*")

    def test_list_is_as_tall_as_its_shown_rows(self):
        # Blocks of rows off screen are not laid out; each must still take about the height
        # of the rows it shows, or "errors only" leaves screens of blank space.
        height = "document.getElementById('calls').getBoundingClientRect().height"
        row = "document.querySelector('#calls tr').getBoundingClientRect().height"
        for fragment in ("", "#errors=1"):
            page = self.open(self.big, fragment)
            shown = page.evaluate("document.querySelectorAll('#calls tr:not([hidden])').length")
            blocks = page.evaluate("[...document.querySelectorAll('#calls .block')].filter(b => !b.hidden).length")
            self.assertGreater(blocks, 2 if not fragment else 0, fragment)
            expected = shown * page.evaluate(row)
            self.assertLess(abs(page.evaluate(height) - expected), 0.5 * expected, fragment)

    def test_summary_tables_sort_by_the_clicked_column(self):
        page = self.open(self.big)
        page.evaluate("document.querySelector('table.sortable th:nth-child(2)').id = 'calls-head'")
        values = "[...document.querySelector('table.sortable').tBodies[0].rows].map(r => +r.cells[1].dataset.v)"
        for direction in ("ascending", "descending"):
            page.click("#calls-head")
            page.wait_until(f"document.getElementById('calls-head').getAttribute('aria-sort') === '{direction}'",
                            "the table to sort " + direction)
            got = page.evaluate(values)
            self.assertGreater(len(set(got)), 1)
            self.assertEqual(got, sorted(got, reverse=direction == "descending"))

    def test_a_buffer_shows_its_hex_on_a_click(self):
        page = self.open(self.small)
        page.evaluate("document.querySelector('.buf').id = 'buffer'")
        before = page.evaluate("document.getElementById('buffer').textContent")
        hex_digits = page.evaluate("document.getElementById('buffer').dataset.hex")
        page.click("#buffer")
        page.wait_until("document.getElementById('buffer').classList.contains('hex')", "the hex to show")
        self.assertEqual(page.evaluate("document.getElementById('buffer').textContent"), hex_digits)
        self.assertNotEqual(before, hex_digits)

    def test_screenshot(self):
        page = self.open(self.small)
        png = os.path.join(ARGS["work"], "report.png")
        page.screenshot(png)
        with open(png, "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (1280, 900))

    def test_pages_of_the_fuzz_corpus_load_without_a_script_error(self):
        loaded = 0
        for name in sorted(os.listdir(ARGS["corpus"])):
            out = os.path.join(ARGS["work"], "corpus-" + name + ".html")
            done = run_trace("report", os.path.join(ARGS["corpus"], name), "--skip-bad", "-o", out)
            if done.returncode != 0:
                continue  # a capture the reader refuses makes no page
            self.open(out)
            loaded += 1
        self.assertGreaterEqual(loaded, 3)

    def test_a_limited_list_keeps_the_errors(self):
        limited = make_report(self.big_capture, "limited-report.html", "--max-rows", "200")
        page = self.open(limited)
        rows = page.evaluate("document.querySelectorAll('tr.call').length")
        errors = page.evaluate("document.querySelectorAll('tr.call.err').length")
        self.assertLessEqual(rows, 200)
        self.assertGreater(errors, 0)
        self.assertRegex(page.evaluate("document.getElementById('left-out').textContent"), r"\d+ .*left out")


def main():
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    ARGS.update(zip(("trace", "capture", "make_capture", "corpus", "work"), sys.argv[1:]))
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
