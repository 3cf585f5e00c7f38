// What a hit's report and the blacklist put into a robot's message: the ID
// number, the list's line and the bar's name and number come from outside.
// Whatever they hold, each kind of robot gets one well-formed JSON body and
// the full ID number never leaves the service.
#include <algorithm>
#include <string>
#include <vector>

#include "central/webhook/robot_message.h"
#include "fuzz_targets.h"

namespace {

// Quotes that open or close a JSON string (those not escaped by a backslash).
int StringQuotes(const std::string& json) {
  int quotes = 0;
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (json[i] == '\\') {
      ++i;
    } else if (json[i] == '"') {
      ++quotes;
    }
  }
  return quotes;
}

std::vector<std::string> Fields(const std::string& text, std::size_t count) {
  std::vector<std::string> fields;
  std::size_t begin = 0;
  while (fields.size() + 1 < count) {
    const std::size_t end = text.find('\x01', begin);
    if (end == std::string::npos) break;
    fields.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  fields.push_back(text.substr(std::min(begin, text.size())));
  fields.resize(count);
  return fields;
}

bool IsIdNumber(const std::string& id) {
  if (id.size() != 18) return false;
  for (char c : id) {
    if ((c < '0' || c > '9') && c != 'X') return false;
  }
  return true;
}

}  // namespace

// The ID number, the blacklist's line, the cashier PC's address, the bar's
// number and name, separated by byte 1.
int FuzzRobotMessage(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> f = Fields(std::string(reinterpret_cast<const char*>(data), size), 5);
  const std::string line = HitLine({f[0], f[1], f[2], "2026-12-11 15:51:09"});
  const std::string text = HitMessage(f[3], f[4], {line, line});
  for (const RobotKind kind : {RobotKind::WeCom, RobotKind::DingTalk, RobotKind::Feishu, RobotKind::Json}) {
    WebhookTarget target;
    target.kind = kind;
    target.secret = kind == RobotKind::DingTalk || kind == RobotKind::Feishu ? "SECfuzz" : "";
    const RobotRequest request = BuildRobotRequest(target, "/hook?key=k", text, 1796986324002);
    const RobotRequest plain = BuildRobotRequest(target, "/hook?key=k", "", 1796986324002);
    for (char c : request.body) {
      if (static_cast<unsigned char>(c) < 0x20) FuzzFail("a control byte left raw in a JSON body");
    }
    if (StringQuotes(request.body) != StringQuotes(plain.body)) FuzzFail("a quote of the text ended a JSON string");
  }
  if (IsIdNumber(f[0])) {
    const std::string unlisted = HitLine({f[0], "", "127.0.0.1", "2026-12-11 15:51:09"});
    if (unlisted.find(f[0]) != std::string::npos) FuzzFail("the full ID number in a robot's line");
  }
  return 0;
}
