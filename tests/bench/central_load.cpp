// Figures for tollimer-central on this machine: parameter exchanges per
// second from 1 and 16 installations at once (a fresh connection each, as the
// assistant makes them) next to a bare server of the same HTTP library, the
// release download next to a plain static file server on the same file, and
// the store's size per 10 000 installations; and the exchange while 500 slow
// and 500 idle clients from one address attack the service.
//   build/native/central_bench [seconds per round]
//   build/native/central_bench --exchange [client threads] [seconds]   (the exchange alone, to profile)
//   build/native/central_bench --bodies FILE   (sealed reports for wrk, see
//                                              tests/bench/central_exchange.lua)
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <httplib.h>
#include <thread>
#include <vector>

#include "central/attack_client.h"
#include "central/base/clock.h"
#include "central/http/gated_listener.h"
#include "central/release/release_file.h"
#include "central/service_client.h"
#include "util/text.h"

namespace {

constexpr int kInstallations = 10000;

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

std::string Mac(int i) { return Format("00E04C%06X", static_cast<unsigned>(i)); }

// Reports of kInstallations installations as the assistants seal them; the
// bar name is GBK (this file's literals are UTF-8).
std::vector<std::string> SealedReports() {
  std::vector<std::string> bodies;
  for (int i = 0; i < kInstallations; ++i) {
    bodies.push_back(SealAsAssistant(AssistantReport(Mac(i), Format("WD-WCC4N%07d", i), "1A2B3C4D",
                                                     std::to_string(3300 + i / 4),
                                                     "\xD0\xC7\xBF\xD5\xCD\xF8\xB0\xC9")));
  }
  return bodies;
}

struct Load {
  double perSecond = 0;
  long long done = 0;
  long long failed = 0;
};

// `threads` clients, each posting one sealed report after the other on a
// fresh connection, for `seconds`. Each client is a machine of its own (a
// loopback address of its own), as the cafes are.
Load PostLoad(int port, int threads, int seconds, const std::vector<std::string>& bodies) {
  std::atomic<long long> done{0}, failed{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  const std::int64_t start = SteadyMs();
  for (int t = 0; t < threads; ++t) {
    clients.emplace_back([&, t] {
      const std::string from = Format("127.0.1.%d", t + 1);
      for (std::size_t i = static_cast<std::size_t>(t); !stop; i += static_cast<std::size_t>(threads)) {
        const RawReply r = HttpPost(port, "/tollimer/update/?t=2", bodies[i % bodies.size()], from);
        (r.status == 200 && !r.body.empty() ? done : failed)++;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  stop = true;
  for (auto& c : clients) c.join();
  const double elapsed = static_cast<double>(SteadyMs() - start) / 1000.0;
  return {static_cast<double>(done) / elapsed, done, failed};
}

constexpr int kRounds = 3;

// The round of the median rate, its failures those of all rounds.
Load Median(std::vector<Load> loads) {
  long long failed = 0;
  for (const Load& l : loads) failed += l.failed;
  std::sort(loads.begin(), loads.end(), [](const Load& a, const Load& b) { return a.perSecond < b.perSecond; });
  Load median = loads[loads.size() / 2];
  median.failed = failed;
  return median;
}

// The floor: a bare server of the same HTTP library answering every POST
// with a fixed body, next to the service's exchange, with 1 and 16 clients.
void ExchangeNextToFloor(int seconds) {
  RunningCentral central("central_bench_exchange");
  (void)central.store->SetParam("", "interval", "180");
  const std::vector<std::string> bodies = SealedReports();
  httplib::Server bare;
  bare.Post(".*", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("[BODY]\r\nfixed reply[END]\r\n", "text/plain");
  });
  const int barePort = bare.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { bare.listen_after_bind(); });
  std::printf("parameter exchanges per second, a fresh connection each (median of %d alternating rounds of "
              "%d s):\n", kRounds, seconds);
  std::printf("  clients  bare server  tollimer-central  ratio\n");
  for (int threads : {1, 16}) {
    // Rounds of the two in turn, so a neighbour's load on this machine
    // weighs on both alike.
    std::vector<Load> floors, services;
    for (int round = 0; round < kRounds; ++round) {
      floors.push_back(PostLoad(barePort, threads, seconds, bodies));
      services.push_back(PostLoad(central.HttpPort(), threads, seconds, bodies));
    }
    const Load floor = Median(floors);
    const Load service = Median(services);
    std::printf("  %7d  %11.0f  %16.0f  %5.2f", threads, floor.perSecond, service.perSecond,
                floor.perSecond > 0 ? service.perSecond / floor.perSecond : 0.0);
    if (floor.failed + service.failed > 0) std::printf("  (failed: %lld, %lld)", floor.failed, service.failed);
    std::printf("\n");
    if (threads == 16) {
      for (int minutes : {60, 180}) {
        std::printf("  at one exchange per %d minutes each: %.0f installations (%.0f cafes of 2 cashier PCs)\n",
                    minutes, service.perSecond * 60 * minutes, service.perSecond * 60 * minutes / 2);
      }
    }
  }
  bare.stop();
  serving.join();
}

// The service's exchange alone, for a profiler.
void ExchangeOnly(int threads, int seconds) {
  RunningCentral central("central_bench_exchange");
  (void)central.store->SetParam("", "interval", "180");
  const Load load = PostLoad(central.HttpPort(), threads, seconds, SealedReports());
  std::printf("parameter exchanges: %lld in %d s with %d clients = %.0f per second (%lld failed)\n", load.done,
              seconds, threads, load.perSecond, load.failed);
}

// One assistant's exchanges, one every 100 ms for `seconds`: the median and
// worst time of each, in ms.
std::pair<std::int64_t, std::int64_t> OneAssistant(int port, int seconds, const std::vector<std::string>& bodies) {
  std::vector<std::int64_t> ms;
  long long failed = 0;
  const std::int64_t end = SteadyMs() + seconds * 1000;
  for (std::size_t i = 0; SteadyMs() < end; ++i) {
    const std::int64_t start = SteadyMs();
    const RawReply r = HttpPost(port, "/tollimer/update/?t=2", bodies[i % bodies.size()]);
    ms.push_back(SteadyMs() - start);
    if (r.status != 200) ++failed;
    SleepMs(100);
  }
  if (failed > 0) std::printf("  (%lld of one assistant's exchanges failed)\n", failed);
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

// The exchange with and without 500 slow clients (a header byte a second) and
// 500 idle connections from one address, which come back whenever the
// service drops them.
void ExchangeUnderAttack(int seconds) {
  EnsureDescriptorRoom(4096);
  RunningCentral central("central_bench_attack");
  (void)central.store->SetParam("", "interval", "180");
  const std::vector<std::string> bodies = SealedReports();
  const int port = central.HttpPort();
  const auto calmTimes = OneAssistant(port, seconds, bodies);
  const Load calm = PostLoad(port, 16, seconds, bodies);
  ConnectionAttack attack(port, "127.0.0.2", 500, 500);
  SleepMs(1000);
  const auto pressedTimes = OneAssistant(port, seconds, bodies);
  const Load pressed = PostLoad(port, 16, seconds, bodies);
  const ListenerCounts counts = central.service->HttpCounts();
  attack.Stop();
  std::printf("under attack (500 slow + 500 idle clients from one address, %d s per figure):\n", seconds);
  std::printf("  one assistant's exchange: median %lld ms, worst %lld ms (without the attack: %lld, %lld)\n",
              static_cast<long long>(pressedTimes.first), static_cast<long long>(pressedTimes.second),
              static_cast<long long>(calmTimes.first), static_cast<long long>(calmTimes.second));
  std::printf("  exchanges per second with 16 clients: %.0f under attack, %.0f without (%.2f)", pressed.perSecond,
              calm.perSecond, calm.perSecond > 0 ? pressed.perSecond / calm.perSecond : 0.0);
  if (calm.failed + pressed.failed > 0) std::printf("  (failed: %lld, %lld)", pressed.failed, calm.failed);
  std::printf("\n  attacker: %lld connections, %lld refused at once, %lld dropped at the request deadline\n",
              attack.Connects(), static_cast<long long>(counts.refusedAddressFull),
              static_cast<long long>(counts.timedOut));
}

void StoreSize() {
  TempDir dir("central_bench_store");
  std::string error;
  auto store = CentralStore::Open(dir.Path("central.db"), error);
  for (int i = 0; i < kInstallations; ++i) {
    InstallReport r;
    r.mac = Mac(i);
    r.diskSerial = Format("WD-WCC4N%07d", i);
    r.barId = std::to_string(3300 + i / 4);
    r.barName = "星空网吧连锁分店";
    r.versionCrc = "1A2B3C4D";
    r.osVersion = "10.0.19045";
    r.faceSound = "-";
    r.clientTime = "1765400000";
    r.featureBits = 63;
    r.monitors = 2;
    r.neighbours = 12;
    (void)store->RecordInstall(r, Format("10.%d.%d.%d", i >> 16 & 255, i >> 8 & 255, i & 255), 2, 1765400000);
  }
  store.reset();
  sqlite3* db = nullptr;
  sqlite3_open(dir.Path("central.db").c_str(), &db);
  sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::printf("store: %lld bytes for %d installations\n", FileSize(dir.Path("central.db")), kInstallations);
}

// MiB per second of `rounds` downloads through the downloader's request.
double Throughput(int port, const std::string& path, std::size_t expect, int rounds) {
  const std::int64_t start = SteadyMs();
  for (int i = 0; i < rounds; ++i) {
    const RawReply r = RawHttp(port, "GET " + path + " HTTP/1.1\r\nAccept: */*\r\nHost: 127.0.0.1\r\n"
                                     "User-Agent:FlowKite\r\nConnection: close\r\n\r\n");
    if (r.body.size() != expect) {
      std::printf("  short download from %s: %zu bytes\n", path.c_str(), r.body.size());
      return 0;
    }
  }
  const double seconds = static_cast<double>(SteadyMs() - start) / 1000.0;
  return static_cast<double>(expect) * rounds / seconds / (1024 * 1024);
}

void DownloadThroughput() {
  RunningCentral central("central_bench_download");
  std::string bytes = FakeExecutable(0x14C, std::string());
  bytes.resize(8 << 20);
  for (std::size_t i = 0x80; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 24);
  std::string error;
  const auto info = AddReleaseFile(central.config, *central.store, bytes, 0, "", error);
  if (!info) return;

  // The plain static file server: the same library serving the release folder.
  httplib::Server plain;
  plain.set_mount_point("/", central.dir.Path("releases"));
  const int plainPort = plain.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { plain.listen_after_bind(); });
  const int rounds = 40;
  const double central_ = Throughput(central.HttpPort(), "/tollimer/update/file/0BADF00D.bin", bytes.size(), rounds);
  const double static_ = Throughput(plainPort, "/" + info->crc + ".bin", bytes.size(), rounds);
  plain.stop();
  serving.join();
  std::printf("release download (8 MiB, %d rounds): tollimer-central %.0f MiB/s, plain static server %.0f MiB/s\n",
              rounds, central_, static_);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--bodies") {
    FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 1;
    for (const std::string& body : SealedReports()) std::fprintf(out, "%s\n", body.c_str());
    return std::fclose(out) == 0 ? 0 : 1;
  }
  if (argc >= 2 && std::string(argv[1]) == "--exchange") {
    ExchangeOnly(argc > 2 ? std::atoi(argv[2]) : 16, argc > 3 ? std::atoi(argv[3]) : 10);
    return 0;
  }
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  ExchangeNextToFloor(seconds);
  ExchangeUnderAttack(seconds);
  DownloadThroughput();
  StoreSize();
  return 0;
}
