"""Release statements made the way an outsider would check the service's:
with the openssl command line, independent of tollimer-central's own code.

A statement names the release (its number, its processor, the SHA-256 of
its file) and carries the signature of those lines: the 128 hex digits of
r || s (ECDSA P-256 over the SHA-256 of the text); openssl writes the DER
sequence of r and s. The bare signature of a whole file is the older form.
The fixtures under tests/data/release/ were made with this file:

    python3 tests/e2e/harness/signing.py KEY.pem FILE > FILE.sig
    python3 tests/e2e/harness/signing.py KEY.pem FILE NUMBER MACHINE > FILE.statement
"""

import hashlib

import subprocess
import sys
from pathlib import Path

RELEASE_DATA = Path(__file__).resolve().parents[2] / "data" / "release"
# The test build's key pair: its public half is TOLLIMER_RELEASE_KEY's default.
TEST_KEY = RELEASE_DATA / "test-release-key.pem"
# A key no test build knows.
OTHER_KEY = RELEASE_DATA / "other-release-key.pem"


def _der_integers(der):
    """The two INTEGERs of a DER SEQUENCE (short or one-byte long lengths)."""
    def length_at(i):
        first = der[i]
        if first < 0x80:
            return first, i + 1
        count = first & 0x7F
        return int.from_bytes(der[i + 1:i + 1 + count], "big"), i + 1 + count

    assert der[0] == 0x30, "not a DER sequence"
    _, i = length_at(1)
    values = []
    for _ in range(2):
        assert der[i] == 0x02, "not a DER integer"
        n, i = length_at(i + 1)
        values.append(int.from_bytes(der[i:i + n], "big"))
        i += n
    return values


def sign_bytes(data, key=TEST_KEY):
    """The signature text of `data` under the private key file `key`."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(key)], input=data,
                         capture_output=True, check=True).stdout
    r, s = _der_integers(der)
    return (r.to_bytes(32, "big") + s.to_bytes(32, "big")).hex().upper()


def sign_file(path, key=TEST_KEY):
    return sign_bytes(Path(path).read_bytes(), key)


def statement_text(number, machine, sha256_hex):
    return (f"tollimer release statement\nrelease {number}\nmachine {machine}\n"
            f"sha256 {sha256_hex}\n")


def statement_of(path, number, machine, key=TEST_KEY, sha256_of=None):
    """The statement file of the release at `path` (or, with `sha256_of`, a
    statement naming another file's digest)."""
    digest = hashlib.sha256(Path(sha256_of or path).read_bytes()).hexdigest()
    text = statement_text(number, machine, digest)
    return text + f"signature {sign_bytes(text.encode('ascii'), key)}\n"


def pe_machine_name(path):
    data = Path(path).read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return {0x14C: "x86", 0x8664: "x64"}.get(int.from_bytes(data[pe + 4:pe + 6], "little"), "other")


if __name__ == "__main__":
    if len(sys.argv) == 5:
        sys.stdout.write(statement_of(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[1]))
    else:
        print(sign_file(sys.argv[2], sys.argv[1]))
