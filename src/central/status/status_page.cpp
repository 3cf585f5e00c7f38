#include "central/status/status_page.h"

#include <algorithm>
#include <ctime>

#include "blacklist/blacklist_panel.h"
#include "central/status/status_view.h"
#include "central/status/webhook_status.h"
#include "central/base/time_zone.h"
#include "util/text.h"

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

// This file's literals are UTF-8, the page's encoding.

std::string Cell(const std::string& text) { return "<td>" + HtmlEscape(text) + "</td>"; }
std::string NumberCell(long long n) { return Format("<td class=\"n\">%lld</td>", n); }

std::string Row(std::initializer_list<std::string> cells) {
  std::string row = "<tr>";
  for (const std::string& c : cells) row += c;
  return row + "</tr>\n";
}

std::string Header(std::initializer_list<const char*> names) {
  std::string row = "<tr>";
  for (const char* n : names) row += std::string("<th>") + n + "</th>";
  return row + "</tr>\n";
}

// A link to another page of this one (a link changes one table's position
// and keeps the other's): a query alone, so it stays on the
// page's own address (behind a proxy's path too).
std::string Link(const StatusPageAt& at, const char* text) {
  return "<a href=\"" + HtmlEscape(StatusPageQuery(at)) + "\">" + text + "</a>";
}

std::string VersionText(const std::string& crc) { return crc.empty() ? "（无）" : crc; }

std::string UptimeText(std::int64_t seconds) {
  const long long s = std::max<std::int64_t>(seconds, 0);
  return Format("%lld 天 %02lld:%02lld:%02lld", s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
}

std::string DayLabel(std::int64_t day) {
  const CivilTime c = CivilFromUnix(day * 86400);
  return Format("%02d-%02d", c.month, c.day);
}

// A bar per day, drawn on the server: the counts above the bars, every fifth
// date below, the largest count on the axis.
std::string DayChart(const std::string& title, const std::vector<DayCount>& days, const char* colour) {
  constexpr int kWidth = 900, kHeight = 240, kLeft = 44, kTop = 34, kBottom = 28, kRight = 10;
  constexpr int kPlotWidth = kWidth - kLeft - kRight, kPlotHeight = kHeight - kTop - kBottom;
  int most = 1;
  for (const DayCount& d : days) most = std::max(most, d.count);
  const double step = days.empty() ? 0 : static_cast<double>(kPlotWidth) / static_cast<double>(days.size());
  std::string svg = Format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
      "role=\"img\" font-family=\"sans-serif\" font-size=\"11\">\n",
      kWidth, kHeight, kWidth, kHeight);
  svg += Format("<text x=\"%d\" y=\"18\" font-size=\"14\" font-weight=\"bold\">", kLeft) + HtmlEscape(title) +
         "</text>\n";
  svg += Format("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#999\"/>\n", kLeft, kTop + kPlotHeight,
                kLeft + kPlotWidth, kTop + kPlotHeight);
  svg += Format("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#ddd\"/>\n", kLeft, kTop, kLeft + kPlotWidth,
                kTop);
  svg += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%d</text>\n", kLeft - 6, kTop + 4, most);
  svg += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">0</text>\n", kLeft - 6, kTop + kPlotHeight + 4);
  for (std::size_t i = 0; i < days.size(); ++i) {
    const DayCount& d = days[i];
    const double x = kLeft + step * static_cast<double>(i);
    const double h = static_cast<double>(kPlotHeight) * d.count / most;
    const double y = kTop + kPlotHeight - h;
    svg += Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"><title>%s：%d</title></rect>\n",
                  x + 2, y, step - 4, h, colour, DayLabel(d.day).c_str(), d.count);
    if (d.count > 0) {
      svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\">%d</text>\n",
                    x + step / 2, y - 3, d.count);
    }
    if ((days.size() - 1 - i) % 5 == 0) {
      svg += Format("<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", x + step / 2,
                    kHeight - 8, DayLabel(d.day).c_str());
    }
  }
  return svg + "</svg>\n";
}

