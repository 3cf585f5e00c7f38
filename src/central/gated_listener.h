// One listening socket of tollimer-central, made to stay available while
// someone attacks it with slow or idle connections. One thread waits on every
// connection at once (epoll) until its whole request has arrived, and hands
// only whole requests to a small pool of workers; so a client that drips a
// header byte a second, or sends nothing, holds a connection slot and no
// worker. Each request must arrive whole within `requestMs` of its
// connection's start, each client address (an IPv6 client's /64 network, which
// one machine usually holds whole) holds at most `perAddress` connections and
// the listener `total`; a connection over a limit is answered 503 and closed
// at once. A reply's write is bounded too: it must keep a slowest rate.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "central/connection_limits.h"
#include "central/request_head.h"

struct ListenerLimits {
  std::size_t perAddress = 16;
  std::size_t total = 512;
  int requestMs = 5000;   // the whole request, head and body, from the connection's start
  // A reply may take `writeMs`, and one more second for every
  // `slowestReadBytesPerSecond` bytes it holds, to be written.
  int writeMs = 15000;
  std::size_t slowestReadBytesPerSecond = 2048;
  RequestLimits request;
  // Workers started at once. More start while whole requests wait for one,
  // up to `total`: a connection holds at most one worker, so connections
  // that hold theirs long (slow readers of a download) never leave a whole
  // request without one.
  std::size_t workers = 16;
  // The chain's reverse proxies: their connections count against `total`
  // only, and a request of theirs is from the client their X-Forwarded-For
  // names.
  std::vector<std::string> trustedProxies;
};

// A whole request and its connection, as a worker gets it.
struct ReceivedRequest {
  int fd = -1;
  std::string bytes;  // the request: head and body (a few bytes more when the client sent them)
  std::string address;  // the client's, numeric ("10.1.2.3", "2001:db8::1"); behind a trusted proxy, the one it names
  std::string slot;     // what the connection counts against: the address, or an IPv6 /64
  int port = 0;
  std::string localAddress;
  int localPort = 0;
};

// What the listener has done since it started; these only grow.
struct ListenerCounts {
  std::int64_t accepted = 0;
  std::int64_t refusedAddressFull = 0;  // the client's address held its share
  std::int64_t refusedAllFull = 0;      // the listener held `total`
  std::int64_t timedOut = 0;            // the request did not arrive whole in time
  std::int64_t refusedRequest = 0;      // a head or body over the limits, or unreadable
  std::int64_t served = 0;              // handed to a worker
};

// Sends all of `data` on a non-blocking socket, waiting for the client to
// read until `deadlineMs` (of SteadyMs) at the latest. False when the client
// did not read it all in time or went away.
bool SendBefore(int fd, const char* data, std::size_t size, std::int64_t deadlineMs);

class GatedListener {
 public:
  // Runs on a worker with a whole request; writes the reply (the listener
  // closes the connection afterwards).
  using Handler = std::function<void(ReceivedRequest&)>;

  GatedListener(const ListenerLimits& limits, Handler handler);
  ~GatedListener();
  GatedListener(const GatedListener&) = delete;
  GatedListener& operator=(const GatedListener&) = delete;

  // Binds `address`:`port` (0: any free port). False, with `error`, when it cannot.
  [[nodiscard]] bool Bind(const std::string& address, int port, std::string& error);
  int Port() const { return port_; }
  void Start();
  // Stops accepting, closes every connection (a reply being written ends
  // too) and joins the threads.
  void Stop();

  ListenerCounts Counts() const;
  std::size_t OpenConnections() const { return limits_.Open(); }
  std::size_t OpenConnectionsFrom(const std::string& address) const { return limits_.OpenFrom(address); }

 private:
  // A connection whose request is still arriving.
  struct Pending {
    std::string address;
    std::string slot;
    int port = 0;
    std::string bytes;
    RequestFraming framing;
    std::uint64_t serial = 0;
    bool sentContinue = false;
    bool watched = false;  // in the epoll set
  };
  void Loop();
  void AcceptAll();
  void Admit(int fd);
  void ReadFrom(int fd);
  void ExpireDeadlines(std::int64_t nowMs);
  // Answers `status` (none when 0) and closes.
  void ClosePending(int fd, int status);
  void LogNowAndThen(std::int64_t nowMs);
  void Work();

  const ListenerLimits settings_;
  const Handler handler_;
  ConnectionLimits limits_;
  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  int reserveFd_ = -1;  // given up to accept and drop a connection when no descriptor is left
  int port_ = 0;
  std::string boundAddress_;
  bool localKnown_ = false;  // bound to one address, not to all
  std::atomic<bool> stopping_{false};
  std::thread loop_;

  // Owned by the loop's thread.
  std::unordered_map<int, Pending> pending_;
  std::deque<std::pair<std::int64_t, std::pair<int, std::uint64_t>>> deadlines_;  // ms, fd, serial
  std::uint64_t nextSerial_ = 1;
  std::int64_t lastLogMs_ = 0;
  ListenerCounts loggedCounts_;

  // Whole requests waiting for a worker, and the connections workers hold.
  std::mutex jobsMutex_;
  std::condition_variable jobsReady_;
  std::deque<ReceivedRequest> jobs_;
  std::set<int> working_;
  std::size_t idleWorkers_ = 0;
  bool workersStop_ = false;
  std::vector<std::thread> workers_;

  std::atomic<std::int64_t> accepted_{0}, refusedAddressFull_{0}, refusedAllFull_{0}, timedOut_{0},
      refusedRequest_{0}, served_{0};
};

// Raises this process's descriptor limit to `needed` where the hard limit
// allows. Returns the soft limit in force afterwards.
std::size_t EnsureDescriptorRoom(std::size_t needed);
