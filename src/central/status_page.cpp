#include "central/status_page.h"

#include <ctime>

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

std::string UtcText(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

namespace {

std::string Cell(const std::string& text) { return "<td>" + HtmlEscape(text) + "</td>"; }

}  // namespace

std::string RenderStatusPage(const StatusData& d, std::int64_t now) {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
      // An operator leaves it open on a wall screen: it reloads once a minute.
      "<meta http-equiv=\"refresh\" content=\"60\"><title>Tollimer central service</title>"
      "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse;margin-bottom:2em}"
      "td,th{border:1px solid #999;padding:2px 8px;text-align:left}</style></head><body>\n"
      "<h1>Tollimer central service</h1>\n";
  html += "<p>As of " + UtcText(now) + " UTC</p>\n";
  html += Format("<table><tr><th>Installations seen</th><td>%d</td></tr>"
                 "<tr><th>Seen in the last 24 hours</th><td>%d</td></tr>"
                 "<tr><th>Bars</th><td>%d</td></tr>"
                 "<tr><th>Blacklist entries</th><td>%d</td></tr></table>\n",
                 d.installations, d.seenLastDay, d.bars, d.blacklistEntries);

  html += "<h2>Versions in use</h2>\n<table><tr><th>Checksum</th><th>Build</th><th>Installations</th></tr>\n";
  for (const StatusVersion& v : d.versions) {
    std::string build = v.machine.empty() ? "unknown" : v.machine;
    if (v.current) build += ", current release";
    html += "<tr>" + Cell(v.crc.empty() ? "(none)" : v.crc) + Cell(build) +
            Format("<td>%d</td></tr>\n", v.installations);
  }
  html += "</table>\n";

  html += Format("<h2>Blacklist hits of the last %d days</h2>\n", d.hitDays);
  html += "<table><tr><th>Time (UTC)</th><th>ID</th><th>MAC</th><th>Bar id</th><th>Bar</th><th>From</th></tr>\n";
  for (const StatusHit& h : d.hits) {
    html += "<tr>" + Cell(UtcText(h.time)) + Cell(h.idNumber) + Cell(h.mac) + Cell(h.barId) +
            Cell(h.barName) + Cell(h.address) + "</tr>\n";
  }
  html += "</table>\n";

  html += "<h2>Latest notices</h2>\n<table><tr><th>Time (UTC)</th><th>From</th><th>Notice</th></tr>\n";
  for (const StatusNotice& n : d.notices) {
    html += "<tr>" + Cell(UtcText(n.time)) + Cell(n.address) + Cell(n.text) + "</tr>\n";
  }
  html += "</table>\n</body></html>\n";
  return html;
}
