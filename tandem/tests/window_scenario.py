#!/usr/bin/env python3
"""Three tandem.exe windows on a bridge: each host is a network namespace with a Wine prefix
(and so a wineserver) of its own; a probe program in each prefix drives its window through
messages and controls, as a user would with mouse and keys. A fourth namespace holds a peer
written with Python's standard library.

- The hosts show each other in their folder trees.
- A downloads a folder tree of about 100 files in nested folders from B; the bytes match, and
  B's transfer view shows the uploads to A while they run.
- C starts a large download from B, cancels it in the middle: its row reads "Cancelled" and no
  partial file is left.
- A chat message from A appears exactly once in every history, A's own included.
- The peer, unknown to A, asks A for a file: A asks its user (the probe answers Yes), the peer
  gets the file and A shows it as a host.
- With --screenshots FOLDER the windows are photographed into that folder at the end.

Usage: window_scenario.py BUILD_DIR [--screenshots FOLDER]"""
import hashlib
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
import netns  # noqa: E402

HOSTS = {"a": "198.18.7.1", "b": "198.18.7.2", "c": "198.18.7.3"}
PEER = "198.18.7.4"
PLACES = {"a": (0, 0), "b": (640, 0), "c": (0, 500)}
SHARES = {"a": "docs", "b": "music", "c": "data"}
BIG = 256 << 20

PEER_SCRIPT = r'''
import socket, sys, threading
host, path = sys.argv[1], sys.argv[2]
# A request server that only takes pings: an admitted host stays present while it runs.
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("0.0.0.0", 12346))
server.listen(8)
held = []
def take():
    while True:
        connection, _ = server.accept()
        held.append(connection)
threading.Thread(target=take, daemon=True).start()
s = socket.create_connection((host, 12346), timeout=60)
request = b"retrieve:" + path.encode()
s.sendall(str(len(request)).encode() + b":" + request)
data = b""
while True:
    chunk = s.recv(65536)
    if not chunk:
        break
    data += chunk
sys.stdout.write(repr(data) + "\n")
sys.stdout.flush()
sys.stdin.read()
'''


class Host:
    def __init__(self, network, name, work):
        self.name = name
        self.address = HOSTS[name]
        self.ns = network.namespace(name)
        self.app = os.path.join(work, name)
        self.share = os.path.join(self.app, "share")
        self.downloads = os.path.join(self.app, "downloads")
        os.makedirs(self.share)
        os.makedirs(self.downloads)
        self.ini = os.path.join(self.app, "tandem.ini")
        win = netns.WineHost.windows_path
        with open(self.ini, "w") as f:
            f.write(f"[global]\r\nhostname=node{name.upper()}\r\nskipsplash=1\r\nfirstinstalled=1\r\nsound=0\r\n"
                    f"lastdownloadpath={win(self.downloads)}\\\r\n"
                    f"[shares]\r\n{SHARES[name]}={win(self.share)}\r\n")
        self.wine = None
        self.program = None
        self.probe = None

    def start(self, build):
        exe = os.path.join(self.app, "tandem.exe")
        shutil.copy(os.path.join(build, "bin", "tandem.exe"), exe)
        self.program = self.wine.start(exe, "/debug:" + netns.WineHost.windows_path(os.path.join(self.app, "trace.log")),
                                       cwd=self.app)
        self.probe = self.wine.start(os.path.join(build, "bin", "tandem_probe.exe"), stdin=True, cwd=self.app)

    def ask(self, command, timeout=30):
        """Sends one probe command; its answer lines up to the last one (END or a single line)."""
        self.probe.stdin.write(command + "\n")
        self.probe.stdin.flush()
        lines = []
        end = time.time() + timeout
        multi = command.split()[0] in ("tree", "list", "transfers")
        while time.time() < end:
            line = netns.wait_line(self.probe, lambda l: True, end - time.time())
            if line is None:
                break
            if multi:
                if line == "END":
                    return lines
                lines.append(line)
            else:
                return [line]
        return lines

    def tree(self):
        return [l.split(" ", 2)[2] if l.count(" ") >= 2 else "" for l in self.ask("tree")]

    def transfers(self):
        return [l[4:].split("\t") for l in self.ask("transfers")]

    def until(self, predicate, timeout, pause=0.2):
        end = time.time() + timeout
        while time.time() < end:
            value = predicate()
            if value:
                return value
            time.sleep(pause)
        return None


