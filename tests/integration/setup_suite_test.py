#!/usr/bin/env python3
"""The suite's installer on a fresh Wine prefix: setup.exe from the ready-to-ship folder plans,
installs and removes whatever products the folder holds. After the installation every change
of the plan is checked (files, registry values, INI entries, shortcuts read back through
IShellLink, services, firewall entries, security, uninstall entries); the installed monitor
finds its installation (closing it for good writes its settings) and, over an emulated
powerline network, plexa's row menu offers the configuration wizard exactly when the wizard is
installed. After the removal the prefix's files and registry are compared with what they were
before the installation: what differs beyond what Wine itself keeps is a failure.

Usage: setup_suite_test.py BUILD_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

PRODUCTS = ["netwarden", "plexaconf", "tandem", "tidemark", "rawport"]
WIZARD_ENTRY = "Start &Plexa Configuration Wizard"
SCENARIO = """
[local desk]
address = 02:00:00:00:00:31
port = vlmset-plc
key = SetupKey
[remote shelf]
address = 02:00:00:00:00:32
key = SetupKey
rate = 400
"""

# What Wine itself keeps of the runs (programs started, windows shown), not the installation.
WINE_KEEPS = [
    (r"^registry: Software\\Wine\\", "Wine's own settings (desktop, fonts, MSCTF)"),
    (r"^registry: System\\CurrentControlSet\\(Control\\Class|Enum|Control\\Video)\\", "the display and devices Wine found"),
    (r"^registry: (Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards|Hardware\\)", "the hardware Wine found"),
    (r"^registry: Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\", "the shell's per-session state"),
    (r"^registry: System\\CurrentControlSet\\Control\\Print", "printer spooling state"),
    (r"^registry: System\\CurrentControlSet\\Services\\(Eventlog|Tcpip|WinSock)", "network and event state"),
    (r"^registry: Software\\Microsoft\\(Ole|Rpc|Cryptography)\\", "COM and crypto state"),
    (r"^registry: Software\\Microsoft\\Windows NT\\CurrentVersion\\(Perflib|ProfileList)", "system state"),
    (r"^registry: (Software\\Classes\\)?Local Settings\\", "the shell's cache of program names"),
    (r"^registry: Software\\Microsoft\\Windows\\CurrentVersion\\(Run|Group Policy)", "session state"),
    (r"^file: windows\\(temp|inf|logs|Installer)\\", "temporary files and SetupAPI logs"),
    (r"^file: users\\[^\\]+\\(Temp|AppData\\Local\\Temp)\\", "temporary files"),
    (r"^file: users\\[^\\]+\\AppData\\Local\\(Microsoft|wine)", "the shell's caches"),
]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def unix_path(prefix, path):
    """A C: path of the prefix as a path on this machine."""
    assert path[1:3] == ":\\", path
    drive = os.path.join(prefix, "dosdevices", path[0].lower() + ":")
    return os.path.join(os.path.realpath(drive), *path[3:].split("\\"))


class Probe:
    """setup_probe.exe: one question a line, one answer a line."""

    def __init__(self, host, program):
        self.process = host.start(program, stdin=True)

    def ask(self, *fields):
        self.process.stdin.write("\t".join(fields) + "\n")
        self.process.stdin.flush()
        line = netns.wait_line(self.process, lambda l: True, 60)
        if line is None:
            return None
        return line.split(" ", 1)[1] if " " in line else ""

    def close(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.flush()
            self.process.wait(timeout=20)
        except (BrokenPipeError, subprocess.TimeoutExpired):
            self.process.kill()


def run(host, program, *args, timeout=120, cwd=None, env=None):
    """Runs a program to its end; its exit code and output lines."""
    process = host.start(program, *args, cwd=cwd, extra_env=env)
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return None, process.all_lines
    time.sleep(0.2)  # the last lines
    return process.returncode, process.all_lines


def read_plan(path):
    lines = []
    with open(path, encoding="latin-1") as plan:
        for line in plan.read().splitlines():
            if line and not line.startswith("#"):
                lines.append(line.split("\t"))
    return lines


def snapshot(host):
    """Files below drive_c and registry keys and values of the prefix, once the wineserver has
    written them out."""
    env = dict(os.environ, WINEPREFIX=host.prefix)
    subprocess.run(["ip", "netns", "exec", host.ns, netns.WINESERVER, "-w"], env=env, timeout=60)
    state = set()
    drive = os.path.join(host.prefix, "drive_c")
    for top, dirs, files in os.walk(drive):
        for name in dirs + files:
            state.add("file: " + os.path.relpath(os.path.join(top, name), drive).replace("/", "\\"))
    for hive in ("system.reg", "user.reg"):
        key = None
        with open(os.path.join(host.prefix, hive), encoding="utf-8", errors="replace") as reg:
            lines = []
            for line in reg:
                line = line.rstrip("\n")
                # long values go on over lines that end in a backslash
                if lines and lines[-1].endswith("\\") and not lines[-1].startswith("["):
                    lines[-1] = lines[-1][:-1] + line.strip()
                else:
                    lines.append(line)
            for line in lines:
                header = re.match(r"^\[(.*)\]( \d+)?$", line)
                if header:
                    key = header.group(1).replace("\\\\", "\\")
                    state.add(f"registry: {key}")
                elif key and line and not line.startswith("#"):
                    state.add(f"registry: {key} :: {line}")
    return state


def wine_keeps(entry):
    for pattern, reason in WINE_KEEPS:
        if re.search(pattern, entry, re.IGNORECASE):
            return reason
    return None


def check_installed(check, probe, prefix, plan, output):
    """Every change of the installation plan is there."""
    for entry in plan:
        kind = entry[0]
        if kind == "uninstall" and entry[1] == "add":
            root, key = entry[2].split("\\", 1)
            check.expect(probe.ask("value", root, key, entry[3]) == "REG_SZ|" + entry[4],
                         f"uninstall entry {key} {entry[3]} = {entry[4]}")
        elif kind == "file" and entry[1] == "copy":
            target, state = entry[2], entry[4]
            there = os.path.exists(unix_path(prefix, target))
            if state == "present":
                same = there and os.path.getsize(unix_path(prefix, target)) == os.path.getsize(
                    entry[3][2:].replace("\\", "/"))
                check.expect(same, f"file {target}")
            else:
                check.expect(not there, f"file {target} is not on the medium and not installed")
        elif kind == "registry" and entry[1] == "add":
            answer = probe.ask("value", entry[2], entry[3], entry[4])
            check.expect(answer == f"{entry[5]}|{entry[6]}", f"registry {entry[2]}\\{entry[3]} {entry[4]!r}: {answer}")
        elif kind == "registry" and entry[1] == "key":
            check.expect(probe.ask("key", entry[2], entry[3]) == "1", f"registry key {entry[3]}")
        elif kind == "ini":
            path = unix_path(prefix, entry[1])
            text = open(path, encoding="latin-1").read() if os.path.exists(path) else ""
            check.expect(f"[{entry[2]}]" in text and entry[4] in text, f"INI {entry[1]} [{entry[2]}] {entry[4]}")
        elif kind == "shortcut" and entry[1] == "make":
            if entry[2].endswith(".url"):
                path = unix_path(prefix, entry[2])
                text = open(path, encoding="latin-1").read() if os.path.exists(path) else ""
                check.expect("URL=" + entry[3] in text, f"internet shortcut {entry[2]}")
            else:
                answer = probe.ask("link", entry[2])
                check.expect(answer == f"{entry[3]}|{entry[4]}|{entry[5]}", f"shortcut {entry[2]} -> {answer}")
        elif kind == "service" and entry[1] == "add":
            check.expect(probe.ask("service", entry[2]) == entry[3], f"service {entry[2]}")
        elif kind == "firewall" and entry[1] == "add":
            said = [l for l in output if f"firewall: authorise {entry[3]}" in l or
                    f"no firewall list to authorise {entry[3]}" in l]
            check.expect(bool(said), f"firewall entry for {entry[3]}: {said[:1]}")
        elif kind == "security" and entry[1] == "registry":
            answer = probe.ask("dacl", entry[2]) or ""
            check.expect(";;;BU)" in answer, f"access list of {entry[2]}: {answer}")


def check_plexa_menu(check, host, watchpost_dir, wizard_installed, bin_dir):
    """The installed plexa.dll, in a monitor that prints its tree, offers the wizard on a
    device's row exactly when the wizard is installed."""
    probe_exe = os.path.join(watchpost_dir, "monitor_probe.exe")
    shutil.copy(os.path.join(bin_dir, "monitor_probe.exe"), probe_exe)
    monitor = host.start(probe_exe, stdin=True, cwd=watchpost_dir, extra_env={"RAWPORT_ADAPTERS": "vlmset-pc"})
    try:
        row = netns.wait_line(monitor, lambda l: l.startswith("ROW 0 ") and "Brindle Plexa" in l, 90)
        check.expect(row is not None, f"the installed plug-in finds the adapter: {row}")
        monitor.stdin.write("rowmenu Brindle Plexa\n")
        monitor.stdin.flush()
        menu = netns.wait_line(monitor, lambda l: l.startswith("MENU ") or l.startswith("ERROR "), 30) or ""
        entries = menu[5:].split("|") if menu.startswith("MENU ") else []
        check.expect("&Rename" in entries, f"the device's menu: {entries}")
        if wizard_installed:
            check.expect(WIZARD_ENTRY in entries, "plexa offers the configuration wizard, found through plexaconf")
        else:
            check.expect(WIZARD_ENTRY not in entries, "no wizard installed: plexa offers none (the ship folder has no plexaconf.exe yet)")
        monitor.stdin.write("quit\n")
        monitor.stdin.flush()
        monitor.wait(timeout=30)
    finally:
        if monitor.poll() is None:
            monitor.kill()
        # The hand of the test is no part of the installation.
        for name in ("monitor_probe.exe", "monitor_probe.ini"):
            path = os.path.join(watchpost_dir, name)
            if os.path.exists(path):
                os.remove(path)


