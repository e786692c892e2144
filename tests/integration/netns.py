"""Helpers for the integration scenarios: network namespaces joined by veth pairs or a bridge,
one Wine prefix (and so one wineserver) per emulated host, programs started inside a
namespace, and clean removal of everything by its exact name."""
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SKIP = 77


def require_root():
    """Skips the test (exit code 77) where namespaces cannot be made."""
    if os.geteuid() != 0:
        print("skipped: network namespaces need root")
        sys.exit(SKIP)
    for tool in ("ip", "tshark"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing (scripts/setup installs it)")
            sys.exit(SKIP)


def run(*args, check=True, **kwargs):
    return subprocess.run(list(args), check=check, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, **kwargs)


class Network:
    """Namespaces and links made for one test; removed again by their exact names."""

    def __init__(self, prefix):
        self.prefix = prefix
        self.namespaces = []
        self.links = []

    def namespace(self, name):
        full = f"{self.prefix}-{name}"
        run("ip", "netns", "del", full, check=False)
        run("ip", "netns", "add", full)
        run("ip", "-n", full, "link", "set", "lo", "up")
        # No IPv6 chatter of the kernel on the test links: captures hold what the programs sent.
        run("ip", "netns", "exec", full, "sysctl", "-qw", "net.ipv6.conf.all.disable_ipv6=1",
            "net.ipv6.conf.default.disable_ipv6=1", check=False)
        self.namespaces.append(full)
        return full

    def veth(self, name_a, ns_a, name_b, ns_b, address_a=None, address_b=None):
        run("ip", "link", "del", name_a, check=False)
        run("ip", "link", "add", name_a, "type", "veth", "peer", "name", name_b)
        self.links.append((name_a, ns_a))
        for name, ns, address in ((name_a, ns_a, address_a), (name_b, ns_b, address_b)):
            run("ip", "link", "set", name, "netns", ns)
            if address:
                run("ip", "-n", ns, "addr", "add", address, "dev", name)
            run("ip", "-n", ns, "link", "set", name, "up")

    def bridge(self, name, ns):
        run("ip", "-n", ns, "link", "add", name, "type", "bridge")
        run("ip", "-n", ns, "link", "set", name, "up")

    def attach(self, link, bridge, ns):
        run("ip", "-n", ns, "link", "set", link, "master", bridge)

    def mac(self, ns, link):
        out = run("ip", "-n", ns, "-o", "link", "show", link).stdout
        return out.split("link/ether ")[1].split()[0].upper()

    def remove(self):
        for name, ns in self.links:
            run("ip", "-n", ns, "link", "del", name, check=False)
        for ns in self.namespaces:
            run("ip", "netns", "del", ns, check=False)


class WineHost:
    """A Wine prefix whose wineserver runs inside one namespace."""

    def __init__(self, build, ns, name, desktop=False):
        self.ns = ns
        self.prefix = os.path.join(build, "netns-prefixes", name)
        args = ["sh", os.path.join(TOP, "scripts", "wine-prefix"), self.prefix]
        if not desktop:
            args.append("--no-desktop")
        self.stop_server()
        subprocess.run(args, check=True)
        self.processes = []

    def env(self, extra=None):
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
        env.update(extra or {})
        return env

    def start(self, program, *args, stdin=False, extra_env=None, cwd=None):
        """Starts a Windows program in the namespace; its output lines arrive in .lines."""
        command = ["ip", "netns", "exec", self.ns, WINE, program, *args]
        process = subprocess.Popen(command, env=self.env(extra_env), cwd=cwd,
                                   stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                   encoding="utf-8", errors="replace", bufsize=1)
        process.lines = queue.Queue()
        process.all_lines = []

        def pump():
            for line in process.stdout:
                line = line.rstrip("\r\n")
                process.all_lines.append(line)
                process.lines.put(line)
            process.lines.put(None)

        threading.Thread(target=pump, daemon=True).start()
        self.processes.append(process)
        return process

    def reg_add(self, key, name, value, kind="REG_SZ"):
        """Writes a registry value in the prefix (from inside the namespace)."""
        subprocess.run(["ip", "netns", "exec", self.ns, WINE, "reg", "add", key, "/v", name, "/t", kind,
                        "/d", str(value), "/f"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    def stop_server(self):
        env = dict(os.environ, WINEPREFIX=self.prefix)
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
        self.stop_server()


def wait_line(process, predicate, timeout):
    """The first output line for which predicate holds, or None when the time is up."""
    end = time.time() + timeout
    while time.time() < end:
        try:
            line = process.lines.get(timeout=max(0.05, end - time.time()))
        except queue.Empty:
            return None
        if line is None:
            return None
        if predicate(line):
            return line
    return None


class Check:
    """Collects failed expectations and reports them all at the end."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        if not condition:
            self.failures.append(message)
        return condition

    def finish(self):
        if self.failures:
            print(f"{len(self.failures)} expectation(s) failed")
            sys.exit(1)
        print("all expectations met")
        sys.exit(0)
