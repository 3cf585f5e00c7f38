#include "central/fake_robot.h"

#include <httplib.h>

#include <chrono>

#include "central/webhook/robot_message.h"
#include "util/text.h"

namespace {

std::int64_t UnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

std::string QueryValue(const std::string& target, const std::string& name) {
  const std::size_t q = target.find('?');
  if (q == std::string::npos) return {};
  const std::string query = "&" + target.substr(q + 1);
  const std::size_t at = query.find("&" + name + "=");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + name.size() + 2;
  return query.substr(begin, query.find('&', begin) - begin);
}

// The robot's answers, as each kind documents them.
std::string Answer(RobotKind kind, int code, const char* message) {
  if (kind == RobotKind::Feishu) return Format("{\"code\":%d,\"msg\":\"%s\",\"data\":{}}", code, message);
  return Format("{\"errcode\":%d,\"errmsg\":\"%s\"}", code, message);
}

std::optional<std::int64_t> Digits(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoll(text);
}

int TooFastCode(RobotKind kind) {
  return kind == RobotKind::WeCom ? 45009 : kind == RobotKind::DingTalk ? 410100 : 11232;
}

}  // namespace

std::string JsonStringField(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  std::size_t at = json.find(key);
  if (at == std::string::npos) return {};
  at = json.find('"', at + key.size());
  if (at == std::string::npos) return {};
  std::string out;
  for (std::size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] != '\\' || i + 1 >= json.size()) {
      out += json[i];
      continue;
    }
    const char e = json[++i];
    if (e == 'n') out += '\n';
    else if (e == 't') out += '\t';
    else if (e == 'r') out += '\r';
    else if (e == 'u' && i + 4 < json.size()) {
      AppendUtf8(out, static_cast<unsigned>(std::stoul(json.substr(i + 1, 4), nullptr, 16)));
      i += 4;
    } else out += e;
  }
  return out;
}

FakeRobot::FakeRobot(RobotKind kind, std::string secret) : kind_(kind), secret_(std::move(secret)) {}

FakeRobot::~FakeRobot() { Stop(); }

int FakeRobot::Start(int port) {
  server_ = std::make_unique<httplib::Server>();
  server_->Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
    int status = 200;
    std::string answer;
    Take(req.target, req.body, status, answer);
    res.status = status;
    res.set_content(answer, "application/json");
  });
  port_ = port == 0 ? server_->bind_to_any_port("127.0.0.1") : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // Running before a Stop can end it: stopping a server that has not begun
  // to listen does nothing.
  for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return port_;
}

void FakeRobot::Stop() {
  if (!server_) return;
  server_->stop();
  thread_.join();
  server_.reset();
}

std::string FakeRobot::Url() const {
  // Each kind's path and key, as its robots' addresses have them.
  const std::string base = Format("http://127.0.0.1:%d", port_);
  switch (kind_) {
    case RobotKind::WeCom: return base + "/cgi-bin/webhook/send?key=693a91f6-7xxx";
    case RobotKind::DingTalk: return base + "/robot/send?access_token=xxxx";
    case RobotKind::Feishu: return base + "/open-apis/bot/v2/hook/xxxx";
    case RobotKind::Json: break;
  }
  return base + "/chain/hits";
}

void FakeRobot::FailNext(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failNext_ = count;
}

void FakeRobot::SetPace(std::int64_t gapMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  gapMs_ = gapMs;
}

void FakeRobot::TooFastNext(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  tooFastNext_ = count;
}

void FakeRobot::Take(const std::string& target, const std::string& body, int& status, std::string& answer) {
  const std::int64_t now = UnixMs();
  RobotMessage m;
  m.target = target;
  m.rawBody = body;
  m.receivedMs = now;
  // The documented bodies: 企业微信 and 钉钉 {"msgtype":"text","text":{"content":...}},
  // 飞书 {"msg_type":"text","content":{"text":...}} with "timestamp" and "sign".
  const bool feishu = kind_ == RobotKind::Feishu;
  if (kind_ == RobotKind::Json) {
    m.text = JsonStringField(body, "text");
  } else if (feishu) {
    if (JsonStringField(body, "msg_type") == "text") m.text = JsonStringField(body, "text");
  } else if (JsonStringField(body, "msgtype") == "text") {
    m.text = JsonStringField(body, "content");
  }
  if (kind_ == RobotKind::DingTalk && !secret_.empty()) {
    // Milliseconds in the query, within an hour of now; the signature of
    // "timestamp\nsecret" under the secret, Base64, then URL-encoded.
    const std::string timestamp = QueryValue(target, "timestamp");
    const auto ms = Digits(timestamp);
    m.signatureValid = ms && std::llabs(*ms - now) < 3600 * 1000 &&
                       PercentDecoded(QueryValue(target, "sign")) == HmacSha256Base64(secret_, timestamp + "\n" + secret_);
  } else if (feishu && !secret_.empty()) {
    // Seconds in the body; the signature of nothing under "timestamp\nsecret".
    const std::string timestamp = JsonStringField(body, "timestamp");
    const auto s = Digits(timestamp);
    m.signatureValid = s && std::llabs(*s - now / 1000) < 3600 &&
                       JsonStringField(body, "sign") == HmacSha256Base64(timestamp + "\n" + secret_, "");
  } else {
    m.signatureValid = QueryValue(target, "sign").empty() && JsonStringField(body, "sign").empty();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (m.text.empty() || !m.signatureValid) {
    ++refusals_;
    answer = Answer(kind_, m.text.empty() ? 40008 : 310000, m.text.empty() ? "invalid message" : "sign not match");
    return;
  }
  if (failNext_ > 0) {
    --failNext_;
    ++refusals_;
    status = 500;
    answer = "busy";
    return;
  }
  if (tooFastNext_ > 0 || (lastTakenMs_ > 0 && now - lastTakenMs_ < gapMs_)) {
    if (tooFastNext_ > 0) --tooFastNext_;
    ++refusals_;
    answer = Answer(kind_, TooFastCode(kind_), "send too fast");
    return;
  }
  lastTakenMs_ = now;
  messages_.push_back(m);
  answer = Answer(kind_, 0, kind_ == RobotKind::Feishu ? "success" : "ok");
  changed_.notify_all();
}

std::vector<RobotMessage> FakeRobot::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

int FakeRobot::Refusals() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refusals_;
}

bool FakeRobot::WaitFor(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return messages_.size() >= count; });
}
