#include "central/metrics.h"

#include "util/text.h"

namespace {

void Metric(std::string& out, const char* name, const char* type, const char* help, const std::string& samples) {
  out += Format("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
  out += samples;
}

std::string Sample(const char* name, std::int64_t value, const char* labels = "") {
  return Format("%s%s %lld\n", name, labels, static_cast<long long>(value));
}

}  // namespace

std::string RenderMetrics(const ServiceCounters& c, const MetricsGauges& g) {
  std::string out;
  Metric(out, "tollimer_exchanges_answered_total", "counter",
         "Parameter and release exchanges answered.", Sample("tollimer_exchanges_answered_total", c.exchangesAnswered));
  Metric(out, "tollimer_exchanges_refused_total", "counter", "Parameter and release exchanges refused, by cause.",
         Sample("tollimer_exchanges_refused_total", c.exchangesRefusedUnreadable, "{cause=\"unreadable\"}") +
             Sample("tollimer_exchanges_refused_total", c.exchangesRefusedStore, "{cause=\"store\"}"));
  Metric(out, "tollimer_downloads_total", "counter", "Release downloads served.",
         Sample("tollimer_downloads_total", c.downloads));
  Metric(out, "tollimer_download_bytes_total", "counter", "Bytes of releases sent.",
         Sample("tollimer_download_bytes_total", c.downloadBytes));
  Metric(out, "tollimer_blacklist_requests_total", "counter", "Blacklist downloads answered.",
         Sample("tollimer_blacklist_requests_total", c.blacklistRequests));
  Metric(out, "tollimer_hits_total", "counter", "Blacklist hits recorded.", Sample("tollimer_hits_total", c.hits));
  Metric(out, "tollimer_notices_received_total", "counter", "Notice datagrams recorded.",
         Sample("tollimer_notices_received_total", g.noticesReceived));
  Metric(out, "tollimer_notices_dropped_total", "counter", "Notice datagrams dropped as a flood.",
         Sample("tollimer_notices_dropped_total", g.noticesDropped));
  Metric(out, "tollimer_installations", "gauge", "Installations known.",
         Sample("tollimer_installations", g.installationsKnown));
  Metric(out, "tollimer_installations_seen_24h", "gauge", "Installations seen in the last 24 hours.",
         Sample("tollimer_installations_seen_24h", g.installationsSeen24h));
  Metric(out, "tollimer_store_size_bytes", "gauge", "Size of central.db and its write-ahead log.",
         Sample("tollimer_store_size_bytes", g.storeBytes));
  Metric(out, "tollimer_uptime_seconds", "gauge", "Seconds since the service started.",
         Format("tollimer_uptime_seconds %.3f\n", g.uptimeSeconds));
  return out;
}
