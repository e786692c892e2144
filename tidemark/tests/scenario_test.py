#!/usr/bin/env python3
"""tidemark.exe driven through its dialogs in a Wine prefix made for this run (see
scenario.cpp for what is filled, pressed and checked). Needs an X display (scripts/test runs
the integration tests inside one); without one the test is skipped.

Usage: scenario_test.py BUILD_DIR"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fresh_prefix  # noqa: E402


def main():
    build = os.path.abspath(sys.argv[1])
    if not os.environ.get("DISPLAY"):
        print("skipped: no X display")
        return fresh_prefix.SKIP
    with fresh_prefix.Prefix("tidemark-scenario") as prefix:
        result = prefix.run([os.path.join(build, "bin", "tidemark_scenario.exe"),
                             prefix.windows_path(os.path.join(build, "bin", "tidemark.exe"))], timeout=400)
        print(result.stdout)
        if result.returncode != 0:
            print(result.stderr[-4000:], file=sys.stderr)
            print(f"scenario failed with exit code {result.returncode}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
