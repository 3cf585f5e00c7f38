"""The setup program (Tollimer-Setup-<version>.exe) under Wine: a silent
install into a Chinese folder, an upgrade over the running assistant, the
silent uninstaller, and its first page for the people who click through it;
an upgrade that cannot replace a locked program, the system account, and a
folder shared with another program.

Each build tree holds the setup of its own Tollimer.exe and, in next/, the
setup of the next release (scripts/build makes both)."""

import subprocess
import time
from pathlib import Path

import pytest

from assistant import MAIN_FORM_CLASS, WM_ENDSESSION, Assistant
from harness import MAIN_CAPTION, program_exes, wait_until, win_build_dir
from harness.paths import REPO_ROOT, pe_machine, win32_exe

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tollimer"
APP_KEY = r"HKCU\Software\Tollimer"
MENU_FOLDER = "网吧Tollimer"
GUIDE = "使用说明"  # the cashier's guide: GUIDE.html, its pictures in GUIDE\

# What the cafe made beside the program: the setup and the uninstaller keep it.
CAFE_FILES = {
    "blacklist.txt": "430104199001011234 张三 逃单\r\n".encode("gbk"),
    "OrvBar.ini": b"[Assistant]\r\nfwait=800\r\n",
    "Wallpaper.bmp": b"BM" + bytes(64),
    "FaceTip.wav": b"RIFF" + bytes(40),
}
CAFE_VALUE = ("topWallpaperPath", r"D:\网吧壁纸")


def setup_of(exe, release=""):
    """The setup program built beside `exe` (release "next": the next one's)."""
    found = (Path(exe).parent / release).glob("Tollimer-Setup-*.exe")
    # The newest: a folder built before may still hold a setup of another name.
    newest = max(found, key=lambda path: path.stat().st_mtime, default=None)
    assert newest, f"no setup program beside {exe}; scripts/build makes it"
    return newest


def windows_path(path):
    """The Wine path of a Unix path (drive Z: is the root)."""
    return "Z:" + str(path).replace("/", "\\")


def menu_folder(wine):
    programs = list(wine.prefix.glob("drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"))
    assert programs, "the prefix has no Start-menu folder"
    return programs[0] / MENU_FOLDER


def run_setup(wine, setup, *args):
    code, out = wine.call([setup, *args], timeout=120)
    assert code == 0, f"{setup.name} {' '.join(args)} exited with {code}: {out}"


def install_silently(wine, built, folder):
    run_setup(wine, setup_of(built), "/S", "/D=" + windows_path(folder))


def make_cafe_files(wine, folder):
    for name, data in CAFE_FILES.items():
        (folder / name).write_bytes(data)
    wine.reg_add(APP_KEY, *CAFE_VALUE)


def end_leftover_assistant(wine, sim):
    """After a failure: the installed assistant must not outlive the test (a
    second one would refuse to start in the next)."""
    form = sim.find(MAIN_FORM_CLASS, "")
    if form:
        sim.post(form, WM_ENDSESSION, 1, 0)  # a plain close only hides it
        try:
            wait_until(lambda: not sim.find("", MAIN_CAPTION), timeout=10)
        except AssertionError:
            wine.call(["taskkill", "/f", "/im", "Tollimer.exe"])


@pytest.fixture(params=list(program_exes()))
def built(request):
    """Tollimer.exe of one build tree (x64, x86) with the setups beside it."""
    return program_exes()[request.param]


@pytest.mark.parametrize("exe", [win_build_dir() / "Tollimer.exe", win32_exe()], ids=["x64", "x86"])
def test_setup_asks_for_no_administrator_rights_and_is_of_its_programs_kind(exe):
    # Read, not run: holds for the 32-bit setup also where it cannot run.
    if not exe.exists():
        pytest.skip(f"{exe} is not built")
    for setup in (setup_of(exe), setup_of(exe, "next")):
        assert b'requestedExecutionLevel level="asInvoker"' in setup.read_bytes(), setup
        assert pe_machine(setup) == pe_machine(exe), setup


