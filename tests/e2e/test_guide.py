"""The cashier's guide (使用说明.html) as the build made it for the setup,
opened in headless Chromium from a loopback web server: it renders, every
picture loads, every link leads somewhere inside it, nothing comes from the
network; a screenshot is kept under build/demo/."""

import functools
import http.server
import json
import re
import shutil
import threading
from html.parser import HTMLParser

import pytest

from harness import REPO_ROOT, win_build_dir
from harness.browser import rendered_dom, screenshot

GUIDE = "使用说明"
SCREENSHOT = REPO_ROOT / "build" / "demo" / "guide.png"
SECTIONS = ["在收银台它自动做的事", "图标和菜单", "设置窗口", "黑名单面板和报警", "日志", "出问题时告诉连锁运营方什么"]

# Opens the guide in a frame of the same origin and writes, for every picture,
# whether the browser decoded it, into the page that --dump-dom returns.
CHECK_PAGE = """<!DOCTYPE html><meta charset="utf-8">
<iframe id="guide" src="GUIDE.html" width="1200" height="800"></iframe><pre id="result"></pre>
<script>
document.getElementById("guide").addEventListener("load", function () {
  var images = this.contentDocument.images, seen = [];
  for (var i = 0; i < images.length; i++)
    seen.push([images[i].getAttribute("src"), images[i].complete && images[i].naturalWidth > 0]);
  document.getElementById("result").textContent = JSON.stringify(seen);
});
</script>""".replace("GUIDE", GUIDE)


class Links(HTMLParser):
    """Every address the page names (href, src) and every element id."""

    def __init__(self, text):
        super().__init__()
        self.addresses, self.ids, self.headings = [], set(), []
        self._heading = None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.addresses += [attrs[a] for a in ("href", "src") if a in attrs]
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "h2":
            self._heading = ""

    def handle_endtag(self, tag):
        if tag == "h2" and self._heading is not None:
            self.headings.append(self._heading.strip())
            self._heading = None

    def handle_data(self, data):
        if self._heading is not None:
            self._heading += data


@pytest.fixture
def served(tmp_path):
    """The built guide in a folder of a loopback web server; yields its
    address and the paths it was asked for with their answers."""
    made = win_build_dir() / "guide"
    if not (made / f"{GUIDE}.html").exists():
        pytest.fail(f"{made / GUIDE}.html is not built; scripts/build makes it")
    root = tmp_path / "site"
    shutil.copytree(made, root)
    (root / "check.html").write_text(CHECK_PAGE, encoding="utf-8")
    asked = []

    class Handler(http.server.SimpleHTTPRequestHandler):
        def log_request(self, code="-", size="-"):
            asked.append((self.path, int(code)))

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=str(root)))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/", root, asked
    finally:
        server.shutdown()
        server.server_close()


def test_the_guide_renders_with_every_picture_and_no_broken_link(served, tmp_path):
    base, root, asked = served
    source = (root / f"{GUIDE}.html").read_text(encoding="utf-8")
    links = Links(source)

    # Readable offline: nothing outside its own folder, every address inside it there.
    for address in links.addresses:
        assert not re.match(r"^[a-z]+:", address), f"{address} leaves the guide"
        if address.startswith("#"):
            assert address[1:] in links.ids, f"the link {address} leads nowhere"
        else:
            assert (root / address).is_file(), f"{address} is missing beside the guide"
    pictures = [a for a in links.addresses if a.endswith(".png")]
    assert len(pictures) >= 9

    page = Links(rendered_dom(base + f"{GUIDE}.html", tmp_path / "browser"))
    for section in SECTIONS:
        assert any(section in heading for heading in page.headings), (section, page.headings)

    checked = rendered_dom(base + "check.html", tmp_path / "browser")
    result = re.search(r'<pre id="result">(.*?)</pre>', checked, re.S).group(1)
    loaded = json.loads(result.replace("&quot;", '"'))
    assert sorted(src for src, _ in loaded) == sorted(pictures)
    assert [src for src, ok in loaded if not ok] == [], "pictures the browser could not show"
    # The browser asks for a favicon of its own accord; the guide names none.
    failed = [(path, code) for path, code in asked if code >= 400 and path != "/favicon.ico"]
    assert failed == []

    shot = screenshot(base + f"{GUIDE}.html", tmp_path / "browser", SCREENSHOT, width=1000, height=6000)
    print(f"screenshot: {shot}")
    assert shot.stat().st_size > 50_000
