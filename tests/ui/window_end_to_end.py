#!/usr/bin/env python3
"""The real window on a card image under Xvfb, checked against mtsrescue-cli's --json report.

  window_end_to_end.py --tests UI_TESTS --cli CLI --work DIR [--screenshots DIR]

Makes DIR/card.img with tests/fixtures/make_card.py (camcorder-like recordings), recovers it with the command line into
DIR/cli (its report in DIR/report.json), then runs the WindowEndToEnd test of UI_TESTS on an Xvfb
display with a window manager (openbox, where installed), recovering into DIR/window. With
--screenshots the test saves the screen before the run and with the summary open.
Exit code 77: skipped (no ffmpeg, mtools or xvfb-run, or the card could not be made).
"""

import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tests", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshots")
    args = parser.parse_args()

    for tool in ("xvfb-run", "ffmpeg", "mcopy", "mkfs.vfat"):
        if shutil.which(tool) is None:
            print("skipped: %s is not installed" % tool)
            return SKIP
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "window"))
    card = os.path.join(work, "card.img")
    made = subprocess.run([sys.executable, os.path.join(HERE, "..", "fixtures", "make_card.py"), card,
                           "--manifest", os.path.join(work, "card.json"), "--camcorder"])
    if made.returncode != 0:
        print("skipped: the card image could not be made")
        return SKIP
    report = os.path.join(work, "report.json")
    with open(report, "wb") as out:
        cli = subprocess.run([args.cli, "--json", "--quiet", card, os.path.join(work, "cli")], stdout=out)
    if cli.returncode != 0:
        print("mtsrescue-cli failed with exit code %d" % cli.returncode)
        return 1

    env = dict(os.environ)
    env.update({
        "QT_QPA_PLATFORM": "xcb",
        "LANG": "C", "LC_ALL": "C",  # the window must be Chinese whatever the locale
        "MTSRESCUE_E2E_CARD": card,
        "MTSRESCUE_E2E_REPORT": report,
        "MTSRESCUE_E2E_DEST": os.path.join(work, "window"),
        "MTSRESCUE_E2E_CLI_DEST": os.path.join(work, "cli"),
    })
    if args.screenshots:
        os.makedirs(args.screenshots, exist_ok=True)
        env["MTSRESCUE_SCREENSHOTS"] = os.path.abspath(args.screenshots)
    test = "%s --gtest_filter=WindowEndToEnd.*" % args.tests
    wm = "openbox & sleep 1; " if shutil.which("openbox") else ""
    script = "%s%s" % (wm, test)
    run = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x720x24", "sh", "-c", script], env=env)
    return run.returncode


if __name__ == "__main__":
    sys.exit(main())