def test_install_upgrade_over_the_running_assistant_and_uninstall(wine, sim, tmp_path, built):
    folder = tmp_path / "网吧收银助手"
    folder.mkdir()
    a = Assistant(wine, sim, folder)  # the cafe keeps a log: LOGS\ and the marker file
    exe_path = windows_path(folder) + "\\Tollimer.exe"
    try:
        # A silent install into a Chinese folder, as a chain pushes it.
        install_silently(wine, built, folder)
        assert (folder / "Tollimer.exe").read_bytes() == Path(built).read_bytes()
        assert (folder / "uninstall.exe").exists()
        assert wine.reg_query(RUN_KEY, "Tollimer") == exe_path
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") == "网吧Tollimer"
        assert wine.reg_query(UNINSTALL_KEY, "DisplayVersion") == "1.0.0.1"
        assert wine.reg_query(UNINSTALL_KEY, "InstallLocation") == windows_path(folder)
        assert wine.reg_query(UNINSTALL_KEY, "UninstallString") == f'"{windows_path(folder)}\\uninstall.exe"'
        assert wine.reg_query(UNINSTALL_KEY, "EstimatedSize") >= Path(built).stat().st_size // 1024
        assert (menu_folder(wine) / "网吧Tollimer.lnk").exists()
        assert_guide_installed(wine, built, folder)
        # ... and starts the assistant from there.
        a.wait_log("Startup:ver=1.0.0.1,", timeout=30)
        wait_until(lambda: sim.find("", MAIN_CAPTION), timeout=10, message="the assistant's window")

        make_cafe_files(wine, folder)
        # The cashier switched autorun off from the icon's menu.
        wine.reg_add(RUN_KEY, "Tollimer", ";" + exe_path)

        # The next release over the running one, found where the first went.
        run_setup(wine, setup_of(built, "next"), "/S")
        a.wait_log("Startup:ver=1.0.0.2,", timeout=30)
        # The old assistant closed its own way: its running-time line is there.
        assert len(a.log_texts("RunTime=")) == 1, a.log_texts("RunTime=")
        assert wine.reg_query(UNINSTALL_KEY, "DisplayVersion") == "1.0.0.2"
        for name, data in CAFE_FILES.items():
            assert (folder / name).read_bytes() == data, name
        assert (folder / "debug").exists()
        assert wine.reg_query(APP_KEY, CAFE_VALUE[0]) == CAFE_VALUE[1]
        assert wine.reg_query(RUN_KEY, "Tollimer") == ";" + exe_path
        assert sim.find("", MAIN_CAPTION)

        # The silent uninstaller hands over to a copy of itself and returns.
        wine.run([folder / "uninstall.exe", "/S"], cwd=tmp_path, log="uninstall")
        wait_until(lambda: not (folder / "uninstall.exe").exists() and not (folder / "Tollimer.exe").exists(),
                   timeout=60, message="the program and the uninstaller removed")
        wait_until(lambda: not sim.find("", MAIN_CAPTION), timeout=10, message="the assistant ended")
        assert len(a.log_texts("RunTime=")) == 2
        assert wine.reg_query(RUN_KEY, "Tollimer") is None
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
        assert not menu_folder(wine).exists()
        assert not (folder / f"{GUIDE}.html").exists() and not (folder / GUIDE).exists()
        # What the cafe made stays, for the next installation.
        for name, data in CAFE_FILES.items():
            assert (folder / name).read_bytes() == data, name
        assert (folder / "debug").exists() and a.log_files()
        assert wine.reg_query(APP_KEY, CAFE_VALUE[0]) == CAFE_VALUE[1]
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(APP_KEY)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)


def assert_guide_installed(wine, built, folder):
    """The guide the build made beside the setup, every picture with it, and
    its Start-menu entry pointing at it."""
    made = Path(built).parent / "guide"
    assert (folder / f"{GUIDE}.html").read_bytes() == (made / f"{GUIDE}.html").read_bytes()
    pictures = sorted(p.name for p in (made / GUIDE).glob("*.png"))
    assert pictures and sorted(p.name for p in (folder / GUIDE).iterdir()) == pictures
    link = (menu_folder(wine) / f"{GUIDE}.lnk").read_bytes()
    target = f"{GUIDE}.html"
    assert target.encode("utf-16-le") in link or target.encode("gbk") in link, link


def test_uninstaller_asks_and_removes_the_cafes_files_when_told_to(wine, sim, tmp_path, built):
    folder = tmp_path / "网吧收银助手"
    try:
        install_silently(wine, built, folder)
        wait_until(lambda: sim.find("", MAIN_CAPTION), timeout=30, message="the assistant's window")
        make_cafe_files(wine, folder)
        (folder / "debug").touch()
        (folder / "LOGS").mkdir(exist_ok=True)

        window = uninstall_removing_the_cafes_files(wine, sim, folder, tmp_path)
        wait_until(lambda: not folder.exists(), timeout=30, message="the program folder removed")
        assert wine.reg_query(APP_KEY, CAFE_VALUE[0]) is None
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
        assert not sim.find("", MAIN_CAPTION)
        close_finished_uninstaller(sim, window)
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(APP_KEY)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)


