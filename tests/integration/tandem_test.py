#!/usr/bin/env python3
"""LAN file sharing between three tandem hosts on a bridge: each host is a namespace with a Wine
prefix (and so a wineserver) of its own and runs tandem-node.exe with a settings file of its own;
a fourth namespace holds a peer written with Python's standard library that speaks the request
protocol by hand, politely and not.

- The hosts find each other by their announces within about 2 s; the announces on the wire are
  the nine bytes "announce" and a zero, to the directed broadcast address.
- They list each other's shares and folders, download a file and a folder whose bytes match,
  and answer host info with and without the operating system.
- Hostile paths and unknown requests get nothing; a peer that connects and sends nothing, and
  1,000 idle connections, do not stop a host from answering a real client or keep its pings.
- A host that stops is noticed by the others within about 2 s.

Usage: tandem_test.py BUILD_DIR"""
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

HOSTS = {"a": "198.18.5.1", "b": "198.18.5.2", "c": "198.18.5.3"}
PEER = "198.18.5.4"
BROADCAST = "198.18.5.255"
SHARES = {"a": "docs", "b": "music", "c": "data"}

PEER_SCRIPT = r'''
import resource, socket, sys, time
mode, host = sys.argv[1], sys.argv[2]
def ask(payload, timeout=10):
    s = socket.create_connection((host, 12346), timeout=timeout)
    s.sendall(str(len(payload)).encode() + b":" + payload)
    s.shutdown(socket.SHUT_WR)   # a ping would otherwise wait for the next one
    data = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        data += chunk
    s.close()
    return data
if mode == "ask":
    for payload in sys.argv[3:]:
        print("REPLY", repr(ask(payload.encode("latin-1"))), flush=True)
elif mode == "idle":   # one silent peer and a thousand idle connections, held until stdin closes
    resource.setrlimit(resource.RLIMIT_NOFILE, (4096, 4096))
    held = []
    for i in range(1001):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex((host, 12346))
        held.append(s)
    time.sleep(1)
    print("HOLDING", len(held), flush=True)
    sys.stdin.read()
    for s in held:
        s.close()
    print("RELEASED", flush=True)
'''


def random_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Node:
    def __init__(self, network, name, work):
        self.name = name
        self.address = HOSTS[name]
        self.ns = network.namespace(name)
        self.app = os.path.join(work, name)
        self.share = os.path.join(self.app, "share")
        os.makedirs(self.share)
        self.ini = os.path.join(self.app, "tandem-node.ini")
        with open(self.ini, "w") as f:
            f.write(f"[global]\r\nhostname=node{name.upper()}\r\n[shares]\r\n"
                    f"{SHARES[name]}={netns.WineHost.windows_path(self.share)}\r\n")
        self.trace = os.path.join(self.app, "trace.log")
        self.wine = None
        self.process = None

    def start(self, build, *options):
        exe = os.path.join(self.app, "tandem-node.exe")
        shutil.copy(os.path.join(build, "bin", "tandem-node.exe"), exe)
        self.process = self.wine.start(exe, "-ini:" + netns.WineHost.windows_path(self.ini),
                                       "/debug:" + netns.WineHost.windows_path(self.trace), *options,
                                       stdin=True, cwd=self.app)

    def command(self, *words):
        self.process.stdin.write("\t".join(words) + "\n")
        self.process.stdin.flush()

    def mark(self):
        return len(self.process.all_lines)

    def wait(self, pattern, timeout, since=0):
        """The first output line from position since on that matches the pattern, or None."""
        expression = re.compile(pattern)
        end = time.time() + timeout
        while True:
            for line in self.process.all_lines[since:]:
                if expression.search(line):
                    return line
            if time.time() > end:
                return None
            time.sleep(0.02)

    def job(self, *words):
        """Runs a command that starts a job; its id."""
        since = self.mark()
        self.command(*words)
        line = self.wait(r"^JOB \d+$", 10, since)
        return line.split()[1] if line else "none"


