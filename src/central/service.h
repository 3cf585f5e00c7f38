// The HTTP side of tollimer-central: the exchanges the assistants make (the
// parameter and release exchange, the release download, the blacklist, the
// hit report, the about page) on one listener, and the operator's read-only
// status page on another (loopback by default: it shows ID numbers). Both
// listeners take connections through a GatedListener, so slow and idle
// clients cannot take the service away from the cafes.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "central/config/central_config.h"
#include "central/http/gated_listener.h"
#include "central/status/metrics.h"
#include "central/http/rate_limit.h"
#include "central/store/retention.h"
#include "central/store/store.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib
class RequestServer;
class WebhookSender;

class CentralService {
 public:
  CentralService(const CentralConfig& config, CentralStore& store);
  ~CentralService();
  CentralService(const CentralService&) = delete;
  CentralService& operator=(const CentralService&) = delete;

  // Binds the listeners (port 0: any free port) and starts serving. False,
  // with `error` filled, when an address cannot be bound.
  [[nodiscard]] bool Start(std::string& error);
  void Stop();

  // The collector whose counts /metrics shows (none: shown as 0).
  void SetCollector(const class NoticeCollector* collector) { collector_ = collector; }

  int HttpPort() const { return httpPort_; }
  int StatusPort() const { return statusPort_; }

  // What each listener did with its connections (zero when not started).
  ListenerCounts HttpCounts() const;
  ListenerCounts StatusCounts() const;
  // Connections the assistants' listener holds now, in all and from one address.
  std::size_t OpenConnections() const;
  std::size_t OpenConnectionsFrom(const std::string& address) const;

 private:
  void Handle(const httplib::Request& req, httplib::Response& res);
  void Exchange(const httplib::Request& req, httplib::Response& res, const std::string& rawQuery);
  void Download(const httplib::Request& req, httplib::Response& res, const std::string& crc);
  void Signature(httplib::Response& res, const std::string& crc);
  void Blacklist(httplib::Response& res);
  void Report(const httplib::Request& req, httplib::Response& res, const std::string& rawQuery);
  void About(httplib::Response& res);
  void StatusPage(const httplib::Request& req, httplib::Response& res);
  void Metrics(httplib::Response& res);

  CentralConfig config_;
  CentralStore& store_;
  // The status page's own connection to the store (WAL: it reads beside the
  // exchanges' writes); the shared one when it could not be opened.
  std::unique_ptr<CentralStore> statusStore_;
  std::unique_ptr<RequestServer> http_;
  std::unique_ptr<RequestServer> status_;
  std::unique_ptr<GatedListener> httpListener_;
  std::unique_ptr<GatedListener> statusListener_;
  int httpPort_ = 0;
  int statusPort_ = 0;
  RateLimiter hitLimiter_;
  ServiceCounters counters_;
  const class NoticeCollector* collector_ = nullptr;
  std::int64_t startedMs_ = 0;
  std::unique_ptr<WebhookSender> webhooks_;  // the chain's robots; none without targets
  EventRetention retention_;

  // The sealed blacklist, rebuilt when the store's list changes.
  std::mutex blacklistMutex_;
  std::int64_t blacklistVersion_ = -1;
  std::string sealedBlacklist_;
};
