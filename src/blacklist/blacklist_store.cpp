#include "blacklist/blacklist_store.h"

#include <algorithm>
#include <exception>

#include "blacklist/blacklist_lines.h"
#include "platform/files.h"
#include "platform/http_client.h"

namespace {
constexpr std::uint32_t kLoadGuardMs = 3000;
constexpr int kRequestTimeoutMs = 5000;
}  // namespace

std::string BlacklistLoadedText(int lines, int localRecords, std::uint32_t elapsedMs) {
  std::string text = Format("黑名单:%d条,", lines);
  if (localRecords > 0) text += Format("本地%d条", localRecords);
  return text + Format("耗时:%ums", static_cast<unsigned>(elapsedMs));
}

std::string BlacklistFailedText(int localRecords, std::uint32_t elapsedMs) {
  return Format("获取黑名单失败:0, 本地数据%d条, 耗时:%ums", localRecords,
                static_cast<unsigned>(elapsedMs));
}

void BlacklistStore::ReadLocalFile(std::vector<std::string>& out) {
  const CalendarDate today = today_();
  // The file is GBK; one saved as UTF-8 with a byte-order mark is read as
  // such, so its first record is not lost to the mark and its names show.
  BlacklistFileReader reader(false, today, [&](int, const RecordCheck& check) {
    if (check.record) out.push_back(LocalEntry(*check.record));
  });
  // A missing file gives no records. A file that is locked, or that vanishes
  // mid-read, gives the records read until then: the service's lines are still
  // loaded after it, so one unreadable file does not empty the whole list.
  const bool complete = files_.ReadPieces(sources_.localFile, [&](std::string_view piece) {
    reader.Feed(piece);
  }).ok;
  if (complete) reader.Finish();
}

int BlacklistStore::Get_BlackList() {
  const std::uint32_t start = tickMs_();
  if (static_cast<std::uint32_t>(start - lastLoadTick_) < kLoadGuardMs) return 0;
  lastLoadTick_ = start;

  try {
    lines_.clear();
    sorted_ = false;
    std::vector<std::string> local;
    ReadLocalFile(local);
    lines_ = std::move(local);
    localRecords_ = static_cast<int>(lines_.size());

    const std::string reply = http_.HttpRequest(sources_.url, "", kRequestTimeoutMs);
    if (reply.empty()) {
      status_ = BlacklistFailedText(localRecords_, tickMs_() - start);
      return static_cast<int>(lines_.size());
    }
    LineSplitter splitter(reply.size(), [&](std::string_view line) {
      if (auto opened = OpenServiceLine(line)) lines_.push_back(std::move(*opened));
    });
    splitter.Feed(reply);
    splitter.Finish();
    status_ = BlacklistLoadedText(static_cast<int>(lines_.size()), localRecords_, tickMs_() - start);
    return static_cast<int>(lines_.size());
  } catch (const std::exception&) {
    // Out of memory and the like: the list keeps what it got, the status
    // stays, and the caller logs 0.
    return 0;
  }
}

int BlacklistStore::FindInBlacklist(const std::string& id) const {
  if (id.size() <= 7) return -1;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (FindText(id, lines_[i], true, 1) > 0) return static_cast<int>(i);
  }
  return -1;
}

void BlacklistStore::Sort(const std::function<bool(const std::string&, const std::string&)>& less) {
  std::stable_sort(lines_.begin(), lines_.end(), less);
  sorted_ = true;
}
