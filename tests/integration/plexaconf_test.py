#!/usr/bin/env python3
"""The powerline configuration wizard end to end: plcsim.exe in one namespace stands for the
powerline network, the monitor with plexa.dll and plexaconf.exe run in the other, on a virtual
display, and a driver works the wizard through its pages and controls as a user would. Every
device's keys are read back from the emulator and compared with keys derived here (hashlib),
and a tshark capture checks every frame the wizard sent.

  homeplug: a HomePlug 1.0 network: the whole run with a wrong security ID (2012), one given
            twice (2011), an incomplete one, both password checks and the final list; the
            monitor's plexa stopped during the run and started again; then the error pages
            (2003/2004 without a local adapter, 2005/2006 with two), the stored IDs found again
            by the next search, Delete, and the warning of a list with the local adapter only.
  vendor:   the same run against adapters of the vendor kind.

Usage: plexaconf_test.py BUILD_DIR homeplug|vendor
With PLEXACONF_SHOTS=FOLDER the homeplug run saves pictures of pages 1, 4, 6 and 7 there."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

SALT = bytes([0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x85])
PASSWORD = "Garden-Shed-42"


def derive(text):
    """The HomePlug 1.0 key of a password, computed apart from the programs under test."""
    digest = hashlib.md5(text.encode() + SALT).digest()
    for _ in range(999):
        digest = hashlib.md5(digest).digest()
    out = bytearray()
    for b in digest[:8]:
        out.append(b & 0xFE if bin(b & 0xFE).count("1") % 2 else b | 1)
    return out.hex()


def scenario(kind):
    local_kind = "homeplug" if kind == "homeplug" else "hs"
    attic_kind = "hs"
    study_kind = "homeplug" if kind == "homeplug" else "hs"
    return f"""
