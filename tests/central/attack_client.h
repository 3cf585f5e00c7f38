// The classic attacks on a server's connections, from one loopback address:
// slow clients that open a connection, send the start of a request and then
// one more header byte a second, and idle clients that connect and send
// nothing. A connection the server closes (refused, or dropped at its
// deadline) is opened again a second later, as a determined attacker would.
// One thread drives them all; Stop (or the destructor) closes every one.
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <vector>

class ConnectionAttack {
 public:
  ConnectionAttack(int port, const std::string& from, int slowClients, int idleClients);
  ~ConnectionAttack();
  ConnectionAttack(const ConnectionAttack&) = delete;
  ConnectionAttack& operator=(const ConnectionAttack&) = delete;

  void Stop();
  // Connections made and closed by the server so far.
  long long Connects() const { return connects_; }
  long long ClosedByServer() const { return closedByServer_; }

 private:
  struct Client {
    int fd = -1;
    bool slow = false;
    std::size_t sent = 0;        // bytes of the request sent so far
    std::int64_t nextMs = 0;     // when it drips its next byte, or connects again
  };
  void Run();
  void Open(Client& c, std::int64_t nowMs);
  void Drop(Client& c, std::int64_t nowMs);

  const int port_;
  const std::string from_;
  std::vector<Client> clients_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> connects_{0};
  std::atomic<long long> closedByServer_{0};
  std::thread thread_;
};
