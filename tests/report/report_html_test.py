#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The report of real wirepace-cli runs read as HTML: its structure, the nine tests of each run
with the numbers of --format json, nothing outside the file; and the history (in the report
and from `wirepace-cli history`) picking the right runs out of a log with several names and
targets and with foreign and damaged lines.

report_html_test.py --cli PATH_TO_WIREPACE_CLI"""

import argparse
import csv
import html.parser
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

CLI = None
CATALOGUE = ["1a", "1b", "2", "3", "4", "5", "6", "7", "8"]
VOID = {"meta", "br", "hr", "img", "input", "link", "wbr", "col", "source"}


class Report(html.parser.HTMLParser):
    """The parts of the report the checks read; every end tag must close the element it
    belongs to."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.stack, self.problems = [], []
        self.sections = []  # ids, in order
        self.tables = {}  # id -> list of (row attributes, [cell texts])
        self.figures = []  # (class, data-test)
        self.svgs = []  # classes of the outermost svg elements
        self.chart_labels = []  # the bar labels of each bar chart, in order
        self.title = ""
        self._table = self._row = self._cell = None
        self._svg_depth = 0
        self._in_chart = self._in_label = self._in_title = False
        self.feed(text)
        self.close()
        if self.stack:
            self.problems.append(f"left open: {self.stack}")

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag not in VOID:
            self.stack.append(tag)
        self._open(tag, a)

    def handle_startendtag(self, tag, attrs):
        self._open(tag, dict(attrs))

    def _open(self, tag, a):
        if tag == "section":
            self.sections.append(a.get("id", ""))
        elif tag == "table" and "id" in a:
            self._table = self.tables.setdefault(a["id"], [])
        elif tag == "tr" and self._table is not None:
            self._row = (a, [])
            self._table.append(self._row)
        elif tag in ("td", "th") and self._row is not None:
            self._cell = ""
        elif tag == "figure":
            self.figures.append((a.get("class", ""), a.get("data-test")))
        elif tag == "svg":
            if self._svg_depth == 0:
                self.svgs.append(a.get("class", ""))
                self._in_chart = a.get("class") == "bar-chart"
                if self._in_chart:
                    self.chart_labels.append([])
            self._svg_depth += 1
        elif tag == "text" and self._in_chart and a.get("text-anchor") == "end":
            self._in_label = True
            self.chart_labels[-1].append("")
        elif tag == "title" and self._svg_depth == 0:
            self._in_title = True

    def handle_endtag(self, tag):
        if not self.stack or self.stack[-1] != tag:
            self.problems.append(f"</{tag}> closes {self.stack[-1:] or 'nothing'}")
        else:
            self.stack.pop()
        if tag == "table":
            self._table = None
        elif tag == "tr":
            self._row = None
        elif tag in ("td", "th") and self._cell is not None:
            self._row[1].append(self._cell.strip())
            self._cell = None
        elif tag == "svg":
            self._svg_depth -= 1
            if self._svg_depth == 0:
                self._in_chart = False
        elif tag == "text":
            self._in_label = False
        elif tag == "title":
            self._in_title = False

    def handle_data(self, data):
        if self._cell is not None:
            self._cell += data
        if self._in_label:
            self.chart_labels[-1][-1] += data
        if self._in_title:
            self.title += data


def grouped(number):
    """A whole number as the window's table writes it ("###,###"): grouped, empty for 0."""
    return f"{int(number):,}" if number else ""


class Home:
    """Work root, log folder and target in a temporary folder; the log seeded with `log`."""

    def __init__(self, log_text=""):
        self.tmp = tempfile.TemporaryDirectory(prefix="wirepace-report-")
        self.root = self.tmp.name
        self.target = os.path.join(self.root, "target")
        os.makedirs(self.target)
        self.log = os.path.join(self.root, "data", "wirepace", "TestResults.txt")
        os.makedirs(os.path.dirname(self.log))
        with open(self.log, "w", newline="") as f:
            f.write(log_text)
        self.env = dict(os.environ, XDG_CACHE_HOME=os.path.join(self.root, "cache"),
                        XDG_DATA_HOME=os.path.join(self.root, "data"), LC_ALL="C")

    def cli(self, *args, timeout=300):
        return subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout)


