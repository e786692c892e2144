#!/usr/bin/env python3
"""LAN file sharing on a veth link between two namespaces, side by side in one run: iperf3 (the
link's TCP limit), Samba's smbclient fetching from a share on the same folder (what a Windows user
would use instead), and tandem (tandem-node.exe under Wine on both sides, each namespace with a
Wine prefix of its own).

- A 512 MiB file of random bytes: iperf3 TCP, smbclient get, tandem retrieve; MB/s (10^6 bytes)
  and the ratios. Every tool runs three times and the medians are compared: on a machine that
  does other work meanwhile single runs scatter widely.
- A folder of 10,000 files of 4 KiB: tandem (a listing and one retrieve per file through the
  request client, as a folder download does: one file at a time, and also five at a time) against
  smbclient's recursive mget.
- The tandem server's CPU time (process and wineserver) and peak memory per GB served, and the
  idle CPU of a node (with one other host present) over IDLE_SECONDS.

Usage: tandem-bench.py BUILD_DIR [IDLE_SECONDS]"""
import hashlib
import json
import os
import re
import shutil
import statistics
import signal
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "integration"))
import netns  # noqa: E402

SERVER, CLIENT = "198.18.6.1", "198.18.6.2"
BIG = 512 << 20
SMALL_COUNT, SMALL_SIZE = 10000, 4096
RUNS = 3

SMB_CONF = """[global]
    workgroup = BENCH
    server role = standalone server
    map to guest = Bad User
    guest account = nobody
    interfaces = {server}/24
    bind interfaces only = yes
    smb ports = 445
    disable netbios = yes
    load printers = no
    printing = bsd
    printcap name = /dev/null
    private dir = {work}/private
    lock directory = {work}/lock
    state directory = {work}/state
    cache directory = {work}/cache
    pid directory = {work}/pid
    ncalrpc dir = {work}/ncalrpc
    log file = {work}/log.%m
[bench]
    path = {share}
    guest ok = yes
    read only = yes
"""


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def status_kib(pid, key):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(key + ":"):
            return int(line.split()[1])
    return 0


def wineserver_of(pid):
    """The wineserver in the same network namespace as the process."""
    ns = os.readlink(f"/proc/{pid}/ns/net")
    out = subprocess.run(["pgrep", "-f", "wineserver"], stdout=subprocess.PIPE, text=True).stdout.split()
    for candidate in out:
        try:
            if os.readlink(f"/proc/{candidate}/ns/net") == ns:
                return int(candidate)
        except OSError:
            pass
    return None


def in_ns(ns, *command, **kwargs):
    return subprocess.run(["ip", "netns", "exec", ns, *command], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, **kwargs)


def rate(size, seconds):
    return size / seconds / 1e6 if seconds > 0 else 0.0


class Node:
    def __init__(self, build, ns, name, app, share=None):
        self.wine = netns.WineHost(build, ns, f"tandem-bench-{name}")
        os.makedirs(app, exist_ok=True)
        ini = os.path.join(app, "tandem-node.ini")
        with open(ini, "w") as f:
            f.write(f"[global]\r\nhostname=bench{name}\r\n[shares]\r\n")
            if share:
                f.write(f"bench={netns.WineHost.windows_path(share)}\r\n")
        exe = os.path.join(app, "tandem-node.exe")
        shutil.copy(os.path.join(build, "bin", "tandem-node.exe"), exe)
        trace = netns.WineHost.windows_path(os.path.join(app, "trace.log"))
        self.process = self.wine.start(exe, "-ini:" + netns.WineHost.windows_path(ini), "/debug:" + trace,
                                       stdin=True, cwd=app)

    def command(self, *words):
        self.process.stdin.write("\t".join(words) + "\n")
        self.process.stdin.flush()

    def wait(self, pattern, timeout, since=0):
        expression = re.compile(pattern)
        end = time.time() + timeout
        # Each line is looked at once: a folder download prints a few lines per file, and
        # scanning them all again every few milliseconds took a core from the programs measured.
        at = since
        while time.time() < end:
            count = len(self.process.all_lines)
            for line in self.process.all_lines[at:count]:
                if expression.search(line):
                    return line
            at = count
            time.sleep(0.005)
        return None

    def timed(self, pattern, timeout, *words):
        """Runs a command; the matching line and the seconds until it came."""
        since = len(self.process.all_lines)
        start = time.time()
        self.command(*words)
        line = self.wait(pattern, timeout, since)
        return line, time.time() - start