def main():
    build = os.path.abspath(sys.argv[1])
    bin_dir = os.path.join(build, "bin")
    ship = os.path.join(build, "ship")
    netns.require_root()
    if not os.environ.get("DISPLAY"):
        print("skipped: the wizard needs an X display (scripts/test provides one)")
        sys.exit(netns.SKIP)
    started = time.time()
    check = netns.Check()
    network = netns.Network("vlm-setup")
    hosts = []
    work = tempfile.mkdtemp(prefix="vlm-setup-")
    setup_exe = os.path.join(ship, "setup.exe")
    try:
        plc_ns = network.namespace("plc")
        pc_ns = network.namespace("pc")
        network.veth("vlmset-plc", plc_ns, "vlmset-pc", pc_ns)
        fresh = os.path.join(build, "netns-prefixes", "setup-pc")
        shutil.rmtree(fresh, ignore_errors=True)
        pc = netns.WineHost(build, pc_ns, "setup-pc", desktop=True)
        plc = netns.WineHost(build, plc_ns, "setup-plc")
        hosts += [pc, plc]
        print(f"prefixes ready after {time.time() - started:.0f} s", flush=True)
        before = snapshot(pc)
        shipped = sorted(os.listdir(ship))
        print("ship folder: " + ", ".join(shipped), flush=True)

        # The plan: what will change, nothing changed yet.
        plan_file = os.path.join(work, "install-plan.txt")
        code, _ = run(pc, setup_exe, "/debug:0", f"/plan:{windows_path(plan_file)}", "/install:" + ",".join(PRODUCTS),
                      timeout=60)
        if not check.expect(code == 0 and os.path.exists(plan_file), f"setup.exe /plan ({code})"):
            return
        plan = read_plan(plan_file)
        products = [p[1] for p in plan if p[0] == "product"]
        check.expect("netwarden" in products and "rawport" in products, f"the products on the medium: {products}")
        for product in PRODUCTS:
            exe = {"netwarden": "watchpost.exe", "plexaconf": "plexaconf.exe", "tandem": "tandem.exe",
                   "tidemark": "tidemark.exe", "rawport": "rawport.dll"}[product]
            check.expect((product in products) == (exe in shipped),
                         f"{product} is offered exactly when {exe} is shipped")
        changed = [e for e in snapshot(pc) ^ before if not wine_keeps(e)]
        check.expect(not changed, f"planning changed nothing {changed[:5]}")

        # The installation, unattended; the wizard shows on the virtual display.
        code, output = run(pc, setup_exe, "/quiet", "/reboot:0", "/install:" + ",".join(PRODUCTS))
        check.expect(code == 0, f"setup.exe /quiet /install exits with 0 ({code})")
        probe = Probe(pc, os.path.join(bin_dir, "setup_probe.exe"))
        check_installed(check, probe, pc.prefix, plan, output)

        # The monitor finds its installation: closing it for good writes its settings.
        target = [p[4] for p in plan if p[0] == "product" and p[1] == "netwarden"][0]
        watchpost = target + "\\watchpost\\watchpost.exe"
        watchpost_dir = os.path.dirname(unix_path(pc.prefix, watchpost))
        plcsim = plc.start(os.path.join(bin_dir, "plcsim.exe"), write_scenario(work), stdin=True)
        check.expect(netns.wait_line(plcsim, lambda l: "ready" in l, 60) is not None, "plcsim serves the link")
        monitor = pc.start(unix_path(pc.prefix, watchpost), extra_env={"RAWPORT_ADAPTERS": "vlmset-pc"})
        check.expect(probe.ask("window", "VelmoraMonitorClass") == "1", "the installed monitor runs")
        time.sleep(2)
        check.expect(probe.ask("close-monitor") == "1", "it closes for good")
        monitor.wait(timeout=30)
        ini = open(os.path.join(watchpost_dir, "watchpost.ini"), encoding="latin-1").read()
        check.expect("XPos=" in ini and "ShowTrayStatus=1" in ini, f"it wrote its settings: {ini!r}")
        check_plexa_menu(check, pc, watchpost_dir, "plexaconf" in products, bin_dir)
        probe.close()

        # The removal, as the uninstall entries say.
        removal_file = os.path.join(work, "removal-plan.txt")
        uninstall = [p for p in plan if p[0] == "uninstall" and p[3] == "UninstallString"]
        check.expect(all(u[4].startswith(windows_path(setup_exe)) for u in uninstall),
                     "the uninstall entries name this setup program")
        run(pc, setup_exe, "/debug:0", f"/plan:{windows_path(removal_file)}", "/remove:" + ",".join(products))
        removal = read_plan(removal_file)
        check.expect(any(r[:2] == ["file", "delete"] for r in removal), "the removal plan deletes files")
        code, _ = run(pc, setup_exe, "/quiet", "/reboot:0", "/remove:" + ",".join(products))
        check.expect(code == 0, f"setup.exe /quiet /remove exits with 0 ({code})")
        time.sleep(1)
        after = snapshot(pc)
        kept = {}
        left = []
        for entry in sorted(after ^ before):
            reason = wine_keeps(entry)
            if reason:
                kept.setdefault(reason, []).append(entry)
            else:
                left.append(("+ " if entry in after else "- ") + entry)
        for reason, entries in kept.items():
            print(f"Wine itself keeps ({reason}): {len(entries)} entries, e.g. {entries[0]}")
        for entry in left[:40]:
            print("  " + entry)
        check.expect(not left, f"the removal leaves nothing behind ({len(left)} differences)")
        print(f"scenario took {time.time() - started:.0f} s", flush=True)
    finally:
        for host in hosts:
            host.close()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


def write_scenario(work):
    path = os.path.join(work, "network.ini")
    with open(path, "w") as scenario:
        scenario.write(SCENARIO)
    return path


if __name__ == "__main__":
    main()
