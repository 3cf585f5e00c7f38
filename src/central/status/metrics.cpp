#include "central/status/metrics.h"

#include "util/text.h"

namespace {

void Metric(std::string& out, const char* name, const char* type, const char* help, const std::string& samples) {
  out += Format("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
  out += samples;
}

std::string Sample(const char* name, std::int64_t value, const char* labels = "") {
  return Format("%s%s %lld\n", name, labels, static_cast<long long>(value));
}

// A metric of one unlabelled sample, named as the metric.
void Single(std::string& out, const char* name, const char* type, const char* help, std::int64_t value) {
  Metric(out, name, type, help, Sample(name, value));
}

}  // namespace

std::string RenderMetrics(const ServiceCounters& c, const MetricsGauges& g) {
  std::string out;
  Single(out, "tollimer_exchanges_answered_total", "counter", "Parameter and release exchanges answered.",
         c.exchangesAnswered);
  Metric(out, "tollimer_exchanges_refused_total", "counter", "Parameter and release exchanges refused, by cause.",
         Sample("tollimer_exchanges_refused_total", c.exchangesRefusedUnreadable, "{cause=\"unreadable\"}") +
             Sample("tollimer_exchanges_refused_total", c.exchangesRefusedStore, "{cause=\"store\"}"));
  Single(out, "tollimer_downloads_total", "counter", "Release downloads served.", c.downloads);
  Single(out, "tollimer_download_bytes_total", "counter", "Bytes of releases sent.", c.downloadBytes);
  Single(out, "tollimer_blacklist_requests_total", "counter", "Blacklist downloads answered.", c.blacklistRequests);
  Single(out, "tollimer_blacklist_refused_total", "counter", "Blacklist requests answered 503: the store could not read the list.",
         c.blacklistRefusedStore);
  Single(out, "tollimer_hits_total", "counter", "Blacklist hits recorded.", c.hits);
  Single(out, "tollimer_notices_received_total", "counter", "Notice datagrams recorded.", g.noticesReceived);
  Single(out, "tollimer_notices_dropped_total", "counter", "Notice datagrams dropped as a flood.", g.noticesDropped);
  Metric(out, "tollimer_notices_refused_total", "counter", "Notice datagrams not recorded, by cause.",
         Sample("tollimer_notices_refused_total", g.noticesRefused, "{cause=\"shape\"}") +
             Sample("tollimer_notices_refused_total", g.noticesNotStored, "{cause=\"store\"}"));
  Single(out, "tollimer_notices_removed_total", "counter", "Oldest notices removed to keep the table at its ceiling.",
         g.noticesRemoved);
  Metric(out, "tollimer_connections_refused_total", "counter", "Connections of the assistants' listener refused, by cause.",
         Sample("tollimer_connections_refused_total", g.connectionsRefusedAddress, "{cause=\"address_share\"}") +
             Sample("tollimer_connections_refused_total", g.connectionsRefusedAll, "{cause=\"all_full\"}") +
             Sample("tollimer_connections_refused_total", g.requestsTimedOut, "{cause=\"request_timeout\"}") +
             Sample("tollimer_connections_refused_total", g.requestsRefused, "{cause=\"request_refused\"}"));
  Single(out, "tollimer_worker_starts_failed_total", "counter", "Worker threads the system refused to start.",
         g.workerStartsFailed);
  Single(out, "tollimer_installations", "gauge", "Installations known.", g.installationsKnown);
  Single(out, "tollimer_installations_seen_24h", "gauge", "Installations seen in the last 24 hours.",
         g.installationsSeen24h);
  Single(out, "tollimer_store_size_bytes", "gauge", "Size of central.db and its write-ahead log.", g.storeBytes);
  Metric(out, "tollimer_uptime_seconds", "gauge", "Seconds since the service started.",
         Format("tollimer_uptime_seconds %.3f\n", g.uptimeSeconds));
  return out;
}
