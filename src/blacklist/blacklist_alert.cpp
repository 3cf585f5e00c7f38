#include "blacklist/blacklist_alert.h"

#include "billing/bar_identity.h"
#include "blacklist/blacklist_store.h"
#include "log/activity_log.h"
#include "platform/http_client.h"
#include "watcher/wave_sound.h"

namespace {
constexpr int kNotifyWaitMs = 500;
constexpr int kReportTimeoutMs = 5000;
}  // namespace

std::string BlacklistReportQuery(const std::string& id, const std::string& macText,
                                 const std::string& barId, const std::string& barName) {
  return "CID=" + id + "&RET=" + macText + "|" + barId + "|" + barName + "|";
}

bool BlacklistAlert::Check(Hwnd dialog, Hwnd faceButton, Hwnd idEdit) {
  const std::string id = out_.desktop.GetWindowTextOf(idEdit);
  const int index = store_.FindInBlacklist(id);
  if (index < 0) return false;
  // The same dialog's edit again: it was marked already; pressing nothing.
  if (idEdit == LastBlacklistEdit_) return true;

  const std::string entry = store_.Lines()[static_cast<std::size_t>(index)];
  LastBlacklistEdit_ = idEdit;
  out_.desktop.SetWindowTextOf(faceButton, "可疑名单");
  out_.desktop.SetWindowTextOf(dialog, entry);
  // "Bid=%s,BarName=%s,BlackID=%s", joined byte for byte: a byte of value 0
  // in the entry must not cut the announcement short.
  out_.sendNotice("Bid=" + bar_.barId + ",BarName=" + bar_.barName + ",BlackID=" + entry);
  out_.log.WriteLog("FindBlackList:" + entry);
  PlayWaveSound(out_.sound, out_.clock, "WAV", "NOTIFY", kNotifyWaitMs);
  // The alert has been shown and announced; an unreachable service costs only
  // the wait, and its reply is not used.
  (void)out_.http.HttpRequest(
      reportAddress_ + BlacklistReportQuery(id, macText_, bar_.barId, bar_.barName), "",
      kReportTimeoutMs);
  return true;
}
