"""scripts/build-chain refuses a chain file that lacks a value, holds a
malformed one or one of the test build's, before it builds anything, and
names the value. (A full chain build takes minutes: the check it runs first
is run here on a complete file.)"""

import re
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
TEST_VALUES = dict(re.findall(r"^(\w+) = (\S+)$", (ROOT / "cmake/test-chain.conf").read_text(), re.M))

# A complete chain file, no value of it the test build's.
CHAIN = {
    "service_base": "https://central.example.com/tollimer/",
    "collector_address": "10.0.0.5",
    "key_row0": "00112233445566778899AABBCCDDEEFF",
    "key_row1": "102132435465768798A9BACBDCEDFE0F",
    "key_row2": "F0E1D2C3B4A5968778695A4B3C2D1E0F",
    "key_row3": "0F1E2D3C4B5A69788796A5B4C3D2E1F0",
    "release_key": "AB" * 64,
}


def write_chain(tmp_path, values, extra=""):
    path = tmp_path / "chain.conf"
    path.write_text("# a chain\n" + "".join(f"{name} = {value}\n" for name, value in values.items()) + extra)
    return path


def run(*args):
    return subprocess.run([str(ROOT / "scripts/build-chain"), *map(str, args)], cwd=ROOT,
                          capture_output=True, text=True, timeout=120)


def without(name):
    return {k: v for k, v in CHAIN.items() if k != name}


def replaced(name, value):
    return {**CHAIN, name: value}


REFUSED = [
    ("no release key", without("release_key"), "", "release_key is missing"),
    ("the test key", replaced("release_key", TEST_VALUES["release_key"]), "",
     "release_key is the test key of tests/data/release/, whose private half is public: give the chain's own"),
    ("the test key in lower case", replaced("release_key", TEST_VALUES["release_key"].lower()), "",
     "release_key is the test key"),
    ("a test row", replaced("key_row3", TEST_VALUES["key_row3"]), "", "key_row3 is a value of the test build"),
    ("another place's test row", replaced("key_row1", TEST_VALUES["key_row0"]), "",
     "key_row1 is a value of the test build"),
    ("no row 1", without("key_row1"), "", "key_row1 is missing"),
    ("the test service", replaced("service_base", TEST_VALUES["service_base"]), "",
     "service_base is a value of the test build"),
    ("no service", without("service_base"), "", "service_base is missing"),
    ("no collector", without("collector_address"), "", "collector_address is missing"),
    ("a short row", replaced("key_row2", "0011"), "", "key_row2 = 0011 is not 32 hex digits"),
    ("a bad address", replaced("collector_address", "10.0.0.256"), "", "collector_address = 10.0.0.256 is not"),
    ("a base without its slash", replaced("service_base", "http://x.example/t"), "", "service_base = "),
    ("an unknown name", CHAIN, "releas_key = 00\n", "releas_key: no such value"),
    ("a line twice", CHAIN, f"key_row0 = {CHAIN['key_row0']}\n", "key_row0: given twice"),
    ("a short pin", CHAIN, "service_pin = " + "ab" * 31 + "\n", "service_pin = " + "ab" * 31 + " is not 64 hex digits"),
    ("a pin with colons", CHAIN, "service_pin = " + ":".join(["ab"] * 32) + "\n", "is not 64 hex digits"),
    ("a pin of another hash", CHAIN, "service_pin = " + "ab" * 20 + "\n", "is not 64 hex digits"),
    ("a pin on plain http", replaced("service_base", "http://central.example.com/tollimer/"),
     "service_pin = " + "ab" * 32 + "\n", "service_pin is given but service_base is not https://"),
    ("the notice off on plain http", replaced("service_base", "http://central.example.com/tollimer/"),
     "hit_notice = off\n", "hit_notice = off needs an https:// service_base"),
    ("the notice neither on nor off", CHAIN, "hit_notice = no\n", "hit_notice = no is not on or off"),
]


@pytest.mark.parametrize("values,extra,named", [case[1:] for case in REFUSED], ids=[case[0] for case in REFUSED])
def test_a_chain_file_with_a_missing_malformed_or_test_value_is_refused_naming_it(tmp_path, values, extra, named):
    result = run(write_chain(tmp_path, values, extra))
    assert result.returncode != 0
    assert named in result.stderr, result.stderr
    assert "nothing was built" in result.stderr
    assert "== build/chain" not in result.stdout, "it went on to build"


def test_the_example_file_as_shipped_is_refused_for_every_value_it_leaves_to_fill():
    result = run(ROOT / "packaging/chain.conf.example")
    assert result.returncode != 0
    for name in ("key_row0", "key_row1", "key_row2", "key_row3", "release_key"):
        assert f"{name} = <" in result.stderr, result.stderr


def test_a_missing_file_and_a_missing_argument_are_refused(tmp_path):
    assert "no such file" in run(tmp_path / "nowhere.conf").stderr
    result = run()
    assert result.returncode == 2 and "usage: scripts/build-chain CHAIN.conf" in result.stderr


@pytest.mark.parametrize("extra", ["", "service_pin = " + "8b249f89" * 8 + "\n",
                                   "service_pin = " + "8b249f89" * 8 + "\nhit_notice = off\n"],
                         ids=["no pin", "a pin", "a pin and no notice"])
def test_a_complete_chain_file_passes_the_check_that_comes_first(tmp_path, extra):
    chain = write_chain(tmp_path, CHAIN, "literal_keys = " + "5A" * 32 + "\n" + extra)
    result = subprocess.run(["cmake", f"-DTOLLIMER_CHAIN_FILE={chain}", "-P", str(ROOT / "cmake/check-chain.cmake")],
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
