#!/usr/bin/env python3
"""The monitor with the powerline plug-in over an emulated home network: plcsim.exe in one
namespace, the monitor (watchpost's core, with a hand for tests) and plexa.dll in the other,
on a virtual display. The plug-in's trace and the monitor's tree must show every device; a
rename through the row's menu entry and the name dialog must reach the tree and plexa.ini.

Usage: monitor_plexa_test.py BUILD_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

SCENARIO = """
[local kitchen]
address = 02:00:00:00:00:01
port = vlmmon-plc
key = HomeKey
[remote study]
address = 02:00:00:00:00:02
key = HomeKey
rate = 519
[remote attic]
address = 02:00:00:00:00:03
kind = hs
key = HomeKey
rate = 2812
[remote garage]
address = 02:00:00:00:00:04
key = HomeKey
rate = 252
[remote speaker]
address = 02:00:00:00:00:05
key = HomeKey
rate = 400
audio = yes
ip = 198.18.0.20
stream = yes
http_port = 8000
path = /live.mp3
"""


def next_tree(probe, timeout):
    """The rows of the next tree the probe prints, as (depth, id, plug-in, text) tuples."""
    if netns.wait_line(probe, lambda l: l.startswith("TREE "), timeout) is None:
        return None
    rows = []
    while True:
        line = netns.wait_line(probe, lambda l: True, 10)
        if line is None or line == "END":
            return rows
        if line.startswith("ROW "):
            _, depth, ident, plugin, text = line.split(" ", 4)
            rows.append((int(depth), int(ident), plugin, text))


def wait_tree(probe, predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        rows = next_tree(probe, end - time.time())
        if rows is None:
            return None
        if predicate(rows):
            return rows
    return None


def texts(rows):
    return [r[3] for r in rows]


def main():
    build = os.path.abspath(sys.argv[1])
    bin_dir = os.path.join(build, "bin")
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: the monitor needs an X display (scripts/test provides one)")
        sys.exit(netns.SKIP)
    check = netns.Check()
    network = netns.Network("vlm-mon")
    hosts = []
    work = tempfile.mkdtemp(prefix="vlm-mon-")
    try:
        plc_ns = network.namespace("plc")
        pc_ns = network.namespace("pc")
        network.veth("vlmmon-plc", plc_ns, "vlmmon-pc", pc_ns)
        scenario = os.path.join(work, "home.ini")
        open(scenario, "w").write(SCENARIO)
        app = os.path.join(work, "app")
        os.makedirs(app)
        for name in ("monitor_probe.exe", "plexa.dll", "rawport.dll"):
            shutil.copy(os.path.join(bin_dir, name), app)

        plc = netns.WineHost(build, plc_ns, "mon-plc")
        pc = netns.WineHost(build, pc_ns, "mon-pc", desktop=True)
        hosts += [plc, pc]
        plcsim = plc.start(os.path.join(bin_dir, "plcsim.exe"), scenario, stdin=True)
        check.expect(netns.wait_line(plcsim, lambda l: "ready" in l, 60) is not None, "plcsim serves the link")
        pc.reg_add(r"HKLM\software\velmora\Plexa", "TimerInterval", "250")

        probe = pc.start(os.path.join(app, "monitor_probe.exe"), stdin=True, cwd=app,
                         extra_env={"RAWPORT_ADAPTERS": "vlmmon-pc"})
        found = netns.wait_line(probe, lambda l: l.startswith("[plexa] ++ tLocalDevice found: "), 60)
        check.expect(found == "[plexa] ++ tLocalDevice found: 020000000001", f"the plug-in's trace: {found}")

        rows = wait_tree(probe, lambda r: sum(1 for x in r if x[3].startswith("Connection rate")) >= 4
                         and any(x[3].startswith("Recording audio") for x in r), 60)
        check.expect(rows is not None, "the monitor shows the whole network")
        if rows:
            t = texts(rows)
            check.expect(t[0] == "Brindle Plexa" and rows[0][1] == 1000 and rows[0][2] == "plexa.dll",
                         f"the local device heads the tree: {rows[0]}")
            check.expect("MAC address: 02:00:00:00:00:01" in t, "its address")
            check.expect("Brindle Plexa (via the power supply grid)" in t, "a HomePlug 1.0 remote device")
            check.expect("Brindle Plexa HS Ethernet (via the power supply grid)" in t, "the HS remote device")
            check.expect("Brindle Plexa Audio (via the power supply grid)" in t, "the audio device")
            check.expect("Connection rate: 14 MBit/s" in t, "study at 14 MBit/s")
            check.expect("IP address: 198.18.0.20" in t, "the audio device's address")
            check.expect("Recording audio on channel 1" in t, "its channel")
            check.expect([r for r in rows if r[0] == 0 and r[1] == 2000], "remote devices are top rows from id 2000")

        probe.stdin.write("rename 02:00:00:00:00:02 Study\n")
        probe.stdin.flush()
        dialog = netns.wait_line(probe, lambda l: l.startswith("DIALOG"), 30)
        check.expect(dialog == "DIALOG Change device name", f"the name dialog opened: {dialog}")
        renamed = wait_tree(probe, lambda r: "Study (via the power supply grid)" in texts(r), 30)
        check.expect(renamed is not None, "the tree shows the new name")
        if renamed:
            study = [i for i, r in enumerate(renamed) if r[3] == "Study (via the power supply grid)"][0]
            check.expect(renamed[study + 1][3] == "Device: Brindle Plexa", f"with its kind below: {renamed[study + 1]}")
        # A name in three scripts, typed into the same dialog (the programs run in the UTF-8
        # code page their manifest asks for).
        kitchen = "K\u00fcche \u2615 \u5ba2\u5385"
        probe.stdin.write(f"rename 02:00:00:00:00:03 {kitchen}\n")
        probe.stdin.flush()
        check.expect(netns.wait_line(probe, lambda l: l.startswith("DIALOG"), 30) is not None, "the dialog again")
        renamed = wait_tree(probe, lambda r: f"{kitchen} (via the power supply grid)" in texts(r), 30)
        check.expect(renamed is not None, f"the tree shows {kitchen} as it was typed")
        ini = open(os.path.join(app, "plexa.ini"), encoding="utf-8", errors="replace").read() if os.path.exists(
            os.path.join(app, "plexa.ini")) else ""
        check.expect(re.search(r"\[devicenames\]\s+02:00:00:00:00:02=Study", ini) is not None,
                     f"plexa.ini holds the name: {ini!r}")
        check.expect(f"02:00:00:00:00:03={kitchen}" in ini, f"and the other name in UTF-8: {ini!r}")

        probe.stdin.write("quit\n")
        probe.stdin.flush()
        probe.wait(timeout=30)
        check.expect(probe.returncode == 0, "the monitor ends cleanly")
        check.expect(any(l.startswith("[plexa] cancel event signaled!") for l in probe.all_lines),
                     "the plug-in was stopped through its cancel event")
    finally:
        for host in hosts:
            host.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


if __name__ == "__main__":
    main()
