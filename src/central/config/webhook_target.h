// The chain's group-chat robots that hear of blacklist hits, as the
// configuration names them: lines "webhook.NAME.FIELD = value", one target
// per NAME. The robot's address and secret are credentials: what the
// operator's `config` prints hides them.
#pragma once
#include <optional>
#include <string>
#include <vector>

enum class RobotKind { WeCom, DingTalk, Feishu, Json };

struct WebhookTarget {
  std::string name;
  RobotKind kind = RobotKind::Json;
  std::string url;     // http:// or https://
  std::string secret;  // signing secret (DingTalk, Feishu); empty: unsigned
  std::vector<std::string> bars;  // bar ids; empty: every bar
  bool hits = true;               // each hit as it comes
  int digestMinute = -1;          // a daily digest at this local minute of the day; -1: none
  int perMinute = 20;             // messages a minute the robot takes
};

// The parts of a robot's address.
struct RobotAddress {
  std::string schemeHostPort;  // "https://qyapi.weixin.qq.com:443"
  std::string pathAndQuery;    // "/cgi-bin/webhook/send?key=..."
  bool https = false;
};
std::optional<RobotAddress> ParseRobotUrl(const std::string& url);

// Applies one "webhook.NAME.FIELD = value" line to `targets` (adding the
// target on its first line). False when the name, field or value is wrong.
bool ApplyWebhookSetting(std::vector<WebhookTarget>& targets, const std::string& key, const std::string& value);

// What a whole target still lacks (an address, a kind that signs for a
// secret, a digest time for the digest), one message each.
std::vector<std::string> CheckWebhookTargets(const std::vector<WebhookTarget>& targets);

// The targets as configuration lines, the secret and the address's path and
// query hidden.
std::string DescribeWebhookTargets(const std::vector<WebhookTarget>& targets);

const char* RobotKindName(RobotKind kind);

// Whether `target` takes the hits of `barId`.
bool TakesBar(const WebhookTarget& target, const std::string& barId);
