"""The operator's status page of tollimer-central in a real browser: a
service over a seeded chain of 50 bars, the page loaded by headless Chromium,
its rendered text checked and a screenshot kept under build/status-page/."""

import datetime
import re
from html.parser import HTMLParser
from zoneinfo import ZoneInfo

import pytest

from harness import REPO_ROOT, seeded_central
from harness.browser import rendered_dom, screenshot

SCREENSHOT = REPO_ROOT / "build" / "status-page" / "status-page.png"
SLOW_BAR = "3307"  # its installations refresh every 720 minutes


class Page(HTMLParser):
    """The headings, each table's rows as cell texts (under the heading before
    it), and the counts of the elements the charts are drawn with."""

    def __init__(self, dom):
        super().__init__()
        self.headings, self.tables, self.elements = [], {}, {}
        self._heading = self._cell = self._row = None
        self._text = ""
        self.dom = dom
        self.feed(dom)

    def handle_starttag(self, tag, attrs):
        self.elements[tag] = self.elements.get(tag, 0) + 1
        if tag in ("h1", "h2", "td", "th"):
            self._text = ""
        if tag == "tr":
            self._row = []

    def handle_endtag(self, tag):
        if tag in ("h1", "h2"):
            self.headings.append(self._text.strip())
            self._heading = self._text.strip()
        elif tag in ("td", "th") and self._row is not None:
            self._row.append(self._text.strip())
        elif tag == "tr" and self._row is not None:
            self.tables.setdefault(self._heading, []).append(self._row)
            self._row = None

    def handle_data(self, data):
        self._text += data

    def table(self, heading_start):
        [heading] = [h for h in self.tables if h and h.startswith(heading_start)]
        header, *rows = self.tables[heading]
        return [dict(zip(header, row)) for row in rows]


@pytest.fixture
def chain(tmp_path):
    c = seeded_central(tmp_path / "chain")
    yield c
    c.stop()


def test_the_page_of_a_seeded_chain_in_chromium(chain, tmp_path):
    url = f"http://127.0.0.1:{chain.status_port}/"
    page = Page(rendered_dom(url, tmp_path / "browser"))
    shot = screenshot(url, tmp_path / "browser", SCREENSHOT)
    print(f"{chain.seeded}; screenshot: {shot}")

    assert page.headings[:4] == ["Tollimer 连锁状态", "概况", page.headings[2], "各网吧（50）"]
    assert page.headings[2].startswith("失联装机（")
    assert page.elements.get("script", 0) == 0

    # Beijing time: the page's own clock is within a few minutes of now there.
    [stamp] = re.findall(r"更新于 (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)（Asia/Shanghai）", page.dom)
    shown = datetime.datetime.strptime(stamp, "%Y-%m-%d %H:%M:%S").replace(tzinfo=ZoneInfo("Asia/Shanghai"))
    assert abs((datetime.datetime.now(datetime.timezone.utc) - shown).total_seconds()) < 300

    summary = {row[0]: row[1] for row in page.tables["概况"]}
    seen, known = map(int, summary["24 小时内在线装机 / 全部装机"].split(" / "))
    installs = int(re.search(r"(\d+) installations", chain.seeded).group(1))
    assert known == installs and 0 < seen < known
    assert summary["网吧"] == "50"

    bars = page.table("各网吧")
    assert [b["网吧编号"] for b in bars] == [str(3301 + n) for n in range(50)]
    assert sum(int(b["装机"]) for b in bars) == installs
    assert any("（旧版）" in b["在用版本"] for b in bars)

    # Silent: past twice the bar's interval. The slow bar's five-hour-old
    # installation is within its 2 x 720 minutes; elsewhere 2 x 60 minutes.
    now = datetime.datetime.now(ZoneInfo("Asia/Shanghai")).replace(tzinfo=None)
    silent = page.table("失联装机")
    assert silent
    for row in silent:
        quiet = now - datetime.datetime.strptime(row["最后联络"], "%Y-%m-%d %H:%M:%S")
        limit = datetime.timedelta(minutes=2 * (720 if row["网吧编号"] == SLOW_BAR else 60))
        assert quiet > limit, row
        assert row["刷新间隔（分钟）"] == ("720" if row["网吧编号"] == SLOW_BAR else "60")
    last_seen = [row["最后联络"] for row in silent]
    assert last_seen == sorted(last_seen, reverse=True)

    hits = page.table("近 7 天黑名单命中")
    assert hits and all(re.fullmatch(r"\d{12}xxxxxx", h["证件号"]) for h in hits)

    # The two charts: 30 days each, drawn in the page itself.
    assert page.elements.get("svg") == 2
    assert page.elements.get("rect") == 60
    assert SCREENSHOT.stat().st_size > 50_000