def make_tree(root, seed):
    """About 100 files in nested folders, with an empty folder; their digests by relative path."""
    rng = random.Random(seed)
    digests = {}
    folders = ["", "alpha", "alpha/one", "alpha/one/deep", "beta", "beta/two", "gamma with blank"]
    for folder in folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    for i in range(100):
        folder = folders[i % len(folders)]
        name = f"file{i:03d}.bin" if i % 5 else f"note {i:03d}.txt"
        data = rng.randbytes(rng.randint(0, 96 << 10))
        relative = os.path.join(folder, name)
        with open(os.path.join(root, relative), "wb") as f:
            f.write(data)
        digests[relative] = hashlib.sha256(data).hexdigest()
    return digests


def digests_of(root):
    found = {}
    for base, _, files in os.walk(root):
        for name in files:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return found


def screenshot(hosts, folder):
    os.makedirs(folder, exist_ok=True)
    full = os.path.join(folder, "full.png")
    subprocess.run(["import", "-window", "root", full], check=True)
    for host in hosts:
        answer = host.ask("window")
        parts = answer[0].split() if answer else []
        if len(parts) != 5:
            continue
        x, y, w, h = map(int, parts[1:])
        target = os.path.join(folder, f"tandem-{host.name}.png")
        subprocess.run(["convert", full, "-crop", f"{w}x{h}+{max(0, x)}+{max(0, y)}", "+repage", target], check=True)
        print(f"screenshot: {target}")
    os.remove(full)


