#include "central/webhook/robot_message.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "blacklist/blacklist_panel.h"
#include "central/base/json_rows.h"
#include "util/text.h"

namespace {

// The codes the robots answer when a robot sends faster than it may. 钉钉's
// documents list 410100; its robots answer 130101 "send too fast, exceed 20
// times per minute".
constexpr int kWeComTooFast = 45009;
constexpr int kDingTalkTooFast = 410100;
constexpr int kDingTalkTooFastPerMinute = 130101;
constexpr int kFeishuTooFast = 11232;

// The first `count` - 1 words of `text` and the rest after them. Words are
// separated by runs of spaces: the store pads a masked name to its width.
std::vector<std::string> Words(const std::string& text, std::size_t count) {
  std::vector<std::string> words;
  std::size_t at = text.find_first_not_of(' ');
  while (at != std::string::npos && words.size() + 1 < count) {
    const std::size_t space = text.find(' ', at);
    if (space == std::string::npos) break;
    words.push_back(text.substr(at, space - at));
    at = text.find_first_not_of(' ', space);
  }
  words.push_back(at == std::string::npos ? "" : text.substr(at));
  words.resize(count);
  return words;
}

std::string PercentEncode(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += Format("%%%02X", c);
    }
  }
  return out;
}

// The whole number after `"name":` in a JSON answer, if there is one.
std::optional<std::int64_t> JsonNumber(const std::string& body, const std::string& name) {
  const std::string key = "\"" + name + "\"";
  std::size_t at = body.find(key);
  if (at == std::string::npos) return std::nullopt;
  at = body.find_first_not_of(" \t\r\n", at + key.size());
  if (at == std::string::npos || body[at] != ':') return std::nullopt;
  at = body.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string::npos) return std::nullopt;
  std::size_t end = at + (body[at] == '-' ? 1 : 0);
  while (end < body.size() && end - at < 12 && body[end] >= '0' && body[end] <= '9') ++end;
  const auto n = ParseDecimal(body.substr(body[at] == '-' ? at + 1 : at, end - at - (body[at] == '-' ? 1 : 0)));
  if (!n) return std::nullopt;
  return body[at] == '-' ? -std::int64_t{*n} : std::int64_t{*n};
}

std::string TextMessageBody(const char* typeName, const char* typeValue, const char* contentName,
                            const char* textName, const std::string& text) {
  return Format("{\"%s\":\"%s\",\"%s\":{\"%s\":", typeName, typeValue, contentName, textName) + JsonString(text) + "}}";
}

}  // namespace

std::string HitLine(const HitLineInput& hit) {
  // The blacklist's line: ID, masked name, listing date, reason.
  const std::vector<std::string> entry = Words(hit.blacklistLine, 4);
  std::string line = hit.localTime + " 证件号 " + MaskedLineText(hit.idNumber);
  if (!hit.blacklistLine.empty()) {
    line += " 姓名 " + entry[1] + " 列入 " + entry[2] + " 原因 " + entry[3];
  } else {
    line += "（已不在名单中）";
  }
  return line + " 收银机 " + hit.address;
}

std::string HitMessage(const std::string& barId, const std::string& barName, const std::vector<std::string>& lines) {
  std::string text = "【黑名单命中】网吧 " + barId + " " + barName;
  if (lines.size() > 1) text += Format("（%zu 人次）", lines.size());
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

std::string HmacSha256Base64(const std::string& key, const std::string& message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
       message.size(), digest, &length);
  unsigned char encoded[2 * EVP_MAX_MD_SIZE];
  const int written = EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
  return std::string(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(written));
}

RobotRequest BuildRobotRequest(const WebhookTarget& target, const std::string& pathAndQuery, const std::string& text,
                               std::int64_t nowMs) {
  RobotRequest r{pathAndQuery, ""};
  switch (target.kind) {
    case RobotKind::WeCom:
      r.body = TextMessageBody("msgtype", "text", "text", "content", text);
      break;
    case RobotKind::DingTalk:
      r.body = TextMessageBody("msgtype", "text", "text", "content", text);
      if (!target.secret.empty()) {
        // Milliseconds; the signature's key is the secret, its message the
        // timestamp and the secret on two lines.
        const std::string timestamp = std::to_string(nowMs);
        const std::string sign = HmacSha256Base64(target.secret, timestamp + "\n" + target.secret);
        r.pathAndQuery += (pathAndQuery.find('?') == std::string::npos ? "?" : "&");
        r.pathAndQuery += "timestamp=" + timestamp + "&sign=" + PercentEncode(sign);
      }
      break;
    case RobotKind::Feishu: {
      std::string body = TextMessageBody("msg_type", "text", "content", "text", text);
      if (!target.secret.empty()) {
        // Seconds; the key is the timestamp and the secret on two lines, the
        // message empty.
        const std::string timestamp = std::to_string(nowMs / 1000);
        const std::string sign = HmacSha256Base64(timestamp + "\n" + target.secret, "");
        body = "{\"timestamp\":\"" + timestamp + "\",\"sign\":" + JsonString(sign) + "," + body.substr(1);
      }
      r.body = body;
      break;
    }
    case RobotKind::Json:
      r.body = "{\"event\":\"blacklist_hit\",\"text\":" + JsonString(text) + "}";
      break;
  }
  return r;
}

RobotAnswer ReadRobotAnswer(RobotKind kind, int status, const std::string& body) {
  RobotAnswer a;
  if (status == 0) {
    a.error = "no answer";
    return a;
  }
  if (status == 429) {
    a.rateLimited = true;
    a.error = "HTTP 429";
    return a;
  }
  if (status < 200 || status > 299) {
    a.error = Format("HTTP %d", status);
    return a;
  }
  if (kind == RobotKind::Json) {
    a.delivered = true;
    return a;
  }
  // 企业微信 and 钉钉 answer errcode/errmsg, 飞书 code/msg (older ones StatusCode).
  const bool feishu = kind == RobotKind::Feishu;
  std::optional<std::int64_t> code = JsonNumber(body, feishu ? "code" : "errcode");
  if (!code && feishu) code = JsonNumber(body, "StatusCode");
  if (!code) {
    a.error = "unreadable answer: " + body.substr(0, 200);
    return a;
  }
  if (*code == 0) {
    a.delivered = true;
    return a;
  }
  switch (kind) {
    case RobotKind::WeCom: a.rateLimited = *code == kWeComTooFast; break;
    case RobotKind::DingTalk: a.rateLimited = *code == kDingTalkTooFast || *code == kDingTalkTooFastPerMinute; break;
    default: a.rateLimited = *code == kFeishuTooFast; break;
  }
  a.error = "robot answered " + body.substr(0, 200);
  return a;
}
