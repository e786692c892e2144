#!/usr/bin/env python3
"""tandem.exe's own download path against smbclient on the same veth link, in one run, and the
window's responsiveness:

- a folder of 10,000 files (in 100 subfolders) and a 512 MiB file, downloaded by tandem.exe's
  "Download to last folder" (the folder as a folder download, one file after another) and by
  smbclient (recurse mget, get) from smbd serving the same folder: MB/s, files/s and ratios;
- a sent WM_NULL answered within 100 ms? measured from a second probe every 50 ms during the
  10,000-file folder download, and while 20 hosts announce themselves and appear;
- a 512 MiB download whose receiving program is killed in the middle, then resumed: only the
  missing tail travels, and the file matches.

Prints figures; fails only when something does not work at all. Needs root.
Usage: window_bench.py BUILD_DIR"""
import hashlib
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
import netns  # noqa: E402
from window_scenario import Host  # noqa: E402

SERVER, CLIENT, CROWD = "198.18.9.1", "198.18.9.2", "198.18.9.3"
CROWD_HOSTS = [f"198.18.9.{10 + i}" for i in range(20)]
FILES = int(os.environ.get("TANDEM_BENCH_FILES", "10000"))
FILE_SIZE = 4096
BIG = 512 << 20

# Twenty hosts in one namespace, one address each: they announce every second and answer pings,
# listings and host info as tandem hosts do.
CROWD_SCRIPT = r'''
import socket, sys, threading, time
addresses = sys.argv[1:]
def serve(address):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((address, 12346))
    server.listen(16)
    def one(connection):
        try:
            header = b""
            while not header.endswith(b":"):
                byte = connection.recv(1)
                if not byte:
                    return
                header += byte
            length = int(header[:-1])
            payload = b""
            while len(payload) < length:
                payload += connection.recv(length - len(payload))
            if payload.startswith(b"ping"):
                while connection.recv(4096):
                    pass
            elif payload.startswith(b"gethostinfo"):
                reply = ("crowd-" + address + "\n1.0 00:00:00 01.01.26 \n").encode()
                connection.sendall(str(len(reply)).encode() + b":" + reply)
            elif payload.startswith(b"expand"):
                reply = b"share\\1\\0"
                connection.sendall(str(len(reply)).encode() + b":" + reply)
        finally:
            connection.close()
    while True:
        connection, _ = server.accept()
        threading.Thread(target=one, args=(connection,), daemon=True).start()
for address in addresses:
    threading.Thread(target=serve, args=(address,), daemon=True).start()
print("SERVING", flush=True)
sys.stdin.readline()
senders = []
for address in addresses:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind((address, 0))
    senders.append(s)
print("ANNOUNCING", flush=True)
end = time.time() + 30
while time.time() < end:
    for s in senders:
        s.sendto(b"announce\0", ("198.18.9.255", 12345))
    time.sleep(1)
'''


def timed_wait(host, name, timeout):
    end = time.time() + timeout
    while time.time() < end:
        rows = [r for r in host.transfers() if r[0] == name and r[1] in ("Finished", "Failed", "Cancelled")]
        if rows:
            return rows[0][1]
        time.sleep(0.05)
    return None


def pinger(host, count, pause, out):
    probe = host.wine.start(os.path.join(host.build, "bin", "tandem_probe.exe"), stdin=True, cwd=host.app)
    probe.stdin.write(f"window\nping {count} {pause}\nquit\n")
    probe.stdin.flush()
    line = netns.wait_line(probe, lambda l: l.startswith("PING"), count * (pause + 200) / 1000 + 60)
    out.append(line)


def rate(size, seconds):
    return size / (1 << 20) / seconds if seconds > 0 else 0.0


