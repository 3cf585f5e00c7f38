"""The assistant against tollimer-central, the central service and collector a
cafe chain runs (not a fake): from a clean data folder, a real Tollimer.exe
under Wine reports itself, fetches the chain's blacklist, raises a hit that
the service records and the collector receives, and updates itself to the
release the operator added. Everything is read back through the operator's
commands."""

import zlib

import pytest

from assistant import Assistant, assistant, heartbeat  # noqa: F401
from harness import CentralProgram, next_release_of, start_program, wait_until
from test_placement_face import face_dialog

LISTED_ID = "110101199003071233"
WM_ENDSESSION = 0x0016


@pytest.fixture
def central(service, tmp_path):
    """The run's tollimer-central, started again with the collector on the
    test build's notice port (8888)."""
    service.stop()
    c = CentralProgram(tmp_path / "central-8888", collector_port=8888)
    yield c
    c.stop()


def end_every_assistant(sim):
    form = sim.find("TOrv_Assistant", "")
    while form:
        sim.post(form, WM_ENDSESSION, 1, 0)
        wait_until(lambda: not sim.exists(form), timeout=15, message="the assistant ended")
        form = sim.find("TOrv_Assistant", "")


def test_report_blacklist_hit_and_update_against_the_real_service(
        wine, sim, assistant, heartbeat, central, program_dir):
    central.list_one(LISTED_ID)

    assistant.start()
    assert assistant.wait_log("Load BlackList=", timeout=60) == ["Load BlackList=1"]
    [install] = wait_until(lambda: central.rows("installs"), timeout=10, message="the installation recorded")
    startup = assistant.log_texts("Startup:")[0]
    assert f"crc={install['version']}," in startup
    assert f"barid={install['bar_id']}," in startup

    # A swipe of the listed ID: the hit is reported and announced.
    face_dialog(sim, id_number=LISTED_ID)
    assistant.wait_log("FindBlackList:", timeout=15)
    [hit] = wait_until(lambda: central.rows("hits"), timeout=15, message="the hit recorded")
    assert hit["id"] == LISTED_ID and hit["mac"] == install["mac"] and hit["bar_id"] == install["bar_id"]
    [notice] = wait_until(lambda: central.rows("notices"), timeout=15, message="the notice collected")
    assert f"BlackID={LISTED_ID}" in notice["notice"]
    assert assistant.stop() == 0

    # The operator adds a release of the same bitness: the next start takes it.
    release = next_release_of(program_dir / "Tollimer.exe")
    assert "is now current" in central.run("release", "add", release)
    new_crc = f"{zlib.crc32(release.read_bytes()):08X}"
    again = Assistant(wine, sim, program_dir)
    again.process = start_program(wine, program_dir)
    try:
        wait_until(lambda: any("Startup:ver=1.0.0.2," in t for t in again.log_texts("Startup:")), timeout=90,
                   message="the new release started")
        assert (program_dir / "Tollimer.exe").read_bytes() == release.read_bytes()
        wait_until(lambda: new_crc in {r["version"] for r in central.rows("installs")}, timeout=60,
                   message="the new release reported to the service")
    finally:
        end_every_assistant(sim)
