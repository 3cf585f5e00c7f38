"""The wallpaper carousel of the real assistant under Wine: picture folders
(with Chinese names) seeded into the prefix and the registry, the wallpaper
shown followed at every step while the user profile keeps the cafe's own,
and the composed "Wallpaper.bmp" checked pixel by pixel on the 1920 x 1080
virtual screen."""

import shutil
import struct
import subprocess

import pytest

from assistant import assistant, heartbeat  # noqa: F401
from harness import start_program, wait_until

# Debian's ImageMagick itself: the `convert` first on PATH may be a stand-in.
CONVERT = "/usr/bin/convert-im6.q16"
APP_KEY = r"HKCU\Software\Tollimer"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
# Wine keeps a wallpaper set without writing the user profile in this
# volatile key: the test reads what is shown there.
SHOWN_KEY = r"HKCU\Software\Wine\Temporary System Parameters\Control Panel\Desktop"
CAROUSEL_BIT = 16
SCREEN = (1920, 1080)
# One cycle a second; the shortest interval is ten cycles.
INTERVAL = 10


def make_picture(path, size, colour):
    """A one-colour picture; the format follows the file's extension."""
    subprocess.run([CONVERT, "-size", f"{size[0]}x{size[1]}", f"xc:{colour}", str(path)],
                   check=True, capture_output=True, timeout=60)


