#include "central/service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "central/base/central_log.h"
#include "central/base/clock.h"
#include "central/http/connection_limits.h"
#include "central/base/log_text.h"
#include "central/exchange/collector.h"
#include "central/exchange/exchange.h"
#include "central/release/release_file.h"
#include "central/status/status_page.h"
#include "central/status/status_view.h"
#include "central/base/time_zone.h"
#include "central/http/request_server.h"
#include "central/webhook/webhook_sender.h"
#include "central/status/webhook_status.h"
#include "crypto/codepage.h"
#include "util/text.h"

namespace {

constexpr int kSeal = 1;
constexpr int kHitsPerSecond = 5;  // per sender; a cashier PC reports a hit now and then
constexpr int kHitBurst = 20;
constexpr int kWriteMs = 15000;  // a reply's write may take this long, and a second more per 2 KiB it holds
constexpr std::size_t kHttpWorkers = 16;
constexpr std::size_t kStatusWorkers = 2;
constexpr std::size_t kMaxStatusWorkers = 4;

// Shown when the operator has put no about.html in the data folder. (This
// file is compiled with UTF-8 literals: cpp-httplib's headers need it.)
constexpr const char* kDefaultAbout =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>网吧Tollimer</title></head><body>"
    "<h1>网吧Tollimer</h1><p>网吧收银助手。</p></body></html>";

void Refuse(httplib::Response& res, int status, const char* text) {
  res.status = status;
  res.set_content(text, "text/plain");
}

// "t" of the exchange's query: 1 at start-up, 2 periodic; 0 when absent.
int KindOf(const std::string& rawQuery) {
  const std::size_t at = rawQuery.find("t=");
  if (at != 0 && (at == std::string::npos || rawQuery[at - 1] != '&')) return 0;
  std::string value = rawQuery.substr(at + 2);
  value = value.substr(0, value.find('&'));
  return ParseDecimal(value).value_or(0);
}

// A release file, read on demand, closed when the reply is done with it.
struct OpenFile {
  int fd = -1;
  ~OpenFile() {
    if (fd >= 0) close(fd);
  }
};

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A small file of the release folder, never through a link (like the
// release itself); empty when missing.
std::string ReadReleaseText(const std::string& path) {
  OpenFile file;
  file.fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  char buffer[1024];
  const ssize_t got = file.fd < 0 ? -1 : read(file.fd, buffer, sizeof buffer);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

// The listeners' limits from the configuration. `workers` start at once;
// the listener adds more while whole requests wait (a download holds its
// worker while the cafe reads it).
ListenerLimits LimitsOf(const CentralConfig& config, std::size_t workers, std::size_t maxWorkers) {
  ListenerLimits limits;
  limits.perAddress = config.connectionsPerAddress;
  limits.total = config.maxConnections;
  limits.requestMs = config.requestSeconds * 1000;
  limits.writeMs = kWriteMs;
  limits.request.maxBodyBytes = config.maxBodyBytes;
  limits.workers = std::min(workers, maxWorkers);
  limits.maxWorkers = maxWorkers;
  limits.trustedProxies = config.trustedProxies;
  return limits;
}

}  // namespace

CentralService::CentralService(const CentralConfig& config, CentralStore& store)
    : config_(config), store_(store), hitLimiter_(kHitsPerSecond, kHitBurst), retention_(store, config.retentionDays) {}

CentralService::~CentralService() { Stop(); }

bool CentralService::Start(std::string& error) {
  startedMs_ = SteadyMs();
  store_.WaitForWritersUnlocked();
  http_ = std::make_unique<RequestServer>();
  http_->set_payload_max_length(config_.maxBodyBytes);
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
  http_->Get(".*", handler);
  http_->Post(".*", handler);
  http_->Put(".*", handler);
  http_->Delete(".*", handler);
  http_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Refuse(res, 500, "error\n");
  });
  const ListenerLimits httpLimits = LimitsOf(config_, kHttpWorkers, config_.maxWorkers);
  httpListener_ = std::make_unique<GatedListener>(
      httpLimits, [this, httpLimits](ReceivedRequest& r) { http_->Serve(r, httpLimits); });
  if (!httpListener_->Bind(config_.httpAddress, config_.httpPort, error)) {
    httpListener_.reset();
    return false;
  }
  httpPort_ = httpListener_->Port();
  if (config_.statusPort >= 0) {
    std::string storeError;
    statusStore_ = CentralStore::Open(store_.Path(), storeError);
    if (!statusStore_) CentralLog("the status page reads through the exchanges' connection: " + storeError);
    status_ = std::make_unique<RequestServer>();
    status_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { StatusPage(req, res); });
    const ListenerLimits statusLimits = LimitsOf(config_, kStatusWorkers, kMaxStatusWorkers);
    statusListener_ = std::make_unique<GatedListener>(
        statusLimits, [this, statusLimits](ReceivedRequest& r) { status_->Serve(r, statusLimits); });
    if (!statusListener_->Bind(config_.statusAddress, config_.statusPort, error)) {
      httpListener_.reset();
      statusListener_.reset();
      return false;
    }
    statusPort_ = statusListener_->Port();
  }
  // Every connection is a descriptor, and a download a second one.
  const std::size_t needed = 2 * config_.maxConnections + (statusListener_ ? config_.maxConnections : 0) + 64;
  const std::size_t room = EnsureDescriptorRoom(needed);
  if (room < needed) {
    CentralLog(Format("the descriptor limit is %zu, below the %zu the connection limits need: "
                      "raise it (LimitNOFILE) or lower max_connections",
                      room, needed));
  }
  httpListener_->Start();
  if (statusListener_) statusListener_->Start();
  if (!config_.webhooks.empty()) {
    webhooks_ = std::make_unique<WebhookSender>(config_, store_);
    webhooks_->Start();
  }
  retention_.Start();
  return true;
}

