// Figures for tollimer-central under floods and a big chain: what a flood of
// notice datagrams adds to the store and the log, the service's memory while
// datagrams come from a hundred thousand forged loopback senders, its threads
// during and after 100 downloads that read nothing, and the status page of a
// chain of 5 000 bars, 50 000 installations and 1 000 000 hits (its size, its time, and the worst
// exchange while it is built).
//   build/native/central_floods_bench [seconds of the notice flood]
//   build/native/central_floods_bench --status-page   (the big chain's status page alone)
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "central/base/clock.h"
#include "central/chain_seed.h"
#include "central/exchange/collector.h"
#include "central/exchange/exchange.h"
#include "central/release/release_file.h"
#include "central/service.h"
#include "central/service_client.h"
#include "net/notice.h"
#include "util/text.h"

namespace {

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

long long StoreBytes(const RunningCentral& central) {
  return FileSize(central.dir.Path("central.db")) + FileSize(central.dir.Path("central.db-wal"));
}

// This process's resident memory, in MiB.
double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

int Threads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// One datagram from `from` (any 127/8 address is this machine's).
void SendFrom(const std::string& from, int port, const std::string& datagram) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &a.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    (void)sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  close(fd);
}

std::string NoticeOf(int i) {
  // The longest notice a sender may send, of the notice's shape.
  std::string text = std::string(kNoticePrefix) + "Bid=" + std::to_string(i) + ",BarName=x,BlackID=330102199003074415 ";
  return text + std::string(kMaxNoticeBytes - text.size(), 'y');
}

// 25 senders, each sending as fast as it can for `seconds`; the log goes to a
// file meanwhile, to be measured.
void NoticeFlood(int seconds) {
  RunningCentral central("central_bench_flood");
  const long long storeBefore = StoreBytes(central);
  const std::string logPath = central.dir.Path("log");
  std::fflush(stderr);
  const int savedErr = dup(2);
  FILE* log = std::fopen(logPath.c_str(), "w");
  dup2(fileno(log), 2);
  std::atomic<bool> stop{false};
  std::atomic<long long> sent{0};
  std::vector<std::thread> senders;
  for (int s = 0; s < 25; ++s) {
    senders.emplace_back([&, s] {
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      inet_pton(AF_INET, Format("127.0.2.%d", s + 1).c_str(), &a.sin_addr);
      bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(static_cast<std::uint16_t>(central.collector->Port()));
      inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
      for (int i = 0; !stop; ++i) {
        const std::string d = NoticeOf(i);
        if (sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) ++sent;
        if (i % 64 == 63) SleepMs(1);
      }
      close(fd);
    });
  }
  SleepMs(seconds * 1000);
  stop = true;
  for (auto& t : senders) t.join();
  SleepMs(500);
  std::fflush(stderr);
  dup2(savedErr, 2);
  close(savedErr);
  std::fclose(log);
  const long long grown = StoreBytes(central) - storeBefore;
  const long long rows = central.collector->Recorded();
  std::printf("notice flood, 25 senders, %d s: %lld datagrams sent, %lld recorded, %lld dropped; store +%lld bytes, "
              "log %lld bytes\n",
              seconds, sent.load(), rows, static_cast<long long>(central.collector->Dropped()), grown, FileSize(logPath));
  if (rows > 0) {
    const double perRow = static_cast<double>(grown) / static_cast<double>(rows);
    std::printf("  about %.0f bytes of store per notice (the longest notice); the table's ceiling of %lld notices "
                "bounds it near %.0f MiB, retention %d days\n",
                perRow, static_cast<long long>(central.config.maxNotices),
                perRow * static_cast<double>(central.config.maxNotices) / 1048576.0, central.config.retentionDays);
  }
}

// Datagrams from `senders` different loopback addresses, one each.
void ForgedSenders(int senders) {
  RunningCentral central("central_bench_forged");
  const double before = ResidentMiB();
  const std::int64_t start = SteadyMs();
  for (int i = 0; i < senders; ++i) {
    SendFrom(Format("127.%d.%d.%d", 10 + i / 65536, i / 256 % 256, i % 256 + (i % 256 == 0)), central.collector->Port(),
             NoticeOf(i));
  }
  SleepMs(500);
  std::printf("forged senders: %d datagrams from %d addresses in %.1f s: resident memory %.1f -> %.1f MiB, "
              "%lld recorded, %lld dropped\n",
              senders, senders, static_cast<double>(SteadyMs() - start) / 1000.0, before, ResidentMiB(),
              static_cast<long long>(central.collector->Recorded()), static_cast<long long>(central.collector->Dropped()));
}

