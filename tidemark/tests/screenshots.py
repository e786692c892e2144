#!/usr/bin/env python3
"""Takes the pictures of tidemark in docs/: the main dialog, and the progress dialog in the
middle of a run (held there while the run announces a deleted key). Runs on a virtual X
display of its own.

Usage: screenshots.py BUILD_DIR [OUTPUT_FOLDER]   (default: docs/ of the tree)"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fresh_prefix  # noqa: E402

NAMES = {"main": "tidemark.png", "progress": "tidemark-progress.png"}
MARGIN = 12


def shoot(what, x, y, w, h, out_dir, work):
    full = os.path.join(work, "full.png")
    subprocess.run(["import", "-window", "root", full], check=True)
    x0, y0 = max(0, x - MARGIN), max(0, y - MARGIN)
    target = os.path.join(out_dir, NAMES[what])
    subprocess.run(["convert", full, "-crop", f"{w + 2 * MARGIN}x{h + 2 * MARGIN}+{x0}+{y0}", "+repage",
                    target], check=True)
    print(f"screenshot: {target}")


def main():
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable] + sys.argv)
    build = os.path.abspath(sys.argv[1])
    out_dir = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(fresh_prefix.TOP, "docs"))
    taken = 0
    with fresh_prefix.Prefix("tidemark-shots") as prefix, tempfile.TemporaryDirectory() as work:
        driver = prefix.start([os.path.join(build, "bin", "tidemark_scenario.exe"),
                               prefix.windows_path(os.path.join(build, "bin", "tidemark.exe")), "--screenshots"])
        for line in driver.stdout:
            parts = line.split()
            if len(parts) == 6 and parts[0] == "READY":
                shoot(parts[1], *map(int, parts[2:]), out_dir, work)
                taken += 1
                driver.stdin.write("go\n")
                driver.stdin.flush()
        driver.wait(timeout=120)
    return 0 if taken == len(NAMES) else 1


if __name__ == "__main__":
    sys.exit(main())
