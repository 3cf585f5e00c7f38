#include "central/http/gated_listener.h"

#include "central/http/forwarded_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "central/base/central_log.h"
#include "central/base/clock.h"
#include "util/text.h"

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr int kLogEveryMs = 60 * 1000;
constexpr int kMaxEvents = 256;

const char* ReasonOf(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    default: return "Service Unavailable";
  }
}

// A short plain answer, sent once without waiting: a client that does not
// read it loses nothing it could have used.
void SendStatusAndForget(int fd, int status) {
  const char* body = status == 503 ? "busy\n" : "refused\n";
  const std::string reply =
      Format("HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\nConnection: close\r\n%s\r\n%s",
             status, ReasonOf(status), std::strlen(body), status == 503 ? "Retry-After: 5\r\n" : "", body);
  (void)send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The numeric address and port of a socket address; an IPv4 client of an
// IPv6 socket counts as its IPv4 address.
void AddressText(const sockaddr_storage& sa, std::string& address, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (sa.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(sa);
    inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (sa.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(sa);
    if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
      inet_ntop(AF_INET, &in6.sin6_addr.s6_addr[12], text, sizeof text);
    } else {
      inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    }
    port = ntohs(in6.sin6_port);
  }
  address = text;
}

void LocalAddressOf(int fd, std::string& address, int& port) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) AddressText(sa, address, port);
}

void CloseConnection(int fd) {
  shutdown(fd, SHUT_WR);
  close(fd);
}

// Reads and drops the input that is there. True when the client has closed
// its end (or the connection failed): nothing more will come.
bool DrainInput(int fd) {
  char buffer[kReadChunk];
  for (std::size_t dropped = 0; dropped < 16 * kReadChunk;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      dropped += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }
  return false;
}

}  // namespace

bool SendBefore(int fd, const char* data, std::size_t size, std::int64_t deadlineMs) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const std::int64_t waitMs = deadlineMs - SteadyMs();
    if (waitMs <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<std::int64_t>(waitMs, 60 * 1000)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
  }
  return true;
}

std::size_t EnsureDescriptorRoom(std::size_t needed) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= needed ? needed : limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? needed : static_cast<std::size_t>(limit.rlim_cur);
}

GatedListener::GatedListener(const ListenerLimits& limits, Handler handler, ThreadStarter startThread)
    : settings_(limits),
      handler_(std::move(handler)),
      startThread_(startThread ? std::move(startThread)
                               : [](std::function<void()> run) { return std::thread(std::move(run)); }),
      limits_(limits.perAddress, limits.total, limits.trustedProxies) {}

GatedListener::~GatedListener() {
  Stop();
  if (listenFd_ >= 0) close(listenFd_);
  if (epollFd_ >= 0) close(epollFd_);
  if (wakeFd_ >= 0) close(wakeFd_);
  if (reserveFd_ >= 0) close(reserveFd_);
}

bool GatedListener::Bind(const std::string& address, int port, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found) != 0) {
    error = Format("cannot resolve %s", address.c_str());
    return false;
  }
  for (addrinfo* ai = found; ai && listenFd_ < 0; ai = ai->ai_next) {
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    // SO_REUSEADDR alone, not SO_REUSEPORT: a restarted service binds again
    // at once over the connections it closed (TIME_WAIT), while a second
    // service started by mistake on a port in use fails instead of silently
    // sharing it.
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // A connection is taken once its first bytes are in (or after a second
    // without any): most requests then arrive whole with the connection,
    // and are read at once without another round of waiting.
    int deferSeconds = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, SOMAXCONN) == 0) {
      listenFd_ = fd;
    } else {
      close(fd);
    }
  }
  freeaddrinfo(found);
  if (listenFd_ < 0) {
    error = Format("cannot listen on %s:%d", address.c_str(), port);
    return false;
  }
  LocalAddressOf(listenFd_, boundAddress_, port_);
  // Bound to one address, every connection's local end is that address.
  localKnown_ = boundAddress_ != "0.0.0.0" && boundAddress_ != "::";
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  reserveFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = listenFd_;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
  ev.data.fd = wakeFd_;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
  return true;
}

