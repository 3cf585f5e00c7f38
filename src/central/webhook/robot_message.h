// What the chain's robots are sent: the Chinese text of a hit (the ID number
// masked as on the status page, the name as the blacklist holds it, masked),
// the request each kind of robot takes (its JSON body, its signature), and
// the reading of its answer. No clock and no network here: every byte is
// tested from literal values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "central/config/webhook_target.h"

// One hit, as its line of a message.
struct HitLineInput {
  std::string idNumber;        // as reported; masked in the line
  std::string blacklistLine;   // UTF-8 "ID #name date reason"; empty: not on the list any more
  std::string address;         // the cashier PC's
  std::string localTime;       // "YYYY-MM-DD HH:MM:SS" in the chain's zone
};
std::string HitLine(const HitLineInput& hit);

// The message of one bar's hits: a heading, then one line per hit.
std::string HitMessage(const std::string& barId, const std::string& barName, const std::vector<std::string>& lines);

// The most bytes a message's text may hold (企业微信 takes 2048 for a text).
inline constexpr std::size_t kMaxMessageBytes = 2000;

struct RobotRequest {
  std::string pathAndQuery;  // the address's, with the signature's query for DingTalk
  std::string body;          // JSON, UTF-8
};

// The request carrying `text` to `target`, signed at `nowMs` (Unix
// milliseconds) when the target has a secret.
RobotRequest BuildRobotRequest(const WebhookTarget& target, const std::string& pathAndQuery, const std::string& text,
                               std::int64_t nowMs);

// Base64 of HMAC-SHA256(key, message).
std::string HmacSha256Base64(const std::string& key, const std::string& message);

// How the robot took a message.
struct RobotAnswer {
  bool delivered = false;
  bool rateLimited = false;  // the robot's own "too many" answer
  std::string error;         // empty when delivered
};
// `status` 0: no answer at all.
RobotAnswer ReadRobotAnswer(RobotKind kind, int status, const std::string& body);