def main():
    build = os.path.abspath(sys.argv[1])
    shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: no X display")
        sys.exit(netns.SKIP)
    check = netns.Check()
    network = netns.Network("cob")
    work = tempfile.mkdtemp(prefix="cob-")
    hosts = {}
    started = time.time()
    try:
        bridge_ns = network.namespace("br")
        network.bridge("cob-br", bridge_ns)
        peer = network.namespace("d")
        for name in ("a", "b", "c", "d"):
            if name == "d":
                ns = peer
            else:
                hosts[name] = Host(network, name, work)
                ns = hosts[name].ns
            address = HOSTS.get(name, PEER)
            network.veth(f"cob-{name}", ns, f"cob-br{name}", bridge_ns, address_a=f"{address}/24")
            network.attach(f"cob-br{name}", "cob-br", bridge_ns)
        a, b, c = hosts["a"], hosts["b"], hosts["c"]
        # B sends at 50 MB/s, so that the big download is still under way when C cancels it.
        netns.run("ip", "netns", "exec", b.ns, "tc", "qdisc", "add", "dev", "cob-b", "root", "tbf", "rate", "400mbit",
                  "burst", "256k", "latency", "50ms")

        tree_digests = make_tree(os.path.join(b.share, "tree100"), 7)
        with open(os.path.join(b.share, "big.bin"), "wb") as f:
            f.write(random.Random(3).randbytes(1 << 20) * (BIG >> 20))
        with open(os.path.join(a.share, "a.txt"), "w") as f:
            f.write("from A")
        with open(os.path.join(c.share, "c.txt"), "w") as f:
            f.write("from C")

        for host in hosts.values():
            host.wine = netns.WineHost(build, host.ns, f"cobble-{host.name}")
        for host in hosts.values():
            host.start(build)
        for host in hosts.values():
            answer = host.ask("window", timeout=90)
            check.expect(answer and answer[0].startswith("WINDOW"), f"host {host.name} shows its window: {answer}")
            host.ask("move %d %d" % PLACES[host.name])
        print(f"windows up after {time.time() - started:.0f} s", flush=True)

        # A second start of the program on A brings the first window forward and ends.
        second = a.wine.start(os.path.join(a.app, "tandem.exe"), cwd=a.app)
        try:
            second.wait(timeout=30)
        except subprocess.TimeoutExpired:
            second.kill()
        check.expect(second.returncode == 0, f"a second tandem.exe on A ends at once (exit {second.returncode})")
        check.expect(a.program.poll() is None and a.ask("window")[0].startswith("WINDOW"), "the first one runs on")

        # Everyone shows the two others (by the names they give) besides itself.
        for host in hosts.values():
            names = {f"node{n.upper()}" for n in hosts}
            roots = host.until(lambda: names <= set(host.tree()) and host.tree(), 20)
            check.expect(roots is not None, f"host {host.name} shows all three hosts: {host.tree()}")

        # A downloads B's folder tree to its last download folder (Download to last folder).
        check.expect(a.until(lambda: a.ask("select nodeB|music") == ["OK"], 10) is not None, "A selects B's share")
        check.expect(a.until(lambda: any(l.startswith("ITEM tree100\t") for l in a.ask("list")), 10) is not None,
                     "A's file list shows B's folder")
        a.ask("click tree100")
        a.ask("command 40013")
        uploads_seen = b.until(lambda: [r for r in b.transfers() if len(r) == 3 and r[0].startswith("\\music\\tree100\\")
                                        and r[2].startswith("nodeA")], 30, pause=0.05)
        check.expect(uploads_seen is not None, f"B's transfer view shows the uploads to A: {uploads_seen and uploads_seen[0]}")
        row = a.until(lambda: [r for r in a.transfers() if r[0] == "tree100" and r[1] in ("Finished", "Failed", "Cancelled")],
                      90, pause=0.3)
        check.expect(row is not None and row[0][1] == "Finished", f"A's folder row ends Finished: {row}")
        got = digests_of(os.path.join(a.downloads, "tree100"))
        check.expect(got == tree_digests, f"all {len(tree_digests)} files arrived byte for byte ({len(got)} there)")
        check.expect(not os.path.exists(os.path.join(a.downloads, "tree100", "empty")),
                     "an empty remote folder is not made")

        # Chat from A: once in every history.
        a.ask("chat hello from A")
        line = "nodeA: hello from A"
        for host in hosts.values():
            history = host.until(lambda: line in host.ask("history")[0] and host.ask("history")[0], 10)
            check.expect(history is not None, f"host {host.name} shows A's message")
        time.sleep(1.5)
        for host in hosts.values():
            history = host.ask("history")[0]
            check.expect(history.count(line) == 1, f"exactly once in {host.name}'s history: {history!r}")

        # C starts the big download and cancels it in the middle.
        check.expect(c.until(lambda: c.ask("select nodeB|music") == ["OK"], 10) is not None, "C selects B's share")
        c.until(lambda: any(l.startswith("ITEM big.bin\t") for l in c.ask("list")), 10)
        c.ask("click big.bin")
        c.ask("command 40013")
        moving = c.until(lambda: [r for r in c.transfers() if r[0] == "big.bin" and re.match(r"Receive [1-7]?\d%", r[1])
                                  and not r[1].startswith("Receive 0%")], 60, pause=0.1)
        check.expect(moving is not None, f"C's download moves: {moving}")
        c.ask("clickrow big.bin")
        c.ask("command 40008")
        row = c.until(lambda: [r for r in c.transfers() if r[0] == "big.bin" and r[1] in ("Cancelled", "Finished", "Failed")],
                      20, pause=0.1)
        check.expect(row is not None and row[0][1] == "Cancelled", f"C's row reads Cancelled: {row}")
        time.sleep(0.5)
        check.expect(not os.path.exists(os.path.join(c.downloads, "big.bin")), "no partial file is left")
        if shots:
            screenshot(hosts.values(), shots)

        # The unknown peer asks A for a file.
        script = os.path.join(work, "peer.py")
        with open(script, "w") as f:
            f.write(PEER_SCRIPT)
        asking = subprocess.Popen(["ip", "netns", "exec", peer, sys.executable, script, a.address, "\\docs\\a.txt"],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        box = a.until(lambda: (a.ask("box")[0] if a.ask("box")[0].startswith("BOX") else None), 15)
        check.expect(box is not None and PEER in box and "download" in box, f"A asks about the unknown host: {box}")
        a.ask("answer 6")
        out = asking.stdout.readline().strip()
        check.expect(out == repr(b"6:from A"), f"the peer got the file after Yes: {out}")
        check.expect(a.until(lambda: PEER in a.tree(), 10) is not None, "A shows the admitted host")
        asking.stdin.close()
        asking.wait(timeout=10)

        took = time.time() - started
        print(f"scenario took {took:.0f} s")
        for host in hosts.values():
            host.ask("quit", timeout=2)
    finally:
        for host in hosts.values():
            if host.wine:
                host.wine.close()
        network.remove()
        shutil.rmtree(work, ignore_errors=True)
    check.finish()


if __name__ == "__main__":
    main()
