#include "central/exchange/collector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "central/base/central_log.h"
#include "central/exchange/exchange.h"
#include "central/base/log_text.h"
#include "central/base/clock.h"
#include "util/text.h"

NoticeCollector::NoticeCollector(const CentralConfig& config, CentralStore& store)
    : config_(config),
      store_(store),
      limiter_(config.noticesPerSecond, config.noticesPerSecond * 5),
      allLimiter_(config.noticesPerSecond * 20, config.noticesPerSecond * 100) {}

NoticeCollector::~NoticeCollector() { Stop(); }

bool NoticeCollector::Start(std::string& error) {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(config_.collectorPort));
  if (socket_ < 0 || inet_pton(AF_INET, config_.collectorAddress.c_str(), &address.sin_addr) != 1 ||
      bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error = Format("cannot receive on UDP %s:%d", config_.collectorAddress.c_str(), config_.collectorPort);
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    return false;
  }
  // Room for a burst while the store writes.
  const int bufferBytes = 1 << 20;
  setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
  socklen_t length = sizeof address;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  stop_ = false;
  thread_ = std::thread([this] { Receive(); });
  return true;
}

void NoticeCollector::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

void NoticeCollector::Receive() {
  // One byte more than a notice may have, so a longer datagram shows itself.
  std::string buffer(kMaxNoticeBytes + 1, '\0');
  std::int64_t lastReportMs = SteadyMs();
  std::int64_t reportedDrops = 0, reportedRefusals = 0, reportedNotStored = 0;
  while (!stop_) {
    pollfd p{socket_, POLLIN, 0};
    if (poll(&p, 1, 200) > 0) {
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t got = recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got >= 0) {
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        const std::string sender = text;
        const std::optional<Notice> notice = ParseNotice(buffer.substr(0, static_cast<std::size_t>(got)));
        if (!notice) {
          ++refused_;
        } else if (!limiter_.Allow(sender, SteadyMs()) || !allLimiter_.Allow("", SteadyMs())) {
          ++dropped_;
        } else if (!store_.RecordNotice(*notice, sender, NowSeconds())) {
          ++notStored_;
        } else {
          ++recorded_;
          const std::int64_t removed = store_.KeepNewestNotices(config_.maxNotices);
          if (removed > 0) removed_ += removed;
          // Short, and never an ID number whole: the log is read more widely
          // than the store.
          CentralLog("notice from " + sender + ": bar " + CutUtf8(notice->barId + " " + notice->barName, 64) +
                     ", entry " + CutUtf8(MaskIdNumbers(notice->entry), 40));
        }
      }
    }
    // Floods are reported once in a while, not datagram by datagram.
    const std::int64_t now = SteadyMs();
    if (now - lastReportMs >= 10000 &&
        (dropped_ != reportedDrops || refused_ != reportedRefusals || notStored_ != reportedNotStored)) {
      CentralLog(Format("notices dropped (flood): %lld, refused (not a notice): %lld, not stored (store refused): %lld",
                        static_cast<long long>(dropped_ - reportedDrops),
                        static_cast<long long>(refused_ - reportedRefusals),
                        static_cast<long long>(notStored_ - reportedNotStored)));
      reportedDrops = dropped_;
      reportedRefusals = refused_;
      reportedNotStored = notStored_;
      lastReportMs = now;
    }
  }
}
