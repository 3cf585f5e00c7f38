#include "net/self_update.h"

#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr int kMessageMs = 3000;
// A backup still held by the ending predecessor (it shows the update box for
// about 3 s before it ends): about 8 s in all.
constexpr int kBackupAttempts = 80;
constexpr int kBackupRetryMs = 100;

}  // namespace

std::string SpeedText(long long bytes, long long elapsedMs) {
  if (elapsedMs < 1) elapsedMs = 1;
  return Format("%.2f KB/S", static_cast<double>(bytes) / static_cast<double>(elapsedMs));
}

int SelfUpdate::ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities,
                            int refreshMinutes) {
  if (!BeginUpdate(releaseIdentities)) return 0;
  return Install(Fetch(exeChecksum, releaseIdentities), refreshMinutes);
}

bool SelfUpdate::BeginUpdate(const std::string& releaseIdentities) {
  // What is announced names the release; whoever answers the exchange may
  // announce anything, as often as they like.
  if (applying_) return false;
  const std::int64_t started = shell_.TickMs();
  if (!attempts_.MayTry(releaseIdentities, started)) return false;
  attempts_.Started(started);
  attemptStarted_ = started;
  applying_ = true;
  return true;
}

void SelfUpdate::RemoveLeftoverBackup(const std::function<void(int ms)>& wait) {
  const std::string backup = exePath_ + ".old";
  for (int attempt = 1; files_.Exists(backup); ++attempt) {
    files_.MakePlain(backup);
    if (files_.Delete(backup) || attempt == kBackupAttempts) return;
    wait(kBackupRetryMs);
  }
}

std::optional<ReleaseStatement> SelfUpdate::CheckedStatement(const std::string& exeChecksum,
                                                              std::string& failure) const {
  // The statement is looked up like the release: by this program's checksum.
  const std::string url = FormatRuntime(Literal(lit::kSignatureUrlFormat), updateAddress_.c_str(),
                                        exeChecksum.c_str());
  const StatementVerdict verdict =
      CheckReleaseStatement(*releaseKey_, source_.signature(url), running_.number, running_.machine);
  if (verdict.check == StatementCheck::kAccepted) return verdict.statement;
  failure = Format("＃自动更新失败E,CODE:%s", StatementCheckCode(verdict.check));
  return std::nullopt;
}

bool SelfUpdate::PutBackTheProgram() { return files_.Replace(exePath_ + ".old", exePath_); }

bool SelfUpdate::StartAndAwaitTheRelease() {
  // The successor starts before this program ends: when it cannot start
  // (blocked by policy or an antivirus), or starts and never comes up (its
  // imports fail, it crashes in its start-up), this one stays, from its own
  // file.
  if (const unsigned long error = shell_.StartProgram(exePath_)) {
    log_.WriteLog(Format("＃自动更新失败F,CODE:Start=%lu", error));
  } else if (shell_.WaitUntilStartedProgramIsUp(kStartReplyMs)) {
    return true;
  } else {
    shell_.EndStartedProgram();
    log_.WriteLog("＃自动更新失败G,CODE:NoReply");
  }
  log_.WriteLog(Format("Restore=%d", PutBackTheProgram() ? 1 : 0));
  return false;
}

