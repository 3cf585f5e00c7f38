#!/usr/bin/env python3
"""Makes the cashier's guide from its source: one HTML file, 使用说明.html,
and its pictures beside it in the folder 使用说明/, readable offline.

    make_guide.py SOURCE OUT PICTURES [PICTURES...]

Every picture the source names as src="pictures/NAME.png" is taken from the
first PICTURES folder that holds NAME.png (the demo's fresh screenshots
first, the copies kept with the source after them), cut to the part of the
screen named by the image's data-crop="WxH+X+Y" when it has one, freed of the
empty screen around the windows, and written beside the HTML. A picture
found nowhere ends the build with its name.
"""

import re
import shutil
import subprocess
import sys
from pathlib import Path

GUIDE_NAME = "使用说明"
# Debian's ImageMagick itself: the `convert` first on PATH may be a stand-in.
CONVERT = "/usr/bin/convert-im6.q16"
IMAGE = re.compile(r'<img src="pictures/([\w-]+)\.png"( data-crop="(\d+x\d+\+\d+\+\d+)")?')


def find_picture(name, folders):
    for folder in folders:
        path = Path(folder) / f"{name}.png"
        if path.is_file():
            return path
    return None


def make_picture(source, crop, target):
    """The windows of a screenshot without the empty (black) screen around
    them, within the crop when one is given."""
    args = [CONVERT, str(source)]
    if crop:
        args += ["-crop", crop, "+repage"]
    args += ["-bordercolor", "black", "-border", "1", "-trim", "+repage", str(target)]
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


def make_guide(source, out, folders):
    text = Path(source).read_text(encoding="utf-8")
    out = Path(out)
    pictures = out / GUIDE_NAME
    shutil.rmtree(pictures, ignore_errors=True)
    pictures.mkdir(parents=True)
    missing = []

    def picture(match):
        name, crop = match.group(1), match.group(3)
        found = find_picture(name, folders)
        if found is None:
            missing.append(name)
            return match.group(0)
        make_picture(found, crop, pictures / f"{name}.png")
        return f'<img src="{GUIDE_NAME}/{name}.png"'

    html = IMAGE.sub(picture, text)
    if missing:
        raise SystemExit(f"make_guide: no picture {', '.join(missing)} in {', '.join(map(str, folders))}")
    (out / f"{GUIDE_NAME}.html").write_text(html, encoding="utf-8")


def main(argv):
    if len(argv) < 4:
        raise SystemExit(__doc__)
    make_guide(argv[1], argv[2], argv[3:])


if __name__ == "__main__":
    main(sys.argv)