def uninstall_removing_the_cafes_files(wine, sim, folder, tmp_path):
    """Runs the uninstaller of `folder` and answers "是" to its question about
    the cafe's files; returns its window, on its finish page by then."""
    wine.run([folder / "uninstall.exe"], cwd=tmp_path, log="uninstall")
    window = wait_until(lambda: setup_window(sim, "网吧Tollimer 1.0.0.1 卸载"), timeout=30,
                        message="the uninstaller's window")
    sim.click(wait_until(lambda: button(sim, window, "卸载(&U)"), timeout=10, message="its button"))
    # The message box comes up over the window and carries its caption.
    question = wait_until(lambda: (box := setup_window(sim, "网吧Tollimer 1.0.0.1 卸载")) != window and
                          any("是否同时删除网吧自己的文件和设置" in t for t in texts_within(sim, box)) and box,
                          timeout=30, message="the question about the cafe's files")
    sim.click(next(c.hwnd for c in sim.children(question) if c.text.startswith("是")))
    # The close button is there all along, enabled once the work is done.
    wait_until(lambda: (close := button(sim, window, "关闭(&L)")) and sim.enabled(close), timeout=30,
               message="the finish page")
    return window


def close_finished_uninstaller(sim, window):
    """The finish page ignores WM_CLOSE: its own button ends the uninstaller,
    whose window would otherwise stay on the screen of the next tests."""
    sim.click(wait_until(lambda: button(sim, window, "关闭(&L)"), timeout=10, message="the close button"))
    wait_until(lambda: not sim.exists(window), timeout=10, message="the uninstaller ended")


def texts_within(sim, window):
    """The texts of every window inside `window` (its pages are dialogs in it)."""
    texts = []
    for child in sim.children(window):
        texts += [child.text, *texts_within(sim, child.hwnd)]
    return texts


def setup_window(sim, caption):
    """The topmost window (or message box) of the setup or the uninstaller
    with this caption; a page may add its blank subcaption to it."""
    return sim.find("#32770", caption) or sim.find("#32770", caption + " ")


def button(sim, window, text):
    return next((child.hwnd for child in sim.children(window) if child.text == text), None)


def test_first_page_greets_in_chinese_and_the_default_folder_is_the_users_own(wine, sim, built):
    setup = setup_of(built)
    process = wine.run([setup], log="setup-first-page")
    try:
        window = wait_until(lambda: setup_window(sim, "网吧Tollimer 1.0.0.1 安装"), timeout=30,
                            message="the setup's window")
        wait_until(lambda: any("欢迎使用 网吧Tollimer 1.0.0.1 安装程序" in t for t in texts_within(sim, window)),
                   timeout=10, message="the welcome page")
        # The test build's setup says what it is, by its name and on this page.
        assert setup.name.endswith("-测试版.exe"), setup.name
        assert any("【测试版】" in t for t in texts_within(sim, window)), texts_within(sim, window)
        time.sleep(1)  # the page paints its picture after its texts are set
        left, top, right, bottom = sim.rect(window)
        shots = wine.logs.parent / "screenshots"
        shots.mkdir(exist_ok=True)
        wine.screenshot(shots / f"setup-first-page-{Path(built).parent.name}.png",
                        "-crop", f"{right - left}x{bottom - top}+{left}+{top}")

        # Past the components, the folder page offers a folder under the
        # user's own local application data: writable without administrator
        # rights, as the self-update needs.
        next_page = button(sim, window, "下一步(&N) >")
        sim.click(next_page)
        wait_until(lambda: any("选择组件" in t for t in texts_within(sim, window)), timeout=10,
                   message="the components page")
        sim.click(next_page)
        folder = wait_until(lambda: [t for t in texts_within(sim, window) if t.endswith("\\Tollimer")],
                            timeout=10, message="the folder page")
        assert folder[0].upper().endswith("\\APPDATA\\LOCAL\\TOLLIMER"), folder
    finally:
        process.kill()
        process.wait(timeout=10)


def test_a_locked_program_fails_the_silent_upgrade_and_keeps_the_earlier_version(wine, sim, tmp_path, built):
    # Another program holds Tollimer.exe open and lets nobody write it (the
    # setup ends the running assistant first, so its own lock is gone).
    folder = tmp_path / "网吧收银助手"
    exe = windows_path(folder) + "\\Tollimer.exe"
    try:
        install_silently(wine, built, folder)
        wait_until(lambda: sim.find("", MAIN_CAPTION), timeout=30, message="the assistant's window")
        uninstaller = (folder / "uninstall.exe").read_bytes()
        sim.hold_file(exe, share="read")
        try:
            code, out = wine.call([setup_of(built, "next"), "/S"], timeout=120)
        finally:
            sim.release_file(exe)
        assert code == 2, out
        assert (folder / "Tollimer.exe").read_bytes() == Path(built).read_bytes()
        assert (folder / "uninstall.exe").read_bytes() == uninstaller
        assert wine.reg_query(UNINSTALL_KEY, "DisplayVersion") == "1.0.0.1"
        # Unlocked, the same setup goes through.
        run_setup(wine, setup_of(built, "next"), "/S")
        assert wine.reg_query(UNINSTALL_KEY, "DisplayVersion") == "1.0.0.2"
        assert (folder / "Tollimer.exe").read_bytes() != Path(built).read_bytes()
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)


