// /metrics read back as a scraper reads it: every sample belongs to a metric
// announced by "# HELP" and "# TYPE", counters end in _total and only grow.
#include "central/status/metrics.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "central/service_client.h"

namespace {

struct Scraped {
  std::map<std::string, std::string> types;  // metric name -> type
  std::map<std::string, double> samples;     // name with labels -> value
  std::vector<std::string> faults;
};

Scraped Parse(const std::string& body) {
  Scraped s;
  std::set<std::string> helped;
  std::istringstream in(body);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first, second, name;
    words >> first;
    if (first == "#") {
      words >> second >> name;
      if (second == "HELP") helped.insert(name);
      if (second == "TYPE") {
        std::string type;
        words >> type;
        if (!helped.count(name)) s.faults.push_back("TYPE before HELP: " + name);
        s.types[name] = type;
      }
      continue;
    }
    double value = 0;
    if (!(words >> value)) s.faults.push_back("no value: " + line);
    const std::string metric = first.substr(0, first.find('{'));
    if (!s.types.count(metric)) s.faults.push_back("sample without HELP and TYPE: " + line);
    if (s.types[metric] == "counter" && metric.size() < 6) s.faults.push_back("short counter: " + metric);
    if (s.types[metric] == "counter" && metric.compare(metric.size() - 6, 6, "_total") != 0) {
      s.faults.push_back("counter without _total: " + metric);
    }
    s.samples[first] = value;
  }
  return s;
}

std::string Fetch(RunningCentral& central) {
  const RawReply reply = HttpGet(central.service->StatusPort(), "/metrics");
  EXPECT_EQ(reply.status, 200);
  return reply.body;
}

TEST(Metrics, EveryMetricIsAnnouncedAndCountersOnlyGrowWithTheExchanges) {
  RunningCentral central("central_metrics");
  const Scraped before = Parse(Fetch(central));
  EXPECT_TRUE(before.faults.empty()) << before.faults[0];
  for (const char* name : {"tollimer_exchanges_answered_total", "tollimer_download_bytes_total",
                           "tollimer_blacklist_requests_total", "tollimer_hits_total",
                           "tollimer_notices_received_total", "tollimer_notices_dropped_total",
                           "tollimer_installations", "tollimer_installations_seen_24h",
                           "tollimer_store_size_bytes", "tollimer_uptime_seconds",
                           "tollimer_blacklist_refused_total", "tollimer_notices_removed_total",
                           "tollimer_notices_refused_total{cause=\"shape\"}",
                           "tollimer_notices_refused_total{cause=\"store\"}",
                           "tollimer_connections_refused_total{cause=\"address_share\"}",
                           "tollimer_connections_refused_total{cause=\"all_full\"}",
                           "tollimer_connections_refused_total{cause=\"request_timeout\"}",
                           "tollimer_connections_refused_total{cause=\"request_refused\"}",
                           "tollimer_worker_starts_failed_total"}) {
    EXPECT_TRUE(before.samples.count(name)) << name;
  }
  EXPECT_GT(before.samples.at("tollimer_store_size_bytes"), 0);

  HttpPost(central.HttpPort(), "/tollimer/update/?t=1",
           SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-9", "0BADF00D", "3301", "bar")));
  HttpPost(central.HttpPort(), "/tollimer/update/?t=1", "not sealed");
  HttpGet(central.HttpPort(), "/tollimer/data/blklist.txt");
  RawHttp(central.HttpPort(), "GET / HTTP/1.1\r\nX: " + std::string(100000, 'h'));  // a head over the limit

  const Scraped after = Parse(Fetch(central));
  EXPECT_TRUE(after.faults.empty()) << after.faults[0];
  EXPECT_EQ(after.samples.at("tollimer_exchanges_answered_total"), 1);
  EXPECT_EQ(after.samples.at("tollimer_exchanges_refused_total{cause=\"unreadable\"}"), 1);
  EXPECT_EQ(after.samples.at("tollimer_blacklist_requests_total"), 1);
  EXPECT_EQ(after.samples.at("tollimer_installations"), 1);
  EXPECT_EQ(after.samples.at("tollimer_installations_seen_24h"), 1);
  EXPECT_EQ(after.samples.at("tollimer_connections_refused_total{cause=\"request_refused\"}"), 1);
  for (const auto& [sample, value] : before.samples) {
    const std::string metric = sample.substr(0, sample.find('{'));
    if (before.types.at(metric) == "counter") {
      EXPECT_GE(after.samples.at(sample), value) << sample;
    }
  }
}

}  // namespace
