#!/usr/bin/env python3
"""The usage data upload against a real HTTP server on a loopback of its own: the multipart
body carries both fields, "Backa" unpacks to the record file, a 200 empties the file, a 500
keeps it, and a server that never answers is cut off after about 2000 ms.

Usage: upload_test.py BUILD_DIR"""
import os
import re
import subprocess
import sys
import tempfile
import time
import gzip

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns  # noqa: E402

SERVER = r'''
import http.server, sys, time, os
mode_file, body_file = sys.argv[1], sys.argv[2]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        mode = open(mode_file).read().strip()
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with open(body_file, "wb") as f:
            f.write(self.headers.get("Content-Type", "").encode() + b"\n" + self.path.encode() + b"\n" + body)
        if mode == "hang":
            time.sleep(15)
            return
        self.send_response(int(mode))
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")
    def log_message(self, *args):
        pass
http.server.HTTPServer(("127.0.0.1", 80), Handler).serve_forever()
'''


def parse(saved):
    """(content type, path, {field: (headers, value)}) of a saved request."""
    content_type, path, body = saved.split(b"\n", 2)
    boundary = re.search(rb"boundary=(\S+)", content_type).group(1)
    fields = {}
    for part in body.split(b"--" + boundary)[1:]:
        if part.startswith(b"--"):
            break
        head, _, value = part[2:].partition(b"\r\n\r\n")
        name = re.search(rb'name="([^"]+)"', head).group(1).decode()
        fields[name] = (head.decode(), value[:-2])  # the CR LF before the next boundary
    return content_type.decode(), path.decode(), fields


def main():
    build = os.path.abspath(sys.argv[1])
    netns.require_root()
    check = netns.Check()
    network = netns.Network("vlm-upl")
    work = tempfile.mkdtemp(prefix="vlm-upl-")
    server = None
    host = None
    try:
        ns = network.namespace("net")
        mode = os.path.join(work, "mode")
        saved = os.path.join(work, "request")
        script = os.path.join(work, "server.py")
        open(script, "w").write(SERVER)
        open(mode, "w").write("200")
        server = subprocess.Popen(["ip", "netns", "exec", ns, sys.executable, script, mode, saved])
        time.sleep(1)
        host = netns.WineHost(build, ns, "upload")
        records = os.path.join(work, "condata.csv")
        content = b"".join(b"05.03.2004;14:07:09;%s;%s;5.1.2600;English;13.97 MBit/s;1;1;Germany;\r\n"
                           % (b"a" * 32, bytes("%032x" % i, "ascii")) for i in range(200))
        probe_path = os.path.join(build, "bin", "upload_probe.exe")

        def upload():
            probe = host.start(probe_path, "127.0.0.1", "/collect", "Z:" + records.replace("/", "\\"))
            line = netns.wait_line(probe, lambda l: l.startswith("UPLOAD"), 60)
            probe.wait(timeout=30)
            return dict(kv.split("=", 1) for kv in line.split()[1:]) if line else {}

        open(records, "wb").write(content)
        result = upload()
        check.expect(result.get("sent") == "1" and result.get("status") == "200", f"a 200 answer: {result}")
        content_type, path, fields = parse(open(saved, "rb").read())
        check.expect(content_type == "multipart/form-data; boundary=--3A425B87406942d0B41409C466E1DE5A",
                     f"multipart with the boundary: {content_type}")
        check.expect(path == "/collect", f"posted to the server page: {path}")
        check.expect(sorted(fields) == ["Backa", "Collector"], f"two fields: {sorted(fields)}")
        collector = fields.get("Collector", ("", b""))[1].decode()
        check.expect(re.fullmatch(r"[0-9a-f]{32}", collector) is not None and collector == result.get("collector"),
                     f"the collector identifier: {collector}")
        head, packed = fields.get("Backa", ("", b""))
        check.expect('filename="' in head and "application/octet-stream" in head, "Backa is a file part")
        check.expect(gzip.decompress(packed) == content, "Backa unpacks to the record file")
        check.expect(os.path.exists(records) and os.path.getsize(records) == 0, "the file is empty after a 200")

        open(records, "wb").write(content)
        open(mode, "w").write("500")
        result = upload()
        check.expect(result.get("status") == "500", f"a 500 answer: {result}")
        check.expect(open(records, "rb").read() == content, "the file is unchanged after a 500")

        open(mode, "w").write("hang")
        result = upload()
        ms = int(result.get("ms", "0"))
        check.expect(result.get("sent") == "0", f"a server that never answers: {result}")
        check.expect(1800 <= ms <= 5000, f"cut off by the watchdog after about 2000 ms: {ms} ms")
        check.expect(open(records, "rb").read() == content, "the records stay for the next attempt")
    finally:
        if host:
            host.close()
        if server:
            server.terminate()
        network.remove()
        subprocess.run(["rm", "-rf", work])
    check.finish()


if __name__ == "__main__":
    main()
