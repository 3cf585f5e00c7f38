#include "net/self_update.h"

#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr int kMessageMs = 3000;
// A backup still held by the ending predecessor: about 3 s in all.
constexpr int kBackupAttempts = 30;
constexpr int kBackupRetryMs = 100;

const char* SignatureFailureCode(ReleaseCheck check) {
  switch (check) {
    case ReleaseCheck::kNoSignature:
      return "NoSign";
    case ReleaseCheck::kBadSignature:
      return "BadSign";
    case ReleaseCheck::kUnreadable:
      return "ReadNEW";
    case ReleaseCheck::kSigned:
      break;
  }
  return "";
}

}  // namespace

std::string SpeedText(long long bytes, long long elapsedMs) {
  if (elapsedMs < 1) elapsedMs = 1;
  return Format("%.2f KB/S", static_cast<double>(bytes) / static_cast<double>(elapsedMs));
}

int SelfUpdate::ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities) {
  if (running_) return 0;
  running_ = true;
  int result = Install(Fetch(exeChecksum, releaseIdentities));
  running_ = false;
  return result;
}

void SelfUpdate::RemoveLeftoverBackup(const std::function<void(int ms)>& wait) {
  const std::string backup = exePath_ + ".old";
  for (int attempt = 1; files_.Exists(backup); ++attempt) {
    files_.MakePlain(backup);
    if (files_.Delete(backup) || attempt == kBackupAttempts) return;
    wait(kBackupRetryMs);
  }
}

std::string SelfUpdate::SignatureFailure(const std::string& fresh, const std::string& exeChecksum) const {
  if (!releaseKey_) return {};
  // The signature is looked up like the release: by this program's checksum.
  const std::string url = FormatRuntime(Literal(lit::kSignatureUrlFormat), updateAddress_.c_str(),
                                        exeChecksum.c_str());
  const ReleaseCheck check = CheckRelease(*releaseKey_, files_.Sha256(fresh), source_.signature(url));
  if (check == ReleaseCheck::kSigned) return {};
  return Format("＃自动更新失败E,CODE:%s", SignatureFailureCode(check));
}

bool SelfUpdate::PutBackTheProgram() { return files_.Replace(exePath_ + ".old", exePath_); }

FetchedRelease SelfUpdate::Fetch(const std::string& exeChecksum,
                                 const std::string& releaseIdentities) const {
  const std::string fresh = exePath_ + ".NEW";
  FetchedRelease fetched;
  const std::int64_t started = shell_.TickMs();
  const std::string url = FormatRuntime(Literal(lit::kDownloadUrlFormat), updateAddress_.c_str(),
                                 exeChecksum.c_str());
  const int downloaded = source_.download(url, fresh);
  fetched.elapsedMs = static_cast<long long>(shell_.TickMs() - started);
  if (downloaded <= 0) {
    fetched.downloaded = downloaded;
    fetched.failureLine = Format("＃自动更新失败C,CODE:%d", downloaded);
    return fetched;
  }

  // Only the release the service announced may replace the running program:
  // a download cut short, or garbage served in its place, would otherwise
  // leave a cashier PC without a working assistant.
  const std::string freshCrc = files_.Crc32Text(fresh);
  if (!IsReleaseIdentity(releaseIdentities, freshCrc)) {
    fetched.failureLine = Format("＃自动更新失败D,CODE:CRC=%s", freshCrc.c_str());
    files_.Delete(fresh);
    return fetched;
  }
  // Anybody who can answer the exchange can announce a CRC: only the
  // operator's signature says the program is theirs.
  fetched.failureLine = SignatureFailure(fresh, exeChecksum);
  if (!fetched.failureLine.empty()) {
    files_.Delete(fresh);
    return fetched;
  }
  fetched.downloaded = downloaded;
  return fetched;
}

int SelfUpdate::Install(const FetchedRelease& fetched) {
  if (fetched.downloaded <= 0 || !fetched.failureLine.empty()) {
    if (!fetched.failureLine.empty()) log_.WriteLog(fetched.failureLine);
    return fetched.downloaded < 0 ? fetched.downloaded : 0;
  }
  const std::string fresh = exePath_ + ".NEW";
  const std::string backup = exePath_ + ".old";
  const int downloaded = fetched.downloaded;
  const long long elapsedMs = fetched.elapsedMs;

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
    log_.WriteLog(Format("Restore=%d", PutBackTheProgram() ? 1 : 0));
    return 0;
  }

  const std::string title = shell_.ApplicationTitle();
  shell_.SetApplicationTitle("ORVAssistant-UpdateOK..");
  shell_.ShowSelfClosingMessage(
      "Tollimer-自动更新成功",
      "网吧Tollimer-自动更新成功，确定后重新启动!\r\n\r\n当前速度:" + SpeedText(downloaded, elapsedMs),
      kMessageMs);
  // The successor starts before this program ends: when it cannot start
  // (blocked by policy or an antivirus), this one stays, from its own file.
  if (const unsigned long error = shell_.StartProgram(exePath_)) {
    log_.WriteLog(Format("＃自动更新失败F,CODE:Start=%lu", error));
    log_.WriteLog(Format("Restore=%d", PutBackTheProgram() ? 1 : 0));
    shell_.SetApplicationTitle(title);
    return 0;
  }
  // Fails while this process still runs from the backup; the new program
  // deletes it at its start.
  files_.Delete(backup);
  shell_.CloseMainWindow();
  return downloaded;
}
