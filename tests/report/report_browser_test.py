#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The report of a real run opened in a real browser: headless Chromium renders it to a PNG,
kept in the screenshots folder to look at. The picture must not be blank, and the chart must
carry the bars' colours with each bar as long as the window's chart arithmetic makes it from the
run's speeds.

report_browser_test.py --cli PATH_TO_WIREPACE_CLI --screenshots DIR
Exits 77 (skipped) when no Chromium is installed; the test scripts install it."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png_image  # noqa: E402

SKIPPED = 77
FRONT, TOP, SIDE = (0, 0, 240), (0, 0, 160), (0, 0, 140)
# The chart's drawing area: 449 pixels for 100 units; a full bar is 95 units.
INNER_WIDTH, FULL_BAR = 449, 95


def expected_bar_pixels(speeds):
    """The last pixel column of each bar's front face, tests 2 to 8, as ui/forms draws it:
    the percentage of the fastest network test, halves to even, 95 units at 100 %."""
    top = max(speeds[2:])
    columns = []
    for speed in speeds[2:]:
        percent = min(100, max(0, round(speed / top * 100))) if top > 0 else 0
        units = percent * FULL_BAR / 100
        columns.append(int(units * INNER_WIDTH // 100))
    return columns


def bars_of(image, colour):
    """Bands of rows holding `colour`, top to bottom: per band its first row, its leftmost
    pixel and its widest run of that colour."""
    bands, current = [], None
    for y in range(image.height):
        row = image.pixels[y * image.width:(y + 1) * image.width]
        best, best_start, run, start = 0, None, 0, 0
        for x, p in enumerate(row):
            if p == colour:
                if run == 0:
                    start = x
                run += 1
                if run > best:
                    best, best_start = run, start
            else:
                run = 0
        if best == 0:
            current = None
            continue
        if current is None:
            current = {"top": y, "left": best_start, "width": best}
            bands.append(current)
        else:
            current["left"] = min(current["left"], best_start)
            current["width"] = max(current["width"], best)
    return bands


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--screenshots", required=True)
    options = parser.parse_args()
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        print("chromium is not installed: skipped")
        return SKIPPED

    failures = []
    with tempfile.TemporaryDirectory(prefix="wirepace-browser-") as root:
        target = os.path.join(root, "target")
        os.makedirs(target)
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(root, "cache"),
                   XDG_DATA_HOME=os.path.join(root, "data"), LC_ALL="C")
        report = os.path.join(root, "report.html")
        run = subprocess.run([options.cli, "--name", "Browser", "--dir", target, "--format",
                              "json", "--report", report], env=env, capture_output=True,
                             text=True, timeout=300)
        if run.returncode != 0:
            print(f"wirepace-cli ended with {run.returncode}: {run.stderr}")
            return 1
        speeds = [t["speed"] for t in json.loads(run.stdout)["runs"][0]["tests"]]

        os.makedirs(options.screenshots, exist_ok=True)
        picture = os.path.join(options.screenshots, "report_chromium.png")
        if os.path.exists(picture):
            os.remove(picture)
        # A profile of its own, no network, no updates: the page is all it loads.
        shot = subprocess.run(
            [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-extensions", "--hide-scrollbars",
             "--force-device-scale-factor=1", "--user-data-dir=" + os.path.join(root, "profile"),
             "--window-size=1100,1600", "--screenshot=" + picture, "file://" + report],
            capture_output=True, text=True, timeout=180, env=dict(env, HOME=root))
        if not os.path.exists(picture):
            print(f"chromium made no picture (exit {shot.returncode}): {shot.stderr[-2000:]}")
            return 1

    image = png_image.read_png(picture)
    print(f"{picture}: {image.width} x {image.height}")
    white = sum(1 for p in image.pixels if p == (255, 255, 255))
    colours = len(set(image.pixels))
    if white > 0.98 * len(image.pixels) or colours < 50:
        failures.append(f"the picture is blank: {white} white pixels, {colours} colours")

    fronts = bars_of(image, FRONT)
    expected = expected_bar_pixels(speeds)
    if len(fronts) != len(expected):
        failures.append(f"{len(fronts)} bands of the bar colour, {len(expected)} bars expected")
    else:
        left = fronts[0]["left"]
        for band, last, test in zip(fronts, expected, range(2, 9)):
            # The side face covers the front's last pixels, within a pixel either way.
            if band["left"] != left:
                failures.append(f"bar of test {test} starts at {band['left']}, not {left}")
            if abs(band["width"] - (last + 1)) > 2:
                failures.append(f"bar of test {test} is {band['width']} pixels wide, "
                                f"{last + 1} expected")
    for colour in (TOP, SIDE):
        if not bars_of(image, colour):
            failures.append(f"no pixel of the bar colour {colour}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
