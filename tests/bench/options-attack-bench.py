#!/usr/bin/env python3
"""Shared options while hostile peers are about (needs root and an X display).

A monitor (monitor_probe.exe with a test plug-in named plexa.dll) and two Python peers on one
bridge. The well-behaved peer G asks the monitor for its options (requests) and proclaims
changes of its own that the monitor must fetch (fetches); the time of each is measured from
G's side: a request until the whole reply is read, a fetch from the proclamation until the
monitor has read G's reply. The options texts are large (about 400 KB), so that a peer that
does not read holds a send for real.

The attacker X, in each period: proclaims without an id from its own address and then trickles
the start of a reply and nothing more when fetched; proclaims from a spoofed sender on the LAN
that does not exist (the monitor's connect goes unanswered); opens a request and never reads
(a receive buffer of 1 KB). Two intensities: one of each every 2 s (the attack the design must
withstand) and one of each every 0.25 s.

Each phase runs for this build and, with --reference BUILD_DIR, for another build (for
example the code before this change), in the same run. Target: while attacked, a
well-behaved peer is served within 500 ms.

Usage: options-attack-bench.py BUILD_DIR [--reference BUILD_DIR] [--trials N]"""
import argparse
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
from shared_options_test import KEY  # noqa: E402

MONITOR, GOOD, ATTACKER = "198.18.2.1", "198.18.2.2", "198.18.2.3"

HELPER = r'''
import random, select, socket, struct, subprocess, sys, threading, time
mode, monitor = sys.argv[1], sys.argv[2]

def framed(text):
    return f"{len(text)}:{text}".encode()

def read_framed(sock):
    data = b""
    while True:
        chunk = sock.recv(1 << 16)
        if not chunk:
            break
        data += chunk
    length, _, body = data.partition(b":")
    return length.isdigit() and int(length) == len(body)

def listener():
    l = socket.socket(); l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    l.bind(("0.0.0.0", 10300)); l.listen(16)
    return l

def proclaim(payload):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.sendto(payload, (monitor, 10301)); s.close()

def attack(end, counts, spoof, readers):
    while time.time() < end:
        proclaim(b"watchpost_sharedoptions\0"); counts["tagonly"] += 1
        spoof(f"{prefix}.{random.choice(list(range(100, 250)))}",
              b"watchpost_sharedoptions\0" + str(random.randint(0, 32767)).encode() + b"\0"); counts["spoofed"] += 1
        try:
            c = socket.socket(); c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024); c.setblocking(False)
            c.connect_ex((monitor, 10300)); readers.append((time.time(), c)); counts["nonreading"] += 1
        except OSError:
            pass
        while readers and readers[0][0] < time.time() - 10:
            readers.pop(0)[1].close()
        time.sleep(period)

if mode == "good":
    trials, key, size = int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
    plain = ("devicenames.02:00:00:00:00:0A=" + "G" * size + "\n").encode()
    cipher = subprocess.run(["openssl", "enc", "-aes-128-ecb", "-K", key], input=plain,
                            stdout=subprocess.PIPE, check=True).stdout.hex().upper()
    reply = framed("plexa.dll:" + cipher + ";")
    served = []
    done = threading.Event()
    l = listener()
    def serve():
        while True:
            c, _ = l.accept()
            try:
                c.sendall(reply); c.shutdown(socket.SHUT_WR)
                c.settimeout(5); c.recv(1)   # the monitor closes once it has read all
            except OSError:
                pass
            c.close(); served.append(time.time()); done.set()
    threading.Thread(target=serve, daemon=True).start()
    def fetch(i):
        done.clear(); start = time.time()
        proclaim(b"watchpost_sharedoptions\0" + str(5000 + i).encode() + b"\0")
        return (time.time() - start) * 1000 if done.wait(5) and served[-1] >= start else -1
    fetch(-1)           # the monitor now serves the large text
    time.sleep(1.1)
    for i in range(trials):
        start = time.time(); ok = False
        try:
            c = socket.create_connection((monitor, 10300), timeout=5); c.settimeout(5)
            ok = read_framed(c); c.close()
        except OSError:
            pass
        print("REQ", (time.time() - start) * 1000 if ok else -1, flush=True)
        print("FETCH", fetch(i), flush=True)
        time.sleep(1.1)   # a sender is fetched from at most once a second
elif mode == "attack":
    period, duration = float(sys.argv[3]), float(sys.argv[4])
    end = time.time() + duration
    counts = {"tagonly": 0, "spoofed": 0, "nonreading": 0, "trickled": 0}
    l = listener()
    held = []
    def trickle():
        while time.time() < end:
            r, _, _ = select.select([l], [], [], 0.1)
            if r:
                c, _ = l.accept(); c.sendall(b"1000:plexa.dll:"); held.append(c); counts["trickled"] += 1
    threading.Thread(target=trickle, daemon=True).start()
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    prefix = monitor.rsplit(".", 1)[0]
    def spoof(source, payload):
        udp = struct.pack("!HHHH", random.randint(1024, 65000), 10301, 8 + len(payload), 0) + payload
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), random.randint(0, 65535), 0, 64, 17, 0,
                         socket.inet_aton(source), socket.inet_aton(monitor))
        raw.sendto(ip + udp, (monitor, 0))
    readers = []
    import signal
    def stop(*_):
        raise SystemExit
    signal.signal(signal.SIGTERM, stop)
    try:
        attack(end, counts, spoof, readers)
    except SystemExit:
        pass
    print("ATTACK", " ".join(f"{k}={v}" for k, v in counts.items()), flush=True)
'''


