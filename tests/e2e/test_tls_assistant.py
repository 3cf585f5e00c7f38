"""The assistant over https: the real Tollimer.exe under Wine, built with its
service at https://127.0.0.1:18443/tollimer/ and pinned to the key of
tests/data/tls/service-cert.pem, talks to the real tollimer-central behind
the real nginx (the site file the package ships). The exchange, the
blacklist, a hit's report and the self-update go through TLS; a look-alike
service (another certificate on the same address) gets nothing and gives
nothing; and a listener on the loopback never sees the ID number of a hit
(the build sends no notice datagram), which it does see over plain http."""

import zlib
from pathlib import Path

import pytest

from assistant import Assistant, heartbeat  # noqa: F401
from harness import CentralProgram, copy_program, start_program, wait_until
from harness.capture import LoopbackCapture
from harness.paths import REPO_ROOT, pinned_build_dir
from harness.tls_proxy import NGINX, TlsProxy
from test_central_service import end_every_assistant
from test_placement_face import face_dialog

LISTED_ID = "110101199003071233"
# A regular customer the look-alike lists, to raise false alarms.
REGULAR_ID = "320102198805051234"
TLS_PORT = 18443
TLS_DATA = REPO_ROOT / "tests" / "data" / "tls"
PINNED_EXE = pinned_build_dir() / "Tollimer.exe"

pytestmark = [
    pytest.mark.skipif(not NGINX.exists(), reason="nginx is not installed (scripts/install-deps)"),
    pytest.mark.skipif(not PINNED_EXE.exists(), reason=f"{PINNED_EXE} is not built (scripts/build)"),
]


def chain_service(service, folder, listed_id):
    """The run's service stopped; tollimer-central on 18080 behind nginx
    (trusting it as its proxy), listing `listed_id`."""
    service.stop()
    central = CentralProgram(folder, collector_port=8888,
                             config_lines=["http_address = 127.0.0.1", "trusted_proxies = 127.0.0.1"])
    central.list_one(listed_id)
    return central


@pytest.fixture
def pinned_dir(tmp_path):
    folder = tmp_path / "网吧收银"
    folder.mkdir()
    assert copy_program(folder, PINNED_EXE)
    return folder


@pytest.fixture
def edge(service, tmp_path):
    """The chain's service behind nginx with the pinned certificate."""
    central = chain_service(service, tmp_path / "central", LISTED_ID)
    proxy = TlsProxy(tmp_path / "nginx", central.http_port, TLS_DATA / "service-cert.pem",
                     TLS_DATA / "service-key.pem", port=TLS_PORT)
    yield central
    proxy.stop()
    central.stop()


def hit_seen_on_the_wire(sim, assistant, central, port):
    """A swipe of the listed ID while the loopback is captured on `port`:
    the hit as the service recorded it, and the captured bytes."""
    capture = LoopbackCapture(port)
    try:
        face_dialog(sim, id_number=LISTED_ID)
        assistant.wait_log("FindBlackList:", timeout=15)
        [hit] = wait_until(lambda: central.rows("hits"), timeout=15, message="the hit recorded")
    finally:
        wire = capture.stop()
    print(f"capture on {port} and UDP: {capture.packets} packets, {capture.connections // 2} connection(s), "
          f"{capture.datagrams} datagram(s), {len(wire)} payload bytes, "
          f"ID number {'found' if LISTED_ID.encode() in wire else 'not found'}")
    return hit, wire, capture.packets


