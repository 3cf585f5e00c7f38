"""Code signing of a chain's programs with a self-made certificate:
packaging/windows/sign-exe (the build runs it on Tollimer.exe) and the setup
script's finalize hooks sign the program, the setup and the uninstaller
inside it so that `osslsigncode verify` accepts them against the
certificate; the same check refuses what is not signed. Where a tool is
missing every test here is skipped with a line that names it."""

import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SIGN_EXE = ROOT / "packaging/windows/sign-exe"
SETUP_SCRIPT = ROOT / "packaging/windows/tollimer-setup.nsi"
TOOLS = ["osslsigncode", "openssl", "makensis", "7z", "x86_64-w64-mingw32-gcc", "x86_64-w64-mingw32-windres"]
MISSING = [tool for tool in TOOLS if not shutil.which(tool)]

pytestmark = pytest.mark.skipif(
    bool(MISSING), reason=f"CODE SIGNING NOT TESTED: {', '.join(MISSING)} missing (scripts/install-deps installs them)")

# A program with a version resource, as the setup script reads its version.
PROGRAM_RC = """1 VERSIONINFO
FILEVERSION 1,0,0,7
PRODUCTVERSION 1,0,0,7
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "080404b0"
    BEGIN
      VALUE "FileVersion", "1.0.0.7"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x804, 1200
  END
END
"""


def run(*args, cwd=None):
    return subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True, timeout=300)


def verified(cert, exe):
    """Whether osslsigncode accepts the file's signature, `cert` the root."""
    result = run("osslsigncode", "verify", "-CAfile", cert, "-in", exe)
    return result.returncode == 0 and "Signature verification: ok" in result.stdout


def make_certificate(folder, name):
    cert, key = folder / f"{name}-cert.pem", folder / f"{name}-key.pem"
    made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
               "-days", "2", "-subj", f"/CN=Tollimer {name} signer", "-addext", "extendedKeyUsage=codeSigning")
    assert made.returncode == 0, made.stderr
    return cert, key


@pytest.fixture(scope="module")
def work(tmp_path_factory):
    """A certificate, another one, an unsigned program and a guide folder."""
    folder = tmp_path_factory.mktemp("signing")
    (folder / "main.c").write_text("int main(void) { return 0; }\n")
    (folder / "version.rc").write_text(PROGRAM_RC)
    made = run("x86_64-w64-mingw32-windres", "version.rc", "-O", "coff", "-o", "version.o", cwd=folder)
    assert made.returncode == 0, made.stderr
    made = run("x86_64-w64-mingw32-gcc", "-s", "-o", "program.exe", "main.c", "version.o", cwd=folder)
    assert made.returncode == 0, made.stderr
    guide = folder / "guide"
    (guide / "使用说明").mkdir(parents=True)
    (guide / "使用说明.html").write_text("<html></html>\n")
    shutil.copy(next((ROOT / "docs/guide/pictures").glob("*.png")), guide / "使用说明")
    return {"folder": folder, "program": folder / "program.exe", "guide": guide,
            "chain": make_certificate(folder, "chain"), "other": make_certificate(folder, "other")}


def test_sign_exe_signs_in_place_and_a_failure_leaves_the_program(work, tmp_path):
    cert, key = work["chain"]
    program = tmp_path / "Tollimer.exe"
    shutil.copy(work["program"], program)
    assert not verified(cert, program)

    # A key that is not the certificate's: refused, the program untouched.
    refused = run(SIGN_EXE, cert, work["other"][1], program)
    assert refused.returncode != 0 and "cannot sign" in refused.stderr, refused
    assert program.read_bytes() == work["program"].read_bytes()
    assert list(tmp_path.iterdir()) == [program]

    signed = run(SIGN_EXE, cert, key, program)
    assert signed.returncode == 0, signed.stderr
    assert verified(cert, program)
    # Against another root the same signature is not trusted.
    assert not verified(work["other"][0], program)


@pytest.mark.parametrize("signing, signed", [("chain's certificate", True), ("none", False)])
def test_setup_and_its_uninstaller_are_signed_with_the_chains_certificate(work, tmp_path, signing, signed):
    cert, key = work["chain"]
    program = tmp_path / "Tollimer.exe"
    shutil.copy(work["program"], program)
    defines = []
    if signed:
        # The build signs the program before the setup packs it.
        assert run(SIGN_EXE, cert, key, program).returncode == 0
        defines = [f"-DSIGN_CERT={cert}", f"-DSIGN_KEY={key}"]
    made = run("makensis", "-V2", "-DTARGET=amd64-unicode", f"-DEXE={program}", f"-DOUTDIR={tmp_path}",
               f"-DGUIDE={work['guide']}", *defines, SETUP_SCRIPT)
    assert made.returncode == 0, made.stdout + made.stderr
    setup = tmp_path / "Tollimer-Setup-1.0.0.7.exe"
    content = tmp_path / "content"
    opened = run("7z", "x", "-y", "-bd", f"-o{content}", setup)
    assert opened.returncode == 0, opened.stdout

    for exe in (setup, content / "uninstall.exe", content / "Tollimer.exe"):
        assert verified(cert, exe) == signed, exe.name


def test_setup_refuses_a_certificate_without_its_key(work, tmp_path):
    cert, _ = work["chain"]
    made = run("makensis", "-V2", "-DTARGET=amd64-unicode", f"-DEXE={work['program']}", f"-DOUTDIR={tmp_path}",
               f"-DGUIDE={work['guide']}", f"-DSIGN_CERT={cert}", SETUP_SCRIPT)
    assert made.returncode != 0
    assert "SIGN_CERT and SIGN_KEY go together" in made.stdout + made.stderr
    assert not list(tmp_path.glob("*.exe"))