// 100 clients that ask for a release of 8 MiB and read nothing.
void SlowDownloads() {
  RunningCentral central("central_bench_slow");
  std::string bytes = FakeExecutable(0x14C, std::string());
  bytes.resize(8 << 20);
  std::string error;
  if (!AddReleaseFile(central.config, *central.store, bytes, 0, nullptr, error)) return;
  const int before = Threads();
  std::vector<int> clients;
  for (int i = 0; i < 100; ++i) {
    const int fd = ConnectFrom(central.HttpPort(), Format("127.0.3.%d", i + 1));
    const std::string request = "GET /tollimer/update/file/0BADF00D.bin HTTP/1.1\r\nHost: x\r\n\r\n";
    if (fd >= 0) (void)send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    clients.push_back(fd);
  }
  SleepMs(2000);
  const int during = Threads();
  for (int fd : clients) close(fd);
  SleepMs(35000);
  std::printf("threads: %d before, %d with 100 downloads that read nothing, %d 35 s after they left\n", before, during,
              Threads());
}

// The status page of 5 000 bars, 50 000 installations and 1 000 000 hits, with one assistant
// exchanging back to back meanwhile.
void BigChainStatusPage() {
  constexpr int kInstallations = 50000;
  RunningCentral central("central_bench_chain");
  const std::int64_t now = NowSeconds();
  ChainSeed seeded;
  if (!SeedChain(*central.store, now, 5000, seeded)) return;
  sqlite3* db = nullptr;
  sqlite3_open(central.dir.Path("central.db").c_str(), &db);
  sqlite3_busy_timeout(db, 10000);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  // Installations up to kInstallations, spread over the seeded bars, most
  // of them seen within the hour.
  sqlite3_stmt* install = nullptr;
  sqlite3_prepare_v2(db, R"sql(INSERT INTO installations VALUES(?1, 'WD-BENCH', ?2, 'bar', '5E6F7A8B', '6.1.7601',
                                 '', '', 63, 2, 5, '10.0.0.1', 2, ?3, ?4, 1))sql",
                     -1, &install, nullptr);
  for (int i = seeded.installations; i < kInstallations; ++i) {
    const std::string mac = Format("00E04C%06X", static_cast<unsigned>(i));
    sqlite3_bind_text(install, 1, mac.c_str(), -1, SQLITE_TRANSIENT);
    const std::string bar = std::to_string(3301 + i % seeded.bars);
    sqlite3_bind_text(install, 2, bar.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(install, 3, now - 20 * 86400);
    sqlite3_bind_int64(install, 4, now - (i % 7 == 0 ? 86400 : i % 3000));
    sqlite3_step(install);
    sqlite3_reset(install);
  }
  sqlite3_finalize(install);
  sqlite3_stmt* add = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO hits(time, id_number, mac, bar_id, bar_name, address) VALUES(?1,?2,?3,?4,?5,?6)",
                     -1, &add, nullptr);
  const int kHits = 1000000;
  for (int i = 0; i < kHits; ++i) {
    sqlite3_bind_int64(add, 1, now - static_cast<std::int64_t>(i) * 2);  // 23 days of one address at its rate
    const std::string id = Format("3301021990%08d", i);
    sqlite3_bind_text(add, 2, id.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(add, 3, "00E04C000001", -1, SQLITE_STATIC);
    const std::string bar = std::to_string(3300 + i % 5000);
    sqlite3_bind_text(add, 4, bar.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(add, 5, "bar", -1, SQLITE_STATIC);
    sqlite3_bind_text(add, 6, "10.0.0.1", -1, SQLITE_STATIC);
    sqlite3_step(add);
    sqlite3_reset(add);
  }
  sqlite3_finalize(add);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);

  const std::string body = SealAsAssistant(AssistantReport("00E04C0000FF", "WD-1", "1A2B3C4D", "3301", "bar"));
  std::atomic<bool> stop{false};
  std::atomic<long long> worstMs{0}, exchanges{0};
  std::thread assistant([&] {
    while (!stop) {
      const std::int64_t start = SteadyMs();
      (void)HttpPost(central.HttpPort(), "/tollimer/update/?t=2", body, "127.0.4.1");
      worstMs = std::max<long long>(worstMs, SteadyMs() - start);
      ++exchanges;
    }
  });
  SleepMs(1000);
  const long long calmWorst = worstMs.exchange(0);
  const double before = ResidentMiB();
  const std::int64_t start = SteadyMs();
  const RawReply page = HttpGet(central.service->StatusPort(), "/");
  const std::int64_t took = SteadyMs() - start;
  const double after = ResidentMiB();
  SleepMs(200);
  stop = true;
  assistant.join();
  std::printf("status page, %d bars, %d installations, %d hits: status %d, %zu bytes in %lld ms (resident memory "
              "%.0f -> %.0f MiB); worst exchange meanwhile %lld ms (%lld ms before)\n",
              seeded.bars, std::max(seeded.installations, kInstallations), kHits + seeded.hits, page.status, page.body.size(),
              static_cast<long long>(took), before, after, worstMs.load(), calmWorst);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--status-page") {
    BigChainStatusPage();
    return 0;
  }
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  NoticeFlood(seconds);
  ForgedSenders(100000);
  SlowDownloads();
  BigChainStatusPage();
  return 0;
}