# Wine gives every program its one user's fixed SID: a setup built to take
# that SID for the system account's sees itself run as the system account.
WINE_USER_SID = "S-1-5-21-0-0-0-1000"


def setup_built_with(built, folder, *defines):
    """The setup of `built` made again with extra makensis defines."""
    target = "amd64-unicode" if pe_machine(built) == 0x8664 else "x86-unicode"
    folder.mkdir()
    made = subprocess.run(["makensis", "-V2", f"-DTARGET={target}", f"-DEXE={built}", f"-DOUTDIR={folder}",
                           f"-DGUIDE={Path(built).parent / 'guide'}", *defines,
                           str(REPO_ROOT / "packaging/windows/tollimer-setup.nsi")],
                          capture_output=True, text=True, timeout=300)
    assert made.returncode == 0, made.stdout + made.stderr
    return next(folder.glob("Tollimer-Setup-*.exe"))


def test_setup_refuses_to_install_for_the_system_account(wine, sim, tmp_path, built):
    setup = setup_built_with(built, tmp_path / "setup", f"-DSYSTEM_ACCOUNT_SID={WINE_USER_SID}")
    folder = tmp_path / "网吧收银助手"
    try:
        code, out = wine.call([setup, "/S", "/D=" + windows_path(folder)], timeout=120)
        assert code == 3, out
        assert not folder.exists()
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
        assert wine.reg_query(RUN_KEY, "Tollimer") is None

        # Run by hand, it says why before it ends.
        process = wine.run([setup], log="setup-as-system")
        box = wait_until(lambda: (found := setup_window(sim, "网吧Tollimer 1.0.0.1 安装")) and
                         any("系统账户（SYSTEM）" in t for t in texts_within(sim, found)) and found,
                         timeout=30, message="the message about the system account")
        sim.click(next(c.hwnd for c in sim.children(box) if c.text.startswith("确定")))
        assert process.wait(timeout=30) == 3
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)


# The billing console's folder, as a chain might name it with /D=.
CONSOLE_FILES = {
    "OrvBar.ini": b"[Console]\r\nbars=40\r\n",
    "LOGS/x.txt": b"console log\r\n",
    "Billing.exe": b"MZ console",
}
# What the assistant wrote there after the install.
ASSISTANTS_FILES = {
    "blacklist.txt": CAFE_FILES["blacklist.txt"],
    "Wallpaper.bmp": CAFE_FILES["Wallpaper.bmp"],
}


@pytest.mark.parametrize("answer", ["silent", "是"])
def test_uninstaller_removes_only_what_is_the_assistants_from_a_shared_folder(wine, sim, tmp_path, built, answer):
    folder = tmp_path / "计费系统"
    for name, data in CONSOLE_FILES.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(data)
    try:
        install_silently(wine, built, folder)
        wait_until(lambda: sim.find("", MAIN_CAPTION), timeout=30, message="the assistant's window")
        for name, data in ASSISTANTS_FILES.items():
            (folder / name).write_bytes(data)

        # Silent, the assistant's files stay too, with the log that names them.
        kept = set(CONSOLE_FILES) | (set(ASSISTANTS_FILES) | {"Tollimer-install.log"} if answer == "silent" else set())
        if answer == "silent":
            wine.run([folder / "uninstall.exe", "/S"], cwd=tmp_path, log="uninstall")
            wait_until(lambda: not (folder / "uninstall.exe").exists() and not (folder / GUIDE).exists(),
                       timeout=60, message="the program removed")
        else:
            close_finished_uninstaller(sim, uninstall_removing_the_cafes_files(wine, sim, folder, tmp_path))
        wait_until(lambda: files_within(folder) == kept, timeout=10, message=f"only {sorted(kept)} left")
        for name, data in CONSOLE_FILES.items():
            assert (folder / name).read_bytes() == data, name
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(APP_KEY)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)


def files_within(folder):
    return {p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()}


def test_setup_does_not_write_over_another_programs_uninstaller(wine, sim, tmp_path, built):
    folder = tmp_path / "计费系统"
    folder.mkdir()
    (folder / "uninstall.exe").write_bytes(b"MZ the console's uninstaller")
    try:
        code, out = wine.call([setup_of(built), "/S", "/D=" + windows_path(folder)], timeout=120)
        assert code == 2, out
        assert sorted(p.name for p in folder.iterdir()) == ["uninstall.exe"]
        assert (folder / "uninstall.exe").read_bytes() == b"MZ the console's uninstaller"
        assert wine.reg_query(UNINSTALL_KEY, "DisplayName") is None
    finally:
        end_leftover_assistant(wine, sim)
        wine.reg_delete(RUN_KEY, "Tollimer")
        wine.reg_delete(UNINSTALL_KEY)
