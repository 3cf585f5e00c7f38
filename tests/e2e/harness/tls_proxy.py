"""nginx on loopback in front of a tollimer-central, configured by the site
file the Debian package ships (packaging/nginx/tollimer-central), with a
self-issued certificate: the chain's TLS edge as an operator enables it."""

import os
import socket
import subprocess
import time
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[3]
SITE_FILE = REPO_ROOT / "packaging" / "nginx" / "tollimer-central"
NGINX = Path("/usr/sbin/nginx")


def self_issued_certificate(folder, name="central.example.com", address="127.0.0.1"):
    """A certificate and key as the README's one command makes them; the
    paths of (cert.pem, key.pem)."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                    "-subj", f"/CN={name}", "-addext", f"subjectAltName=DNS:{name},IP:{address}",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True, timeout=60)
    return cert, key


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TlsProxy:
    """nginx serving https on 127.0.0.1:`port` for the service on
    127.0.0.1:`service_port`, the shipped site file changed only where a
    test must: its addresses, the certificate's paths and the log files."""

    def __init__(self, folder, service_port, cert, key, port=0):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.port = port or free_port()
        site = SITE_FILE.read_text()
        for shipped, here in [("listen 443 ssl;", f"listen 127.0.0.1:{self.port} ssl;"),
                              ("listen [::]:443 ssl;", ""),
                              ("/etc/tollimer-central/tls/cert.pem", str(cert)),
                              ("/etc/tollimer-central/tls/key.pem", str(key)),
                              ("http://127.0.0.1:18080", f"http://127.0.0.1:{service_port}"),
                              ("/var/log/nginx/", f"{self.folder}/")]:
            assert shipped in site, f"the site file no longer holds {shipped!r}"
            site = site.replace(shipped, here)
        (self.folder / "site.conf").write_text(site)
        temp = "\n".join(f"  {kind}_temp_path {self.folder}/{kind}-temp;"
                         for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        user = "user root root;\n" if os.geteuid() == 0 else ""
        (self.folder / "nginx.conf").write_text(
            f"{user}daemon off;\nworker_processes 1;\npid {self.folder}/nginx.pid;\n"
            f"error_log {self.folder}/main-error.log;\nevents {{}}\n"
            f"http {{\n  access_log off;\n{temp}\n  include {self.folder}/site.conf;\n}}\n")
        check = subprocess.run([str(NGINX), "-t", "-p", str(self.folder), "-c", str(self.folder / "nginx.conf"),
                                "-e", str(self.folder / "main-error.log")], capture_output=True, timeout=30)
        if check.returncode != 0:
            raise RuntimeError(f"nginx refuses the site file: {check.stderr.decode(errors='replace')}")
        self.process = subprocess.Popen(
            [str(NGINX), "-p", str(self.folder), "-c", str(self.folder / "nginx.conf"),
             "-e", str(self.folder / "main-error.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("nginx did not start: " +
                                       (self.folder / "main-error.log").read_text(errors="replace")[-800:])
                time.sleep(0.05)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=15)
