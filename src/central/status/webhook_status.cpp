#include "central/status/webhook_status.h"

#include "central/status/status_page.h"
#include "util/text.h"

std::string WebhookQueueHtml(const std::vector<OutboxTargetState>& states) {
  if (states.empty()) return {};
  std::string html = "<h2>群机器人消息</h2>\n<table>\n<tr><th>目标</th><th>待发</th><th>24 小时内已送达</th>"
                     "<th>已放弃</th><th>最近错误</th></tr>\n";
  for (const OutboxTargetState& s : states) {
    html += "<tr><td>" + HtmlEscape(s.target) + Format("</td><td class=\"n\">%d</td><td class=\"n\">%d</td>", s.waiting, s.delivered24h);
    html += Format("<td class=\"n%s\">%d</td>", s.givenUp > 0 ? " old" : "", s.givenUp);
    html += "<td" + std::string(s.lastError.empty() ? "" : " class=\"old\"") + ">" + HtmlEscape(s.lastError) +
            "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string WebhookMetrics(const std::vector<OutboxTargetState>& states) {
  struct Metric {
    const char* name;
    const char* help;
    int OutboxTargetState::*field;
  };
  static constexpr Metric kMetrics[] = {
      {"tollimer_webhook_waiting", "Messages waiting for a robot.", &OutboxTargetState::waiting},
      {"tollimer_webhook_delivered_24h", "Messages a robot took in the last 24 hours.", &OutboxTargetState::delivered24h},
      {"tollimer_webhook_given_up", "Messages given up after a day of failures (kept 30 days).",
       &OutboxTargetState::givenUp},
  };
  std::string out;
  for (const Metric& m : kMetrics) {
    out += Format("# HELP %s %s\n# TYPE %s gauge\n", m.name, m.help, m.name);
    for (const OutboxTargetState& s : states) {
      // Target names are letters, digits, "_" and "-": nothing to escape.
      out += Format("%s{target=\"%s\"} %d\n", m.name, s.target.c_str(), s.*m.field);
    }
  }
  return out;
}
