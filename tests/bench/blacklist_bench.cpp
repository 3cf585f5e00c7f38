// The blacklist with 100 000 lines in "blacklist.txt": the load (file read,
// checked and masked; the service not answering) beside `wc -l` and `grep -c`
// on the same file, and FindInBlacklist of an ID that is not listed beside
// `grep -F -i -c`. Figures only; the median of several runs each.
#include <algorithm>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "blacklist/blacklist_store.h"
#include "fakes/fake_http_client.h"
#include "fakes/temp_dir.h"
#include "platform/files.h"
#include "util/text.h"

namespace {

constexpr int kLines = 100000;
constexpr int kRuns = 7;

// The file read with the C library: on Linux a path is plain bytes.
class PosixFiles : public Files {
 public:
  bool Exists(const std::string& path) override {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
  }
  bool Delete(const std::string& path) override { return std::remove(path.c_str()) == 0; }
  FileResult Append(const std::string&, const std::string&) override { return {false, 1, "unused"}; }
  FileResult ReadPieces(const std::string& path,
                        const std::function<void(std::string_view)>& sink) override {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {false, 2, "missing"};
    std::vector<char> buffer(64 * 1024);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) sink({buffer.data(), n});
    std::fclose(file);
    return {};
  }
};

std::string MakeFile() {
  std::string text;
  for (int i = 0; i < kLines; ++i) {
    if (i % 50 == 0) {
      text += "# 批次 " + std::to_string(i) + "\r\n";
      continue;
    }
    // Region 11..82, birth dates spread over 1950-1999, a Chinese name and reason.
    text += Format("%02d0101%04d%02d%02d%03d%c\t%s\t2024-%02d-%02d\t%s\r\n", 11 + i % 72,
                   1950 + i % 50, 1 + i % 12, 1 + i % 28, i % 1000, i % 11 == 0 ? 'X' : '0' + i % 10,
                   i % 3 ? "张三" : "欧阳小明", 1 + i % 12, 1 + i % 28, i % 7 ? "打架斗殴" : "欠费|逃单");
  }
  return text;
}

template <typename F>
double MedianMs(F&& work) {
  // (<chrono> cannot be compiled with GBK literals: its "µs" has no GBK form.)
  auto nowMs = [] {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
  };
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    const double start = nowMs();
    work();
    ms.push_back(nowMs() - start);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double ShellMs(const std::string& command) {
  return MedianMs([&] {
    if (std::system(("(" + command + ") >/dev/null").c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  });
}

}  // namespace

int main() {
  TempDir dir("blacklist_bench");
  const std::string text = MakeFile();
  const std::string path = dir.Write("blacklist.txt", text);
  std::printf("blacklist.txt: %d lines, %.1f MB\n", kLines, text.size() / 1e6);
  PosixFiles files;
  FakeHttpClient http;  // the service does not answer
  std::uint32_t tick = 0;
  BlacklistStore store(files, http, [&] { return tick; }, [] { return CalendarDate{2024, 3, 7}; },
                       {path, "http://127.0.0.1/data/blklist.txt"});
  int loaded = 0;
  const double loadMs = MedianMs([&] {
    tick += 10000;
    loaded = store.Get_BlackList();
  });
  std::printf("Get_BlackList:            %8.2f ms  (%d lines loaded)\n", loadMs, loaded);
  std::printf("wc -l:                    %8.2f ms\n", ShellMs("wc -l " + path));
  std::printf("grep -c 2024:             %8.2f ms\n", ShellMs("grep -c 2024 " + path));

  const std::string missing = "11010119991231999X";
  int index = 0;
  const double findMs = MedianMs([&] { index = store.FindInBlacklist(missing); });
  std::printf("FindInBlacklist(missing): %8.2f ms  (result %d)\n", findMs, index);
  std::printf("grep -F -i -c (missing):  %8.2f ms\n", ShellMs("grep -F -i -c " + missing + " " + path + " || true"));
  return 0;
}
