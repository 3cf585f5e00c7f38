// The central service's store: SQLite in the data folder, write-ahead logged,
// every change one transaction, so a kill at any moment leaves the previous
// or the next state and never half of one. Text in and out is UTF-8; every
// value goes in as a bound parameter, never as SQL text. One connection,
// shared by the service's threads under a lock; the operator's commands open
// their own and wait up to five seconds for a busy store.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "central/store/records.h"

struct sqlite3;
struct sqlite3_stmt;

struct InstallRow {
  InstallReport report;
  std::string address;
  int kind = 0;
  std::int64_t firstSeen = 0;
  std::int64_t lastSeen = 0;
  std::int64_t exchanges = 0;
};

// An installation not heard from for more than twice its bar's refresh
// interval, with that interval in minutes.
struct SilentInstall {
  std::string barId, barName, address, versionCrc;
  std::int64_t lastSeen = 0;
  int refreshMinutes = 0;
};

// One bar's installations taken together.
struct BarInstalls {
  std::string barId;
  std::string barName;  // the name its most recently seen installation reports
  std::int64_t lastSeen = 0;
  std::vector<std::pair<std::string, int>> versions;  // checksum -> installations, by checksum
};

// The installations' first and last contacts counted per span of Unix time:
// those before the first span, and {span start, count} of the spans after.
struct ContactSpans {
  int firstBefore = 0, lastBefore = 0;
  std::vector<std::pair<std::int64_t, int>> first, last;
};

struct ParamRow {
  std::string barId;  // empty: every bar
  std::string name;
  std::string value;
};

struct ReleaseRow {
  ReleaseInfo info;
  std::int64_t added = 0;
  bool current = false;
};

struct BlacklistRow {
  std::string idNumber;
  std::string line;  // UTF-8
  bool operator==(const BlacklistRow&) const = default;
};

// A message waiting for a group-chat robot: one hit's line for one target,
// written in the transaction that records the hit.
struct OutboxEntry {
  std::string target;
  std::string barId, barName;  // UTF-8
  std::string line;            // UTF-8, one line of the message
};

struct OutboxRow {
  std::int64_t seq = 0;
  std::string target, barId, barName, line;
  std::int64_t createdMs = 0;  // Unix milliseconds
  int attempts = 0;
  std::int64_t nextTryMs = 0;
  std::string lastError;
};

// What the outbox holds for one target.
struct OutboxTargetState {
  std::string target;
  int waiting = 0;
  int delivered24h = 0;
  int givenUp = 0;          // kept as long as the outbox keeps them
  int dropped = 0;          // hits' messages refused by a full queue, ever
  std::string lastError;    // of its first waiting message, when that one failed
};

// The most messages one target may have waiting. Hits need no login, so a
// sender can add them faster than a robot takes them (about 20 a minute) for
// as long as it likes; past this, a hit's message for that target is not
// queued and counted as dropped instead. A day's digest always goes in.
constexpr int kOutboxWaitingCeiling = 2000;

class CentralStore {
 public:
  // Opens (creating when missing) the store file. Nothing, with `error`
  // filled, when the file is not a store or cannot be opened.
  static std::unique_ptr<CentralStore> Open(const std::string& path, std::string& error);
  ~CentralStore();
  CentralStore(const CentralStore&) = delete;
  CentralStore& operator=(const CentralStore&) = delete;

  // The service's connection: a write that finds another process's write
  // lock (an operator's command) waits for it without holding this store's
  // lock, so the exchanges' reads go on and the waits of several writes
  // overlap instead of queueing one after another. Installations, hits and
  // notices are written this way.
  void WaitForWritersUnlocked();

