#include "central/webhook/webhook_sender.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "central/base/central_log.h"
#include "central/base/clock.h"
#include "central/status/status_view.h"
#include "central/base/time_zone.h"
#include "util/text.h"

namespace {

// A hit waits this long for the next ones of its bar before it goes.
constexpr std::int64_t kGatherMs = 800;
// Hits of one bar this close to the first of a message go with it.
constexpr std::int64_t kBurstMs = 5000;
constexpr int kMaxLinesPerMessage = 10;
constexpr std::int64_t kLongestWaitMs = 10 * 60 * 1000;
constexpr std::int64_t kGiveUpMs = 24 * 3600 * 1000;
constexpr std::int64_t kLookMs = 500;  // the longest pause between looks at the outbox

std::int64_t BackOffMs(std::int64_t baseMs, int attempts) {
  const std::int64_t factor = std::int64_t{1} << std::min(attempts, 20);
  return std::min(kLongestWaitMs, baseMs * factor);
}

}  // namespace

bool DigestDue(const TimeZone& zone, int digestMinute, std::int64_t now, std::int64_t lastDigestDay) {
  const CivilTime local = zone.LocalAt(now);
  return local.hour * 60 + local.minute >= digestMinute && lastDigestDay < zone.LocalDay(now);
}

std::string DigestText(const std::vector<StatusHit>& hits, const std::vector<SilentInstall>& silent,
                       std::size_t silentCount, std::int64_t now, const TimeZone& zone) {
  // What the closing "and N more" lines may take.
  constexpr std::size_t kMoreBytes = 64;
  constexpr std::size_t kSilentListed = kDigestSilentListed;
  const std::int64_t today = zone.LocalDay(now);
  struct Bar {
    std::string name;
    std::int64_t newest = 0;
    int hits = 0;
  };
  std::map<std::string, Bar> bars;
  int total = 0;
  for (const StatusHit& h : hits) {
    if (zone.LocalDay(h.time) != today) continue;
    ++total;
    Bar& bar = bars[h.barId];
    if (bar.hits++ == 0 || h.time > bar.newest) {
      bar.name = h.barName;  // the name of its newest hit
      bar.newest = h.time;
    }
  }
  std::vector<std::pair<std::string, Bar>> byHits(bars.begin(), bars.end());
  std::stable_sort(byHits.begin(), byHits.end(),
                   [](const auto& a, const auto& b) { return a.second.hits > b.second.hits; });
  std::vector<std::string> silentLines;
  for (std::size_t i = 0; i < silent.size() && i < kSilentListed; ++i) {
    const SilentInstall& s = silent[i];
    silentLines.push_back("\n  网吧 " + s.barId + " " + s.barName + " " + s.address + " 最后联络 " + zone.Text(s.lastSeen));
  }
  std::size_t silentBytes = kMoreBytes;
  for (const std::string& line : silentLines) silentBytes += line.size();

  std::string text = "【每日汇总】" + zone.Text(now).substr(0, 10) + Format("\n今日黑名单命中 %d 次", total);
  // The bars leave room for the silent installations' heading and at least
  // half the message for their lines.
  const std::size_t barLimit = kMaxMessageBytes - std::min(silentBytes, kMaxMessageBytes / 2);
  std::size_t barsListed = 0;
  int hitsListed = 0;
  for (const auto& [id, bar] : byHits) {
    const std::string line = Format("\n  网吧 %s %s：%d 次", id.c_str(), bar.name.c_str(), bar.hits);
    if (text.size() + line.size() + kMoreBytes > barLimit) break;
    text += line;
    ++barsListed;
    hitsListed += bar.hits;
  }
  if (barsListed < byHits.size()) {
    text += Format("\n  （另有 %zu 个网吧共 %d 次）", byHits.size() - barsListed, total - hitsListed);
  }
  silentCount = std::max(silentCount, silent.size());
  text += Format("\n失联装机 %zu 台", silentCount);
  std::size_t silentListed = 0;
  for (const std::string& line : silentLines) {
    if (text.size() + line.size() + kMoreBytes > kMaxMessageBytes) break;
    text += line;
    ++silentListed;
  }
  if (silentListed < silentCount) text += Format("\n  （另有 %zu 台）", silentCount - silentListed);
  return text;
}

RobotReply PostToRobot(const RobotAddress& address, const std::string& pathAndQuery, const std::string& body) {
  httplib::Client client(address.schemeHostPort);
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(10, 0);
  client.set_write_timeout(5, 0);
  RobotReply reply;
  const httplib::Result result = client.Post(pathAndQuery.c_str(), body, "application/json; charset=utf-8");
  if (!result) {
    reply.error = httplib::to_string(result.error());
    return reply;
  }
  reply.status = result->status;
  reply.body = result->body.substr(0, 4096);
  return reply;
}

std::vector<OutboxEntry> HitOutboxEntries(const std::vector<WebhookTarget>& targets, const std::string& barId,
                                          const std::string& barName, const std::string& line) {
  std::vector<OutboxEntry> entries;
  for (const WebhookTarget& t : targets) {
    if (t.hits && TakesBar(t, barId)) entries.push_back({t.name, barId, barName, line});
  }
  return entries;
}

std::vector<OutboxEntry> HitOutbox(const CentralConfig& config, CentralStore& store, const HitReport& hit,
                                   const std::string& address, std::int64_t now) {
  if (config.webhooks.empty()) return {};
  std::string error;
  std::optional<TimeZone> zone = LoadTimeZone(config.timeZone, error);
  if (!zone) zone = TimeZone::Utc();
  const HitLineInput input{hit.idNumber, store.BlacklistLine(UpperAscii(hit.idNumber)).value_or(""), address,
                           zone->Text(now)};
  return HitOutboxEntries(config.webhooks, hit.barId, hit.barName, HitLine(input));
}