void GatedListener::Start() {
  if (listenFd_ < 0 || loop_.joinable()) return;
  lastLogMs_ = SteadyMs();
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    for (std::size_t i = 0; i < settings_.workers; ++i) StartWorker();
  }
  loop_ = std::thread([this] { Loop(); });
}

bool GatedListener::StartWorker() {
  for (std::thread& t : exited_) t.join();
  exited_.clear();
  if (workers_.size() >= std::max<std::size_t>(settings_.maxWorkers, 1)) return false;
  const WorkerList::iterator self = workers_.emplace(workers_.end());
  try {
    // The worker takes jobsMutex_ first, so it sees its own entry filled.
    *self = startThread_([this, self] { Work(self); });
  } catch (const std::system_error&) {
    workers_.erase(self);
    ++workerStartsFailed_;
    return false;
  }
  return true;
}

void GatedListener::RetryWorkerStart(std::int64_t nowMs) {
  if (nowMs - lastWorkerRetryMs_ < 1000) return;
  lastWorkerRetryMs_ = nowMs;
  bool started = false;
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    started = jobs_.size() > idleWorkers_ && StartWorker();
  }
  if (started) jobsReady_.notify_one();
}

std::size_t GatedListener::Workers() const {
  std::lock_guard<std::mutex> lock(jobsMutex_);
  return workers_.size();
}

void GatedListener::Stop() {
  if (stopping_.exchange(true)) return;
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    (void)write(wakeFd_, &one, sizeof one);
  }
  if (loop_.joinable()) loop_.join();
  {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    workersStop_ = true;
    // A worker writing to a client that reads slowly stops at once.
    for (int fd : working_) shutdown(fd, SHUT_RDWR);
  }
  jobsReady_.notify_all();
  WorkerList all;
  {
    // No worker leaves the list by itself once workersStop_ is set.
    std::lock_guard<std::mutex> lock(jobsMutex_);
    all.splice(all.end(), workers_);
    all.splice(all.end(), exited_);
  }
  for (std::thread& t : all) t.join();
}

ListenerCounts GatedListener::Counts() const {
  return {accepted_, refusedAddressFull_, refusedAllFull_, timedOut_, refusedRequest_, served_, workerStartsFailed_};
}

void GatedListener::Loop() {
  epoll_event events[kMaxEvents];
  while (!stopping_) {
    int waitMs = 1000;
    for (const std::int64_t next : {deadlines_.empty() ? std::int64_t{-1} : deadlines_.front().first,
                                    lingerDeadlines_.empty() ? std::int64_t{-1} : lingerDeadlines_.front().first}) {
      if (next < 0) continue;
      waitMs = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(next - SteadyMs(), waitMs)));
    }
    const int n = epoll_wait(epollFd_, events, kMaxEvents, waitMs);
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listenFd_) {
        AcceptAll();
      } else if (lingering_.count(fd) != 0) {
        DrainLingering(fd);
      } else if (fd != wakeFd_) {
        ReadFrom(fd);
      }
    }
    const std::int64_t now = SteadyMs();
    ExpireDeadlines(now);
    ExpireLingering(now);
    RetryWorkerStart(now);
    LogNowAndThen(now);
  }
  while (!pending_.empty()) ClosePending(pending_.begin()->first, 0);
  for (const auto& [fd, until] : lingering_) close(fd);
  lingering_.clear();
  // Whole requests still waiting for a worker are dropped with the rest.
  std::lock_guard<std::mutex> lock(jobsMutex_);
  for (const ReceivedRequest& job : jobs_) {
    limits_.Release(job.slot);
    CloseConnection(job.fd);
  }
  jobs_.clear();
}

