// Delivers the outbox's messages to the chain's robots: one thread per
// target, in the order the hits came, one bar's hits of a few seconds as one
// message, never faster than the robot takes them. A failed try waits longer
// each time (the robot's own rate-limit answer longer still) and a message
// that keeps failing for a day is given up. Everything it knows is in the
// store, so a restarted service goes on where the last one stopped; the
// service's retention removes old messages with the hits they tell of.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "central/base/time_zone.h"
#include "central/config/central_config.h"
#include "central/status/status_view.h"
#include "central/store/store.h"
#include "central/webhook/robot_message.h"

// A robot's answer to one request: HTTP status (0: none) and body.
struct RobotReply {
  int status = 0;
  std::string body;
  std::string error;  // why there was no answer
};

// Posts `body` to the robot (http or https), bounded in time.
RobotReply PostToRobot(const RobotAddress& address, const std::string& pathAndQuery, const std::string& body);

// The outbox entries of one hit for every target that takes its bar.
std::vector<OutboxEntry> HitOutboxEntries(const std::vector<WebhookTarget>& targets, const std::string& barId,
                                          const std::string& barName, const std::string& line);

// The outbox entries of a hit the service records now (Unix seconds): its
// line with the blacklist's entry for the ID number, the cashier PC's
// address and the chain's local time.
std::vector<OutboxEntry> HitOutbox(const CentralConfig& config, CentralStore& store, const HitReport& hit,
                                   const std::string& address, std::int64_t now);

// Whether a target's daily digest is due at `now` (Unix seconds): the local
// time has reached `digestMinute` (minutes after local midnight) and the
// last digest (`lastDigestDay`, local days since 1970; -1: none) is not
// today's. A service started after that minute sends the day's digest at once.
bool DigestDue(const TimeZone& zone, int digestMinute, std::int64_t now, std::int64_t lastDigestDay);

// The daily digest's text: the hits of the local day of `now` among `hits`
// (any days, any order), counted per bar, and the installations gone silent:
// `silentCount` of them, the most recently seen of them in `silent`.
// Never more than a robot takes: the bars with fewest hits and the silent
// installations past the first kDigestSilentListed are summed up in a line instead.
inline constexpr int kDigestSilentListed = 10;
std::string DigestText(const std::vector<StatusHit>& hits, const std::vector<SilentInstall>& silent,
                       std::size_t silentCount, std::int64_t now, const TimeZone& zone);

class WebhookSender {
 public:
  WebhookSender(const CentralConfig& config, CentralStore& store);
  ~WebhookSender();
  WebhookSender(const WebhookSender&) = delete;
  WebhookSender& operator=(const WebhookSender&) = delete;

  void Start();
  void Stop();
  // A message was queued: look at once instead of at the next round.
  void Wake();

 private:
  void Run(const WebhookTarget& target);
  // One message of the target's waiting ones when one is due; the
  // milliseconds until the next look.
  std::int64_t SendDue(const WebhookTarget& target, std::int64_t& nextSendMs);
  void QueueDigest(const WebhookTarget& target, std::int64_t& lastDigestDay);

  CentralConfig config_;
  CentralStore& store_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t wakes_ = 0;
  bool stop_ = false;
};