WebhookSender::WebhookSender(const CentralConfig& config, CentralStore& store) : config_(config), store_(store) {}

WebhookSender::~WebhookSender() { Stop(); }

void WebhookSender::Start() {
  for (const WebhookTarget& target : config_.webhooks) {
    threads_.emplace_back([this, target] { Run(target); });
  }
}

void WebhookSender::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void WebhookSender::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++wakes_;
  }
  wake_.notify_all();
}

void WebhookSender::Run(const WebhookTarget& target) {
  std::int64_t nextSendMs = 0;
  std::int64_t lastDigestDay = -1;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    const std::uint64_t wakes = wakes_;
    lock.unlock();
    if (target.digestMinute >= 0) QueueDigest(target, lastDigestDay);
    const std::int64_t waitMs = SendDue(target, nextSendMs);
    lock.lock();
    if (waitMs > 0 && wakes == wakes_) {
      wake_.wait_for(lock, std::chrono::milliseconds(std::min(waitMs, kLookMs)));
    }
  }
}

std::int64_t WebhookSender::SendDue(const WebhookTarget& target, std::int64_t& nextSendMs) {
  const std::int64_t spacingMs = 60000 / target.perMinute;
  std::int64_t now = NowMs();
  if (now < nextSendMs) return nextSendMs - now;
  const std::vector<OutboxRow> rows = store_.OutboxWaiting(target.name, 200);
  if (rows.empty()) return kLookMs;
  const OutboxRow& first = rows.front();
  if (now < first.nextTryMs) return first.nextTryMs - now;
  const bool digest = first.barId.empty() && first.barName.empty();
  if (!digest && now < first.createdMs + kGatherMs) return first.createdMs + kGatherMs - now;

  // The first message and the hits of its bar that came close after it.
  std::vector<std::int64_t> seqs{first.seq};
  std::string text = first.line;
  if (!digest) {
    std::vector<std::string> lines{first.line};
    std::size_t bytes = first.line.size() + 200;
    for (std::size_t i = 1; i < rows.size() && lines.size() < kMaxLinesPerMessage; ++i) {
      const OutboxRow& r = rows[i];
      if (r.barId != first.barId || r.barName != first.barName || r.createdMs > first.createdMs + kBurstMs) continue;
      if (bytes + r.line.size() + 1 > kMaxMessageBytes) break;
      bytes += r.line.size() + 1;
      lines.push_back(r.line);
      seqs.push_back(r.seq);
    }
    text = HitMessage(first.barId, first.barName, lines);
  }
  const std::optional<RobotAddress> address = ParseRobotUrl(target.url);
  if (!address) return kLookMs;
  const RobotRequest request = BuildRobotRequest(target, address->pathAndQuery, text, now);
  const RobotReply reply = PostToRobot(*address, request.pathAndQuery, request.body);
  RobotAnswer answer = ReadRobotAnswer(target.kind, reply.status, reply.body);
  if (reply.status == 0 && !reply.error.empty()) answer.error = "no answer: " + reply.error;
  now = NowMs();
  nextSendMs = now + spacingMs;
  if (answer.delivered) {
    if (!store_.OutboxDelivered(seqs, now)) CentralLog("webhook " + target.name + ": the store refused a delivery mark");
    return 0;
  }
  // A robot that says "too fast" is left alone for a minute of its pace at
  // least; any other failure waits a pace, then twice as long each time.
  const std::int64_t waitMs = BackOffMs(answer.rateLimited ? 20 * spacingMs : spacingMs, first.attempts);
  const bool giveUp = now - first.createdMs >= kGiveUpMs;
  CentralLog(Format("webhook %s: %zu message(s) %s: %s", target.name.c_str(), seqs.size(),
                    giveUp ? "given up" : "to be tried again", answer.error.c_str()));
  if (!store_.OutboxFailed(seqs, answer.error, now + waitMs, giveUp)) {
    CentralLog("webhook " + target.name + ": the store refused a failure mark");
  }
  return giveUp ? 0 : waitMs;
}

void WebhookSender::QueueDigest(const WebhookTarget& target, std::int64_t& lastDigestDay) {
  std::string error;
  std::optional<TimeZone> zone = LoadTimeZone(config_.timeZone, error);
  if (!zone) zone = TimeZone::Utc();
  const std::int64_t now = NowMs() / 1000;
  if (!DigestDue(*zone, target.digestMinute, now, lastDigestDay)) return;
  // The store remembers the day of the last digest, so a restart sends none twice.
  if (lastDigestDay < 0) lastDigestDay = store_.LastDigestDay(target.name);
  if (!DigestDue(*zone, target.digestMinute, now, lastDigestDay)) return;
  int silentCount = 0;
  const std::vector<SilentInstall> silent = ReadSilentInstalls(store_, now, kDigestSilentListed, silentCount);
  const std::int64_t today = zone->LocalDay(now);
  // The hits of the last two days hold the local day's whatever the zone.
  const std::vector<StatusHit> hits = store_.Hits(now - 2 * 24 * 3600);
  if (!store_.QueueDigest({target.name, "", "", DigestText(hits, silent, static_cast<std::size_t>(silentCount), now, *zone)}, today, NowMs())) {
    return;
  }
  lastDigestDay = today;
}