void GatedListener::AcceptAll() {
  for (;;) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if ((errno == EMFILE || errno == ENFILE) && reserveFd_ >= 0) {
        // Out of descriptors: the connection would stay in the queue and wake
        // this loop forever. Take it with the spare descriptor and drop it.
        close(reserveFd_);
        const int dropped = accept(listenFd_, nullptr, nullptr);
        if (dropped >= 0) close(dropped);
        reserveFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ++refusedAllFull_;
        continue;
      }
      return;  // EAGAIN: none left
    }
    std::string address;
    int port = 0;
    AddressText(sa, address, port);
    std::string slot = ClientSlot(address);
    const ConnectionLimits::Admission admission = limits_.Admit(slot);
    if (admission != ConnectionLimits::Admission::Admitted) {
      ++(admission == ConnectionLimits::Admission::AddressFull ? refusedAddressFull_ : refusedAllFull_);
      SendStatusAndForget(fd, 503);
      Linger(fd);
      continue;
    }
    ++accepted_;
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (settings_.sendBufferBytes > 0) {
      setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &settings_.sendBufferBytes, sizeof settings_.sendBufferBytes);
    }
    Pending& p = pending_.try_emplace(fd, Pending{address, std::move(slot), port, {}, RequestFraming(settings_.request)})
                     .first->second;
    p.serial = nextSerial_++;
    deadlines_.push_back({SteadyMs() + settings_.requestMs, {fd, p.serial}});
    ReadFrom(fd);
  }
}

