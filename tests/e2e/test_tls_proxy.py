"""The chain's TLS edge: nginx, configured by the site file the package
ships, in front of the real tollimer-central. What crosses the internet is
https; the service sees each cafe's own address through the proxy and
believes X-Forwarded-For from nobody else."""

import http.client
import json
import ssl
import subprocess

import pytest

from harness import CentralProgram
from harness.central import CENTRAL_PROGRAM
from harness.tls_proxy import NGINX, TlsProxy, self_issued_certificate

HIT = "/tollimer/report.php?CID=110101199003071233&RET=00-11-22-33-44-55|3301|%E7%BD%91%E5%90%A7|"

pytestmark = pytest.mark.skipif(not NGINX.exists(), reason="nginx is not installed (scripts/install-deps)")


@pytest.fixture
def edge(tmp_path):
    """tollimer-central on loopback trusting 127.0.0.1 as its proxy, and
    nginx in front of it with a self-issued certificate."""
    cert, key = self_issued_certificate(tmp_path / "tls")
    central = CentralProgram(tmp_path / "central-behind", http_port=0, collector_port="off",
                             config_lines=["http_address = 127.0.0.1", "trusted_proxies = 127.0.0.1"])
    proxy = TlsProxy(tmp_path / "nginx", central.http_port, cert, key)
    yield central, proxy, cert
    proxy.stop()
    central.stop()


def get(connection, target, headers=None):
    connection.request("GET", target, headers=headers or {})
    reply = connection.getresponse()
    return reply.status, reply.read()


def hit_addresses(central):
    return sorted(row["address"] for row in json.loads(central.run("hits", "--json")))


def test_the_service_sees_the_cafes_address_through_the_proxy_and_no_forged_one(edge):
    central, proxy, cert = edge
    # A cafe (127.0.0.2) over https, checking the certificate as a pinned
    # assistant would trust it; it also writes an X-Forwarded-For of its own,
    # which nginx replaces.
    tls = ssl.create_default_context(cafile=str(cert))
    cafe = http.client.HTTPSConnection("127.0.0.1", proxy.port, timeout=10, context=tls,
                                       source_address=("127.0.0.2", 0))
    assert get(cafe, HIT, {"X-Forwarded-For": "10.66.66.66"}) == (200, b"OK\n")
    # Someone reaching the service directly (127.0.0.3) with a forged header.
    direct = http.client.HTTPConnection("127.0.0.1", central.http_port, timeout=10,
                                        source_address=("127.0.0.3", 0))
    assert get(direct, HIT, {"X-Forwarded-For": "10.99.99.99"}) == (200, b"OK\n")
    assert hit_addresses(central) == ["127.0.0.2", "127.0.0.3"]


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # TLS 1.1, offered on purpose
def test_the_proxy_refuses_an_old_protocol_and_the_cleartext_port_is_not_the_edge(edge):
    central, proxy, cert = edge
    old = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    old.load_verify_locations(cafile=str(cert))
    old.minimum_version = old.maximum_version = ssl.TLSVersion.TLSv1_1
    old.set_ciphers("DEFAULT:@SECLEVEL=0")
    with pytest.raises((ssl.SSLError, ConnectionError)):
        get(http.client.HTTPSConnection("127.0.0.1", proxy.port, timeout=10, context=old), HIT)
    # Plain http to the TLS port gets nginx's refusal, never the service.
    status, body = get(http.client.HTTPConnection("127.0.0.1", proxy.port, timeout=10), HIT)
    assert status == 400 and b"OK" not in body
    assert hit_addresses(central) == []


def test_pin_prints_what_openssl_computes_of_the_certificates_key(tmp_path):
    cert, _ = self_issued_certificate(tmp_path / "tls")
    printed = subprocess.run([str(CENTRAL_PROGRAM), "pin", str(cert)], capture_output=True, text=True,
                             timeout=30, check=True).stdout.strip()
    key = subprocess.run(["openssl", "x509", "-in", str(cert), "-pubkey", "-noout"], capture_output=True,
                         check=True, timeout=30).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=key, capture_output=True,
                         check=True, timeout=30).stdout
    digest = subprocess.run(["sha256sum"], input=der, capture_output=True, check=True, timeout=30).stdout
    assert printed == "-DTOLLIMER_SERVICE_PIN=" + digest.split()[0].decode()
    refused = subprocess.run([str(CENTRAL_PROGRAM), "pin", str(tmp_path / "tls" / "key.pem")],
                             capture_output=True, text=True, timeout=30)
    assert refused.returncode != 0 and "holds no certificate" in refused.stderr
