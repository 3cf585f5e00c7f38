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
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "central/http/connection_limits.h"
#include "central/http/request_head.h"

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
  // up to `maxWorkers` (a connection holds at most one worker, so
  // connections that hold theirs long, slow readers of a download, leave a
  // whole request without one only past that ceiling: it then waits for the
  // next free worker). A worker above `workers` that has waited `idleWorkerMs`
  // for a request ends. A thread the system refuses to start is no worker
  // for now, never the end of the service.
  std::size_t workers = 16;
  std::size_t maxWorkers = 128;
  int idleWorkerMs = 30 * 1000;
  // The send buffer of a reply's socket: the bytes a client that reads
  // nothing can leave queued in this machine, so the slowest-rate rule
  // counts what the client really read.
  int sendBufferBytes = 64 * 1024;
  // After the reply, input is read and dropped for at most this long before
  // the close: closing with unread input resets the connection, and a reset
  // can destroy the reply the client has not read yet.
  int lingerMs = 1000;
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
  std::int64_t workerStartsFailed = 0;  // the system refused a worker's thread
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
  // Starts a thread that runs the function, or throws std::system_error when
  // the system refuses one (a process or memory limit). A test passes one
  // that refuses; by default it is std::thread.
  using ThreadStarter = std::function<std::thread(std::function<void()>)>;

  GatedListener(const ListenerLimits& limits, Handler handler, ThreadStarter startThread = nullptr);
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
  // Worker threads running now.
  std::size_t Workers() const;

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
  // Closes a connection the loop has answered: writing ends at once, the
  // input still arriving is read and dropped until the client closes too or
  // `lingerMs` passed.
  void Linger(int fd);
  void DrainLingering(int fd);
  void ExpireLingering(std::int64_t nowMs);
  void LogNowAndThen(std::int64_t nowMs);
  using WorkerList = std::list<std::thread>;
  // Starts one more worker; false when the system refused the thread. Under jobsMutex_.
  bool StartWorker();
  // A start the system refused left whole requests without a worker: one
  // more try, at most once a second, so they are served once it allows one
  // again rather than only when the next request comes.
  void RetryWorkerStart(std::int64_t nowMs);
  void Work(WorkerList::iterator self);

  const ListenerLimits settings_;
  const Handler handler_;
  const ThreadStarter startThread_;
  std::int64_t lastWorkerRetryMs_ = 0;  // the loop's
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
  std::unordered_map<int, std::int64_t> lingering_;          // fd: the close's time
  std::deque<std::pair<std::int64_t, int>> lingerDeadlines_;  // ms, fd

  // Whole requests waiting for a worker, and the connections workers hold.
  mutable std::mutex jobsMutex_;
  std::condition_variable jobsReady_;
  std::deque<ReceivedRequest> jobs_;
  std::set<int> working_;
  std::size_t idleWorkers_ = 0;
  bool workersStop_ = false;
  WorkerList workers_;
  WorkerList exited_;  // ended workers, joined by the next start or Stop

  std::atomic<std::int64_t> accepted_{0}, refusedAddressFull_{0}, refusedAllFull_{0}, timedOut_{0},
      refusedRequest_{0}, served_{0}, workerStartsFailed_{0};
};

// Raises this process's descriptor limit to `needed` where the hard limit
// allows. Returns the soft limit in force afterwards.
std::size_t EnsureDescriptorRoom(std::size_t needed);