void GatedListener::ReadFrom(int fd) {
  const auto it = pending_.find(fd);
  if (it == pending_.end()) return;
  Pending& p = it->second;
  bool ended = false;
  RequestProgress progress;
  for (;;) {
    const std::size_t had = p.bytes.size();
    p.bytes.resize(had + kReadChunk);
    const ssize_t n = recv(fd, p.bytes.data() + had, kReadChunk, 0);
    p.bytes.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
    progress = p.framing.Update(p.bytes);
    if (progress.state != RequestProgress::State::Incomplete) break;
  }
  if (progress.state == RequestProgress::State::Refused) {
    ++refusedRequest_;
    return ClosePending(fd, progress.status);
  }
  if (progress.state == RequestProgress::State::Complete) {
    ReceivedRequest job;
    job.fd = fd;
    job.bytes = std::move(p.bytes);
    job.address = ForwardedClient(job.bytes, p.address, settings_.trustedProxies);
    job.slot = std::move(p.slot);
    job.port = p.port;
    pending_.erase(it);
    ++served_;
    {
      std::lock_guard<std::mutex> lock(jobsMutex_);
      jobs_.push_back(std::move(job));
      if (jobs_.size() > idleWorkers_) StartWorker();
    }
    jobsReady_.notify_one();
    return;
  }
  if (ended) return ClosePending(fd, 0);  // gone before its request was whole
  if (progress.wantsContinue && !p.sentContinue) {
    p.sentContinue = true;
    static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    (void)send(fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  // Waits for its next bytes, one event at a time: a connection whose
  // request is whole leaves the set by itself (closing it removes it).
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
  ev.data.fd = fd;
  epoll_ctl(epollFd_, p.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
  p.watched = true;
}

void GatedListener::ExpireDeadlines(std::int64_t nowMs) {
  // Every connection gets the same time, so the queue is in deadline order;
  // entries of connections that already left are skipped by their serial.
  while (!deadlines_.empty() && deadlines_.front().first <= nowMs) {
    const auto [fd, serial] = deadlines_.front().second;
    deadlines_.pop_front();
    const auto it = pending_.find(fd);
    if (it == pending_.end() || it->second.serial != serial) continue;
    ++timedOut_;
    ClosePending(fd, 408);
  }
  while (!deadlines_.empty()) {
    const auto it = pending_.find(deadlines_.front().second.first);
    if (it != pending_.end() && it->second.serial == deadlines_.front().second.second) break;
    deadlines_.pop_front();
  }
}

void GatedListener::ClosePending(int fd, int status) {
  const auto it = pending_.find(fd);
  if (it == pending_.end()) return;
  // The slot is free before the client can see the end: a client at its
  // address's share that connects again at once is not refused for it.
  limits_.Release(it->second.slot);
  const bool watched = it->second.watched;
  pending_.erase(it);
  if (status != 0) SendStatusAndForget(fd, status);
  if (stopping_) {
    CloseConnection(fd);  // which takes it out of the epoll set too
    return;
  }
  if (watched) epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  Linger(fd);
}

void GatedListener::Linger(int fd) {
  shutdown(fd, SHUT_WR);
  if (DrainInput(fd)) {
    close(fd);
    return;
  }
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLRDHUP;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    close(fd);
    return;
  }
  const std::int64_t until = SteadyMs() + settings_.lingerMs;
  lingering_[fd] = until;
  lingerDeadlines_.push_back({until, fd});
}

void GatedListener::DrainLingering(int fd) {
  if (!DrainInput(fd)) return;
  close(fd);
  lingering_.erase(fd);
}

void GatedListener::ExpireLingering(std::int64_t nowMs) {
  // Every close lingers as long, so the queue is in deadline order; an entry
  // whose descriptor closed earlier (and may be another connection's now)
  // differs in its time.
  while (!lingerDeadlines_.empty() && lingerDeadlines_.front().first <= nowMs) {
    const auto [until, fd] = lingerDeadlines_.front();
    lingerDeadlines_.pop_front();
    const auto it = lingering_.find(fd);
    if (it == lingering_.end() || it->second != until) continue;
    close(fd);
    lingering_.erase(it);
  }
}

void GatedListener::LogNowAndThen(std::int64_t nowMs) {
  if (nowMs - lastLogMs_ < kLogEveryMs) return;
  lastLogMs_ = nowMs;
  const ListenerCounts now = Counts();
  const ListenerCounts& was = loggedCounts_;
  const std::int64_t refused = now.refusedAddressFull - was.refusedAddressFull + now.refusedAllFull - was.refusedAllFull;
  const std::int64_t late = now.timedOut - was.timedOut;
  const std::int64_t bad = now.refusedRequest - was.refusedRequest;
  // One line a minute however hard the port is pressed: a flood does not
  // become a flood of log lines.
  if (refused + late + bad > 0) {
    CentralLog(Format("port %d, last minute: %lld connections refused (%lld over an address's share), "
                      "%lld requests not whole in time, %lld over the limits; %zu open",
                      port_, static_cast<long long>(refused),
                      static_cast<long long>(now.refusedAddressFull - was.refusedAddressFull),
                      static_cast<long long>(late), static_cast<long long>(bad), limits_.Open()));
  }
  loggedCounts_ = now;
}

void GatedListener::Work(WorkerList::iterator self) {
  std::unique_lock<std::mutex> lock(jobsMutex_);
  for (;;) {
    ++idleWorkers_;
    const bool woken = jobsReady_.wait_for(lock, std::chrono::milliseconds(settings_.idleWorkerMs),
                                           [this] { return workersStop_ || !jobs_.empty(); });
    --idleWorkers_;
    if (!woken) {
      if (workers_.size() <= settings_.workers) continue;
      exited_.splice(exited_.end(), workers_, self);  // joined by the next start
      return;
    }
    if (jobs_.empty()) return;
    ReceivedRequest job = std::move(jobs_.front());
    jobs_.pop_front();
    if (workersStop_) shutdown(job.fd, SHUT_RDWR);
    working_.insert(job.fd);
    lock.unlock();
    if (localKnown_) {
      job.localAddress = boundAddress_;
      job.localPort = port_;
    } else {
      LocalAddressOf(job.fd, job.localAddress, job.localPort);
    }
    handler_(job);
    // The slot is free before the client sees the end (see ClosePending);
    // then the input still arriving is dropped until the client closes, so
    // the close does not reset the connection under the reply's last bytes.
    limits_.Release(job.slot);
    shutdown(job.fd, SHUT_WR);
    for (const std::int64_t until = SteadyMs() + settings_.lingerMs; !DrainInput(job.fd);) {
      const std::int64_t waitMs = until - SteadyMs();
      pollfd p{job.fd, POLLIN, 0};
      if (waitMs <= 0 || poll(&p, 1, static_cast<int>(waitMs)) == 0) break;
    }
    lock.lock();
    // Closed under the lock: Stop never shuts down a descriptor number that
    // a new connection got meanwhile.
    working_.erase(job.fd);
    close(job.fd);
  }
}
