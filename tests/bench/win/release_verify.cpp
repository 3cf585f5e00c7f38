// What the signature check adds to a self-update: the release downloaded as
// the assistant downloads it (DownloadFile), its signature fetched as the
// assistant fetches it (WinInet), and the check the swap waits for (SHA-256
// of the whole file and ECDSA P-256 through CNG), each timed. Prints figures.
//
//   release_verify_bench.exe UPDATE_ADDRESS [REPETITIONS]
//
// UPDATE_ADDRESS is a service's update address ("http://127.0.0.1:N/tollimer/update/")
// whose current release is signed with the key this build carries;
// tests/bench/release_verify.py sets one up with tollimer-central.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crypto/release_signature.h"
#include "crypto/release_statement.h"
#include "net/download.h"
#include "platform/http_client.h"

namespace {

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Figures {
  std::vector<double> ms;
  void Add(double value) { ms.push_back(value); }
  double Median() {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
  }
  double Min() { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: release_verify_bench.exe UPDATE_ADDRESS [REPETITIONS]\n");
    return 2;
  }
  const std::string update = argv[1];
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::optional<ReleaseKey> key = CompiledReleaseKey();
  if (!key) {
    std::fprintf(stderr, "this build carries no release key\n");
    return 2;
  }
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string destination = std::string(temp) + "release_verify_bench.NEW";
  // Any checksum: the service hands an unknown build its current release.
  const std::string checksum = "0BADF00D";
  std::unique_ptr<HttpClient> http = MakeServiceHttpClient();

  Figures download, signature, hash, ecdsa;
  long long bytes = 0;
  for (int i = 0; i < repetitions; ++i) {
    double start = NowMs();
    bytes = DownloadFile(update + "file/" + checksum + ".bin", destination, true);
    download.Add(NowMs() - start);
    if (bytes <= 0) {
      std::fprintf(stderr, "download failed: %lld\n", bytes);
      return 1;
    }
    start = NowMs();
    const std::string text = http->HttpRequest(update + "file/" + checksum + ".sig", "", 5000);
    signature.Add(NowMs() - start);
    start = NowMs();
    const std::optional<Sha256Digest> digest = Sha256OfFile(destination);
    hash.Add(NowMs() - start);
    start = NowMs();
    // The statement as the assistant checks it (any number is above 0), then
    // the file against the digest it names.
    const StatementVerdict verdict = CheckReleaseStatement(*key, text, 0, "x64");
    ecdsa.Add(NowMs() - start);
    const bool valid = digest && verdict.check == StatementCheck::kAccepted && verdict.statement.sha256 == *digest;
    if (!valid) {
      std::fprintf(stderr, "the release does not verify (signature text \"%s\")\n", text.c_str());
      return 1;
    }
  }
  DeleteFileA(destination.c_str());
  const double check = hash.Median() + ecdsa.Median();
  std::printf("release of %.1f MiB, %d repetitions (median / min, ms):\n", static_cast<double>(bytes) / 1048576.0,
              repetitions);
  std::printf("  download (DownloadFile, loopback)   %8.1f / %8.1f\n", download.Median(), download.Min());
  std::printf("  signature fetch (WinInet)           %8.1f / %8.1f\n", signature.Median(), signature.Min());
  std::printf("  SHA-256 of the file (CNG)           %8.1f / %8.1f\n", hash.Median(), hash.Min());
  std::printf("  statement check, ECDSA P-256 (CNG)  %8.2f / %8.2f\n", ecdsa.Median(), ecdsa.Min());
  std::printf("  check before the swap, in all       %8.1f ms = %.0f %% of the loopback download\n", check,
              download.Median() > 0 ? 100.0 * check / download.Median() : 0.0);
  std::printf("  the same download over a 4 Mbit/s cafe line would take about %.1f s\n",
              static_cast<double>(bytes) * 8.0 / 4e6);
  return 0;
}
