// The assistant's talks with the central service, run on the network worker
// so the one-second watch cycle never waits for them: the start-up exchange's
// attempts, the periodic refresh, the blacklist request, a release's download
// and checks, and the hit report. Each is a job of the worker's queue; what it
// brings (parameters, the update state, the service's blacklist lines, a
// checked release) comes back as a result the window thread applies, in
// order, with the log lines the work always wrote. A checked release is
// swapped in at a quiet moment of the watch cycle.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "net/job_queue.h"
#include "net/self_update.h"
#include "platform/http_client.h"
#include "settings/run_params.h"

class ActivityLog;
class BlacklistStore;

class CentralWork {
 public:
  struct Parts {
    JobQueue& queue;
    HttpClient& workerHttp;  // used on the worker only
    ActivityLog& log;
    TCenterPar& par;
    BlacklistStore& blacklist;
    SelfUpdate& selfUpdate;
    std::string updateAddress;
    std::string exeChecksum;
  };
  struct Hooks {
    std::function<std::string()> requestText;   // the exchange's request, built on the window thread
    std::function<void()> startupExchangeDone;  // after the start-up exchange's answer applied
    std::function<void()> blacklistLoaded;      // after each change of the list
    std::function<bool()> quietMoment;          // no face dialog or alert being handled
  };

  explicit CentralWork(Parts parts) : p_(std::move(parts)) {}
  Hooks& GetHooks() { return hooks_; }

  // The start-up exchange: up to 15 attempts a second apart, each logged;
  // its answer sets the parameters, and an announced update is fetched.
  void StartupExchange();
  // The periodic exchange; `done` gets the update state (-1, 1 or 2) once it
  // is applied. A refresh asked for while one is under way is not queued
  // again.
  void Refresh(std::function<void(int state)> done);
  // Loads the blacklist: the local file at once, the service's lines when
  // they come; then logs `linePrefix` + the number of lines (nothing when
  // the prefix is empty: the cashier's own reload).
  void LoadBlacklist(const std::string& linePrefix);
  // Downloads and checks the announced release, unless one is under way or
  // waits already. `announcedAtStartup`: the outcome is logged as the first
  // tick's update.
  void FetchRelease(bool announcedAtStartup);
  // At every watch tick, before the cycle: swaps in a checked release when
  // the moment is quiet. True when this program is ending for it.
  bool OnTick();
  // Window thread: applies what the worker delivered, oldest first.
  void ApplyResults();

  bool ReleaseWaiting() const { return waiting_.has_value(); }
  const std::string& ReleaseIdentities() const { return releaseIdentities_; }

 private:
  // The answer of an exchange that ran on the worker.
  void ApplyExchange(int state, const TCenterPar& par, const std::string& identities);
  int InstallRelease(const FetchedRelease& fetched, bool announcedAtStartup);
  // The outcome of the update the start-up exchange announced.
  void LogStartupUpdate(int result);

  Parts p_;
  Hooks hooks_;
  std::string releaseIdentities_;
  bool refreshing_ = false;
  bool fetching_ = false;
  std::optional<FetchedRelease> waiting_;
  bool waitingFromStartup_ = false;
};

// An HttpClient for requests whose reply nobody reads (the hit report): the
// request is queued on the worker and the call returns the empty text at once.
class QueuedRequests : public HttpClient {
 public:
  QueuedRequests(JobQueue& queue, HttpClient& workerHttp) : queue_(queue), workerHttp_(workerHttp) {}
  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override;

 private:
  JobQueue& queue_;
  HttpClient& workerHttp_;
};