def test_exchange_blacklist_hit_and_update_over_https_with_the_id_never_in_clear(
        wine, sim, heartbeat, edge, pinned_dir):
    central = edge
    assistant = Assistant(wine, sim, pinned_dir)
    assistant.start()
    try:
        assert assistant.wait_log("Load BlackList=", timeout=60) == ["Load BlackList=1"]
        assert assistant.log_texts("Check_Update[1]=") == ["Check_Update[1]=1"]
        [install] = wait_until(lambda: central.rows("installs"), timeout=10, message="the installation recorded")

        hit, wire, packets = hit_seen_on_the_wire(sim, assistant, central, TLS_PORT)
        assert hit["id"] == LISTED_ID and hit["bar_id"] == install["bar_id"]
        # The report crossed the loopback, as TLS records (content type 23,
        # version 3.3), and the ID number is in none of its bytes. The build
        # leaves the notice datagram out (hit_notice = off): the collector
        # gets nothing, so nothing of the hit travels in clear.
        assert packets > 0 and b"\x17\x03\x03" in wire
        assert LISTED_ID.encode() not in wire
        assert assistant.stop() == 0
        assert central.rows("notices") == []
    finally:
        end_every_assistant(sim)

    # The operator adds the pinned build's next release: fetched and checked
    # over https, it replaces the program at the next start.
    release = pinned_build_dir() / "TollimerNext.exe"
    assert "is now current" in central.run("release", "add", release)
    new_crc = f"{zlib.crc32(release.read_bytes()):08X}"
    again = Assistant(wine, sim, pinned_dir)
    again.process = start_program(wine, pinned_dir)
    try:
        wait_until(lambda: any("Startup:ver=1.0.0.2," in t for t in again.log_texts("Startup:")), timeout=90,
                   message="the new release started")
        assert (pinned_dir / "Tollimer.exe").read_bytes() == release.read_bytes()
        wait_until(lambda: new_crc in {r["version"] for r in central.rows("installs")}, timeout=60,
                   message="the new release reported to the service")
    finally:
        end_every_assistant(sim)


def test_the_same_hit_over_plain_http_shows_the_id_to_the_capture(
        wine, sim, heartbeat, service, tmp_path, program_dir):
    # The test build talks to its service on 18080 in clear: the capture that
    # finds nothing over https finds the ID number here.
    central = chain_service(service, tmp_path / "central", LISTED_ID)
    assistant = Assistant(wine, sim, program_dir)
    try:
        assistant.start()
        assert assistant.wait_log("Load BlackList=", timeout=60) == ["Load BlackList=1"]
        hit, wire, packets = hit_seen_on_the_wire(sim, assistant, central, central.http_port)
        assert hit["id"] == LISTED_ID
        assert packets > 0 and LISTED_ID.encode() in wire
        # The plain build also sends the hit's notice datagram, in clear.
        wait_until(lambda: central.rows("notices"), timeout=10, message="the notice collected")
        assert assistant.stop() == 0
    finally:
        end_every_assistant(sim)
        central.stop()


def test_a_look_alike_service_is_refused_before_anything_is_sent(wine, sim, heartbeat, service, tmp_path,
                                                                 pinned_dir):
    # Someone on the path answers on the service's address with a certificate
    # of their own, and a list of regular customers.
    fake = chain_service(service, tmp_path / "look-alike", REGULAR_ID)
    proxy = TlsProxy(tmp_path / "nginx", fake.http_port, TLS_DATA / "lookalike-cert.pem",
                     TLS_DATA / "lookalike-key.pem", port=TLS_PORT)
    local = f"{LISTED_ID}\t张三\t2024-01-02\t打架斗殴\r\n".encode("gbk")
    (pinned_dir / "blacklist.txt").write_bytes(local)
    assistant = Assistant(wine, sim, pinned_dir)
    try:
        assistant.start()
        # Every start-up attempt fails with the refusal's own code, as with a
        # dead service, and the list is the local one alone.
        assert assistant.wait_log("Check_Update[3]=", timeout=60)
        assert set(assistant.log_texts("Check_Update[")) <= {f"Check_Update[{n}]=-2" for n in range(1, 16)}
        assert assistant.wait_log("Load BlackList=", timeout=60) == ["Load BlackList=1"]
        face_dialog(sim, id_number=REGULAR_ID)
        assistant.wait_ticks(3, heartbeat)
        assert assistant.log_texts("FindBlackList:") == []
        assert (pinned_dir / "blacklist.txt").read_bytes() == local
        # On Windows the refusal in the callback cancels the request before
        # it is written; Wine 8 writes it all the same (WINE-NOTES.md), so
        # the look-alike's own records cannot show that here. What the
        # assistant does with the look-alike's answers can: nothing.
        access = Path(proxy.folder) / "tollimer-central.access.log"
        requests = access.read_text().splitlines() if access.exists() else []
        print(f"the look-alike's nginx logged {len(requests)} request(s) (Wine sends a cancelled request)")
    finally:
        end_every_assistant(sim)
        proxy.stop()
        fake.stop()