FetchedRelease SelfUpdate::Fetch(const std::string& exeChecksum,
                                 const std::string& releaseIdentities) const {
  const std::string fresh = exePath_ + ".NEW";
  FetchedRelease fetched;
  fetched.releaseIdentities = releaseIdentities;
  const auto refuse = [&](std::string line) {
    files_.Delete(fresh);
    fetched.failureLines.push_back(std::move(line));
    fetched.refused = true;
    fetched.downloaded = 0;
    return fetched;
  };

  // The small signed statement comes before the release: nothing is
  // downloaded that the operator did not vouch for.
  std::optional<ReleaseStatement> stated;
  if (releaseKey_) {
    std::string failure;
    stated = CheckedStatement(exeChecksum, failure);
    if (!failure.empty()) return refuse(failure);
  }

  const std::string url = FormatRuntime(Literal(lit::kDownloadUrlFormat), updateAddress_.c_str(),
                                 exeChecksum.c_str());
  fetched.downloaded = source_.download(url, fresh);
  fetched.elapsedMs = static_cast<long long>(shell_.TickMs() - attemptStarted_);
  if (fetched.downloaded <= 0) {
    fetched.failureLines.push_back(Format("＃自动更新失败C,CODE:%d", fetched.downloaded));
    files_.Delete(fresh);
    return fetched;
  }

  // Only the release the service announced may replace the running program:
  // a download cut short, or garbage served in its place, would otherwise
  // leave a cashier PC without a working assistant.
  const std::string freshCrc = files_.Crc32Text(fresh);
  if (!IsReleaseIdentity(releaseIdentities, freshCrc)) {
    return refuse(Format("＃自动更新失败D,CODE:CRC=%s", freshCrc.c_str()));
  }
  // Anybody who can answer the exchange can announce a CRC: only the file
  // the operator's statement names is theirs.
  if (stated && files_.Sha256(fresh) != stated->sha256) return refuse("＃自动更新失败E,CODE:Sha256");
  return fetched;
}

int SelfUpdate::Install(const FetchedRelease& fetched, int refreshMinutes) {
  const int result = Swap(fetched);
  if (fetched.refused) {
    const std::int64_t backoffMs = attempts_.Refused(fetched.releaseIdentities, attemptStarted_,
                                                     static_cast<std::int64_t>(refreshMinutes) * 60000);
    log_.WriteLog(Format("UpdateBackoff=%llds", static_cast<long long>(backoffMs / 1000)));
  }
  applying_ = false;
  return result;
}

int SelfUpdate::Swap(const FetchedRelease& fetched) {
  for (const std::string& line : fetched.failureLines) log_.WriteLog(line);
  if (!fetched.failureLines.empty() || fetched.downloaded <= 0) {
    return fetched.downloaded < 0 ? fetched.downloaded : 0;
  }
  const std::string fresh = exePath_ + ".NEW";
  const std::string backup = exePath_ + ".old";
  const std::string& releaseIdentities = fetched.releaseIdentities;
  const int downloaded = fetched.downloaded;
  const long long elapsedMs = fetched.elapsedMs;

  if (files_.Exists(backup)) {
    files_.MakePlain(backup);
    if (!files_.Delete(backup)) {
      log_.WriteLog("＃Delete Bakfile!");
      files_.Delete(fresh);
      return 0;
    }
  }
  if (!files_.Rename(exePath_, backup)) {
    log_.WriteLog("＃自动更新失败A,CODE:ReName1");
    files_.Delete(fresh);
    return 0;
  }
  if (!files_.Rename(fresh, exePath_)) {
    log_.WriteLog("＃自动更新失败B,CODE:ReName2");
    // The program exists only as the backup now: put it back.
    log_.WriteLog(Format("Restore=%d", PutBackTheProgram() ? 1 : 0));
    files_.Delete(fresh);
    return 0;
  }

  const std::string title = shell_.ApplicationTitle();
  shell_.SetApplicationTitle("ORVAssistant-UpdateOK..");
  if (!StartAndAwaitTheRelease()) {
    // Never again while this process runs: each try would restart a program
    // that does not come up.
    attempts_.FailedToStart(releaseIdentities);
    shell_.SetApplicationTitle(title);
    return 0;
  }
  shell_.ShowSelfClosingMessage(
      "Tollimer-自动更新成功",
      "网吧Tollimer-自动更新成功，确定后重新启动!\r\n\r\n当前速度:" + SpeedText(downloaded, elapsedMs),
      kMessageMs);
  // Fails while this process still runs from the backup; the new program
  // deletes it once it is up.
  files_.Delete(backup);
  shell_.CloseMainWindow();
  return downloaded;
}