def read_bmp(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a 24-bit bottom-up BMP."""
    data = path.read_bytes()
    assert data[:2] == b"BM"
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24 and height > 0
    stride = (width * 3 + 3) // 4 * 4

    def pixel(x, y):
        at = offset + (height - 1 - y) * stride + 3 * x
        b, g, r = data[at:at + 3]
        return r, g, b
    return width, height, pixel


def near(colour, expected, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class Folders:
    """Picture folders under C:\\ of the prefix, named in Chinese."""

    def __init__(self, wine):
        self.root = wine.prefix / "drive_c" / "网吧图片"
        self.root.mkdir()

    def folder(self, name):
        path = self.root / name
        path.mkdir()
        return path, f"C:\\网吧图片\\{name}\\"


@pytest.fixture
def folders(wine):
    made = Folders(wine)
    yield made
    shutil.rmtree(made.root)
    wine.reg_delete(APP_KEY)
    for name in ("Interval", "WallpaperPos", "Wallpaper"):
        wine.reg_delete(DESKTOP_KEY, name)
    wine.reg_delete(SHOWN_KEY, "Wallpaper")


def seed(wine, bg="", top="", position="1", interval=INTERVAL):
    wine.reg_add(APP_KEY, "ExpCofig", str(CAROUSEL_BIT))
    wine.reg_add(APP_KEY, "BgWallpaperPath", bg)
    wine.reg_add(APP_KEY, "topWallpaperPath", top)
    wine.reg_add(DESKTOP_KEY, "WallpaperPos", position)
    wine.reg_add(DESKTOP_KEY, "Interval", interval)


def step_lines(assistant):
    """The step lines: "Mode=%d,topPicIndex=%d,bgPicIndex=%d,SetDeskWallPaper=%d,Timer=%d"."""
    return [text for text in assistant.log_texts("Mode=") if text.startswith("Mode=")]


def steps(assistant, count):
    """Waits for `count` step lines in all."""
    return wait_until(lambda: len(step_lines(assistant)) >= count and step_lines(assistant),
                      timeout=INTERVAL * count + 20, message=f"{count} carousel step(s)")


def wallpaper_value(wine):
    """The user profile's wallpaper: the cafe's own, which the carousel never changes."""
    return wine.reg_query(DESKTOP_KEY, "Wallpaper")


def shown_wallpaper(wine):
    """The wallpaper the carousel made current in this session."""
    return wine.reg_query(SHOWN_KEY, "Wallpaper")


def ticks_between_steps(assistant, heartbeat):
    """Watch cycles counted from start-up to the first step and from each step
    to the next, by the heartbeat line every cycle writes."""
    counts, current = [], 0
    for text in assistant.log_texts():
        if text.startswith(f"ButtonTip={heartbeat},"):
            current += 1
        elif text.startswith("Mode="):
            counts.append(current)
            current = 0
    return counts


def test_background_pictures_alone_become_the_wallpaper_in_turn(wine, folders, assistant, heartbeat):
    path, windows = folders.folder("底层")
    for name, colour in (("晚霞.jpg", "#C04020"), ("b.PNG", "#2040C0"), ("c.bmp", "#20C040")):
        make_picture(path / name, (64, 36), colour)
    make_picture(path / "ignored.jpeg", (8, 8), "white")
    (path / "子目录").mkdir()
    make_picture(path / "子目录" / "deeper.jpg", (8, 8), "white")
    seed(wine, bg=windows)
    own = wallpaper_value(wine)
    assistant.start()

    assistant.wait_log("Load bgPicList=3", timeout=20)
    shown = []
    for n in range(1, 5):
        steps(assistant, n)
        shown.append(shown_wallpaper(wine))
    assert wallpaper_value(wine) == own
    assert [text.split(",")[0] for text in step_lines(assistant)] == ["Mode=2"] * 4
    # Each of the three in folder order, then the first again.
    assert sorted(shown[:3]) == sorted(windows + name for name in ("晚霞.jpg", "b.PNG", "c.bmp"))
    assert shown[3] == shown[0]
    assert all(text.split(",")[3] == "SetDeskWallPaper=1" for text in step_lines(assistant))
    assert set(ticks_between_steps(assistant, heartbeat)) == {INTERVAL}
    assert not (assistant.folder / "Wallpaper.bmp").exists()


def test_both_layers_are_composed_with_the_upper_picture_at_the_right(wine, folders, assistant, heartbeat):
    bg_path, bg = folders.folder("背景")
    top_path, top = folders.folder("价格表")
    make_picture(bg_path / "full.jpg", SCREEN, "#3060A0")
    make_picture(top_path / "logo.png", (400, 300), "#E0C020")
    (top_path / "broken.jpg").write_bytes(b"not a picture at all")
    seed(wine, bg=bg, top=top, position="2")
    assistant.start()

    assistant.wait_log("Load topPicList=2", timeout=20)
    steps(assistant, 2)
    composed = assistant.folder / "Wallpaper.bmp"
    assert shown_wallpaper(wine).lower().endswith("\\wallpaper.bmp")
    texts = step_lines(assistant)
    assert [t.split(",")[0] for t in texts] == ["Mode=3", "Mode=3"]
    assert all(t.split(",")[3] == "SetDeskWallPaper=1" for t in texts)
    # One of the two steps took the broken file: logged, left out, and the
    # background still became the wallpaper.
    failures = assistant.log_texts("#ComposeWallpaper:2 / ")
    assert len(failures) == 1 and failures[0].endswith(top + "broken.jpg")

    # The step with the logo: find it by its pixels. 400 x 300 at the right
    # of a 1920 x 1080 screen: (1368, 390) to (1767, 689).
    # The logo's step is the first or the second; the third repeats the first.
    width, height, pixel = read_bmp(composed)
    if not near(pixel(1500, 500), (0xE0, 0xC0, 0x20)):
        steps(assistant, 3)
        width, height, pixel = read_bmp(composed)
    assert (width, height) == SCREEN
    for x, y in ((1368, 390), (1767, 390), (1368, 689), (1767, 689), (1500, 500)):
        assert near(pixel(x, y), (0xE0, 0xC0, 0x20)), (x, y, pixel(x, y))
    for x, y in ((1367, 500), (1768, 500), (1500, 389), (1500, 690), (0, 0), (1919, 1079), (960, 540)):
        assert near(pixel(x, y), (0x30, 0x60, 0xA0)), (x, y, pixel(x, y))
    assert set(ticks_between_steps(assistant, heartbeat)) == {INTERVAL}


def test_upper_pictures_alone_go_over_the_current_wallpaper(wine, folders, assistant):
    desk_path, desk = folders.folder("桌面")
    make_picture(desk_path / "desk.bmp", (32, 18), "#10A010")
    top_path, top = folders.folder("上层")
    red, blue, green = (0xC0, 0x10, 0x10), (0x10, 0x10, 0xC0), (0x10, 0xA0, 0x10)
    # At the left, vertically centred: red 200 x 100 at (172, 490), blue
    # 400 x 40 at (152, 520); each has pixels the other never covers.
    make_picture(top_path / "red.gif", (200, 100), "#C01010")
    make_picture(top_path / "blue.png", (400, 40), "#1010C0")
    wine.reg_add(DESKTOP_KEY, "Wallpaper", desk + "desk.bmp")
    seed(wine, top=top, position="0")
    assistant.start()

    steps(assistant, 1)
    composed = assistant.folder / "Wallpaper.bmp"
    assert composed.stat().st_size == 54 + SCREEN[0] * SCREEN[1] * 3
    _, _, pixel = read_bmp(composed)
    first_red = near(pixel(172, 490), red)
    assert first_red or near(pixel(152, 520), blue)
    assert near(pixel(171, 490), green) and near(pixel(1800, 100), green)
    assert step_lines(assistant)[0].startswith("Mode=1,topPicIndex=1,bgPicIndex=1,SetDeskWallPaper=1,")
    assert shown_wallpaper(wine).lower().endswith("\\wallpaper.bmp")
    assert wallpaper_value(wine) == desk + "desk.bmp"

    # The profile still names the cafe's wallpaper: the second picture goes
    # over it alone, not over the first composition.
    steps(assistant, 2)
    _, _, pixel = read_bmp(composed)
    if first_red:
        assert near(pixel(500, 540), blue) and near(pixel(152, 559), blue)
        assert near(pixel(200, 500), green)
    else:
        assert near(pixel(200, 500), red) and near(pixel(371, 589), red)
        assert near(pixel(500, 540), green)
    assert near(pixel(1800, 100), green)
    assert wallpaper_value(wine) == desk + "desk.bmp"
    assert step_lines(assistant)[1].startswith("Mode=1,topPicIndex=2,bgPicIndex=1,SetDeskWallPaper=1,")


def test_no_pictures_switches_the_carousel_off(wine, folders, assistant, heartbeat):
    path, empty = folders.folder("空")
    # Ten thousand files, none of them a picture.
    for i in range(10_000):
        (path / f"{i:05d}{'.jpeg' if i % 2 else '.txt'}").write_bytes(b"x")
    seed(wine, bg=empty, top="C:\\没有这个目录\\")
    assistant.start()
    assistant.wait_log("Load bgPicList=0", timeout=20)
    assistant.wait_ticks(INTERVAL + 2, heartbeat)
    assert assistant.log_texts("Load topPicList") == []
    assert step_lines(assistant) == []
    assert wallpaper_value(wine) in (None, "")


def test_settings_of_the_wrong_type_are_reported_and_read_as_defaults(wine, folders, sim, assistant, heartbeat):
    path, bg = folders.folder("类型")
    make_picture(path / "a.jpg", (16, 9), "#808080")
    seed(wine, bg=bg)
    # The feature bits as a number instead of text, the interval as text.
    wine.reg_add(APP_KEY, "ExpCofig", CAROUSEL_BIT)
    wine.reg_add(DESKTOP_KEY, "Interval", "10", kind="REG_SZ")
    # Not assistant.start(): its main window is still being created while
    # the boxes wait.
    assistant.process = start_program(wine, assistant.folder)

    # Start-up waits on each box until the cashier answers it.
    for caption, text in (("注册表数据类型不匹配:String", "ExpCofig Data type mismatch!"),
                          ("注册表数据类型不匹配:DWORD", "Interval Data type mismatch!")):
        box = wait_until(lambda: sim.find("#32770", caption), timeout=20, message=f"the box {caption}")
        assert text in [child.text for child in sim.children(box)]
        sim.post(box, 0x0111, 1, 0)  # WM_COMMAND IDOK: the cashier presses OK
        wait_until(lambda: not sim.exists(box), message="the box closed")

    summary = assistant.wait_log("StartOK:", timeout=20)[0]
    assert ",ExpCofig=0," in summary
    assistant.wait_ticks(INTERVAL + 2, heartbeat)
    assert assistant.log_texts("Load bgPicList") == []  # the carousel is off
    assert step_lines(assistant) == []
