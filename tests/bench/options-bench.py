#!/usr/bin/env python3
"""Shared options on a bridge (needs root and an X display): the latency from a kickstart on
host A to SetShareableOptions on hosts B and C (median and maximum of 20 trials; target under
300 ms), and the CPU time of an idle monitor whose only work is the options thread, over 60
seconds, beside a sleeping Wine process.

Usage: options-bench.py BUILD_DIR [IDLE_SECONDS]"""
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
from shared_options_test import HOSTS, Host  # noqa: E402

TRIALS = 20


def cpu_ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def main():
    build = os.path.abspath(sys.argv[1])
    idle = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    netns.require_root()
    network = netns.Network("vlm-ob")
    work = tempfile.mkdtemp(prefix="vlm-ob-")
    hosts = {}
    try:
        bridge_ns = network.namespace("br")
        network.bridge("vlmob-br", bridge_ns)
        for name in ("a", "b", "c"):
            hosts[name] = Host(build, network, name, work, f"devicenames.02:00:00:00:00:0{'abc'.index(name) + 1}=Host {name}")
            network.veth(f"vlmob-{name}", hosts[name].ns, f"vlmob-br{name}", bridge_ns, address_a=f"{HOSTS[name]}/24")
            network.attach(f"vlmob-br{name}", "vlmob-br", bridge_ns)
        for host in hosts.values():
            host.start(build)
        for host in hosts.values():
            netns.wait_line(host.probe, lambda l: l.startswith("ROW 0"), 60)
        time.sleep(2)
        a, b, c = hosts["a"], hosts["b"], hosts["c"]
        latencies = {"b": [], "c": []}
        for trial in range(TRIALS):
            counts = {n: len(hosts[n].received()) for n in ("b", "c")}
            start = time.time()
            a.command("action Brindle Plexa HS Ethernet")
            seen = {}
            while time.time() - start < 5 and len(seen) < 2:
                for n in ("b", "c"):
                    if n not in seen and len(hosts[n].received()) > counts[n]:
                        seen[n] = (time.time() - start) * 1000
                time.sleep(0.005)
            for n, ms in seen.items():
                latencies[n].append(ms)
            time.sleep(3)  # the remaining proclamations of this change
        print(f"shared options, kickstart on A -> SetShareableOptions, {TRIALS} trials (target under 300 ms)")
        for n in ("b", "c"):
            if latencies[n]:
                print(f"  host {n.upper()}: median {statistics.median(latencies[n]):6.0f} ms, "
                      f"max {max(latencies[n]):6.0f} ms ({len(latencies[n])} received)")

        # an idle monitor with no plug-in: the options thread is all that runs
        bare = os.path.join(work, "bare")
        os.makedirs(bare)
        shutil.copy(os.path.join(build, "bin", "monitor_probe.exe"), bare)
        for host in hosts.values():
            host.command("quit")
            host.probe.wait(timeout=30)
        monitor = a.wine.start(os.path.join(bare, "monitor_probe.exe"), stdin=True, cwd=bare)
        sleeper = a.wine.start(os.path.join(build, "bin", "winekeep.exe"))
        time.sleep(8)
        pids = {}
        for label, pattern in (("monitor", r"^[^ ]*monitor_probe\.exe"), ("sleeper", r"^[^ ]*winekeep\.exe")):
            out = subprocess.run(["pgrep", "-f", pattern], stdout=subprocess.PIPE, text=True).stdout.split()
            pids[label] = int(out[-1]) if out else None
        before = {k: cpu_ticks(p) for k, p in pids.items() if p}
        time.sleep(idle)
        after = {k: cpu_ticks(p) for k, p in pids.items() if p}
        hz = os.sysconf("SC_CLK_TCK")
        print(f"idle monitor, options thread only, over {idle} s")
        if "monitor" in before:
            used = (after["monitor"] - before["monitor"]) / hz
            print(f"  monitor CPU time            : {used:6.2f} s ({used * 100 / idle:.2f} % of a core)")
        if "sleeper" in before:
            print(f"  reference: sleeping process : {(after['sleeper'] - before['sleeper']) / hz:6.2f} s")
        monitor.stdin.write("quit\n")
        monitor.stdin.flush()
    finally:
        for host in hosts.values():
            if host.wine:
                host.wine.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
