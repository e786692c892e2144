#!/usr/bin/env python3
"""Discovery latency and receive load on a veth link (needs root).

- Latency from the emulator plugging a device in to DiscoveryRun reporting it: at start-up
  (the engine starts with the device there) and in the steady five-tick cycle (a device is
  plugged in while the engine runs); median and maximum of 20 trials, with the targets.
- A burst of 1,000 answers in one second on one adapter: how many arrive, and the CPU time.

Usage: discovery-bench.py BUILD_DIR [TICK_MS]"""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
import netns  # noqa: E402
from discovery_test import wait_picture  # noqa: E402

TRIALS = 20


def scenario(count):
    text = "[local kitchen]\naddress = 02:00:00:00:00:01\nport = vlmbench-plc\nkey = K\n"
    text += "[remote start]\naddress = 02:00:00:00:00:02\nkey = K\nrate = 519\n"
    for i in range(count):
        text += f"[remote r{i}]\naddress = 02:00:00:00:01:{i:02X}\nkey = K\nrate = 519\nplugged = no\n"
    return text


def main():
    build = os.path.abspath(sys.argv[1])
    tick = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    bin_dir = os.path.join(build, "bin")
    netns.require_root()
    network = netns.Network("vlm-bench")
    hosts = []
    work = tempfile.mkdtemp(prefix="vlm-bench-")
    try:
        plc_ns = network.namespace("plc")
        pc_ns = network.namespace("pc")
        network.veth("vlmbench-plc", plc_ns, "vlmbench-pc", pc_ns)
        path = os.path.join(work, "bench.ini")
        with open(path, "w") as f:
            f.write(scenario(TRIALS))
        plc = netns.WineHost(build, plc_ns, "bench-plc")
        pc = netns.WineHost(build, pc_ns, "bench-pc")
        hosts += [plc, pc]
        plcsim = plc.start(os.path.join(bin_dir, "plcsim.exe"), path, stdin=True)
        netns.wait_line(plcsim, lambda l: "ready" in l, 60)

        def command(text):
            plcsim.stdin.write(text + "\n")
            plcsim.stdin.flush()

        env = {"RAWPORT_ADAPTERS": "vlmbench-pc"}
        # start-up: the time the engine's first report of the device carries, from its start
        startup = []
        for _ in range(TRIALS):
            probe = pc.start(os.path.join(bin_dir, "discovery_probe.exe"), str(tick), "30", extra_env=env)
            picture = wait_picture(probe, lambda p: "02:00:00:00:00:02" in p["remotes"], 30)
            if picture is not None:
                startup.append(picture["ms"])
            probe.terminate()
            probe.wait()

        # steady state: plug one device per trial while the engine runs its five-tick cycle
        probe = pc.start(os.path.join(bin_dir, "discovery_probe.exe"), str(tick), "600", extra_env=env)
        wait_picture(probe, lambda p: "02:00:00:00:00:02" in p["remotes"], 30)
        time.sleep(8 * tick / 1000)  # past the start-up schedule
        steady = []
        for i in range(TRIALS):
            time.sleep((i % 5) * tick / 1000 / 2)  # land at different points of the cycle
            plugged = time.time()
            command(f"plug r{i}")
            address = f"02:00:00:00:01:{i:02X}"
            if wait_picture(probe, lambda p: address in p["remotes"], 20):
                steady.append((time.time() - plugged) * 1000)
            # NetStat answers hold 15 stations: keep the plugged ones few
            command(f"unplug r{i}")
        probe.terminate()
        probe.wait()

        print(f"discovery latency on a veth link, tick {tick} ms, {TRIALS} trials")
        if startup:
            print(f"  at start-up   : median {statistics.median(startup):7.0f} ms, max {max(startup):7.0f} ms "
                  f"(target under {tick + 100} ms; {len(startup)} found)")
        if steady:
            print(f"  steady cycle  : median {statistics.median(steady):7.0f} ms, max {max(steady):7.0f} ms "
                  f"(target under {5 * tick + 100} ms; {len(steady)} found)")

        # burst of 1,000 answers in one second
        bench = pc.start(os.path.join(bin_dir, "port_burst_bench.exe"), "1000", "20", extra_env=env)
        netns.wait_line(bench, lambda l: l.startswith("listening"), 30)
        time.sleep(1)
        command("burst 1000 1000")
        result = netns.wait_line(bench, lambda l: l.startswith("burst:"), 30)
        print("  " + (result or "burst: no result"))
        command("quit")
    finally:
        for host in hosts:
            host.close()
        network.remove()
        os.system(f"rm -rf {work}")


if __name__ == "__main__":
    main()
