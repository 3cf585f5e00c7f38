#include "central/config/webhook_target.h"

#include <algorithm>

#include "util/text.h"

namespace {

constexpr const char* kPrefix = "webhook.";
constexpr std::size_t kMaxNameBytes = 32;

struct KindName {
  RobotKind kind;
  const char* name;
};
constexpr KindName kKinds[] = {
    {RobotKind::WeCom, "wecom"}, {RobotKind::DingTalk, "dingtalk"}, {RobotKind::Feishu, "feishu"}, {RobotKind::Json, "json"}};

bool IsTargetName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

// "HH:MM" as minutes after midnight.
std::optional<int> MinuteOfDay(const std::string& text) {
  if (text.size() != 5 || text[2] != ':') return std::nullopt;
  const auto hours = ParseDecimal(text.substr(0, 2));
  const auto minutes = ParseDecimal(text.substr(3, 2));
  if (!hours || !minutes || *hours < 0 || *hours > 23 || *minutes < 0 || *minutes > 59) return std::nullopt;
  return *hours * 60 + *minutes;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(begin, end - begin);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    items.push_back(item);
    begin = end + 1;
  }
  return items;
}

bool SetField(WebhookTarget& t, const std::string& field, const std::string& value) {
  if (field == "kind") {
    for (const KindName& k : kKinds) {
      if (value == k.name) {
        t.kind = k.kind;
        return true;
      }
    }
    return false;
  }
  if (field == "url") {
    if (!ParseRobotUrl(value)) return false;
    t.url = value;
    return true;
  }
  if (field == "secret") {
    if (value.empty()) return false;
    t.secret = value;
    return true;
  }
  if (field == "bars") {
    t.bars.clear();
    if (value == "all") return true;
    t.bars = SplitList(value);
    return std::none_of(t.bars.begin(), t.bars.end(), [](const std::string& b) { return b.empty(); });
  }
  if (field == "events") {
    t.hits = false;
    bool digest = false;
    for (const std::string& e : SplitList(value)) {
      if (e == "hits") {
        t.hits = true;
      } else if (e == "digest") {
        digest = true;
      } else {
        return false;
      }
    }
    // The digest's time comes from digest_time; without "digest" there is none.
    if (!digest) t.digestMinute = -1;
    if (digest && t.digestMinute < 0) t.digestMinute = -2;  // wanted, time still to come
    return true;
  }
  if (field == "digest_time") {
    const auto minute = MinuteOfDay(value);
    if (minute) t.digestMinute = *minute;
    return minute.has_value();
  }
  if (field == "per_minute") {
    const auto n = ParseDecimal(value);
    if (!n || *n < 1 || *n > 6000) return false;
    t.perMinute = *n;
    return true;
  }
  return false;
}

}  // namespace

std::optional<RobotAddress> ParseRobotUrl(const std::string& url) {
  RobotAddress a;
  std::string rest;
  if (url.compare(0, 8, "https://") == 0) {
    a.https = true;
    rest = url.substr(8);
  } else if (url.compare(0, 7, "http://") == 0) {
    rest = url.substr(7);
  } else {
    return std::nullopt;
  }
  const std::size_t slash = rest.find('/');
  std::string hostPort = rest.substr(0, slash);
  a.pathAndQuery = slash == std::string::npos ? "/" : rest.substr(slash);
  if (hostPort.empty() || hostPort.find_first_of("@ \t\r\n?#") != std::string::npos) return std::nullopt;
  if (a.pathAndQuery.find_first_of(" \t\r\n#") != std::string::npos) return std::nullopt;
  const std::size_t colon = hostPort.rfind(':');
  int port = a.https ? 443 : 80;
  if (colon != std::string::npos && hostPort.find(']', colon) == std::string::npos) {
    const auto n = ParseDecimal(hostPort.substr(colon + 1));
    if (!n || *n < 1 || *n > 65535) return std::nullopt;
    port = *n;
    hostPort.resize(colon);
  }
  if (hostPort.empty()) return std::nullopt;
  a.schemeHostPort = (a.https ? "https://" : "http://") + hostPort + ":" + std::to_string(port);
  return a;
}

bool ApplyWebhookSetting(std::vector<WebhookTarget>& targets, const std::string& key, const std::string& value) {
  const std::string prefix = kPrefix;
  if (key.compare(0, prefix.size(), prefix) != 0) return false;
  const std::size_t dot = key.find('.', prefix.size());
  if (dot == std::string::npos) return false;
  const std::string name = key.substr(prefix.size(), dot - prefix.size());
  if (!IsTargetName(name)) return false;
  auto it = std::find_if(targets.begin(), targets.end(), [&](const WebhookTarget& t) { return t.name == name; });
  WebhookTarget target;
  if (it != targets.end()) target = *it;
  target.name = name;
  if (!SetField(target, key.substr(dot + 1), value)) return false;
  if (it == targets.end()) {
    targets.push_back(target);
  } else {
    *it = target;
  }
  return true;
}

std::vector<std::string> CheckWebhookTargets(const std::vector<WebhookTarget>& targets) {
  std::vector<std::string> errors;
  for (const WebhookTarget& t : targets) {
    const std::string what = "webhook " + t.name + ": ";
    if (t.url.empty()) errors.push_back(what + "no url");
    if (!t.secret.empty() && t.kind != RobotKind::DingTalk && t.kind != RobotKind::Feishu) {
      errors.push_back(what + "only dingtalk and feishu robots sign with a secret");
    }
    if (t.digestMinute == -2) errors.push_back(what + "the digest needs digest_time (HH:MM)");
    if (!t.hits && t.digestMinute < 0) errors.push_back(what + "no events");
  }
  return errors;
}

const char* RobotKindName(RobotKind kind) {
  for (const KindName& k : kKinds) {
    if (k.kind == kind) return k.name;
  }
  return "json";
}

std::string DescribeWebhookTargets(const std::vector<WebhookTarget>& targets) {
  std::string out;
  for (const WebhookTarget& t : targets) {
    const std::string key = std::string(kPrefix) + t.name + ".";
    auto line = [&](const char* field, const std::string& value) { out += key + field + " = " + value + "\n"; };
    line("kind", RobotKindName(t.kind));
    // The address's path and query hold the robot's key: only the host shows.
    const auto address = ParseRobotUrl(t.url);
    line("url", address ? address->schemeHostPort + "/(hidden)" : "(none)");
    if (!t.secret.empty()) line("secret", "(hidden)");
    std::string bars;
    for (const std::string& b : t.bars) bars += (bars.empty() ? "" : ",") + b;
    line("bars", t.bars.empty() ? "all" : bars);
    std::string events = t.hits ? "hits" : "";
    if (t.digestMinute >= 0) events += events.empty() ? "digest" : ",digest";
    line("events", events);
    if (t.digestMinute >= 0) line("digest_time", Format("%02d:%02d", t.digestMinute / 60, t.digestMinute % 60));
    line("per_minute", std::to_string(t.perMinute));
  }
  return out;
}

bool TakesBar(const WebhookTarget& target, const std::string& barId) {
  return target.bars.empty() || std::find(target.bars.begin(), target.bars.end(), barId) != target.bars.end();
}