std::string Summary(const StatusView& v) {
  std::string releases;
  for (const CurrentRelease& r : v.currentReleases) {
    releases += (releases.empty() ? "" : "<br>") + HtmlEscape(r.machine) + " " + HtmlEscape(r.crc) +
                (r.isSigned ? "（已签名）" : "（未签名，带发布密钥的助手不会安装）") +
                Format("：%d 台在用", r.installations);
  }
  if (releases.empty()) releases = "（未发布）";
  std::string html = "<h2>概况</h2>\n<table class=\"summary\">\n";
  html += Format("<tr><th>24 小时内在线装机 / 全部装机</th><td>%d / %d</td></tr>\n", v.seenLastDay, v.installations);
  html += Format("<tr><th>网吧</th><td>%d</td></tr>\n", v.bars);
  html += "<tr><th>当前版本</th><td>" + releases + "</td></tr>\n";
  html += Format("<tr><th>黑名单命中：今日 / 近 %d 天</th><td>%d / %d</td></tr>\n", kHitTableDays, v.hitsToday,
                 v.recentHits);
  html += "<tr><th>服务运行时间</th><td>" + UptimeText(v.uptimeSeconds) + "</td></tr>\n</table>\n";
  return html;
}

std::string SilentTable(const StatusView& v, const TimeZone& zone) {
  std::string html = Format("<h2>失联装机（%zu）</h2>\n<p class=\"note\">超过两个刷新间隔未联络的装机，最近失联的在前。</p>\n",
                            static_cast<std::size_t>(v.silentCount));
  if (static_cast<std::size_t>(v.silentCount) > v.silent.size()) {
    html += Format("<p class=\"note\">仅列出最近失联的 %zu 台；全部装机请用 tollimer-central installs 查看。</p>\n",
                   kSilentRowsShown);
  }
  html += "<table>\n" + Header({"网吧编号", "网吧名称", "地址", "最后联络", "版本", "刷新间隔（分钟）"});
  for (std::size_t i = 0; i < v.silent.size() && i < kSilentRowsShown; ++i) {
    const SilentInstall& s = v.silent[i];
    html += Row({Cell(s.barId), Cell(s.barName), Cell(s.address), Cell(zone.Text(s.lastSeen)),
                 Cell(VersionText(s.versionCrc)), NumberCell(s.refreshMinutes)});
  }
  return html + "</table>\n";
}

std::string BarTable(const StatusView& v, const TimeZone& zone) {
  std::string html = Format("<h2>各网吧（%d）</h2>\n", v.bars);
  const bool paged = v.at.barsFrom > 0 || v.at.barsFrom + v.barRows.size() < static_cast<std::size_t>(v.bars);
  if (paged) {
    html += v.barRows.empty() ? std::string("<p class=\"note\">没有更多网吧。")
                              : Format("<p class=\"note\">第 %zu 至 %zu 家，按网吧编号排列。", v.at.barsFrom + 1,
                                       v.at.barsFrom + v.barRows.size());
    StatusPageAt at = v.at;
    if (v.at.barsFrom > 0) {
      at.barsFrom = v.at.barsFrom - std::min(v.at.barsFrom, kBarRowsShown);
      html += " " + Link(at, "上一页");
    }
    if (v.at.barsFrom + v.barRows.size() < static_cast<std::size_t>(v.bars)) {
      at.barsFrom = v.at.barsFrom + kBarRowsShown;
      html += " " + Link(at, "下一页");
    }
    html += "</p>\n";
  }
  html += "<table>\n";
  html += Header({"网吧编号", "网吧名称", "装机", "在用版本", "最后联络", "近 7 天命中"});
  for (const BarRow& b : v.barRows) {
    std::string versions;
    for (const BarVersion& ver : b.versions) {
      if (!versions.empty()) versions += "，";
      const std::string text = HtmlEscape(VersionText(ver.crc)) + Format(" × %d", ver.installations);
      if (ver.current) {
        versions += text;
      } else {
        versions += "<span class=\"old\">" + text + (ver.known ? "（旧版）" : "（未登记）") + "</span>";
      }
    }
    html += Row({Cell(b.barId), Cell(b.barName), NumberCell(b.installations), "<td>" + versions + "</td>",
                 Cell(zone.Text(b.lastSeen)), NumberCell(b.recentHits)});
  }
  return html + "</table>\n";
}