void CentralService::Stop() {
  if (httpListener_) httpListener_->Stop();
  if (statusListener_) statusListener_->Stop();
  if (webhooks_) webhooks_->Stop();
  retention_.Stop();
}

ListenerCounts CentralService::HttpCounts() const {
  return httpListener_ ? httpListener_->Counts() : ListenerCounts();
}

ListenerCounts CentralService::StatusCounts() const {
  return statusListener_ ? statusListener_->Counts() : ListenerCounts();
}

std::size_t CentralService::OpenConnections() const {
  return httpListener_ ? httpListener_->OpenConnections() : 0;
}

std::size_t CentralService::OpenConnectionsFrom(const std::string& address) const {
  return httpListener_ ? httpListener_->OpenConnectionsFrom(address) : 0;
}

void CentralService::Handle(const httplib::Request& req, httplib::Response& res) {
  const RouteResult route = RouteRequest(req.target, config_);
  const bool get = req.method == "GET" || req.method == "HEAD";
  switch (route.endpoint) {
    case Endpoint::Exchange:
      if (req.method != "POST") return Refuse(res, 405, "POST only\n");
      return Exchange(req, res, route.rawQuery);
    case Endpoint::Download:
      if (!get) return Refuse(res, 405, "GET only\n");
      return Download(req, res, route.releaseCrc);
    case Endpoint::Signature:
      if (!get) return Refuse(res, 405, "GET only\n");
      return Signature(res, route.releaseCrc);
    case Endpoint::Blacklist:
      if (!get) return Refuse(res, 405, "GET only\n");
      return Blacklist(res);
    case Endpoint::Report:
      if (!get) return Refuse(res, 405, "GET only\n");
      return Report(req, res, route.rawQuery);
    case Endpoint::About:
      if (!get) return Refuse(res, 405, "GET only\n");
      return About(res);
    case Endpoint::NotFound:
      break;
  }
  Refuse(res, 404, "not found\n");
}

