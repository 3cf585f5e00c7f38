#include "app/central_work.h"

#include "blacklist/blacklist_store.h"
#include "log/activity_log.h"
#include "net/central_exchange.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {
// The blacklist request waits this long at most per step.
constexpr int kBlacklistTimeoutMs = 5000;
}  // namespace

void CentralWork::StartupExchange() {
  const std::string request = hooks_.requestText ? hooks_.requestText() : std::string();
  TCenterPar par = p_.par;
  p_.queue.Post([this, request, par, &http = p_.workerHttp, address = p_.updateAddress,
                 checksum = p_.exeChecksum](JobContext& job) mutable {
    CentralExchange exchange(http, par, address, checksum);
    const int state = exchange.Check_UpdateAttempts(
        request,
        [this, &job](int attempt, int result) {
          job.Deliver([this, attempt, result] {
            p_.log.WriteLog(FormatRuntime(Literal(lit::kAttemptLineFormat), attempt, result));
          });
        },
        [&job](int ms) { return job.Pause(ms); });
    job.Deliver([this, state, par, identities = exchange.ReleaseIdentities()] {
      ApplyExchange(state, par, identities);
      if (hooks_.startupExchangeDone) hooks_.startupExchangeDone();
      if (state == kUpdateAvailable) FetchRelease(true);
    });
  });
}

void CentralWork::Refresh(std::function<void(int state)> done) {
  if (refreshing_) return;
  refreshing_ = true;
  const std::string request = hooks_.requestText ? hooks_.requestText() : std::string();
  TCenterPar par = p_.par;
  p_.queue.Post([this, request, par, done = std::move(done), &http = p_.workerHttp,
                 address = p_.updateAddress, checksum = p_.exeChecksum](JobContext& job) mutable {
    CentralExchange exchange(http, par, address, checksum);
    const int state = exchange.Call_Update([&request] { return request; });
    job.Deliver([this, state, par, done, identities = exchange.ReleaseIdentities()] {
      refreshing_ = false;
      ApplyExchange(state, par, identities);
      if (state != kUpdateCurrent) p_.log.WriteLog(FormatRuntime(Literal(lit::kRefreshStateFormat), state));
      if (done) done(state);
    });
  });
}

void CentralWork::ApplyExchange(int state, const TCenterPar& par, const std::string& identities) {
  if (IsFailedExchange(state)) return;
  p_.par = par;
  if (state == kUpdateAvailable) releaseIdentities_ = identities;
}

void CentralWork::LoadBlacklist(const std::string& linePrefix) {
  if (p_.blacklist.LoadLocal() < 0) {
    // Refused: a load began less than 3 s ago.
    if (!linePrefix.empty()) p_.log.WriteLog(linePrefix + "0");
    return;
  }
  // Swipes are checked against the local records from now on.
  if (hooks_.blacklistLoaded) hooks_.blacklistLoaded();
  p_.queue.Post([this, linePrefix, url = p_.blacklist.ServiceUrl(), &http = p_.workerHttp](JobContext& job) {
    std::string reply = http.HttpRequest(url, "", kBlacklistTimeoutMs);
    job.Deliver([this, linePrefix, reply = std::move(reply)] {
      // Shown before the line is written: whoever reads the line finds the
      // panel up to date.
      const int lines = p_.blacklist.ApplyServiceReply(reply);
      if (hooks_.blacklistLoaded) hooks_.blacklistLoaded();
      if (!linePrefix.empty()) p_.log.WriteLog(linePrefix + std::to_string(lines));
    });
  });
}

void CentralWork::FetchRelease(bool announcedAtStartup) {
  if (fetching_ || waiting_) return;
  // Within the floor or a back-off, or while an update runs: not now.
  if (!p_.selfUpdate.BeginUpdate(releaseIdentities_)) {
    if (announcedAtStartup) LogStartupUpdate(0);
    return;
  }
  fetching_ = true;
  p_.queue.Post([this, announcedAtStartup, identities = releaseIdentities_, checksum = p_.exeChecksum,
                 &selfUpdate = p_.selfUpdate](JobContext& job) {
    FetchedRelease fetched = selfUpdate.Fetch(checksum, identities);
    job.Deliver([this, announcedAtStartup, fetched = std::move(fetched)] {
      fetching_ = false;
      if (fetched.downloaded > 0 && fetched.failureLines.empty()) {
        waiting_ = fetched;
        waitingFromStartup_ = announcedAtStartup;
      } else {
        InstallRelease(fetched, announcedAtStartup);
      }
    });
  });
}

bool CentralWork::OnTick() {
  if (!waiting_ || (hooks_.quietMoment && !hooks_.quietMoment())) return false;
  const FetchedRelease fetched = *waiting_;
  waiting_.reset();
  return InstallRelease(fetched, waitingFromStartup_) > 0;
}

int CentralWork::InstallRelease(const FetchedRelease& fetched, bool announcedAtStartup) {
  const int result = p_.selfUpdate.Install(fetched, p_.par.ParamRefreshMinutes);
  if (announcedAtStartup) LogStartupUpdate(result);
  return result;
}

void CentralWork::LogStartupUpdate(int result) {
  p_.log.WriteLog(FormatRuntime(Literal(lit::kFirstTickUpdateFormat), result, kUpdateAvailable));
}

void CentralWork::ApplyResults() {
  for (auto& apply : p_.queue.TakeResults()) apply();
}

std::string QueuedRequests::HttpRequest(const std::string& url, const std::string& body, int timeoutMs) {
  queue_.Post([url, body, timeoutMs, &http = workerHttp_](JobContext&) {
    (void)http.HttpRequest(url, body, timeoutMs);
  });
  return {};
}
