#!/usr/bin/env python3
"""The monitor with the dial-up plug-in: the monitor (watchpost's core, with a hand for tests) and
dialtrack.dll in a namespace of their own (the monitor's options service binds its ports there),
on a virtual display, with a "stats.log" and a "connection.csv" beside them as earlier calls left
them. The overview row must show this month's totals only; the statistics window opened from the
row's menu entry must list the calls; deleting one call and "Delete statistic" go through the
real dialogs and reach the files and the overview. Screenshots of the monitor and of both pages of
the window are saved in BUILD_DIR/screenshots.

Usage: monitor_dialtrack_test.py BUILD_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402
from monitor_plexa_test import texts, wait_tree  # noqa: E402

SHEET = "Connection statistics"
MONITOR = "velmora Brindle Watchpost"
MB = 1048576


def month_before(year, month):
    return (year - 1, 12) if month == 1 else (year, month - 1)


def section(name, year, month):
    return f"{name}_{year}_{month:02x}"


def files(year, month):
    """stats.log and connection.csv with two calls this month and one the month before, and
    totals of the eight months before that for the chart."""
    py, pm = month_before(year, month)
    stats = (f"[{section('Office', year, month)}]\r\nBytesReceived={3 * MB}\r\nBytesSent={MB}\r\nDuration=7200\r\n"
             f"[{section('Home', year, month)}]\r\nBytesReceived={MB * 3 // 2}\r\nBytesSent={MB // 4}\r\nDuration=1560\r\n"
             f"[{section('Office', py, pm)}]\r\nBytesReceived={100 * MB}\r\nBytesSent={20 * MB}\r\nDuration=99999\r\n")
    y, m = py, pm
    for back in range(8):
        y, m = month_before(y, m)
        stats += (f"[{section('Home', y, m)}]\r\nBytesReceived={(40 + 11 * (back % 5)) * MB}\r\n"
                  f"BytesSent={(6 + 2 * (back % 3)) * MB}\r\nDuration={3600 * (back + 1)}\r\n")
    calls = [f"{py}/{pm}/20 18:00:00;Office;01:03:46:39;{20 * MB};{100 * MB}\r\n",
             f"{year}/{month}/1 08:00:00;Office;00:02:00:00;{MB};{3 * MB}\r\n",
             f"{year}/{month}/1 20:00:00;Home;00:00:26:00;{MB // 4};{MB * 3 // 2}\r\n"]
    return stats, calls


class Driver:
    """Commands to the probe, one result line each."""

    def __init__(self, probe):
        self.probe = probe

    def send(self, command, answer_prefix, timeout=30):
        self.probe.stdin.write(command + "\n")
        self.probe.stdin.flush()
        return netns.wait_line(self.probe, lambda l: l.startswith(answer_prefix) or l.startswith("MISSING"), timeout)

    def list(self, caption, control):
        self.probe.stdin.write(f"list {caption}|{control}\n")
        self.probe.stdin.flush()
        if netns.wait_line(self.probe, lambda l: l.startswith("LIST ") or l.startswith("MISSING"), 30) is None:
            return None
        rows = []
        while True:
            line = netns.wait_line(self.probe, lambda l: True, 10)
            if line is None or line == "LISTEND":
                return rows
            if line.startswith("ITEM "):
                rows.append(line.split(" ", 2)[2].split("|"))

    def text(self, caption, control):
        line = self.send(f"text {caption}|{control}", f"TEXT {control}|")
        return line.split("|", 1)[1] if line and line.startswith("TEXT") else None


def seen_row(probe, text, timeout):
    """Whether a tree the probe printed (also while other answers were awaited) had the row."""
    end = time.time() + timeout
    while time.time() < end:
        if any(line.startswith("ROW ") and line.split(" ", 4)[4] == text for line in list(probe.all_lines)):
            return True
        time.sleep(0.2)
    return False


def screenshot(out_dir, name, rect_line):
    """The virtual display, cut to the window whose rectangle the probe reported."""
    if not rect_line or not rect_line.startswith("RECT ") or not shutil.which("import"):
        return None
    left, top, right, bottom = (int(v) for v in rect_line.split("|")[1].split())
    time.sleep(1)  # let the window paint
    full = os.path.join(out_dir, name + "-full.png")
    path = os.path.join(out_dir, name + ".png")
    subprocess.run(["import", "-window", "root", full], check=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["convert", full, "-crop", f"{right - left}x{bottom - top}+{max(left, 0)}+{max(top, 0)}",
                    "+repage", path], check=False)
    if os.path.exists(full):
        os.remove(full)
    return path if os.path.exists(path) else None


def main():
    build = os.path.abspath(sys.argv[1])
    bin_dir = os.path.join(build, "bin")
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: the monitor needs an X display (scripts/test provides one)")
        sys.exit(netns.SKIP)
    check = netns.Check()
    network = netns.Network("vlm-dial")
    hosts = []
    work = tempfile.mkdtemp(prefix="vlm-dial-")
    shots = os.path.join(build, "screenshots")
    os.makedirs(shots, exist_ok=True)
    try:
        pc_ns = network.namespace("pc")
        app = os.path.join(work, "app")
        os.makedirs(app)
        for name in ("monitor_probe.exe", "dialtrack.dll"):
            shutil.copy(os.path.join(bin_dir, name), app)
        now = time.localtime()
        year, month = now.tm_year, now.tm_mon
        stats, calls = files(year, month)
        open(os.path.join(app, "stats.log"), "w", newline="").write(stats)
        open(os.path.join(app, "connection.csv"), "w", newline="").write("".join(calls))
        # The monitor's window where the screenshot expects it.
        open(os.path.join(app, "monitor_probe.ini"), "w", newline="").write(
            "[DialogSettings]\r\nXPos=20\r\nYPos=20\r\nXSize=440\r\nYSize=240\r\n")

        pc = netns.WineHost(build, pc_ns, "dial-pc", desktop=True)
        hosts.append(pc)
        probe = pc.start(os.path.join(app, "monitor_probe.exe"), "/debug:0", stdin=True, cwd=app)
        driver = Driver(probe)

        expected = ["Total connection duration: 2:26 (h:min)", "Total sent data: 1.25 MB",
                    "Total received data: 4.50 MB", "Total data volume: 5.75 MB"]
        rows = wait_tree(probe, lambda r: any(x[3].startswith("Connection monitor (") for x in r)
                         and all(e in texts(r) for e in expected), 60)
        check.expect(rows is not None, "the overview row shows this month's totals only")
        if rows:
            top = [r for r in rows if r[3].startswith("Connection monitor (")][0]
            check.expect(top[0] == 0 and top[2] == "dialtrack.dll", f"a top row of dialtrack.dll: {top}")
            check.expect(str(year) in top[3], f"named after the month: {top[3]}")
            children = [r[3] for r in rows if r[0] == 1]
            check.expect(children == expected, f"its four rows in order: {children}")
        monitor_shot = screenshot(shots, "dialtrack-monitor", driver.send(f"rect {MONITOR}", "RECT "))

        probe.stdin.write("action Connection monitor\n")
        probe.stdin.flush()
        check.expect(driver.send(f"find {SHEET}", "FOUND ") == f"FOUND {SHEET}",
                     "the row's menu entry opens the statistics window")
        listed = driver.list(SHEET, 4098)
        check.expect(listed is not None and len(listed) == 3, f"it lists the three calls: {listed}")
        if listed and len(listed) == 3:
            check.expect([r[0] for r in listed] == ["Office", "Office", "Home"], "their names in log order")
            check.expect(listed[0][2] == "01:03:46:39" and listed[2][2] == "00:00:26:00", "their durations")
            check.expect(listed[1][3] == "1.00 MB" and listed[1][4] == "3.00 MB", f"sent and received: {listed[1]}")
            check.expect(str(year % 100) in listed[1][1] or str(year) in listed[1][1],
                         f"the start in the user's date format: {listed[1][1]}")
        driver.send(f"move {SHEET}|480|20", "MOVED")
        calls_shot = screenshot(shots, "dialtrack-calls", driver.send(f"rect {SHEET}", "RECT "))

        # Delete the first call of this month through the list's context menu.
        driver.send(f"select {SHEET}|4098|1", "SELECTED")
        check.expect(driver.send(f"menu {SHEET}|4098", "MENU") == "MENU chosen", "the context menu opens")
        answered = driver.send("answer Delete connection data|6", "ANSWERED")
        check.expect(answered == "ANSWERED Delete connection data|Do you really want to delete the selected entry?"
                     "\\nThis action can not be undone.", f"the question: {answered}")
        deadline = time.time() + 15
        log = ""
        while time.time() < deadline:
            log = open(os.path.join(app, "connection.csv"), newline="").read()
            if log.count("\r\n") == 2:
                break
            time.sleep(0.2)
        check.expect(log == calls[0] + calls[2], f"the log lost that call only: {log!r}")
        listed = driver.list(SHEET, 4098)
        check.expect(listed is not None and [r[0] for r in listed] == ["Office", "Home"], f"the list follows: {listed}")

        # The monthly page.
        driver.send(f"page {SHEET}|1", "PAGE")
        combo = driver.send(f"combo {SHEET}|4106", "COMBO")
        check.expect(combo is not None and combo.split("|")[:2] == ["COMBO 10", "0"], f"ten months, this one chosen: {combo}")
        check.expect(driver.text(SHEET, 4101) == "2h 26min", "this month's duration")
        check.expect(driver.text(SHEET, 4104) == "5.75 MB", "this month's volume")
        check.expect((driver.text(SHEET, 4107) or "").startswith("Current month ("), "under the current month's title")
        monthly_shot = screenshot(shots, "dialtrack-monthly", driver.send(f"rect {SHEET}", "RECT "))
        driver.send(f"choose {SHEET}|4106|1", "CHOSEN")
        check.expect(driver.text(SHEET, 4104) == "120.00 MB", "the month before, when chosen")
        check.expect((driver.text(SHEET, 4107) or "").startswith("Overview ("), "under an overview title")

        driver.send(f"click {SHEET}|4108", "CLICKED")
        answered = driver.send("answer Delete statistics|6", "ANSWERED")
        check.expect(answered == "ANSWERED Delete statistics|Do you really want to delete all statistics?"
                     "\\n This action can not be undone.", f"the question: {answered}")
        deadline = time.time() + 15
        while time.time() < deadline and (os.path.getsize(os.path.join(app, "stats.log")) or
                                          os.path.getsize(os.path.join(app, "connection.csv"))):
            time.sleep(0.2)
        check.expect(os.path.getsize(os.path.join(app, "stats.log")) == 0 and
                     os.path.getsize(os.path.join(app, "connection.csv")) == 0, "both files are cut to nothing")
        deadline = time.time() + 10
        while time.time() < deadline and driver.text(SHEET, 4104) != "0.00 MB":
            time.sleep(0.2)
        check.expect(driver.text(SHEET, 4104) == "0.00 MB", "the page shows nothing left")
        check.expect(seen_row(probe, "Total data volume: 0.00 MB", 30), "the overview row follows at once")

        driver.send(f"close {SHEET}", "CLOSED")
        check.expect(driver.send(f"gone {SHEET}", "GONE") == f"GONE {SHEET}", "the window closes")
        probe.stdin.write("quit\n")
        probe.stdin.flush()
        probe.wait(timeout=30)
        check.expect(probe.returncode == 0, "the monitor ends cleanly")
        for shot in (monitor_shot, calls_shot, monthly_shot):
            print(f"screenshot: {shot}")
    finally:
        for host in hosts:
            host.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


if __name__ == "__main__":
    main()
