// A group-chat robot of the tests on loopback: it checks each request the
// way the real robot does (the JSON text message of its kind; the signature
// when it has a secret) and records what it got; it can be down, answer
// errors, answer "too fast" when messages come faster than its pace, or
// hold a request without answering.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "central/config/webhook_target.h"

namespace httplib {
class Server;
}

struct RobotMessage {
  std::string text;           // the message's text (UTF-8)
  bool signatureValid = false;  // also true when the robot has no secret and none came
  std::string rawBody;
  std::string target;         // path and query as they arrived
  std::int64_t receivedMs = 0;  // Unix milliseconds
};

class FakeRobot {
 public:
  FakeRobot(RobotKind kind, std::string secret = "");
  ~FakeRobot();

  // Listens on 127.0.0.1:port (0: any free port); the port.
  int Start(int port = 0);
  void Stop();  // down: connections are refused
  int Port() const { return port_; }
  std::string Url() const;  // the address a target takes

  // The next `count` requests are answered HTTP 500.
  void FailNext(int count);
  // Requests closer than `gapMs` to the last one taken are answered with the
  // robot's "too fast" code and not taken.
  void SetPace(std::int64_t gapMs);
  // The next `count` requests are answered "too fast" whatever the pace.
  void TooFastNext(int count);

  std::vector<RobotMessage> Messages() const;  // taken, in order
  int Refusals() const;                        // answered with an error or "too fast"
  // Waits (bounded) until at least `count` messages were taken.
  bool WaitFor(std::size_t count, int timeoutMs) const;

 private:
  void Take(const std::string& target, const std::string& body, int& status, std::string& answer);

  RobotKind kind_;
  std::string secret_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<RobotMessage> messages_;
  int failNext_ = 0;
  int tooFastNext_ = 0;
  int refusals_ = 0;
  std::int64_t gapMs_ = 0;
  std::int64_t lastTakenMs_ = 0;
};

// The string value of `"name":` in a JSON text, decoded; empty when absent.
std::string JsonStringField(const std::string& json, const std::string& name);