def main():
    build = os.path.abspath(sys.argv[1])
    netns.require_root()
    if not (shutil.which("smbd") and shutil.which("smbclient")):
        print("skipped: smbd and smbclient are missing (scripts/bench installs them)")
        sys.exit(netns.SKIP)
    network = netns.Network("cobb")
    work = tempfile.mkdtemp(prefix="cobb-")
    hosts = []
    crowd = None
    smbd = None
    try:
        import window_scenario
        window_scenario.HOSTS.update({"s": SERVER, "k": CLIENT})
        window_scenario.SHARES.update({"s": "bench", "k": "none"})
        bridge = network.namespace("br")
        network.bridge("cobb-br", bridge)
        server = Host(network, "s", work)
        client = Host(network, "k", work)
        hosts = [server, client]
        crowd_ns = network.namespace("crowd")
        for name, ns, address in (("s", server.ns, SERVER), ("k", client.ns, CLIENT), ("h", crowd_ns, CROWD)):
            network.veth(f"cobb-{name}", ns, f"cobb-b{name}", bridge, address_a=f"{address}/24")
            network.attach(f"cobb-b{name}", "cobb-br", bridge)
        for address in CROWD_HOSTS:
            netns.run("ip", "-n", crowd_ns, "addr", "add", f"{address}/24", "dev", "cobb-h")

        many = os.path.join(server.share, "many")
        rng = random.Random(5)
        block = rng.randbytes(FILE_SIZE)
        for i in range(FILES):
            folder = os.path.join(many, f"d{i // 100:02d}")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"f{i:05d}.bin"), "wb") as f:
                f.write(block[i % 97:] + block[:i % 97])
        chunk = rng.randbytes(1 << 20)
        with open(os.path.join(server.share, "big.bin"), "wb") as f:
            for i in range(BIG >> 20):
                f.write(chunk)
        big_digest = hashlib.sha256(chunk * (BIG >> 20)).hexdigest()

        # smbd serving the same folder, as guest.
        smb = os.path.join(work, "smb")
        os.makedirs(os.path.join(smb, "state"))
        conf = os.path.join(smb, "smb.conf")
        with open(conf, "w") as f:
            f.write(f"[global]\nworkgroup = BENCH\nmap to guest = Bad User\nguest account = root\n"
                    f"smb ports = 445\ndisable netbios = yes\nbind interfaces only = yes\ninterfaces = {SERVER}\n"
                    f"state directory = {smb}/state\ncache directory = {smb}/state\nlock directory = {smb}/state\n"
                    f"private dir = {smb}/state\npid directory = {smb}/state\nlog file = {smb}/log\n"
                    f"[bench]\npath = {server.share}\nguest ok = yes\nread only = yes\n")
        # In a session of its own: smbd ends by signalling its whole process group.
        smbd = subprocess.Popen(["ip", "netns", "exec", server.ns, "smbd", "--foreground", "--no-process-group",
                                 "-s", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)

        for host in hosts:
            host.build = build
            host.wine = netns.WineHost(build, host.ns, f"cobble-{host.name}")
            host.start(build)
        for host in hosts:
            answer = host.ask("window", timeout=90)
            if not answer or not answer[0].startswith("WINDOW"):
                print(f"host {host.name} shows no window: {answer}")
                return 1
        # Each must know the other: an unknown host's download would wait for the server's user.
        if not client.until(lambda: "nodeS" in client.tree(), 20) or not server.until(lambda: "nodeK" in server.tree(), 20):
            print("the hosts do not see each other")
            return 1

        def smb_get(command, into):
            os.makedirs(into, exist_ok=True)
            start = time.time()
            done = subprocess.run(["ip", "netns", "exec", client.ns, "smbclient", f"//{SERVER}/bench", "-N",
                                   "-c", command], cwd=into, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            return time.time() - start, done.returncode

        # The folder of 10,000 files, with a second probe pinging the window meanwhile.
        client.until(lambda: client.ask("select nodeS|bench") == ["OK"], 10)
        client.until(lambda: any(l.startswith("ITEM many\t") for l in client.ask("list")), 20)
        client.ask("click many")
        pings = []
        ping_thread = threading.Thread(target=pinger, args=(client, 400, 50, pings))
        start = time.time()
        client.ask("command 40013")
        ping_thread.start()
        status = timed_wait(client, "many", 1800)
        tandem_many = time.time() - start
        ping_thread.join(timeout=120)
        got = sum(len(files) for _, _, files in os.walk(os.path.join(client.downloads, "many")))
        smb_many, smb_rc = smb_get("recurse ON; prompt OFF; mget many", os.path.join(work, "smb-many"))
        total = FILES * FILE_SIZE
        print(f"folder of {FILES} files ({total / (1 << 20):.1f} MiB): tandem {status}, {got} files in {tandem_many:.1f} s "
              f"({FILES / tandem_many:.0f} files/s, {rate(total, tandem_many):.1f} MB/s) | smbclient (exit {smb_rc}) "
              f"{smb_many:.1f} s ({FILES / smb_many:.0f} files/s, {rate(total, smb_many):.1f} MB/s) | "
              f"tandem/smbclient files/s ratio {smb_many / tandem_many:.2f}")
        print(f"WM_NULL during the folder download (every 50 ms): {pings[0] if pings else 'no answer'} "
              "(answered, worst ms, mean ms)")

        # The 512 MiB file.
        client.ask("click big.bin")
        start = time.time()
        client.ask("command 40013")
        status = timed_wait(client, "big.bin", 600)
        tandem_big = time.time() - start
        local = os.path.join(client.downloads, "big.bin")
        with open(local, "rb") as f:
            same = hashlib.sha256(f.read()).hexdigest() == big_digest
        smb_big, smb_rc = smb_get("get big.bin", os.path.join(work, "smb-big"))
        print(f"512 MiB file: tandem {status} in {tandem_big:.1f} s ({rate(BIG, tandem_big):.1f} MB/s, bytes match: {same}) "
              f"| smbclient (exit {smb_rc}) {smb_big:.1f} s ({rate(BIG, smb_big):.1f} MB/s) | "
              f"ratio {smb_big / tandem_big:.2f}")

        # Killed in the middle, then resumed.
        os.remove(local)
        client.ask("command 40013")
        client.until(lambda: os.path.exists(local) and os.path.getsize(local) > BIG // 3, 120, pause=0.02)
        client.program.kill()
        client.probe.kill()
        client.wine.stop_server()
        kept = os.path.getsize(local)
        client.start(build)
        client.ask("window", timeout=90)
        client.until(lambda: "nodeS" in client.tree(), 20)
        client.until(lambda: client.ask("select nodeS|bench") == ["OK"], 10)
        client.until(lambda: any(l.startswith("ITEM big.bin\t") for l in client.ask("list")), 20)
        client.ask("click big.bin")
        client.ask("command 40013")
        box = client.until(lambda: (client.ask("box")[0] if client.ask("box")[0].startswith("BOX") else None), 20)
        start = time.time()
        client.ask("answer 6")
        status = timed_wait(client, "big.bin", 600)
        resumed = time.time() - start
        with open(local, "rb") as f:
            same = hashlib.sha256(f.read()).hexdigest() == big_digest
        print(f"resume: killed at {kept / (1 << 20):.0f} MiB, asked \"{(box or '')[4:90]}...\"; the remaining "
              f"{(BIG - kept) / (1 << 20):.0f} MiB {status} in {resumed:.1f} s; bytes match: {same}")

        # Twenty hosts announce and appear while a probe pings the window.
        crowd = subprocess.Popen(["ip", "netns", "exec", crowd_ns, sys.executable, "-c", CROWD_SCRIPT] + CROWD_HOSTS,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        crowd.stdout.readline()
        pings = []
        ping_thread = threading.Thread(target=pinger, args=(client, 200, 50, pings))
        ping_thread.start()
        crowd.stdin.write("go\n")
        crowd.stdin.flush()
        start = time.time()
        seen = client.until(lambda: sum(1 for t in client.tree() if t.startswith("crowd-")) >= 20, 60, pause=0.2)
        took = time.time() - start
        ping_thread.join(timeout=120)
        print(f"20 hosts announcing: all shown by name after {took:.1f} s ({'yes' if seen else 'no'}); "
              f"WM_NULL meanwhile: {pings[0] if pings else 'no answer'} (answered, worst ms, mean ms)")
    finally:
        if crowd:
            crowd.kill()
        if smbd:
            smbd.terminate()
        for host in hosts:
            if host.wine:
                host.wine.close()
        network.remove()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
