#!/usr/bin/env python3
"""The discovery engine on virtual Ethernet: plcsim.exe under Wine in one namespace stands for a
home network of one local adapter, three remote devices (one of the HS kind) and an audio
device; the real engine runs through rawport.dll in the other namespace. The link is captured
with tshark, which must decode every frame the engine sent as intended.

Usage: discovery_test.py BUILD_DIR"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

TICK_MS = 200

SCENARIO = """
[local kitchen]
address = 02:00:00:00:00:01
kind = homeplug
port = vlmdisc-plc
key = HomeKey

[remote study]
address = 02:00:00:00:00:02
key = HomeKey
rate = 519

[remote attic]
address = 02:00:00:00:00:03
kind = hs
key = HomeKey
rate = 2000
quality = 2812

[remote garage]
address = 02:00:00:00:00:04
key = HomeKey
rate = 300

[remote speaker]
address = 02:00:00:00:00:05
key = HomeKey
rate = 400
audio = yes
ip = 198.18.0.20
stream = yes
http_port = 8000
path = /live.mp3
state = 0

[remote neighbour]
address = 02:00:00:00:00:06
key = OtherKey
rate = 600
"""


def netstat_rate(raw):
    return raw / 42 * 1.1434511434511434 + (14 - 12.357142857142858 * 1.1434511434511434)


def next_picture(probe, timeout):
    """The next device picture the probe prints, as a dict, or None."""
    header = netns.wait_line(probe, lambda l: l.startswith("PICTURE "), timeout)
    if header is None:
        return None
    picture = {"ms": int(header.split()[1]), "locals": {}, "remotes": {}, "audios": {}}
    while True:
        line = netns.wait_line(probe, lambda l: True, 10)
        if line is None or line == "END":
            return picture
        fields = line.split()
        if fields[0] == "LOCAL":
            picture["locals"][fields[1]] = int(fields[2])
        elif fields[0] == "REMOTE":
            picture["remotes"][fields[2]] = {"local": fields[1], "hs": int(fields[3]), "rate": float(fields[4])}
        elif fields[0] == "AUDIO":
            picture["audios"][fields[1]] = {"ip": fields[2], "stream": int(fields[3]), "state": int(fields[4]),
                                            "base": fields[5], "url": fields[6]}


def wait_picture(probe, predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        picture = next_picture(probe, end - time.time())
        if picture is None:
            return None
        if predicate(picture):
            return picture
    return None


def main():
    build = os.path.abspath(sys.argv[1])
    bin_dir = os.path.join(build, "bin")
    netns.require_root()
    check = netns.Check()
    network = netns.Network("vlm-disc")
    hosts = []
    capture = None
    work = tempfile.mkdtemp(prefix="vlm-disc-")
    try:
        plc_ns = network.namespace("plc")
        pc_ns = network.namespace("pc")
        network.veth("vlmdisc-plc", plc_ns, "vlmdisc-pc", pc_ns)
        pc_mac = network.mac(pc_ns, "vlmdisc-pc")

        scenario = os.path.join(work, "home.ini")
        with open(scenario, "w") as f:
            f.write(SCENARIO)
        pcap = os.path.join(work, "link.pcapng")
        capture = subprocess.Popen(["ip", "netns", "exec", pc_ns, "tshark", "-q", "-i", "vlmdisc-pc", "-w", pcap],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        plc_host = netns.WineHost(build, plc_ns, "disc-plc")
        pc_host = netns.WineHost(build, pc_ns, "disc-pc")
        hosts += [plc_host, pc_host]
        plcsim = plc_host.start(os.path.join(bin_dir, "plcsim.exe"), scenario, stdin=True)
        check.expect(netns.wait_line(plcsim, lambda l: "ready" in l, 60) is not None, "plcsim serves the link")
        time.sleep(1)

        probe = pc_host.start(os.path.join(bin_dir, "discovery_probe.exe"), str(TICK_MS), "120",
                              extra_env={"RAWPORT_ADAPTERS": "vlmdisc-pc"})
        full = wait_picture(probe, lambda p: len(p["remotes"]) >= 4 and p["audios"]
                            and p["remotes"].get("02:00:00:00:00:03", {}).get("hs") == 1, 60)
        check.expect(full is not None, "the engine sees the whole network")
        if full:
            check.expect(full["locals"] == {"02:00:00:00:00:01": 0}, f"one local HomePlug 1.0 device: {full['locals']}")
            remotes = full["remotes"]
            check.expect(sorted(remotes) == ["02:00:00:00:00:02", "02:00:00:00:00:03", "02:00:00:00:00:04",
                                             "02:00:00:00:00:05"], f"four remote devices, not the neighbour: {sorted(remotes)}")
            check.expect(abs(remotes["02:00:00:00:00:02"]["rate"] - 14.0) < 0.01, "study at 14 Mbit/s")
            check.expect(remotes["02:00:00:00:00:02"]["hs"] == 0, "study is no HS device")
            check.expect(remotes["02:00:00:00:00:03"]["hs"] == 1, "attic is an HS device")
            check.expect(abs(remotes["02:00:00:00:00:03"]["rate"] - netstat_rate(2000)) < 0.01, "attic's rate")
            check.expect(abs(remotes["02:00:00:00:00:04"]["rate"] - netstat_rate(300)) < 0.01, "garage's rate")
            audio = full["audios"].get("02:00:00:00:00:05")
            check.expect(audio is not None, "the speaker announced itself")
            if audio:
                check.expect(audio["ip"] == "198.18.0.20" and audio["stream"] == 1 and audio["state"] == 0,
                             f"audio data: {audio}")
                check.expect(audio["base"] == "http://198.18.0.20/", "audio base URL")
                check.expect(audio["url"] == "http://198.18.0.20:8000/live.mp3", "audio stream URL")

        plcsim.stdin.write("unplug attic\n")
        plcsim.stdin.flush()
        unplugged = time.time()
        gone = wait_picture(probe, lambda p: "02:00:00:00:00:03" not in p["remotes"], 30)
        vanished_after = time.time() - unplugged
        check.expect(gone is not None, "the unplugged device vanishes")
        # forgotten 30 ticks after it was last heard; NetStat asks every five ticks, so that
        # was up to five ticks before the unplug
        check.expect(gone is not None and 24 * TICK_MS / 1000 <= vanished_after <= 36 * TICK_MS / 1000,
                     f"after about 30 ticks of {TICK_MS} ms: {vanished_after:.1f} s")
        if gone:
            check.expect(len(gone["remotes"]) == 3, "the others stay")

        plcsim.stdin.write("plug attic\n")
        plcsim.stdin.flush()
        plugged = time.time()
        back = wait_picture(probe, lambda p: "02:00:00:00:00:03" in p["remotes"], 30)
        check.expect(back is not None, f"re-found after plugging in again ({time.time() - plugged:.1f} s)")

        plcsim.stdin.write("quit\n")
        plcsim.stdin.flush()
        time.sleep(1)
        capture.terminate()
        capture.wait(timeout=20)
        capture = None

        # Every frame the engine sent must decode as intended, with a second opinion.
        fields = netns.run("tshark", "-r", pcap, "-o", "ip.check_checksum:TRUE", "-o", "udp.check_checksum:TRUE",
                           "-Y", f"eth.src == {pc_mac.lower()}", "-T", "fields", "-E", "separator=|",
                           "-e", "eth.type", "-e", "homeplug.mctrl.ne", "-e", "homeplug.mehdr.metype",
                           "-e", "udp.dstport", "-e", "ip.checksum.status", "-e", "udp.checksum.status").stdout
        kinds = {"homeplug": 0, "whoisthere": 0, "other": 0}
        metypes = set()
        bad = []
        for line in fields.splitlines():
            eth, ne, metype, port, ipsum, udpsum = (line.split("|") + [""] * 6)[:6]
            if eth == "0x887b" and ne == "1" and metype in ("0x07", "0x1a", "0x02"):
                kinds["homeplug"] += 1
                metypes.add(metype)
            elif eth == "0x0800" and port == "15472" and ipsum == "1" and udpsum == "1":
                kinds["whoisthere"] += 1
            else:
                kinds["other"] += 1
                bad.append(line)
        check.expect(kinds["homeplug"] > 10, f"HomePlug management frames sent: {kinds['homeplug']}")
        check.expect(metypes == {"0x07", "0x1a", "0x02"}, f"StatReq, NetStat and vendor entries: {sorted(metypes)}")
        check.expect(kinds["whoisthere"] > 0, f"WhoIsThere broadcasts with checksums tshark verifies: {kinds['whoisthere']}")
        check.expect(kinds["other"] == 0, f"nothing else, nothing malformed: {bad[:5]}")
    finally:
        if capture:
            capture.terminate()
        for host in hosts:
            host.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


if __name__ == "__main__":
    main()
