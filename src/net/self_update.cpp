#include "net/self_update.h"

#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr int kMessageMs = 3000;

}  // namespace

std::string SpeedText(long long bytes, long long elapsedMs) {
  if (elapsedMs < 1) elapsedMs = 1;
  return Format("%.2f KB/S", static_cast<double>(bytes) / static_cast<double>(elapsedMs));
}

int SelfUpdate::ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities) {
  if (running_) return 0;
  running_ = true;
  int result = Apply(exeChecksum, releaseIdentities);
  running_ = false;
  return result;
}

int SelfUpdate::Apply(const std::string& exeChecksum, const std::string& releaseIdentities) {
  const std::string fresh = exePath_ + ".NEW";
  const std::string backup = exePath_ + ".old";

  const std::int64_t started = shell_.TickMs();
  const std::string url = FormatRuntime(Literal(lit::kDownloadUrlFormat), updateAddress_.c_str(),
                                 exeChecksum.c_str());
  const int downloaded = download_(url, fresh);
  const long long elapsedMs = static_cast<long long>(shell_.TickMs() - started);
  if (downloaded <= 0) {
    log_.WriteLog(Format("＃自动更新失败C,CODE:%d", downloaded));
    return downloaded;
  }

  // Only the release the service announced may replace the running program:
  // a download cut short, or garbage served in its place, would otherwise
  // leave a cashier PC without a working assistant.
  const std::string freshCrc = files_.Crc32Text(fresh);
  if (!IsReleaseIdentity(releaseIdentities, freshCrc)) {
    log_.WriteLog(Format("＃自动更新失败D,CODE:CRC=%s", freshCrc.c_str()));
    files_.Delete(fresh);
    return 0;
  }

  if (files_.Exists(backup)) {
    files_.MakePlain(backup);
    if (!files_.Delete(backup)) {
      log_.WriteLog("＃Delete Bakfile!");
      return 0;
    }
  }
  if (!files_.Rename(exePath_, backup)) {
    log_.WriteLog("＃自动更新失败A,CODE:ReName1");
    return 0;
  }
  if (!files_.Rename(fresh, exePath_)) {
    log_.WriteLog("＃自动更新失败B,CODE:ReName2");
    // The program exists only as the backup now: put it back.
    const bool restored = files_.Rename(backup, exePath_);
    log_.WriteLog(Format("Restore=%d", restored ? 1 : 0));
    return 0;
  }

  const std::string title = shell_.ApplicationTitle();
  shell_.SetApplicationTitle("ORVAssistant-UpdateOK..");
  shell_.ShowSelfClosingMessage(
      "Tollimer-自动更新成功",
      "网吧Tollimer-自动更新成功，确定后重新启动!\r\n\r\n当前速度:" + SpeedText(downloaded, elapsedMs),
      kMessageMs);
  // The new program starts before this one closes: should it not start, the
  // old one is put back and keeps running, instead of leaving the cashier PC
  // without an assistant until the next sign-in.
  if (!shell_.StartProgram(exePath_)) {
    log_.WriteLog("＃自动更新失败E,CODE:Start");
    files_.Delete(exePath_);
    const bool restored = files_.Rename(backup, exePath_);
    log_.WriteLog(Format("Restore=%d", restored ? 1 : 0));
    shell_.SetApplicationTitle(title);
    return 0;
  }
  // Fails while this process still runs from the backup; the next start
  // deletes it.
  files_.Delete(backup);
  shell_.CloseForRestart();
  return downloaded;
}