def main():
    build = os.path.abspath(sys.argv[1])
    netns.require_root()
    check = netns.Check()
    network = netns.Network("tdm")
    work = tempfile.mkdtemp(prefix="tdm-")
    nodes = {}
    capture = None
    idle = None
    try:
        bridge_ns = network.namespace("br")
        network.bridge("tdm-br", bridge_ns)
        peer_ns = None
        for name in ("a", "b", "c", "d"):
            if name == "d":
                ns = peer_ns = network.namespace("d")
            else:
                nodes[name] = Node(network, name, work)
                ns = nodes[name].ns
            address = HOSTS.get(name, PEER)
            network.veth(f"tdm-{name}", ns, f"tdm-br{name}", bridge_ns, address_a=f"{address}/24")
            network.attach(f"tdm-br{name}", "tdm-br", bridge_ns)
        a, b, c = nodes["a"], nodes["b"], nodes["c"]

        # Shares: A has a folder tree, B a big file and something outside its share, C a little.
        deep = random_bytes(1 << 20, 1)
        big = random_bytes(8 << 20, 2)
        os.makedirs(os.path.join(a.share, "sub folder"))
        os.makedirs(os.path.join(a.share, "empty"))
        open(os.path.join(a.share, "read me.txt"), "w").write("hello from a")
        open(os.path.join(a.share, "sub folder", "deep.bin"), "wb").write(deep)
        os.makedirs(os.path.join(b.share, "live"))
        open(os.path.join(b.share, "big.bin"), "wb").write(big)
        open(os.path.join(b.share, "live", "x.txt"), "w").write("x")
        open(os.path.join(b.app, "secret.txt"), "w").write("not shared")
        open(os.path.join(c.share, "c.txt"), "w").write("c")

        for node in nodes.values():
            node.wine = netns.WineHost(build, node.ns, f"tandem-{node.name}")
        pcap = os.path.join(work, "announces.pcapng")
        capture = subprocess.Popen(["ip", "netns", "exec", bridge_ns, "tshark", "-q", "-i", "tdm-br", "-f",
                                    "udp port 12345", "-a", "duration:20", "-w", pcap],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        a.start(build, "-debugfeatures")
        b.start(build)
        c.start(build)
        for node in nodes.values():
            check.expect(node.wait(r"^READY listening", 60) is not None, f"host {node.name} listens")
        ready = time.time()

        # Discovery: everyone sees the two others, and itself as the local host.
        for node in nodes.values():
            others = [n for n in nodes.values() if n is not node]
            seen = [node.wait(rf"^APPEARED {re.escape(o.address)} 1 $", 10) for o in others]
            took = time.time() - ready
            check.expect(all(seen), f"host {node.name} found the two others by announces ({took:.1f} s after start)")
            check.expect(took < 3.0, f"within about 2 s: {took:.1f} s")
            check.expect(node.wait(r"^APPEARED 127\.0\.0\.1 0 node", 1) is not None,
                         f"host {node.name} shows itself as the local host")
            for other in others:
                check.expect(node.wait(rf"^LISTING \d+ ok 1 {other.address} \\$", 10) is not None,
                             f"host {node.name} listed the share of {other.name}")
        time.sleep(1.5)
        for node in nodes.values():
            appeared = [l for l in node.process.all_lines if l.startswith("APPEARED 198.18.5.")]
            check.expect(len(appeared) == 2, f"host {node.name}: each other host appeared once: {appeared}")

        # Listings of folders.
        job = a.job("expand", b.address, "\\music\\")
        listing = a.wait(rf"^LISTING {job} ", 10)
        entries = sorted(l.split(" ", 2)[2] for l in a.process.all_lines if l.startswith(f"ENTRY {job} "))
        check.expect(listing is not None and " ok 2 " in listing, f"A listed B's share: {listing}")
        check.expect(entries == ["0 8388608 big.bin", "1 0 live"], f"with sizes and folders: {entries}")
        job = b.job("expand", a.address, "\\docs\\sub folder\\")
        check.expect(b.wait(rf"^ENTRY {job} 0 1048576 deep\.bin$", 10) is not None,
                     "B listed a folder with a blank in its name on A")
        job = c.job("expand", a.address, "\\docs\\empty\\")
        check.expect(c.wait(rf"^LISTING {job} ok 0 ", 10) is not None, "an empty folder lists as empty")

        # Downloads: a file and a folder, byte for byte.
        target = netns.WineHost.windows_path(os.path.join(a.app, "downloads", "big.bin"))
        job = a.job("get", b.address, "\\music\\big.bin", target)
        done = a.wait(rf"^DOWNLOAD {job} finished", 30)
        check.expect(done == f"DOWNLOAD {job} finished ok", f"A downloaded B's big file: {done}")
        got = os.path.join(a.app, "downloads", "big.bin")
        check.expect(os.path.exists(got) and sha(got) == hashlib.sha256(big).hexdigest(), "its bytes match")
        check.expect(b.wait(r"^UPLOAD \d+ notice 198\.18\.5\.1 \\music\\big\.bin$", 5) is not None,
                     "B was told who took which file")
        since = c.mark()
        c.command("getfolder", a.address, "\\docs", netns.WineHost.windows_path(os.path.join(c.app, "got")))
        done = c.wait(r"^FOLDER \d+ (finished|failed|cancelled)", 30, since)
        check.expect(done is not None and "finished files=2" in done, f"C downloaded A's share as a folder: {done}")
        copied = os.path.join(c.app, "got", "docs", "sub folder", "deep.bin")
        check.expect(os.path.exists(copied) and sha(copied) == hashlib.sha256(deep).hexdigest()
                     and open(os.path.join(c.app, "got", "docs", "read me.txt")).read() == "hello from a",
                     "the folder's files match, in their subfolders")

        # Host info: A asks for the operating system, B does not.
        info = a.wait(rf"^INFO \d+ {b.address} ", 5)
        check.expect(info is not None and re.match(r"^INFO \d+ \S+ nodeB\|1\.0\|\d\d:\d\d:\d\d\|\d\d\.\d\d\.\d\d\|Win", info),
                     f"A's view of B carries the OS: {info}")
        info = b.wait(rf"^INFO \d+ {a.address} ", 5)
        check.expect(info is not None and info.endswith("|") and "nodeA|1.0|" in info, f"B's view of A has none: {info}")

        # The hand-made peer: exact replies, hostile paths, unknown requests.
        script = os.path.join(work, "peer.py")
        open(script, "w").write(PEER_SCRIPT)

        def peer(*args):
            out = subprocess.run(["ip", "netns", "exec", peer_ns, sys.executable, script, *args],
                                 stdout=subprocess.PIPE, text=True, timeout=60).stdout
            return [eval(l[6:]) for l in out.splitlines() if l.startswith("REPLY ")]

        replies = peer("ask", a.address, "gethostinfo", "gethostinfoex", "expand:\\", "ping")
        check.expect(len(replies) == 4, f"four replies: {replies}")
        if len(replies) == 4:
            check.expect(re.fullmatch(rb"\d+:nodeA\n1\.0 \d\d:\d\d:\d\d \d\d\.\d\d\.\d\d \n", replies[0]) is not None,
                         f"host info: two lines, the version ending in a blank: {replies[0]!r}")
            check.expect(re.fullmatch(rb"\d+:nodeA\n1\.0 \d\d:\d\d:\d\d \d\d\.\d\d\.\d\d Win\S+ \n", replies[1]) is not None,
                         f"with ex: the OS text and a blank before the line end: {replies[1]!r}")
            check.expect(replies[2] == b"8:docs\\1\\0", f"the share list: {replies[2]!r}")
            check.expect(replies[3] == b"", "a ping gets no answer")
        replies = peer("ask", b.address, "retrieve:\\music\\..\\secret.txt", "expand:\\music\\..\\",
                       "retrieve:\\music\\live\\", "expand:\\music/../", "retrieve:\\music\\big.bin:stream",
                       "garbage")
        check.expect(replies == [b"", b"0:", b"", b"0:", b"", b""],
                     f"hostile paths and unknown requests get nothing: {replies}")
        trace = open(b.trace, errors="replace").read()
        check.expect("unknown jobtype : garbage" in trace, "the unknown request is traced")

        # A silent peer and 1,000 idle connections against C; A still gets its answers.
        since_a, since_b = a.mark(), b.mark()
        idle = subprocess.Popen(["ip", "netns", "exec", peer_ns, sys.executable, script, "idle",
                                 c.address], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        holding = idle.stdout.readline().strip()
        check.expect(holding == "HOLDING 1001", f"the peer holds its connections: {holding}")
        started = time.time()
        job = a.job("expand", c.address, "\\data\\")
        listing = a.wait(rf"^LISTING {job} ", 10)
        took = time.time() - started
        check.expect(listing is not None and " ok 1 " in listing, f"C answered A while flooded: {listing}")
        check.expect(took < 3.0, f"promptly: {took:.2f} s")
        job = b.job("info", c.address)
        check.expect(b.wait(rf"^INFO {job} {c.address} nodeC\|", 10) is not None, "and B's host info request")
        time.sleep(2)
        check.expect(a.wait(rf"^DISAPPEARED {c.address}", 0, since_a) is None and
                     b.wait(rf"^DISAPPEARED {c.address}", 0, since_b) is None, "nobody lost C meanwhile")
        idle.stdin.close()
        idle.wait(timeout=30)
        idle = None
        check.expect("connection(s)" in open(c.trace, errors="replace").read(),
                     "C says it closed connections that sent no request")

        # A host that stops is noticed within about 2 s.
        since_a, since_b = a.mark(), b.mark()
        stopped = time.time()
        c.process.kill()
        lost_a = a.wait(rf"^DISAPPEARED {c.address}$", 10, since_a)
        took_a = time.time() - stopped
        lost_b = b.wait(rf"^DISAPPEARED {c.address}$", 10, since_b)
        took_b = time.time() - stopped
        check.expect(lost_a is not None and lost_b is not None, "A and B noticed that C stopped")
        check.expect(max(took_a, took_b) < 3.0, f"within about 2 s: A {took_a:.1f} s, B {took_b:.1f} s")

        # The announces on the wire.
        capture.wait(timeout=30)
        capture = None
        out = netns.run("tshark", "-r", pcap, "-Y", "udp.dstport == 12345", "-T", "fields", "-e", "ip.src",
                        "-e", "ip.dst", "-e", "data.data").stdout.split("\n")
        rows = [l.split("\t") for l in out if l.strip()]
        senders = {r[0] for r in rows}
        check.expect(senders == set(HOSTS.values()), f"all three hosts announced: {sorted(senders)}")
        check.expect(all(r[1] == BROADCAST and r[2] == "616e6e6f756e636500" for r in rows),
                     "every announce is \"announce\" and a zero, to the directed broadcast address")

        for node in (a, b):
            node.command("quit")
        for node in (a, b):
            try:
                node.process.wait(timeout=20)
                check.expect(node.process.returncode == 0, f"host {node.name} ended cleanly")
            except subprocess.TimeoutExpired:
                check.expect(False, f"host {node.name} ended on quit")
    finally:
        if idle:
            idle.kill()
        if capture:
            capture.terminate()
        for node in nodes.values():
            if node.wine:
                node.wine.close()
        network.remove()
        shutil.rmtree(work, ignore_errors=True)
    check.finish()


if __name__ == "__main__":
    main()
