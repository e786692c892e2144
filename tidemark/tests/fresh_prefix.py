"""A Wine prefix made for one run of tidemark's scenario or screenshots, and removed again:
the cleaner deletes what it finds, so it never runs against a prefix other tests use. Wine
moves files deleted through the shell to the desktop's trash; XDG_DATA_HOME keeps that trash
inside the run's folder too."""
import os
import shutil
import subprocess
import tempfile

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SKIP = 77


class Prefix:
    def __init__(self, name):
        self.folder = tempfile.mkdtemp(prefix=name + "-")
        self.path = os.path.join(self.folder, "prefix")
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=",
                        XDG_DATA_HOME=os.path.join(self.folder, "xdg"))

    def __enter__(self):
        subprocess.run(["sh", os.path.join(TOP, "scripts", "wine-prefix"), self.path], env=self.env,
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        subprocess.run([WINESERVER, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.folder, ignore_errors=True)

    @staticmethod
    def windows_path(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def run(self, args, timeout):
        return subprocess.run([WINE] + args, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=timeout)

    def start(self, args):
        return subprocess.Popen([WINE] + args, env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