  // An installation is one MAC and disk serial; a new report updates it.
  [[nodiscard]] bool RecordInstall(const InstallReport& report, const std::string& address, int kind,
                                   std::int64_t now);
  std::vector<InstallRow> Installs();
  // How many bars the installations name.
  int CountBars();
  // The bars from the `from`th on by bar id, at most `limit` of them.
  std::vector<BarInstalls> BarPage(std::size_t from, std::size_t limit);
  // Installations per checksum of the build they run.
  std::map<std::string, int> CountInstallsPerVersion();
  // First and last contacts per `spanSeconds` from `since` on (a span
  // boundary at or before it). An installation whose last contact is
  // earlier than its first (a clock set back) is left out.
  ContactSpans CountContactsPer(std::int64_t since, int spanSeconds);
  // The installations silent at `now` (not seen for more than twice
  // `refreshMinutes` of their bar), the most recently seen first, at most
  // `limit`; `count` gets how many there are in all.
  std::vector<SilentInstall> SilentInstalls(std::int64_t now,
                                            const std::function<int(const std::string& barId)>& refreshMinutes,
                                            int limit, int& count);

  // The parameters a bar gets: the global ones, each replaced by the bar's own
  // value of the same name, ordered by name.
  ParamList ParamsFor(const std::string& barId);
  [[nodiscard]] bool SetParam(const std::string& barId, const std::string& name, const std::string& value);
  // False when there was no such parameter.
  [[nodiscard]] bool UnsetParam(const std::string& barId, const std::string& name);
  std::vector<ParamRow> Params();

  // Records a release and makes it the current one for its processor.
  [[nodiscard]] bool AddRelease(const ReleaseInfo& info, std::int64_t now);
  std::vector<ReleaseRow> Releases();
  // Forgets a release; false when there was none of that checksum.
  [[nodiscard]] bool RemoveRelease(const std::string& crc);
  // Checksum texts of the current releases, separated by ",".
  std::string ReleaseIdentities();
  // The current release for an installation that runs `requesterCrc`: the one
  // for the same processor when that build is known, else the 32-bit one
  // (it runs on every cashier PC), else any current one.
  std::optional<ReleaseRow> ReleaseFor(const std::string& requesterCrc);

  // Adds the entries (an entry with a known ID number replaces its line), or
  // with `replace` makes them the whole list.
  [[nodiscard]] bool ImportBlacklist(const std::vector<BlacklistRow>& rows, bool replace);
  [[nodiscard]] bool RemoveBlacklist(const std::string& idNumber);
  std::vector<BlacklistRow> Blacklist();
  // The whole list; nothing when the store could not read it all.
  std::optional<std::vector<BlacklistRow>> ReadBlacklist();
  // Changes with every change of the list (for the service's sealed copy).
  std::int64_t BlacklistVersion();

  [[nodiscard]] bool RecordHit(const HitReport& hit, const std::string& address, std::int64_t now);
  // The hit and its messages for the chain's robots, in one transaction:
  // a hit is never recorded without them, nor they without it.
  [[nodiscard]] bool RecordHit(const HitReport& hit, const std::string& address, std::int64_t now,
                               const std::vector<OutboxEntry>& outbox, std::int64_t nowMs);
  // The blacklist's line (UTF-8) of an ID number.
  std::optional<std::string> BlacklistLine(const std::string& idNumber);
  std::vector<StatusHit> Hits(std::int64_t since);
  // The hits since `since` that come before the one of `beforeTime` and
  // `beforeSeq` in the newest-first order, at most `limit`, newest first.
  std::vector<StatusHit> HitsBefore(std::int64_t since, std::int64_t beforeTime, std::int64_t beforeSeq, int limit);
  // How many hits came since `since`.
  std::int64_t CountHits(std::int64_t since);
  // Hits from `since` to `until` per `bucketSeconds` of Unix time: {bucket
  // start, count} of the buckets that hold any, oldest first.
  std::vector<std::pair<std::int64_t, int>> CountHitsPer(std::int64_t since, std::int64_t until, int bucketSeconds);
  // Hits since `since` of each of `barIds` (a hit names any bar its sender
  // likes: the caller asks for the bars it shows).
  std::map<std::string, int> CountBarHits(std::int64_t since, const std::vector<std::string>& barIds);

