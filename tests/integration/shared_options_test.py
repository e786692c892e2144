#!/usr/bin/env python3
"""Shared options between monitors on one LAN: three hosts (namespaces with a Wine prefix, and so
a wineserver, each) on one bridge run the monitor with a test plug-in named plexa.dll that shares
options; a fourth host is a peer written with Python's standard library and openssl alone.

- A change on host A (a row menu entry that reports changed options) reaches B and C exactly
  once each, with three proclamations on the wire; a second change with a new id again.
- C has the exchange switched off: it discards what it receives and still answers requests.
- The Python peer proclaims and serves options it encrypted itself, and fetches and decrypts
  the monitors' options: both ways must work.
- Garbage proclamations, broken options texts and stalling or boasting peers change nothing; a
  peer that trickles its text does not hold a monitor's other fetches.

Usage: shared_options_test.py BUILD_DIR"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

KEY = "9d1b6e04c7a3f25e81b0d4c6a97e3f12"
HOSTS = {"a": "198.18.1.1", "b": "198.18.1.2", "c": "198.18.1.3", "d": "198.18.1.4"}
BROADCAST = "198.18.1.255"

PEER = r'''
import socket, subprocess, sys, time, threading
mode, key, arg = sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else ""
def encrypt(text):
    return subprocess.run(["openssl", "enc", "-aes-128-ecb", "-K", key], input=text.encode(),
                          stdout=subprocess.PIPE, check=True).stdout.hex().upper()
def decrypt(hexdata):
    r = subprocess.run(["openssl", "enc", "-d", "-aes-128-ecb", "-K", key], input=bytes.fromhex(hexdata),
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return r.stdout.decode() if r.returncode == 0 else None
def proclaim(payload):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.sendto(payload, ("198.18.1.255", 10301))
if mode == "serve":   # serve one options text (arg: plain options) to every monitor that asks
    text = "plexa.dll:" + encrypt(arg) + ";"
    l = socket.socket(); l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    l.bind(("0.0.0.0", 10300)); l.listen(5); l.settimeout(0.5)
    print("serving", flush=True)
    end = time.time() + 8
    while time.time() < end:
        try:
            c, _ = l.accept()
        except socket.timeout:
            continue
        c.sendall(f"{len(text)}:{text}".encode()); c.close()
    print("served", flush=True)
elif mode == "rawserve":   # serve bytes as they are (arg), or stall
    l = socket.socket(); l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    l.bind(("0.0.0.0", 10300)); l.listen(5)
    print("serving", flush=True)
    l.settimeout(0.5)
    held, end = [], time.time() + 8
    while time.time() < end:
        try:
            c, _ = l.accept()
        except socket.timeout:
            continue
        if arg != "stall":
            c.sendall(arg.encode().decode("unicode_escape").encode("latin-1"))
        held.append(c)   # kept open and silent until the end
    for c in held: c.close()
    print("served", flush=True)
elif mode == "trickle":   # the start of a text, then nothing; says when each monitor gives up
    import select
    l = socket.socket(); l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    l.bind(("0.0.0.0", 10300)); l.listen(5)
    print("serving", flush=True)
    held, end = [], time.time() + 10
    while time.time() < end:
        for s in select.select([l] + held, [], [], 0.1)[0]:
            if s is l:
                c, _ = l.accept(); c.sendall(b"1000:plexa.dll:"); held.append(c)
                continue
            try:
                gone = s.recv(1) == b""
            except OSError:
                gone = True
            if gone:
                print("given up", time.time(), flush=True); held.remove(s); s.close()
    for c in held: c.close()
    print("served", flush=True)
elif mode == "proclaim":
    proclaim(arg.encode().decode("unicode_escape").encode("latin-1"))
elif mode == "fetch":   # fetch a monitor's options and decrypt each entry
    c = socket.create_connection((arg, 10300), timeout=10)
    data = b""
    while True:
        chunk = c.recv(65536)
        if not chunk: break
        data += chunk
    length, _, body = data.partition(b":")
    body = body.decode()
    assert int(length) == len(body), (length, len(body))
    for entry in filter(None, body.split(";")):
        name, _, hexdata = entry.partition(":")
        print("ENTRY", name, repr(decrypt(hexdata)), flush=True)
    print("FETCHED", len(body), flush=True)
'''


class Host:
    def __init__(self, build, network, name, work, options, shared=True):
        self.name = name
        self.ns = network.namespace(name)
        self.app = os.path.join(work, name)
        os.makedirs(self.app)
        for path in ("monitor_probe.exe", "testplugins/plexa.dll"):
            shutil.copy(os.path.join(build, "bin", path), self.app)
        if not shared:
            open(os.path.join(self.app, "monitor_probe.ini"), "w").write("[DialogSettings]\r\nSharedOptions=0\r\n")
        self.log = os.path.join(self.app, "plugin.log")
        self.options = options
        self.wine = None

    def start(self, build):
        self.wine = netns.WineHost(build, self.ns, f"so-{self.name}", desktop=True)
        self.probe = self.wine.start(os.path.join(self.app, "monitor_probe.exe"), stdin=True, cwd=self.app,
                                     extra_env={"VELMORA_TESTPLUGIN_LOG": self.log,
                                                "VELMORA_TESTPLUGIN_OPTIONS": self.options})

    def received(self):
        if not os.path.exists(self.log):
            return []
        return [l.split(" ", 3)[3] for l in open(self.log).read().splitlines()
                if l.split(" ")[1:2] == ["SetShareableOptions"] and len(l.split(" ", 3)) > 3]

    def command(self, text):
        self.probe.stdin.write(text + "\n")
        self.probe.stdin.flush()


def wait_until(predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def main():
    build = os.path.abspath(sys.argv[1])
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: the monitors need an X display (scripts/test provides one)")
        sys.exit(netns.SKIP)
    check = netns.Check()
    network = netns.Network("vlm-so")
    work = tempfile.mkdtemp(prefix="vlm-so-")
    hosts = {}
    capture = None
    try:
        bridge_ns = network.namespace("br")
        network.bridge("vlmso-br", bridge_ns)
        for name, ip in HOSTS.items():
            if name != "d":
                options = f"devicenames.02:00:00:00:00:0{'abc'.index(name) + 1}=Host {name.upper()}"
                hosts[name] = Host(build, network, name, work, options, shared=(name != "c"))
                ns = hosts[name].ns
            else:
                ns = network.namespace("d")
            network.veth(f"vlmso-{name}", ns, f"vlmso-br{name}", bridge_ns, address_a=f"{ip}/24")
            network.attach(f"vlmso-br{name}", "vlmso-br", bridge_ns)
        peer_ns = "vlm-so-d"
        peer_script = os.path.join(work, "peer.py")
        open(peer_script, "w").write(PEER)

        def peer(*args, background=False):
            command = ["ip", "netns", "exec", peer_ns, sys.executable, peer_script, args[0], KEY, *args[1:]]
            if background:
                return subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
            return subprocess.run(command, stdout=subprocess.PIPE, text=True, timeout=60).stdout

        pcap = os.path.join(work, "bridge.pcapng")
        capture = subprocess.Popen(["ip", "netns", "exec", bridge_ns, "tshark", "-q", "-i", "vlmso-br", "-f",
                                    "udp port 10301", "-w", pcap], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for host in hosts.values():
            host.start(build)
        for host in hosts.values():
            check.expect(netns.wait_line(host.probe, lambda l: l.startswith("ROW 0"), 60) is not None,
                         f"host {host.name}'s monitor shows the test plug-in")
        time.sleep(2)

        a, b, c = hosts["a"], hosts["b"], hosts["c"]
        a.command("action Brindle Plexa HS Ethernet")
        check.expect(wait_until(lambda: b.received(), 15), "B received A's options")
        time.sleep(4)  # all three proclamations are out
        check.expect(b.received() == ["devicenames.02:00:00:00:00:01=Host A"], f"exactly once, A's text: {b.received()}")
        check.expect(c.received() == [], f"C, switched off, handed nothing to its plug-in: {c.received()}")
        check.expect(any("shared options disabled. Options discarded." in l for l in c.probe.all_lines),
                     "C says it discarded the options")
        sent = [l for l in a.probe.all_lines if l.startswith("[shared options] sending broadcast (")]
        check.expect(len(sent) == 3 and len({l.split(", ")[1] for l in sent}) == 1, f"three proclamations, one id: {sent}")

        a.command("action Brindle Plexa HS Ethernet")
        check.expect(wait_until(lambda: len(b.received()) == 2, 15), "a second change reaches B again")
        time.sleep(4)
        check.expect(len(b.received()) == 2, f"once more, not more: {len(b.received())}")
        capture.terminate()
        capture.wait(timeout=20)
        capture = None
        ids = netns.run("tshark", "-r", pcap, "-Y", f"ip.src == {HOSTS['a']} && udp.dstport == 10301",
                        "-T", "fields", "-e", "data.data").stdout.split()
        check.expect(len(ids) == 6, f"six proclamations from A on the wire, three per change: {len(ids)}")
        if len(ids) == 6:
            payloads = [bytes.fromhex(i) for i in ids]
            check.expect(all(p.startswith(b"watchpost_sharedoptions\0") and p.endswith(b"\0") for p in payloads),
                         "each is the tag, a zero byte, the id and a zero byte")
            check.expect(len(set(payloads[:3])) == 1 and len(set(payloads[3:])) == 1 and payloads[0] != payloads[3],
                         "the same id three times, then a new one")

        # C still answers requests; the Python peer decrypts what it serves with openssl.
        out = peer("fetch", HOSTS["c"])
        check.expect("ENTRY plexa.dll 'devicenames.02:00:00:00:00:03=Host C\\n'" in out, f"C serves its options: {out!r}")
        out = peer("fetch", HOSTS["a"])
        check.expect("ENTRY plexa.dll 'devicenames.02:00:00:00:00:01=Host A\\n'" in out, f"A serves its options: {out!r}")

        # The peer proclaims and serves options it encrypted itself; B takes them.
        server = peer("serve", "devicenames.02:00:00:00:00:09=From the peer", background=True)
        server.stdout.readline()
        peer("proclaim", "watchpost_sharedoptions\\x0042\\x00")
        check.expect(wait_until(lambda: "devicenames.02:00:00:00:00:09=From the peer" in b.received(), 15),
                     f"B took the peer's options: {b.received()}")
        server.wait(timeout=20)
        check.expect(c.received() == [], "C still takes nothing")

        # A peer that trickles holds one fetch of each monitor until its deadline; A's next change
        # reaches B meanwhile.
        server = peer("trickle", background=True)
        server.stdout.readline()
        peer("proclaim", "watchpost_sharedoptions\\x00777\\x00")
        time.sleep(0.5)
        count = len(b.received())
        a.command("action Brindle Plexa HS Ethernet")
        check.expect(wait_until(lambda: len(b.received()) > count, 15), "B takes A's change while the peer trickles")
        taken = time.time()
        server.wait(timeout=30)
        given_up = [float(l.split()[2]) for l in server.stdout.read().splitlines() if l.startswith("given up")]
        check.expect(len(given_up) >= 2 and min(given_up) > taken,
                     f"the monitors gave up the trickled fetches only after that: {given_up} vs {taken}")
        time.sleep(3)  # A's remaining proclamations

        # Bad input from the peer: nothing crashes, nothing reaches a plug-in, A keeps serving.
        before = {name: list(h.received()) for name, h in hosts.items()}
        for junk in ("no zero byte at all", "watchpost_sharedoptions\\x00\\x00", "x" * 2048,
                     "watchpost_sharedoptions", "\\x00\\x00\\x00"):
            peer("proclaim", junk)
        for served in ("2:AB", "40:plexa.dll:no separators at all in here..", "13:plexa.dll:ABC;",
                       "36:plexa.dll:" + "00" * 11 + ";", "62914560:", "stall"):
            server = peer("rawserve", served, background=True)
            server.stdout.readline()
            peer("proclaim", "watchpost_sharedoptions\\x00" + str(abs(hash(served)) % 30000) + "\\x00")
            server.wait(timeout=30)
        time.sleep(2)
        after = {name: list(h.received()) for name, h in hosts.items()}
        check.expect(after == before, f"no plug-in got anything from bad input: {after} vs {before}")
        out = peer("fetch", HOSTS["a"])
        check.expect("FETCHED" in out, f"A still serves after all that: {out!r}")
        for host in hosts.values():
            check.expect(host.probe.poll() is None, f"host {host.name}'s monitor is still running")
        for host in hosts.values():
            host.command("quit")
        for host in hosts.values():
            host.probe.wait(timeout=30)
            check.expect(host.probe.returncode == 0, f"host {host.name} ends cleanly")
    finally:
        if capture:
            capture.terminate()
        for host in hosts.values():
            if host.wine:
                host.wine.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


if __name__ == "__main__":
    main()
