// The blacklist's readers: the cafe's own file and the central service's reply,
// loaded through the store as the program loads them, then searched, shown and
// clicked as the alert and the panel do.
#include <string>

#include "blacklist/blacklist_panel.h"
#include "blacklist/blacklist_store.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"
#include "fuzz_targets.h"
#include "platform/http_client.h"

namespace {

const char kFile[] = "C:\\T\\blacklist.txt";

int Load(const std::string& file, const std::string& reply, std::size_t pieceSize) {
  FakeFiles files;
  FakeHttpClient http;
  files.files[kFile] = file;
  files.pieceSize = pieceSize;
  http.defaultReply = ReplyText(reply);
  std::uint32_t tick = 5000;
  BlacklistStore store(files, http, [&] { return tick; }, [] { return CalendarDate{2024, 3, 7}; },
                       {kFile, "http://127.0.0.1/data/blklist.txt"});
  const int count = store.Get_BlackList();
  if (count != static_cast<int>(store.Lines().size())) FuzzFail("count differs from the list");
  for (const std::string& line : store.Lines()) {
    // The panel cuts a local record's entry line at its 18-character ID and
    // the separator after it.
    if (reply.empty() && (line.size() < 19 || (line[18] != '\t' && line[18] != ' '))) {
      FuzzFail("a local entry line without its separator at character 19");
    }
    (void)store.FindInBlacklist(line.substr(0, 18));
    // Shown: at most the first 12 bytes, the mask, and at most what follows
    // byte 18 (cuts fall on character boundaries, so they may take less).
    const std::string shown = MaskedLineText(line);
    const std::size_t rest = line.size() > 18 ? line.size() - 18 : 0;
    bool masked = false;
    for (std::size_t head = 0; head <= 12 && head + 6 <= shown.size() && !masked; ++head) {
      const std::size_t tail = shown.size() - head - 6;
      masked = tail <= rest && shown.compare(head, 6, "xxxxxx") == 0 && line.compare(0, head, shown, 0, head) == 0 &&
               line.compare(line.size() - tail, tail, shown, head + 6, tail) == 0;
    }
    if (!masked) FuzzFail("ID digits shown");
    (void)ClickLine(line);
  }
  (void)FindLines(store.Lines(), store.Lines().empty() ? std::string("11") : store.Lines()[0].substr(0, 18));
  return 0;
}

}  // namespace

int FuzzBlacklistFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the read piece size, so line ends fall across pieces.
  const std::size_t pieceSize = 1 + data[0] % 64;
  return Load(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), "", pieceSize);
}

int FuzzBlacklistService(const std::uint8_t* data, std::size_t size) {
  return Load("", std::string(reinterpret_cast<const char*>(data), size), 64 * 1024);
}