  // The outbox of the robots' messages: waiting, delivered or given up.
  // A message for a target that has kOutboxWaitingCeiling waiting is
  // counted as dropped instead of queued.
  [[nodiscard]] bool QueueOutbox(const std::vector<OutboxEntry>& entries, std::int64_t nowMs);
  // The first `limit` waiting messages of `target`, oldest first.
  std::vector<OutboxRow> OutboxWaiting(const std::string& target, int limit);
  [[nodiscard]] bool OutboxDelivered(const std::vector<std::int64_t>& seqs, std::int64_t nowMs);
  // A failed try: the messages wait until `nextTryMs`, or are given up.
  [[nodiscard]] bool OutboxFailed(const std::vector<std::int64_t>& seqs, const std::string& error,
                                  std::int64_t nextTryMs, bool giveUp);
  // The local day of `target`'s last daily digest (-1: none yet), and a
  // digest queued with its day in one transaction.
  std::int64_t LastDigestDay(const std::string& target);
  [[nodiscard]] bool QueueDigest(const OutboxEntry& entry, std::int64_t day, std::int64_t nowMs);
  // Every target the outbox knows, by name.
  std::vector<OutboxTargetState> OutboxStates(std::int64_t nowMs);
  [[nodiscard]] bool RecordNotice(const Notice& notice, const std::string& address, std::int64_t now);
  std::vector<StatusNotice> Notices(int limit);
  // Removes the oldest notices past the newest `keep`; returns how many went,
  // or -1 when the store refused.
  std::int64_t KeepNewestNotices(std::int64_t keep);

  // Removes hits, notices and the robots' messages older than `before`
  // (Unix seconds; a message by when it was delivered or given up, a waiting
  // one by when it was queued: its hit is gone too), in one transaction;
  // returns how many rows went, or -1 when the store refused.
  std::int64_t PruneEvents(std::int64_t before);
  // The same in a small step: at most `batch` rows of each table, so the
  // service's own daily pruning holds the store only briefly.
  std::int64_t PruneEventsBatch(std::int64_t before, int batch);

  // Installations known, and those seen in the 24 hours before `now`.
  struct InstallationCounts {
    int known = 0;
    int seenLastDay = 0;
  };
  InstallationCounts CountInstallations(std::int64_t now);

  // The store file's path, for a second connection to the same store (the
  // status page reads through its own, so it never waits on or holds the
  // lock the exchanges take).
  std::string Path() const;

  // PRAGMA integrity_check says "ok".
  bool IntegrityOk();

  // Copies the whole store to `path` with SQLite's online backup while the
  // service goes on writing: the copy is the store as of one moment, every
  // transaction committed before that moment in it. Written beside `path`
  // first and renamed into place, so a failed copy never leaves half a file
  // under the name. False, with `error` filled, when it could not be made.
  [[nodiscard]] bool BackupTo(const std::string& path, std::string& error);

 private:
  explicit CentralStore(sqlite3* db) : db_(db) {}
  enum class Attempt { Done, Busy, Failed };
  // Done, or why not: Busy when another connection holds the write lock.
  Attempt Outcome(bool done) const;
  // Runs `attempt` (which takes the lock itself) again while it finds the
  // store busy, up to the busy wait, when WaitForWritersUnlocked was called.
  bool Write(const std::function<Attempt()>& attempt);
  bool Exec(const char* sql);
  // Adds the messages, a hit's ones up to the ceiling (`capped`); the lock
  // held and a transaction open.
  bool InsertOutbox(const std::vector<OutboxEntry>& entries, std::int64_t nowMs, bool capped);
  // The pruning statements with `batch` rows of each table at most (-1: all).
  std::int64_t PruneEventsLocked(std::int64_t before, int batch);
  // The statement of `sql`, prepared on its first use and kept: parsing and
  // planning cost more than running the service's small statements.
  sqlite3_stmt* Kept(const char* sql);
  // Every exchange reads the parameters and the release identities; they are
  // kept in memory for a second (see store.cpp). A change of either through
  // this store calls ForgetExchangeValues.
  void AgeExchangeValues();
  void ForgetExchangeValues();

  sqlite3* db_;
  std::mutex mutex_;
  std::atomic<bool> waitUnlocked_{false};
  std::unordered_map<std::string, sqlite3_stmt*> kept_;
  std::int64_t exchangeValuesMs_ = std::numeric_limits<std::int64_t>::min() / 2;
  std::unordered_map<std::string, ParamList> paramsByBar_;
  std::optional<std::string> releaseIdentities_;
};