std::string HitTable(const StatusView& v, const TimeZone& zone) {
  std::string html = Format("<h2>近 %d 天黑名单命中（%d）</h2>\n", kHitTableDays, v.recentHits);
  if (v.moreHits || v.at.hitsFromCursor) {
    html += Format("<p class=\"note\">每页 %zu 条，最新的在前；全部命中也可用 tollimer-central hits 查看。", kHitRowsShown);
    StatusPageAt at = v.at;
    if (v.at.hitsFromCursor) {
      at.hitsFromCursor = false;
      html += " " + Link(at, "最新一页");
    }
    if (v.moreHits) {
      at.hitsFromCursor = true;
      at.hitsBeforeTime = v.recentHitRows.back().time;
      at.hitsBeforeSeq = v.recentHitRows.back().seq;
      html += " " + Link(at, "更早的命中");
    }
    html += "</p>\n";
  }
  html += "<table>\n";
  html += Header({"时间", "证件号", "网吧", "MAC"});
  for (const StatusHit& h : v.recentHitRows) {
    html += Row({Cell(zone.Text(h.time)), Cell(MaskedLineText(h.idNumber)), Cell(h.barId + " " + h.barName),
                 Cell(h.mac)});
  }
  return html + "</table>\n";
}

std::string NoticeTable(const StatusView& v, const TimeZone& zone) {
  std::string html = "<h2>最新通知</h2>\n<table>\n" + Header({"时间", "来源", "内容"});
  for (const StatusNotice& n : v.notices) html += Row({Cell(zone.Text(n.time)), Cell(n.address), Cell(n.text)});
  return html + "</table>\n";
}

}  // namespace

std::string RenderStatusPage(const StatusInput& input, std::int64_t now, const TimeZone& zone) {
  const StatusView v = BuildStatusView(input, now, zone);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
      // An operator leaves it open on a wall screen: it reloads once a minute.
      "<meta http-equiv=\"refresh\" content=\"60\"><title>Tollimer 连锁状态</title>"
      "<style>body{font-family:sans-serif;margin:1.5em 2em;color:#222}"
      "table{border-collapse:collapse;margin-bottom:1.5em}"
      "td,th{border:1px solid #bbb;padding:2px 8px;text-align:left;vertical-align:top}"
      "th{background:#eef3f8}td.n{text-align:right}.old{color:#b00000}.note{color:#555;margin:0 0 .5em}"
      "table.summary th{width:16em}svg{display:block;margin-bottom:.5em}</style></head><body>\n"
      "<h1>Tollimer 连锁状态</h1>\n";
  html += "<p>更新于 " + zone.Text(now) + "（" + HtmlEscape(zone.Name()) + "），每分钟自动刷新。</p>\n";
  html += Summary(v);
  html += SilentTable(v, zone);
  html += BarTable(v, zone);
  html += Format("<h2>近 %d 天</h2>\n", kChartDays);
  html += DayChart("每日黑名单命中", v.hitsPerDay, "#c0392b");
  html += DayChart("每日在用装机", v.inServicePerDay, "#2e6da4");
  html += "<p class=\"note\">在用装机：首次联络不晚于当日、最后联络不早于当日的装机（只记录首次与最后联络时间，据此推算）。</p>\n";
  html += HitTable(v, zone);
  html += NoticeTable(v, zone);
  html += WebhookQueueHtml(input.outbox);
  return html + "</body></html>\n";
}