void CentralService::Exchange(const httplib::Request& req, httplib::Response& res,
                              const std::string& rawQuery) {
  const std::optional<InstallReport> report = OpenInstallReport(req.body, config_);
  if (!report) {
    ++counters_.exchangesRefusedUnreadable;
    CentralLog("exchange refused from " + req.remote_addr + ": does not open");
    // No markers: the assistant counts this as no reply and keeps its state.
    return Refuse(res, 400, "refused\n");
  }
  if (!store_.RecordInstall(*report, req.remote_addr, KindOf(rawQuery), NowSeconds())) {
    ++counters_.exchangesRefusedStore;
    CentralLog("exchange from " + req.remote_addr + ": the store refused the installation");
    return Refuse(res, 503, "store busy\n");
  }
  res.set_content(BuildExchangeReply(store_.ParamsFor(report->barId), store_.ReleaseIdentities(), config_),
                  "text/plain");
  ++counters_.exchangesAnswered;
}

void CentralService::Download(const httplib::Request& req, httplib::Response& res, const std::string& crc) {
  const std::optional<ReleaseRow> release = store_.ReleaseFor(crc);
  if (!release) return Refuse(res, 404, "no release\n");
  // The name comes from the store (eight hex digits), never from the request.
  const std::string path = ReleaseFilePath(config_, release->info.crc);
  auto file = std::make_shared<OpenFile>();
  file->fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (file->fd < 0 || fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    CentralLog("release file missing: " + path);
    return Refuse(res, 404, "no release\n");
  }
  CentralLog("download " + release->info.crc + " for " + crc + " to " + req.remote_addr);
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  // A continuation from the end or beyond has nothing to send; answered
  // plainly instead of with a reply the downloader would append.
  // A range that ends past the release is refused the same way: the library
  // would answer it with a part it cannot fill.
  if (req.ranges.size() == 1 &&
      ((req.ranges[0].first >= 0 && static_cast<std::size_t>(req.ranges[0].first) >= size) ||
       (req.ranges[0].second >= 0 && static_cast<std::size_t>(req.ranges[0].second) >= size))) {
    res.status = 416;
    res.set_header("Content-Range", Format("bytes */%zu", size));
    return;
  }
  ++counters_.downloads;
  res.set_content_provider(
      size, "application/octet-stream",
      [file, this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        char buffer[64 * 1024];
        const std::size_t want = std::min(length, sizeof buffer);
        const ssize_t got = pread(file->fd, buffer, want, static_cast<off_t>(offset));
        if (got <= 0) return false;
        counters_.downloadBytes += got;
        return sink.write(buffer, static_cast<std::size_t>(got));
      });
}

void CentralService::Signature(httplib::Response& res, const std::string& crc) {
  // The signature of the release the same checksum downloads; a release
  // added without a key has none.
  const std::optional<ReleaseRow> release = store_.ReleaseFor(crc);
  const std::string text = release ? ReadReleaseText(SignatureFilePath(config_, release->info.crc)) : "";
  if (text.empty()) return Refuse(res, 404, "no signature\n");
  res.set_content(text, "text/plain");
}

void CentralService::Blacklist(httplib::Response& res) {
  // A list that could not be read is no list: an empty answer would make
  // every assistant drop its own.
  auto unread = [&] {
    ++counters_.blacklistRefusedStore;
    CentralLog("blacklist request: the store could not read the list");
    Refuse(res, 503, "store busy\n");
  };
  const std::int64_t version = store_.BlacklistVersion();
  if (version < 0) return unread();
  std::string body;
  {
    std::lock_guard<std::mutex> lock(blacklistMutex_);
    if (version != blacklistVersion_) {
      const std::optional<std::vector<BlacklistRow>> rows = store_.ReadBlacklist();
      if (!rows) return unread();
      std::string sealedLines;
      for (const BlacklistRow& row : *rows) {
        std::string sealed;
        // The assistant opens each line without a code-page step: GBK bytes.
        Des_CryptWithKey(Utf8_ToAnsi(row.line), kSeal, config_.blacklistKey, 0, true, sealed);
        sealedLines += sealed + "\r\n";
      }
      sealedBlacklist_ = std::move(sealedLines);
      blacklistVersion_ = version;
    }
    body = sealedBlacklist_;
  }
  res.set_content(body, "text/plain");
  ++counters_.blacklistRequests;
}