def logged_run(name, target, base, banner=True):
    lines = [f"-- Starting {name} test at 10:00:00 --"] if banner else []
    for i, test in enumerate(CATALOGUE):
        lines.append(f'"{name}", "{target}", 2026-11-0{1 + i % 3}, 10:00:0{i}.12{i}, {test}, '
                     f'{100 + i}, {base + i}, "{"Possible Duplex Mismatch" if i == 6 else ""}"')
    return lines


class ReportOfARealRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = Home()
        target = cls.home.target + "/"
        seed = []
        seed += ["Measurements of the new switch, typed in by hand"]  # foreign
        seed += logged_run("Lab", target, 1000)
        seed += logged_run("Other", target, 2000)
        seed += logged_run("Lab", "/mnt/elsewhere/", 3000)
        seed += ['"Lab", "' + target + '", 2026-11-0']  # torn by a full disk
        seed += logged_run("Lab", target, 4000, banner=False)[:5]  # an older log, no banner
        seed += ["\x00\x01 binary", "-- Error: Path not found [76] --"]
        with open(cls.home.log, "w", newline="") as f:
            f.write("\r\n".join(seed) + "\r\n")
        cls.report = os.path.join(cls.home.root, "Lab report.html")
        run = cls.home.cli("--name", "Lab", "--dir", cls.home.target, "--repeat", "2",
                           "--format", "json", "--report", cls.report)
        if run.returncode != 0:
            raise AssertionError(f"wirepace-cli ended with {run.returncode}: {run.stderr}")
        cls.json = json.loads(run.stdout)
        with open(cls.report, encoding="utf-8") as f:
            cls.text = f.read()
        cls.html = Report(cls.text)

    @classmethod
    def tearDownClass(cls):
        cls.home.tmp.cleanup()

    def test_structure(self):
        self.assertEqual(self.html.problems, [])
        self.assertTrue(self.text.startswith("<!DOCTYPE html>"))
        self.assertEqual(self.html.title, "Wirepace report: Lab")
        self.assertEqual(self.html.sections,
                         ["measured", "diagnoses", "summary", "run-1", "run-2", "history"])
        for fact in ("Test name", "Target as typed", "What the target is", "Connection",
                     "File sizes", "File content", "Started", "Program", "Host"):
            self.assertIn(f"<th>{fact}</th>", self.text)
        self.assertIn("<td>Wirepace ", self.text)
        self.assertIn(f"<td>{self.home.target}</td>", self.text)

    def test_each_run_holds_the_nine_tests_with_the_numbers_of_the_json(self):
        runs = self.json["runs"]
        self.assertEqual(len(runs), 2)
        for number, run in enumerate(runs, 1):
            rows = self.html.tables[f"results-{number}"][1:]
            self.assertEqual([attrs["data-test"] for attrs, _ in rows], CATALOGUE)
            for (attrs, cells), test in zip(rows, run["tests"]):
                self.assertEqual(cells[0], test["id"])
                self.assertEqual(cells[1], test["name"])
                self.assertEqual(float(attrs["data-ms"]), test["ms"])
                self.assertEqual(float(attrs["data-bytes"]), test["bytes"])
                self.assertEqual(float(attrs["data-speed"]), test["speed"])
                # The texts the window's table shows.
                self.assertEqual(cells[2], str(int(test["ms"])))
                self.assertEqual(cells[4], grouped(test["speed"]))
                self.assertEqual(cells[5], test["comment"])
            # The bar chart: the network tests in the window's order with their speeds.
            self.assertEqual(self.html.chart_labels[number - 1],
                             [f"{t['name']} [{int(t['speed'])}]" for t in run["tests"][2:]])
        self.assertEqual(self.html.svgs.count("bar-chart"), 2)
        timelines = [test for kind, test in self.html.figures if kind == "timeline-figure"]
        self.assertEqual(timelines, CATALOGUE * 2)

    def test_the_summary_is_that_of_the_json(self):
        rows = self.html.tables["summary-table"][1:]
        self.assertEqual(len(rows), 9)
        for (attrs, _), s in zip(rows, self.json["summary"]):
            self.assertEqual(attrs["data-test"], s["id"])
            for key in ("min", "median", "max"):
                self.assertEqual(float(attrs[f"data-{key}"]), s[key])

    def test_nothing_is_fetched_from_outside_the_file(self):
        for outside in (r"https?:", r"\bsrc\s*=", r"\bhref\s*=", r"url\(", r"@import",
                        r"<script", r"<link", r"<iframe", r"<object", r"<embed", r"<img"):
            self.assertIsNone(re.search(outside, self.text, re.IGNORECASE), outside)

    def test_history_marks_this_invocation_among_the_earlier_runs_of_its_name_and_target(self):
        rows = self.html.tables["history-table"][1:]
        # Lab on this target: the one with a banner, the one of the older log, and this run
        # twice; not Other, not Lab elsewhere.
        self.assertEqual(len(rows), 4)
        self.assertEqual([a.get("class") for a, _ in rows], [None, None, "this-run", "this-run"])
        self.assertEqual(rows[0][1][3:], [f"{1000 + i:,}" + (" *" if i == 6 else "")
                                          for i in range(9)])
        self.assertEqual(rows[1][1][3:], [f"{4000 + i:,}" for i in range(5)] + [""] * 4)
        for row, run in zip(rows[2:], self.json["runs"]):
            self.assertEqual(row[1][3:], [f"{int(t['speed']):,}" for t in run["tests"]])
        self.assertIn("3 line(s) of the log were skipped", self.text)
        trends = [test for kind, test in self.html.figures if kind == "trend-figure"]
        self.assertEqual(trends, CATALOGUE)

    def test_the_history_command_lists_the_same_runs(self):
        def history(*args):
            run = self.home.cli("history", *args)
            self.assertEqual(run.returncode, 0, run.stderr)
            return run

        listed = json.loads(history("--name", "Lab", "--dir", self.home.target,
                                    "--format", "json").stdout)
        self.assertEqual(listed["skipped_lines"], 3)
        self.assertEqual(listed["log"], self.home.log)
        self.assertEqual(len(listed["runs"]), 4)
        self.assertEqual([t["speed"] for t in listed["runs"][0]["tests"]],
                         [1000 + i for i in range(9)])
        self.assertEqual(listed["runs"][1]["started"], "")
        for logged, run in zip(listed["runs"][2:], self.json["runs"]):
            self.assertEqual([t["speed"] for t in logged["tests"]],
                             [t["speed"] for t in run["tests"]])
            self.assertEqual([t["ms"] for t in logged["tests"]], [t["ms"] for t in run["tests"]])

        rows = list(csv.reader(io.StringIO(history("--format", "csv").stdout)))
        self.assertEqual(rows[0], ["name", "dir", "date", "started"] + CATALOGUE + ["comments"])
        self.assertEqual([(r[0], r[1]) for r in rows[1:]],
                         [("Lab", self.home.target + "/"), ("Other", self.home.target + "/"),
                          ("Lab", "/mnt/elsewhere/"), ("Lab", self.home.target + "/"),
                          ("Lab", self.home.target + "/"), ("Lab", self.home.target + "/")])
        self.assertEqual(rows[1][-1], "6: Possible Duplex Mismatch")

        text = history("--dir", "/mnt/elsewhere")
        self.assertIn("3 line(s)", text.stderr)
        lines = text.stdout.splitlines()
        self.assertEqual(len(lines), 3)  # header, the run, the legend
        self.assertTrue(lines[1].endswith("3008"), lines[1])
        self.assertIn("* marks a diagnosis", lines[2])

        missing = history("--log", os.path.join(self.home.root, "none.txt"))
        self.assertEqual(missing.stdout, "No runs.\n")
        folder = self.home.cli("history", "--log", self.home.root)
        self.assertEqual(folder.returncode, 1)
        self.assertIn("cannot read the results log", folder.stderr)
        bad = self.home.cli("history", "--format", "xml")
        self.assertEqual(bad.returncode, 2)


class ReportPathChecks(unittest.TestCase):
    def test_a_path_that_cannot_take_the_report_runs_nothing(self):
        home = Home()
        try:
            for path in (os.path.join(home.root, "missing", "r.html"), home.root):
                run = home.cli("--dir", home.target, "--report", path)
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertIn(f"Cannot write the report to {path}", run.stderr)
            with open(home.log) as f:
                self.assertEqual(f.read(), "")  # nothing ran
            self.assertEqual(sorted(os.listdir(home.root)), ["data", "target"])
        finally:
            home.tmp.cleanup()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    options, rest = parser.parse_known_args()
    CLI = options.cli
    unittest.main(argv=[sys.argv[0]] + rest)