[local desk]
address = 02:00:00:00:00:01
kind = {local_kind}
port = vlmcfg-plc
password = Factory
[local spare]
address = 02:00:00:00:00:0B
kind = {local_kind}
port = vlmcfg-plc
password = Factory
plugged = no
[remote study]
address = 02:00:00:00:00:02
kind = {study_kind}
password = Factory
security_id = STDY-0000-0000-0002
rate = 519
quality = 2812
[remote attic]
address = 02:00:00:00:00:03
kind = {attic_kind}
password = Factory
security_id = ATTC-0000-0000-0003
rate = 2600
quality = 2812
[remote neighbour]
address = 02:00:00:00:00:09
kind = {study_kind}
password = NotOurs
security_id = NBOR-0000-0000-0009
rate = 600
"""


STUDY_ID = ["STDY", "0000", "0000", "0002"]
ATTIC_ID = ["ATTC", "0000", "0000", "0003"]
WRONG_ID = ["WRNG", "0000", "0000", "0042"]
ID_BOXES = [1302, 1303, 1304, 1305]


class Driver:
    """The driver program, one command and its answer at a time."""

    def __init__(self, host, app):
        self.process = host.start(os.path.join(app, "plexaconf_driver.exe"), os.path.join(app, "plexaconf.exe"),
                                  stdin=True, cwd=app)
        if netns.wait_line(self.process, lambda l: l == "READY", 60) is None:
            raise RuntimeError("the driver did not start")

    def ask(self, command, timeout=120):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        line = netns.wait_line(self.process, lambda l: True, timeout)
        if line and line.startswith("LIST "):
            items = [netns.wait_line(self.process, lambda l: True, 10) for _ in range(int(line.split()[1]))]
            return [i[5:] for i in items if i]
        return line

    def type_id(self, groups):
        for box, text in zip(ID_BOXES, groups):
            self.ask(f"set {box} {text}")

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()


class Scenario:
    def __init__(self, build, kind):
        self.build = build
        self.kind = kind
        self.bin = os.path.join(build, "bin")
        self.check = netns.Check()
        self.network = netns.Network(f"vlm-cfg{kind[0]}")
        self.work = tempfile.mkdtemp(prefix="vlm-cfg-")
        self.hosts = []
        self.windows = []  # (start, end) of each wizard run, for the capture
        self.shots = os.environ.get("PLEXACONF_SHOTS") if kind == "homeplug" else None
        self.capture = None

    # --- set-up ------------------------------------------------------------------------------

    def start(self):
        plc_ns = self.network.namespace("plc")
        pc_ns = self.network.namespace("pc")
        self.network.veth("vlmcfg-plc", plc_ns, "vlmcfg-pc", pc_ns)
        self.pc_mac = self.network.mac(pc_ns, "vlmcfg-pc").lower()
        self.pcap = os.path.join(self.work, "wizard.pcap")
        self.capture = subprocess.Popen(["ip", "netns", "exec", pc_ns, "tshark", "-q", "-i", "vlmcfg-pc", "-w",
                                         self.pcap], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.app = os.path.join(self.work, "app")
        os.makedirs(self.app)
        for name in ("monitor_probe.exe", "plexa.dll", "rawport.dll", "plexaconf.exe", "plexaconf_driver.exe"):
            shutil.copy(os.path.join(self.bin, name), self.app)
        self.plc = netns.WineHost(self.build, plc_ns, "cfg-plc")
        self.pc = netns.WineHost(self.build, pc_ns, "cfg-pc", desktop=True)
        self.hosts += [self.plc, self.pc]
        path = os.path.join(self.work, "network.ini")
        open(path, "w").write(scenario(self.kind))
        self.plcsim = self.plc.start(os.path.join(self.bin, "plcsim.exe"), path, stdin=True)
        self.check.expect(netns.wait_line(self.plcsim, lambda l: "ready" in l, 60) is not None, "plcsim serves the link")
        self.pc.reg_add(r"HKLM\software\velmora\Plexa", "TimerInterval", "250")
        subprocess.run(["ip", "netns", "exec", self.pc.ns, netns.WINE, "reg", "delete",
                        r"HKCU\SOFTWARE\velmora\plexaconfig", "/f"], env=self.pc.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        time.sleep(2)  # tshark is listening

    def start_monitor(self):
        self.probe = self.pc.start(os.path.join(self.app, "monitor_probe.exe"), stdin=True, cwd=self.app,
                                   extra_env={"RAWPORT_ADAPTERS": "vlmcfg-pc"})
        found = netns.wait_line(self.probe, lambda l: l.startswith("[plexa] ++ tLocalDevice found: "), 60)
        self.check.expect(found == "[plexa] ++ tLocalDevice found: 020000000001", f"the monitor's plexa sees the adapter: {found}")

    def plcsim_command(self, command):
        self.plcsim.stdin.write(command + "\n")
        self.plcsim.stdin.flush()

    def keys(self):
        """Every device's network key, as the emulator holds it now."""
        self.plcsim_command("keys")
        keys = {}
        while True:
            line = netns.wait_line(self.plcsim, lambda l: "keys " in l, 30)
            if line is None or line.endswith("keys end"):
                return keys
            parts = line.split("keys ", 1)[1].split()
            keys[parts[0]] = parts[1].split("=")[1]

    def stored_ids(self):
        out = subprocess.run(["ip", "netns", "exec", self.pc.ns, netns.WINE, "reg", "query",
                              r"HKCU\SOFTWARE\velmora\plexaconfig", "/v", "networkkeys"], env=self.pc.env(),
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        for line in out.splitlines():
            if "REG_MULTI_SZ" in line:
                value = line.split("REG_MULTI_SZ", 1)[1].strip()
                return [v for v in value.split("\\0") if v]
        return []

    def screenshot(self, driver, name):
        if not self.shots:
            return
        time.sleep(0.7)  # painting done
        rect = driver.ask("rect").split()[1:]
        left, top, right, bottom = (int(v) for v in rect)
        full = os.path.join(self.work, "full.png")
        subprocess.run(["import", "-window", "root", full], check=True)
        os.makedirs(self.shots, exist_ok=True)
        subprocess.run(["convert", full, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        os.path.join(self.shots, name)], check=True)

    # --- one run of the wizard ---------------------------------------------------------------

    def wizard(self):
        self.windows.append([time.time(), None])
        wizard = self.pc.start(os.path.join(self.app, "plexaconf.exe"), cwd=self.app,
                               extra_env={"RAWPORT_ADAPTERS": "vlmcfg-pc"})
        return wizard, Driver(self.pc, self.app)

    def wizard_ended(self, wizard, driver, what):
        try:
            wizard.wait(timeout=60)
        except subprocess.TimeoutExpired:
            wizard.kill()
        driver.close()
        self.windows[-1][1] = time.time()
        self.check.expect(wizard.returncode == 0, f"the wizard ends after {what}")

    def expect_message(self, driver, text_id_text, what, answer="ok", caption=None):
        message = driver.ask("message 30")
        expected = f"MESSAGE {caption or self.caption}|{text_id_text}"
        self.check.expect(message == expected, f"{what}: {message}")
        driver.ask(f"answer {answer}")

    def add(self, driver, groups):
        driver.type_id(groups)
        driver.ask("press 1306")
        return driver.ask("list 1308")

    def full_run(self):
        """Finds the local adapter, adds two remote adapters by security ID, assigns the password."""
        probe_before = len(self.probe.all_lines)
        wizard, driver = self.wizard()
        self.check.expect(driver.ask("page 60") == "PAGE 1", "the welcome page")
        self.screenshot(driver, "plexaconf-page1.png")
        driver.ask("click next")
        self.check.expect(driver.ask("wait-page 4 90") == "PAGE 4", "the search finds one local adapter")
        stopped = any(l.startswith("monitor/monitor.cpp") and "disabling plugin plexa.dll" in l
                      for l in self.probe.all_lines[probe_before:])
        self.check.expect(stopped, "the monitor's plexa was stopped for the wizard")
        self.check.expect(any("[plexa] cancel event signaled!" in l for l in self.probe.all_lines[probe_before:]),
                          "plexa's discovery was cancelled")
        listed = driver.ask("list 1308")
        self.check.expect(listed[:1] == [f"02:00:00:00:00:01 {self.on_computer}"], f"the local adapter first: {listed}")
        self.check.expect(f"02:00:00:00:00:02 {self.via_grid}" in listed and f"02:00:00:00:00:03 {self.via_grid}" in listed,
                          f"the stations seen under the factory key are listed (allow=all): {listed}")
        self.check.expect("02:00:00:00:00:09" not in " ".join(listed), "not the neighbour")

        driver.type_id(["ABC", "", "", ""])
        driver.ask("press 1306")
        self.expect_message(driver, self.text(2019), "an incomplete security ID is refused")
        self.add(driver, WRONG_ID)
        self.expect_message(driver, self.text(2012), "an unknown security ID: message 2012")
        self.check.expect(self.stored_ids() == [], "nothing stored for it")
        listed = self.add(driver, STUDY_ID)
        self.check.expect(driver.ask("message 1") == "MESSAGE none", "the study's ID is taken")
        self.check.expect(driver.ask("buttons").endswith("cancel=0"), "no Cancel once a remote key may have changed")
        listed = self.add(driver, STUDY_ID)
        self.expect_message(driver, self.text(2011), "the same ID twice: message 2011")
        listed = self.add(driver, ATTIC_ID)
        self.check.expect(driver.ask("message 1") == "MESSAGE none", "the attic's ID is taken")
        self.check.expect(len(listed) == 3 and listed[0].startswith("02:00:00:00:00:01"),
                          f"three adapters, each once: {listed}")
        self.check.expect(self.stored_ids() == ["STDY000000000002", "ATTC000000000003"],
                          f"both IDs stored: {self.stored_ids()}")
        self.screenshot(driver, "plexaconf-page4.png")

        driver.ask("click next")
        self.check.expect(driver.ask("wait-page 5 30") == "PAGE 5", "the password page")
        self.check.expect(driver.ask("buttons").startswith("BUTTONS back=1 next=0"), "no Next without a password")
        driver.ask(f"set 1401 {PASSWORD}")
        driver.ask(f"set 1402 {PASSWORD[:-1]}")
        self.check.expect(driver.ask("buttons").startswith("BUTTONS back=1 next=0"), "no Next while the two differ")
        driver.ask(f"set 1402 {PASSWORD}")
        self.check.expect(driver.ask("buttons").startswith("BUTTONS back=1 next=1"), "Next once both agree")
        driver.ask("click next")
        self.check.expect(driver.ask("wait-page 6 30") == "PAGE 6", "the assignment page")
        progress = driver.ask("progress 1502")
        self.check.expect(progress is not None and progress.endswith(" 7"), f"the bar runs to 2n + 3 = 7: {progress}")
        self.check.expect(driver.ask("buttons").startswith("BUTTONS back=0 next=0"), "no Back or Next meanwhile")
        time.sleep(1.5)
        self.screenshot(driver, "plexaconf-page6.png")
        self.check.expect(driver.ask("wait-page 7 90") == "PAGE 7", "the last page")
        final = driver.ask("list 1602")
        answers = self.text(2020)
        self.check.expect(len(final) == 3 and all(l.endswith(": " + answers) for l in final) and
                          final[0].startswith("02:00:00:00:00:01"),
                          f"every adapter answers under the new key: {final}")
        self.screenshot(driver, "plexaconf-page7.png")
        driver.ask("click finish")
        self.wizard_ended(wizard, driver, "Finish")

        nek = derive(PASSWORD)
        keys = self.keys()
        for name in ("desk", "study", "attic"):
            self.check.expect(keys.get(name) == nek, f"{name} holds the key of the password: {keys.get(name)}")
        self.check.expect(keys.get("neighbour") == derive("NotOurs"), f"the neighbour is untouched: {keys.get('neighbour')}")
        self.check.expect(keys.get("spare") == derive("Factory"), "the unplugged adapter is untouched")
        started = netns.wait_line(self.probe, lambda l: "enabling plugin plexa.dll" in l, 30)
        self.check.expect(started is not None, "the monitor's plexa is started again")
        shown = netns.wait_line(self.probe, lambda l: l == "[plexa] ++ tRemoteDevice found: 020000000003", 60)
        self.check.expect(shown is not None, "and finds the remote adapters under the new key")
        self.final_key = nek

    def error_pages(self):
        """No local adapter, two of them, then the stored IDs found again; Delete; the last warning."""
        self.plcsim_command("unplug desk")
        wizard, driver = self.wizard()
        driver.ask("page 60")
        driver.ask("click next")
        self.check.expect(driver.ask("wait-page 3 90") == "PAGE 3", "the error page without a local adapter")
        self.check.expect(driver.ask("text 1203") == "TEXT " + self.text(2003), "its title is 2003")
        self.check.expect(driver.ask("text 1204") == "TEXT " + self.text(2004), "its text is 2004")
        self.check.expect(driver.ask("buttons") == "BUTTONS back=1 next=0 finish=1 cancel=1", "Back and Finish only")
        self.plcsim_command("plug desk")
        self.plcsim_command("plug spare")
        self.plcsim_command("key spare " + self.final_key)
        driver.ask("click back")
        time.sleep(1)
        self.check.expect(driver.ask("wait-page 3 90") == "PAGE 3", "the error page with two local adapters")
        self.check.expect(driver.ask("text 1203") == "TEXT " + self.text(2005), "its title is 2005")
        self.check.expect(driver.ask("text 1204") == "TEXT " + self.text(2006), "its text is 2006")
        self.plcsim_command("unplug spare")
        driver.ask("click back")
        time.sleep(1)
        self.check.expect(driver.ask("wait-page 4 120") == "PAGE 4", "one local adapter again")
        listed = driver.ask("list 1308")
        self.check.expect(len(listed) == 3, f"the two adapters are listed again: {listed}")
        for mac in ("02:00:00:00:00:02", "02:00:00:00:00:03"):
            self.check.expect(any(f"addRemote returned successfully with: {mac}" in l for l in wizard.all_lines),
                              f"the stored IDs reached {mac} again")
        self.check.expect(driver.ask("buttons").endswith("cancel=0"), "no Cancel after the stored IDs were tried")
        driver.ask("select 1308 2")
        driver.ask("press 1307")
        listed = driver.ask("list 1308")
        self.check.expect(len(listed) == 2, f"Delete took one adapter: {listed}")
        self.check.expect(len(self.stored_ids()) == 1, f"and its stored ID: {self.stored_ids()}")
        driver.ask("select 1308 0")
        driver.ask("select 1308 1")
        driver.ask("press 1307")
        listed = driver.ask("list 1308")
        self.check.expect(len(listed) == 1, f"the local adapter stays: {listed}")
        self.check.expect(self.stored_ids() == [], "no stored ID left (the key is gone)")
        self.check.expect(driver.ask("buttons").endswith("cancel=1"), "Cancel again without remote adapters")
        driver.ask("click next")
        self.expect_message(driver, self.text(2018), "only the local adapter: 2017/2018", "yes", self.text(2017))
        time.sleep(0.5)
        self.check.expect(driver.ask("page 5") == "PAGE 4", "Yes stays on the page")
        driver.ask("click cancel")
        self.wizard_ended(wizard, driver, "Cancel")
        started = netns.wait_line(self.probe, lambda l: "enabling plugin plexa.dll" in l, 30)
        self.check.expect(started is not None, "the monitor's plexa is started again after Cancel")

    # --- texts and checks --------------------------------------------------------------------

    def load_texts(self):
        """The wizard's English texts, from its resource script."""
        import re
        top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        res = os.path.join(top, "plexaconf", "res")
        ids = dict(re.findall(r"#define (IDS_\w+) (\d+)", open(os.path.join(res, "resource.h")).read()))
        self.texts = {}
        for name, text in re.findall(r'^\s+(IDS_\w+) "((?:[^"\\]|\\.)*)"', open(os.path.join(res, "plexaconf_en.rc"),
                                                                                encoding="utf-8").read(), re.M):
            self.texts[int(ids[name])] = text
        self.caption = self.texts[2000]
        self.on_computer = self.texts[2009]
        self.via_grid = self.texts[2010]

    def text(self, number):
        return self.texts[number]

    def check_capture(self):
        """Every management frame the PC sent while the wizard ran is a HomePlug frame of a type
        the wizard sends, and the key frames carry the key of the password."""
        time.sleep(1)
        self.capture.terminate()
        self.capture.wait(timeout=10)
        out = subprocess.run(["tshark", "-r", self.pcap, "-Y", f"eth.src == {self.pc_mac} && eth.type == 0x887b",
                              "-T", "fields", "-e", "frame.time_epoch", "-e", "_ws.col.Protocol",
                              "-e", "homeplug.mehdr.metype", "-e", "homeplug.snk.eks", "-e", "homeplug.snk.nek",
                              "-e", "_ws.expert"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        intended = {"0x02", "0x04", "0x07", "0x14", "0x19", "0x1a", "0x1f"}
        seen = set()
        keys = set()
        bad = []
        count = 0
        for line in out.splitlines():
            fields = (line.split("\t") + [""] * 6)[:6]
            stamp = float(fields[0])
            if not any(start <= stamp <= (end or time.time()) for start, end in self.windows):
                continue
            count += 1
            types = set(fields[2].split(","))
            seen |= types
            if fields[1] != "HomePlug" or not types <= intended or fields[5]:
                bad.append(line)
            if fields[4]:
                keys.add(fields[4])
        self.check.expect(count > 0, f"the capture holds the wizard's frames ({count})")
        self.check.expect(not bad, f"each decodes as HomePlug with an entry type the wizard sends: {bad[:3]}")
        wanted = {"0x04", "0x07", "0x02"} | ({"0x19", "0x1f"} if self.kind == "homeplug" else {"0x14"})
        self.check.expect(wanted <= seen, f"every kind of key frame is there: {sorted(seen)}")
        self.check.expect(self.final_key in keys, "a key frame carries the key of the password")


def main():
    build = os.path.abspath(sys.argv[1])
    kind = sys.argv[2] if len(sys.argv) > 2 else "homeplug"
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: the wizard needs an X display (scripts/test provides one)")
        sys.exit(netns.SKIP)
    s = Scenario(build, kind)
    s.load_texts()
    started = time.time()
    try:
        s.start()
        s.start_monitor()
        s.full_run()
        if kind == "homeplug":
            s.error_pages()
        s.check_capture()
        s.probe.stdin.write("quit\n")
        s.probe.stdin.flush()
        s.probe.wait(timeout=30)
    finally:
        if s.capture and s.capture.poll() is None:
            s.capture.kill()
        for host in s.hosts:
            host.close()
        s.network.remove()
        subprocess.run(["rm", "-rf", s.work])
        print(f"scenario took {time.time() - started:.0f} s")
    s.check.finish()


if __name__ == "__main__":
    main()