void CentralService::Report(const httplib::Request& req, httplib::Response& res, const std::string& rawQuery) {
  const std::optional<HitReport> hit = ParseHitReport(rawQuery);
  if (!hit) return Refuse(res, 400, "refused\n");
  if (!hitLimiter_.Allow(ClientSlot(req.remote_addr), SteadyMs())) return Refuse(res, 429, "too many\n");
  const std::int64_t now = NowSeconds();
  const std::vector<OutboxEntry> outbox = HitOutbox(config_, store_, *hit, req.remote_addr, now);
  if (!store_.RecordHit(*hit, req.remote_addr, now, outbox, NowMs())) return Refuse(res, 503, "store busy\n");
  if (webhooks_ && !outbox.empty()) webhooks_->Wake();
  ++counters_.hits;
  CentralLog(CutUtf8("hit " + MaskIdNumbers(hit->idNumber) + " at bar " + hit->barId + " " + hit->barName, 160) +
             " from " + req.remote_addr);
  res.set_content("OK\n", "text/plain");
}

void CentralService::About(httplib::Response& res) {
  const std::string page = ReadWholeFile(config_.dataDir + "/about.html");
  if (!page.empty()) return res.set_content(page, "text/html");
  res.set_content(kDefaultAbout, "text/html; charset=utf-8");
}

void CentralService::StatusPage(const httplib::Request& req, httplib::Response& res) {
  if (req.path == "/metrics") return Metrics(res);
  if (req.path != "/") return Refuse(res, 404, "not found\n");
  // Read per page (a few kilobytes, once a minute per viewer): a zone file
  // the system's tzdata updates is taken without a restart.
  std::string error;
  std::optional<TimeZone> zone = LoadTimeZone(config_.timeZone, error);
  if (!zone) {
    CentralLog("status page in UTC: " + error);
    zone = TimeZone::Utc();
  }
  const std::optional<StatusPageAt> at =
      ParseStatusPageAt(std::vector<std::pair<std::string, std::string>>(req.params.begin(), req.params.end()));
  if (!at) return Refuse(res, 400, "bad page\n");
  const std::int64_t now = NowSeconds();
  StatusInput input =
      ReadStatusInput(statusStore_ ? *statusStore_ : store_, now, (SteadyMs() - startedMs_) / 1000, *at);
  for (const ReleaseRow& r : input.releases) {
    if (ReleaseIsSigned(config_, r.info.crc)) input.signedReleases.insert(r.info.crc);
  }
  res.set_content(RenderStatusPage(input, now, *zone), "text/html; charset=utf-8");
}

void CentralService::Metrics(httplib::Response& res) {
  MetricsGauges g;
  if (collector_) {
    g.noticesReceived = collector_->Recorded();
    g.noticesDropped = collector_->Dropped();
    g.noticesRefused = collector_->Refused();
    g.noticesNotStored = collector_->NotStored();
    g.noticesRemoved = collector_->Removed();
  }
  const ListenerCounts http = HttpCounts();
  g.connectionsRefusedAddress = http.refusedAddressFull;
  g.connectionsRefusedAll = http.refusedAllFull;
  g.requestsTimedOut = http.timedOut;
  g.requestsRefused = http.refusedRequest;
  g.workerStartsFailed = http.workerStartsFailed;
  const CentralStore::InstallationCounts installations =
      (statusStore_ ? *statusStore_ : store_).CountInstallations(NowSeconds());
  g.installationsKnown = installations.known;
  g.installationsSeen24h = installations.seenLastDay;
  struct stat st {};
  for (const char* suffix : {"", "-wal"}) {
    if (stat((config_.dataDir + "/central.db" + suffix).c_str(), &st) == 0) g.storeBytes += st.st_size;
  }
  g.uptimeSeconds = static_cast<double>(SteadyMs() - startedMs_) / 1000.0;
  res.set_content(RenderMetrics(counters_, g) + WebhookMetrics(store_.OutboxStates(NowMs())), "text/plain; version=0.0.4; charset=utf-8");
}
