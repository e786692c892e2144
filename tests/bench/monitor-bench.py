#!/usr/bin/env python3
"""End to end in the demo network (needs root and an X display):

- from plcsim plugging a remote device in to its row appearing in the monitor's tree view,
  median and maximum of 10 trials (the plug-in's tick is the default 1000 ms);
- CPU seconds of watchpost.exe with plexa.dll over 60 idle seconds with four devices present,
  beside the wineserver's share and a sleeping Wine process as the reference.

Usage: monitor-bench.py BUILD_DIR [IDLE_SECONDS]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "integration"))
import netns  # noqa: E402
from monitor_plexa_test import wait_tree  # noqa: E402

TRIALS = 10


def scenario():
    text = open(os.path.join(netns.TOP, "tools", "plcsim", "scenarios", "home.ini")).read()
    for i in range(TRIALS):
        text += f"\n[remote t{i}]\naddress = 02:00:00:00:02:{i:02X}\nkey = HomeNetwork\nrate = 519\nplugged = no\n"
    return text


def cpu_ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def linux_pid(pattern):
    out = subprocess.run(["pgrep", "-f", pattern], stdout=subprocess.PIPE, text=True).stdout.split()
    return int(out[0]) if out else None


def main():
    build = os.path.abspath(sys.argv[1])
    idle = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    bin_dir = os.path.join(build, "bin")
    netns.require_root()
    network = netns.Network("vlm-mbench")
    hosts = []
    work = tempfile.mkdtemp(prefix="vlm-mbench-")
    try:
        plc_ns = network.namespace("plc")
        pc_ns = network.namespace("pc")
        network.veth("vlmmb-plc", plc_ns, "vlmmb-pc", pc_ns)
        path = os.path.join(work, "home.ini")
        open(path, "w").write(scenario())
        app = os.path.join(work, "app")
        os.makedirs(app)
        for name in ("monitor_probe.exe", "watchpost.exe", "plexa.dll", "rawport.dll"):
            shutil.copy(os.path.join(bin_dir, name), app)
        plc = netns.WineHost(build, plc_ns, "mbench-plc")
        pc = netns.WineHost(build, pc_ns, "mbench-pc", desktop=True)
        hosts += [plc, pc]
        plcsim = plc.start(os.path.join(bin_dir, "plcsim.exe"), path, stdin=True)
        netns.wait_line(plcsim, lambda l: "ready" in l, 60)

        def command(text):
            plcsim.stdin.write(text + "\n")
            plcsim.stdin.flush()

        probe = pc.start(os.path.join(app, "monitor_probe.exe"), stdin=True, cwd=app)
        wait_tree(probe, lambda r: sum(1 for x in r if x[3].startswith("Connection rate")) >= 3, 60)
        latencies = []
        for i in range(TRIALS):
            time.sleep(0.37 * i % 1)  # land at different points of the tick
            mac = f"02:00:00:00:02:{i:02X}"
            plugged = time.time()
            command(f"plug t{i}")
            if wait_tree(probe, lambda r: any(x[3] == f"MAC address: {mac}" for x in r), 30):
                latencies.append((time.time() - plugged) * 1000)
            command(f"unplug t{i}")
        probe.stdin.write("quit\n")
        probe.stdin.flush()
        probe.wait(timeout=30)
        print(f"end to end, plcsim plugs a device in -> its row in the monitor's tree ({len(latencies)} of {TRIALS})")
        if latencies:
            print(f"  median {statistics.median(latencies):7.0f} ms, max {max(latencies):7.0f} ms "
                  f"(the steady cycle asks every 5 ticks of 1000 ms)")

        monitor = pc.start("explorer", "/desktop=Bench,800x600", os.path.join(app, "watchpost.exe"), cwd=app)
        sleeper = pc.start(os.path.join(bin_dir, "winekeep.exe"))
        time.sleep(15)  # start-up and the first discovery are not idle time
        mpid = linux_pid(r"^[^ ]*watchpost\.exe")
        spid = linux_pid(r"^[^ ]*winekeep\.exe")
        server = linux_pid(r"wineserver")
        hz = os.sysconf("SC_CLK_TCK")
        before = [cpu_ticks(p) if p else 0 for p in (mpid, spid, server)]
        time.sleep(idle)
        after = [cpu_ticks(p) if p else 0 for p in (mpid, spid, server)]
        used = [(a - b) / hz for a, b in zip(after, before)]
        print(f"idle cost over {idle} s, four devices present")
        print(f"  watchpost.exe + plexa.dll CPU : {used[0]:6.2f} s ({used[0] * 100 / idle:.2f} % of a core)")
        print(f"  reference: sleeping process   : {used[1]:6.2f} s")
        print(f"  wineserver, all its clients   : {used[2]:6.2f} s")
        command("quit")
    finally:
        for host in hosts:
            host.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
