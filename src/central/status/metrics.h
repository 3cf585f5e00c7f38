// What the chain's monitoring (Prometheus, Zabbix) scrapes from the status
// listener at /metrics: the service's counters since start and a few gauges
// read from the store, in the Prometheus text exposition format.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// Counters the service's handlers bump; they only grow while the process runs.
struct ServiceCounters {
  std::atomic<std::int64_t> exchangesAnswered{0};
  std::atomic<std::int64_t> exchangesRefusedUnreadable{0};  // does not open with the key row
  std::atomic<std::int64_t> exchangesRefusedStore{0};       // the store refused the write
  std::atomic<std::int64_t> downloads{0};
  std::atomic<std::int64_t> downloadBytes{0};
  std::atomic<std::int64_t> blacklistRequests{0};
  std::atomic<std::int64_t> blacklistRefusedStore{0};  // the store could not read the list
  std::atomic<std::int64_t> hits{0};
};

// Values of the moment: the store's and the collector's.
struct MetricsGauges {
  std::int64_t noticesReceived = 0;
  std::int64_t noticesDropped = 0;
  std::int64_t noticesRefused = 0;      // not the notice's shape
  std::int64_t noticesNotStored = 0;    // the store refused the write
  std::int64_t noticesRemoved = 0;      // the oldest, removed for room
  // The assistants' listener: connections refused and requests given up, by cause.
  std::int64_t connectionsRefusedAddress = 0;  // the address held its share (503)
  std::int64_t connectionsRefusedAll = 0;      // the listener was full (503)
  std::int64_t requestsTimedOut = 0;           // not whole in time (408)
  std::int64_t requestsRefused = 0;            // over the limits or unreadable (400, 413, 431)
  std::int64_t workerStartsFailed = 0;
  std::int64_t installationsKnown = 0;
  std::int64_t installationsSeen24h = 0;
  std::int64_t storeBytes = 0;
  double uptimeSeconds = 0;
};

// The body of GET /metrics: every metric with its "# HELP" and "# TYPE" line.
std::string RenderMetrics(const ServiceCounters& counters, const MetricsGauges& gauges);