def summary(values):
    good = sorted(v for v in values if v >= 0)
    failed = len(values) - len(good)
    if not good:
        return f"{'-':>7} {'-':>7} {'-':>7} {failed:>3}/{len(values)}"
    p95 = good[min(len(good) - 1, int(round(0.95 * (len(good) - 1))))]
    return f"{statistics.median(good):7.0f} {p95:7.0f} {max(good):7.0f} {failed:>3}/{len(values)}"


def run_build(label, build, ns, work, helper, trials, results):
    app = os.path.join(work, label.replace(" ", "-"))
    os.makedirs(app)
    for path in ("monitor_probe.exe", "testplugins/plexa.dll"):
        shutil.copy(os.path.join(build, "bin", path), app)
    wine = netns.WineHost(build, ns["m"], "oa-m", desktop=True)
    try:
        probe = wine.start(os.path.join(app, "monitor_probe.exe"), stdin=True, cwd=app,
                           extra_env={"VELMORA_TESTPLUGIN_LOG": os.path.join(app, "plugin.log"),
                                      "VELMORA_TESTPLUGIN_OPTIONS": "devicenames.02:00:00:00:00:01=Monitor"})
        if netns.wait_line(probe, lambda l: l.startswith("ROW 0"), 90) is None:
            print(f"{label}: the monitor did not start")
            return
        time.sleep(2)
        for phase, period in (("quiet", None), ("attack every 2 s", 2.0), ("attack every 0.25 s", 0.25)):
            attacker = None
            if period:
                attacker = subprocess.Popen(["ip", "netns", "exec", ns["x"], sys.executable, helper, "attack",
                                             MONITOR, str(period), str(trials * 3 + 15)],
                                            stdout=subprocess.PIPE, text=True)
                time.sleep(4)
            out = subprocess.run(["ip", "netns", "exec", ns["g"], sys.executable, helper, "good", MONITOR,
                                  str(trials), KEY, "200000"], stdout=subprocess.PIPE, text=True,
                                 timeout=trials * 20 + 60).stdout
            requests = [float(l.split()[1]) for l in out.splitlines() if l.startswith("REQ ")]
            fetches = [float(l.split()[1]) for l in out.splitlines() if l.startswith("FETCH ")]
            attack = ""
            if attacker:
                attacker.terminate()
                attack = attacker.communicate(timeout=30)[0].strip()
            results.append((label, phase, requests, fetches, attack))
            print(f"  measured: {label}, {phase} {attack}", flush=True)
            time.sleep(12)  # the attack's connections and held fetches end before the next phase
        probe.stdin.write("quit\n")
        probe.stdin.flush()
        probe.wait(timeout=30)
    finally:
        wine.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--reference")
    parser.add_argument("--trials", type=int, default=15)
    args = parser.parse_args()
    netns.require_root()
    builds = [("this build", os.path.abspath(args.build))]
    if args.reference:
        builds.append(("reference", os.path.abspath(args.reference)))
    network = netns.Network("vlm-oa")
    work = tempfile.mkdtemp(prefix="vlm-oa-")
    helper = os.path.join(work, "helper.py")
    open(helper, "w").write(HELPER)
    results = []
    try:
        bridge_ns = network.namespace("br")
        network.bridge("vlmoa-br", bridge_ns)
        ns = {}
        for name, address in (("m", MONITOR), ("g", GOOD), ("x", ATTACKER)):
            ns[name] = network.namespace(name)
            network.veth(f"vlmoa-{name}", ns[name], f"vlmoa-br{name}", bridge_ns, address_a=f"{address}/24")
            network.attach(f"vlmoa-br{name}", "vlmoa-br", bridge_ns)
        for label, build in builds:
            run_build(label, build, ns, work, helper, args.trials, results)
    finally:
        network.remove()
        subprocess.run(["rm", "-rf", work])

    print("shared options under attack: a well-behaved peer's requests and fetches, in ms from its side")
    print("(target while attacked: served within 500 ms; failed = no answer within 5 s)")
    print(f"{'':<12} {'phase':<20} {'requests: median':>16} {'p95':>7} {'max':>7} {'failed':>6}"
          f"   {'fetches: median':>15} {'p95':>7} {'max':>7} {'failed':>6}")
    for label, phase, requests, fetches, _ in results:
        print(f"{label:<12} {phase:<20} {summary(requests):>41}   {summary(fetches):>40}")


if __name__ == "__main__":
    main()