def file_count(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


def main():
    build = os.path.abspath(sys.argv[1])
    idle = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    netns.require_root()
    for tool in ("iperf3", "smbd", "smbclient"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing (scripts/bench installs it)")
            return
    network = netns.Network("tdmb")
    work = tempfile.mkdtemp(prefix="tdmb-")
    os.chmod(work, 0o755)
    background = []
    nodes = []
    try:
        s_ns = network.namespace("s")
        c_ns = network.namespace("c")
        network.veth("tdmb-s", s_ns, "tdmb-c", c_ns, address_a=f"{SERVER}/24", address_b=f"{CLIENT}/24")

        share = os.path.join(work, "share")
        small = os.path.join(share, "small")
        os.makedirs(small)
        with open(os.path.join(share, "big.bin"), "wb") as f:
            for _ in range(BIG // (8 << 20)):
                f.write(os.urandom(8 << 20))
        for i in range(SMALL_COUNT):
            with open(os.path.join(small, f"f{i:05d}.bin"), "wb") as f:
                f.write(os.urandom(SMALL_SIZE))
        for root, dirs, files in os.walk(work):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        big_sha = hashlib.sha256(open(os.path.join(share, "big.bin"), "rb").read()).hexdigest()
        client_dir = os.path.join(work, "client")
        os.makedirs(client_dir)

        # iperf3: the link's limit for one TCP stream.
        iperf = []
        for _ in range(RUNS):
            server = subprocess.Popen(["ip", "netns", "exec", s_ns, "iperf3", "-s", "-1", "-B", SERVER],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.5)
            out = in_ns(c_ns, "iperf3", "-c", SERVER, "-n", str(BIG), "-J").stdout
            server.wait(timeout=30)
            try:
                iperf.append(json.loads(out)["end"]["sum_received"]["bits_per_second"] / 8 / 1e6)
            except (ValueError, KeyError):
                iperf.append(0.0)

        # Samba on the same folder.
        smb_work = os.path.join(work, "samba")
        for sub in ("private", "lock", "state", "cache", "pid", "ncalrpc"):
            os.makedirs(os.path.join(smb_work, sub))
        conf = os.path.join(smb_work, "smb.conf")
        open(conf, "w").write(SMB_CONF.format(server=SERVER, work=smb_work, share=share))
        client_conf = os.path.join(smb_work, "client.conf")
        open(client_conf, "w").write("[global]\n")
        # In a session of its own: smbd ends by signalling its whole process group.
        smbd = subprocess.Popen(["ip", "netns", "exec", s_ns, "smbd", "--foreground", "--no-process-group",
                                 "-s", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        background.append(smbd)
        for _ in range(100):
            if in_ns(c_ns, "smbclient", f"//{SERVER}/bench", "-N", "-s", client_conf, "-c", "ls big.bin").returncode == 0:
                break
            time.sleep(0.2)
        smb_big = []
        for run in range(RUNS):
            target = os.path.join(client_dir, f"smb-big-{run}.bin")
            start = time.time()
            result = in_ns(c_ns, "smbclient", f"//{SERVER}/bench", "-N", "-s", client_conf, "-c", f"get big.bin {target}")
            took = time.time() - start
            ok = result.returncode == 0 and os.path.getsize(target) == BIG
            smb_big.append(rate(BIG, took) if ok else 0.0)
            os.remove(target)
        smb_small_dir = os.path.join(client_dir, "smb-small")
        os.makedirs(smb_small_dir)
        start = time.time()
        in_ns(c_ns, "smbclient", f"//{SERVER}/bench", "-N", "-s", client_conf, "-c",
              f"prompt OFF; recurse ON; lcd {smb_small_dir}; mget small")
        smb_small = time.time() - start
        smb_small_files = file_count(smb_small_dir)

        # tandem, under Wine on both sides.
        server_node = Node(build, s_ns, "s", os.path.join(work, "node-s"), share)
        client_node = Node(build, c_ns, "c", os.path.join(work, "node-c"))
        nodes = [server_node, client_node]
        for node in nodes:
            node.wait(r"^READY", 60)
        client_node.wait(rf"^APPEARED {re.escape(SERVER)} 1", 10)
        time.sleep(2)
        spid = server_node.process.pid
        wpid = wineserver_of(spid)
        cpu_before = cpu_seconds(spid) + (cpu_seconds(wpid) if wpid else 0)
        rss_before = status_kib(spid, "VmRSS")
        tandem_big = []
        big_ok = True
        for run in range(RUNS):
            target = os.path.join(client_dir, f"tandem-big-{run}.bin")
            line, took = client_node.timed(r"^DOWNLOAD \d+ finished", 600, "get", SERVER, "\\bench\\big.bin",
                                           netns.WineHost.windows_path(target))
            ok = line is not None and line.endswith("finished ok") and os.path.getsize(target) == BIG
            if run == 0:
                big_ok = ok and hashlib.sha256(open(target, "rb").read()).hexdigest() == big_sha
            tandem_big.append(rate(BIG, took) if ok else 0.0)
            os.remove(target)
        cpu_big = cpu_seconds(spid) + (cpu_seconds(wpid) if wpid else 0) - cpu_before
        peak = status_kib(spid, "VmHWM")

        tandem_small = {}
        for parallel in (1, 5):
            target = os.path.join(client_dir, f"tandem-small-{parallel}")
            line, took = client_node.timed(r"^FOLDER \d+ (finished|failed|cancelled)", 1200, "getfolder", SERVER,
                                           "\\bench\\small", netns.WineHost.windows_path(target), str(parallel))
            files = file_count(target) if os.path.isdir(target) else 0
            tandem_small[parallel] = (took, files, line)

        time.sleep(5)
        idle_before = (cpu_seconds(spid), cpu_seconds(wpid) if wpid else 0)
        time.sleep(idle)
        idle_after = (cpu_seconds(spid), cpu_seconds(wpid) if wpid else 0)

        def runs(figures):
            return " / ".join(f"{f:7.1f}" for f in figures) + f"   median {statistics.median(figures):7.1f} MB/s"

        print(f"one file of {BIG >> 20} MiB of random bytes over a veth link (MB = 10^6 bytes; {RUNS} runs each)")
        print(f"  iperf3 TCP            : {runs(iperf)}")
        print(f"  smbclient get         : {runs(smb_big)}")
        print(f"  tandem retrieve       : {runs(tandem_big)}{'' if big_ok else '   (BYTES DID NOT MATCH)'}")
        iperf_median, smb_median = statistics.median(iperf), statistics.median(smb_big)
        tandem_median = statistics.median(tandem_big)
        if smb_median and iperf_median:
            print(f"  tandem / smbclient    : {tandem_median / smb_median:8.2f}   (medians; target: at least 1)")
            print(f"  tandem / iperf3       : {tandem_median / iperf_median:8.2f}   (medians; target: at least 0.5)")
        served_gb = RUNS * BIG / 1e9
        print(f"  tandem server CPU     : {cpu_big / served_gb:8.2f} s per GB served "
              f"(process and its wineserver, {cpu_big:.2f} s for {served_gb:.2f} GB)")
        print(f"  tandem server memory  : peak {peak / 1024:.1f} MiB resident (before the transfers "
              f"{rss_before / 1024:.1f} MiB), {(peak - rss_before) / 1024 / served_gb:.1f} MiB more per GB served")
        print(f"{SMALL_COUNT} files of {SMALL_SIZE >> 10} KiB")
        print(f"  smbclient mget        : {smb_small:8.2f} s ({smb_small_files} files, "
              f"{smb_small_files / smb_small:.0f} files/s)")
        for parallel, (took, files, line) in tandem_small.items():
            label = "one file at a time" if parallel == 1 else f"{parallel} files at a time"
            print(f"  tandem, {label:18s}: {took:8.2f} s ({files} files, {files / took:.0f} files/s, "
                  f"{took / smb_small:.2f} x smbclient; target: within 2 x)")
        used = [after - before for after, before in zip(idle_after, idle_before)]
        print(f"idle node over {idle} s (one other host present, pinging)")
        print(f"  tandem-node.exe       : {used[0]:6.2f} s ({used[0] * 100 / idle:.2f} % of a core)")
        print(f"  its wineserver        : {used[1]:6.2f} s ({used[1] * 100 / idle:.2f} % of a core)")
        for node in nodes:
            node.command("quit")
    finally:
        for process in background:
            try:
                os.killpg(process.pid, signal.SIGTERM)
                process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                process.kill()
        for node in nodes:
            node.wine.close()
        network.remove()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
