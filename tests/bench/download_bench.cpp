// Throughput of DownloadFile from a loopback server, beside curl fetching the
// same bytes from the same server into the same folder: a release of the size
// of Tollimer.exe (1.25 MiB, with the CRC-32 check the swap makes before it
// replaces the program) and a 200 MiB body. Figures only.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "crypto/crc32.h"
#include "net/download.h"

namespace {

constexpr std::int64_t kBlockBytes = 1 << 20;
constexpr std::int64_t kUpdateBytes = 1280 * 1024;  // about the size of Tollimer.exe
constexpr std::int64_t kLargeBytes = 200 * kBlockBytes;

// Answers every GET with 200, a Content-Length and bodyBytes of a fixed
// pattern, then closes; one connection at a time.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::int64_t bodyBytes)
      : bodyBytes_(bodyBytes), block_(kBlockBytes, '\0') {
    for (std::int64_t i = 0; i < kBlockBytes; ++i) block_[i] = static_cast<char>(i * 131 + 7);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      std::perror("loopback server");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/big.bin"; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      int c = accept(listener_, nullptr, nullptr);
      if (c < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bodyBytes_) +
                         "\r\nConnection: close\r\n\r\n";
      bool ok =
          send(c, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
      for (std::int64_t sent = 0; ok && sent < bodyBytes_; sent += kBlockBytes) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlockBytes, bodyBytes_ - sent));
        for (std::size_t done = 0; ok && done < piece;) {
          ssize_t n = send(c, block_.data() + done, piece - done, MSG_NOSIGNAL);
          ok = n > 0;
          if (ok) done += static_cast<std::size_t>(n);
        }
      }
      close(c);
    }
  }

  const std::int64_t bodyBytes_;
  std::string block_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string DestinationPath() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/tollimer-download-bench.bin";
}

void BM_DownloadFile(benchmark::State& state) {
  const std::int64_t bodyBytes = state.range(0);
  LoopbackServer server(bodyBytes);
  DownloadOptions options;
  options.maxBodyBytes = bodyBytes;
  for (auto _ : state) {
    int n = DownloadFile(server.Url(), DestinationPath(), true, options);
    if (n != bodyBytes)
      state.SkipWithError(("DownloadFile returned " + std::to_string(n)).c_str());
  }
  state.SetBytesProcessed(state.iterations() * bodyBytes);
  std::remove(DestinationPath().c_str());
}
BENCHMARK(BM_DownloadFile)->Arg(kUpdateBytes)->Arg(kLargeBytes)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(5);

// The update's whole transfer: the download and the CRC-32 of the downloaded
// file that decides whether it may replace the program.
void BM_UpdateDownloadAndCheck(benchmark::State& state) {
  LoopbackServer server(kUpdateBytes);
  for (auto _ : state) {
    int n = DownloadFile(server.Url(), DestinationPath(), true);
    if (n != kUpdateBytes || Crc32FileText(DestinationPath()).empty())
      state.SkipWithError(("DownloadFile returned " + std::to_string(n)).c_str());
  }
  state.SetBytesProcessed(state.iterations() * kUpdateBytes);
  std::remove(DestinationPath().c_str());
}
BENCHMARK(BM_UpdateDownloadAndCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_Curl(benchmark::State& state) {
  const std::int64_t bodyBytes = state.range(0);
  LoopbackServer server(bodyBytes);
  const std::string command = "curl -s -f -o '" + DestinationPath() + "' '" + server.Url() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(state.iterations() * bodyBytes);
  std::remove(DestinationPath().c_str());
}
BENCHMARK(BM_Curl)->Arg(kUpdateBytes)->Arg(kLargeBytes)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
