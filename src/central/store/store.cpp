#include "central/store/store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

#include "central/base/clock.h"

namespace {

// How long the exchange's parameters and release identities are taken from
// memory: changes made through this store show at once, changes made by the
// operator's commands (another process) within this time.
constexpr std::int64_t kExchangeValuesMs = 1000;
// How long a write waits for another process's write lock, and how often
// it looks again when it waits outside the store's lock.
constexpr int kBusyWaitMs = 5000;
constexpr int kBusyPollMs = 20;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS installations(
  mac TEXT NOT NULL, disk TEXT NOT NULL, bar_id TEXT NOT NULL, bar_name TEXT NOT NULL,
  version_crc TEXT NOT NULL, os TEXT NOT NULL, face_sound TEXT NOT NULL, client_time TEXT NOT NULL,
  feature_bits INTEGER NOT NULL, monitors INTEGER NOT NULL, neighbours INTEGER NOT NULL,
  address TEXT NOT NULL, kind INTEGER NOT NULL,
  first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL, exchanges INTEGER NOT NULL,
  PRIMARY KEY(mac, disk)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS params(
  bar_id TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,
  PRIMARY KEY(bar_id, name)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS releases(
  crc TEXT PRIMARY KEY, machine TEXT NOT NULL, size INTEGER NOT NULL, md5 TEXT NOT NULL,
  added INTEGER NOT NULL, current INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS blacklist(
  seq INTEGER PRIMARY KEY, id_number TEXT NOT NULL UNIQUE, line TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS hits(
  seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, id_number TEXT NOT NULL, mac TEXT NOT NULL,
  bar_id TEXT NOT NULL, bar_name TEXT NOT NULL, address TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS hits_time ON hits(time);
CREATE INDEX IF NOT EXISTS hits_bar ON hits(bar_id, time);
CREATE TABLE IF NOT EXISTS notices(
  seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, address TEXT NOT NULL, text TEXT NOT NULL,
  bar_id TEXT NOT NULL, bar_name TEXT NOT NULL, entry TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS webhook_outbox(
  seq INTEGER PRIMARY KEY, target TEXT NOT NULL, bar_id TEXT NOT NULL, bar_name TEXT NOT NULL,
  line TEXT NOT NULL, created_ms INTEGER NOT NULL, state INTEGER NOT NULL DEFAULT 0,
  attempts INTEGER NOT NULL DEFAULT 0, next_try_ms INTEGER NOT NULL DEFAULT 0,
  last_error TEXT NOT NULL DEFAULT '', done_ms INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS webhook_outbox_waiting ON webhook_outbox(target, state, seq);
CREATE INDEX IF NOT EXISTS webhook_outbox_created ON webhook_outbox(created_ms);
CREATE TABLE IF NOT EXISTS counters(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
INSERT OR IGNORE INTO counters VALUES('blacklist_version', 0);
)sql";

// One prepared statement, finalized on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  // One of the store's kept statements: left reset, its values cleared, for
  // the next use (a statement left unreset would hold its read open).
  explicit Statement(sqlite3_stmt* kept) : stmt_(kept), kept_(true) {}
  ~Statement() {
    if (!kept_) {
      sqlite3_finalize(stmt_);
    } else if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  // The statement could not be prepared, or a step failed (a locked or
  // damaged store): what it read so far is not the whole answer.
  bool Failed() const { return failed_; }
  // Ready to run again with new values.
  Statement& Reset() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, std::int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  // True while there is a row; false at the end and on an error, which
  // Failed() then tells apart.
  bool Step() {
    if (!stmt_) {
      failed_ = true;
      return false;
    }
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    failed_ = failed_ || rc != SQLITE_DONE;
    return false;
  }
  // True when the statement ran to its end.
  bool Run() { return stmt_ && sqlite3_step(stmt_) == SQLITE_DONE; }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool kept_ = false;
  bool failed_ = false;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    began_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (began_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  bool Began() const { return began_; }
  bool Commit() {
    done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return done_;
  }

 private:
  sqlite3* db_;
  bool began_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<CentralStore> CentralStore::Open(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<CentralStore> store(new CentralStore(db));
  sqlite3_busy_timeout(db, kBusyWaitMs);
  // WAL: readers never wait for the writer, and a commit is one append that
  // either reached the log whole or is ignored at the next open.
  if (!store->Exec("PRAGMA journal_mode=WAL") || !store->Exec("PRAGMA synchronous=NORMAL") ||
      !store->Exec(kSchema)) {
    error = sqlite3_errmsg(db);
    return nullptr;
  }
  return store;
}

CentralStore::~CentralStore() {
  for (const auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

sqlite3_stmt* CentralStore::Kept(const char* sql) {
  sqlite3_stmt*& stmt = kept_[sql];
  if (!stmt) sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
  return stmt;
}

bool CentralStore::Exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

CentralStore::Attempt CentralStore::Outcome(bool done) const {
  if (done) return Attempt::Done;
  return (sqlite3_extended_errcode(db_) & 0xFF) == SQLITE_BUSY ? Attempt::Busy : Attempt::Failed;
}

void CentralStore::WaitForWritersUnlocked() {
  std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_busy_timeout(db_, 0);
  waitUnlocked_ = true;
}

bool CentralStore::Write(const std::function<Attempt()>& attempt) {
  const std::int64_t until = SteadyMs() + kBusyWaitMs;
  for (;;) {
    const Attempt a = attempt();
    if (a != Attempt::Busy || !waitUnlocked_ || SteadyMs() >= until) return a == Attempt::Done;
    sqlite3_sleep(kBusyPollMs);  // without the lock: reads go on meanwhile
  }
}

bool CentralStore::RecordInstall(const InstallReport& r, const std::string& address, int kind,
                                 std::int64_t now) {
  return Write([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(Kept(R"sql(
      INSERT INTO installations VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?14,1)
      ON CONFLICT(mac, disk) DO UPDATE SET bar_id=?3, bar_name=?4, version_crc=?5, os=?6,
        face_sound=?7, client_time=?8, feature_bits=?9, monitors=?10, neighbours=?11, address=?12,
        kind=?13, last_seen=?14, exchanges=exchanges+1)sql"));
    s.Bind(1, r.mac).Bind(2, r.diskSerial).Bind(3, r.barId).Bind(4, r.barName).Bind(5, r.versionCrc);
    s.Bind(6, r.osVersion).Bind(7, r.faceSound).Bind(8, r.clientTime);
    s.Bind(9, std::int64_t{r.featureBits}).Bind(10, std::int64_t{r.monitors}).Bind(11, std::int64_t{r.neighbours});
    s.Bind(12, address).Bind(13, std::int64_t{kind}).Bind(14, now);
    return Outcome(s.Run());
  });
}

std::vector<InstallRow> CentralStore::Installs() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, R"sql(
    SELECT mac, disk, bar_id, bar_name, version_crc, os, face_sound, client_time, feature_bits,
      monitors, neighbours, address, kind, first_seen, last_seen, exchanges
    FROM installations ORDER BY bar_id, mac, disk)sql");
  std::vector<InstallRow> rows;
  while (s.Step()) {
    InstallRow row;
    InstallReport& r = row.report;
    r.mac = s.Text(0);
    r.diskSerial = s.Text(1);
    r.barId = s.Text(2);
    r.barName = s.Text(3);
    r.versionCrc = s.Text(4);
    r.osVersion = s.Text(5);
    r.faceSound = s.Text(6);
    r.clientTime = s.Text(7);
    r.featureBits = static_cast<int>(s.Int(8));
    r.monitors = static_cast<int>(s.Int(9));
    r.neighbours = static_cast<int>(s.Int(10));
    row.address = s.Text(11);
    row.kind = static_cast<int>(s.Int(12));
    row.firstSeen = s.Int(13);
    row.lastSeen = s.Int(14);
    row.exchanges = s.Int(15);
    rows.push_back(std::move(row));
  }
  return rows;
}

int CentralStore::CountBars() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT COUNT(DISTINCT bar_id) FROM installations");
  return s.Step() ? static_cast<int>(s.Int(0)) : 0;
}

std::vector<BarInstalls> CentralStore::BarPage(std::size_t from, std::size_t limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The page's bar ids first, then their installations per build; the name
  // is the most recently seen installation's (the last by MAC and disk of
  // those seen at the same second).
  Statement s(db_, R"sql(
    WITH page(bar_id) AS (SELECT DISTINCT bar_id FROM installations ORDER BY bar_id LIMIT ?1 OFFSET ?2),
    ranked AS (SELECT bar_id, bar_name, version_crc, last_seen,
                 ROW_NUMBER() OVER (PARTITION BY bar_id ORDER BY last_seen DESC, mac DESC, disk DESC) AS n
               FROM installations WHERE bar_id IN page)
    SELECT bar_id, version_crc, COUNT(*), MAX(last_seen), MAX(CASE WHEN n=1 THEN bar_name END), MAX(n=1)
    FROM ranked GROUP BY bar_id, version_crc ORDER BY bar_id, version_crc)sql");
  s.Bind(1, static_cast<std::int64_t>(limit)).Bind(2, static_cast<std::int64_t>(from));
  std::vector<BarInstalls> bars;
  while (s.Step()) {
    if (bars.empty() || bars.back().barId != s.Text(0)) bars.push_back({s.Text(0), "", 0, {}});
    BarInstalls& bar = bars.back();
    if (s.Int(5) != 0) bar.barName = s.Text(4);
    bar.versions.emplace_back(s.Text(1), static_cast<int>(s.Int(2)));
    bar.lastSeen = std::max(bar.lastSeen, s.Int(3));
  }
  return bars;
}

std::map<std::string, int> CentralStore::CountInstallsPerVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT version_crc, COUNT(*) FROM installations GROUP BY version_crc");
  std::map<std::string, int> counts;
  while (s.Step()) counts[s.Text(0)] = static_cast<int>(s.Int(1));
  return counts;
}

ContactSpans CentralStore::CountContactsPer(std::int64_t since, int spanSeconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t span = spanSeconds;
  const std::int64_t start = since - ((since % span) + span) % span;  // floor, before 1970 too
  ContactSpans c;
  Statement before(db_, R"sql(SELECT COUNT(*) FILTER (WHERE first_seen<?1), COUNT(*) FILTER (WHERE last_seen<?1)
                              FROM installations WHERE first_seen<=last_seen)sql");
  if (before.Bind(1, start).Step()) {
    c.firstBefore = static_cast<int>(before.Int(0));
    c.lastBefore = static_cast<int>(before.Int(1));
  }
  static constexpr const char* kPerSpan[] = {
      R"sql(SELECT first_seen - (first_seen - ?1) % ?2, COUNT(*) FROM installations
            WHERE first_seen>=?1 AND first_seen<=last_seen GROUP BY 1 ORDER BY 1)sql",
      R"sql(SELECT last_seen - (last_seen - ?1) % ?2, COUNT(*) FROM installations
            WHERE last_seen>=?1 AND first_seen<=last_seen GROUP BY 1 ORDER BY 1)sql",
  };
  for (const char* sql : kPerSpan) {
    Statement s(db_, sql);
    s.Bind(1, start).Bind(2, span);
    auto& spans = sql == kPerSpan[0] ? c.first : c.last;
    while (s.Step()) spans.emplace_back(s.Int(0), static_cast<int>(s.Int(1)));
  }
  return c;
}

namespace {

// refresh_minutes(bar_id): the caller's refresh interval of a bar, for the
// one statement it is registered for.
void RefreshMinutesOfBar(sqlite3_context* context, int, sqlite3_value** values) {
  const auto& refresh = *static_cast<const std::function<int(const std::string&)>*>(sqlite3_user_data(context));
  const unsigned char* text = sqlite3_value_text(values[0]);
  const std::string barId = text ? std::string(reinterpret_cast<const char*>(text),
                                               static_cast<std::size_t>(sqlite3_value_bytes(values[0])))
                                 : std::string();
  sqlite3_result_int64(context, refresh(barId));
}

}  // namespace

std::vector<SilentInstall> CentralStore::SilentInstalls(std::int64_t now,
                                                        const std::function<int(const std::string&)>& refreshMinutes,
                                                        int limit, int& count) {
  std::lock_guard<std::mutex> lock(mutex_);
  count = 0;
  std::vector<SilentInstall> rows;
  if (sqlite3_create_function_v2(db_, "refresh_minutes", 1, SQLITE_UTF8, const_cast<void*>(static_cast<const void*>(&refreshMinutes)),
                                 RefreshMinutesOfBar, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return rows;
  }
  {
    Statement counted(db_, "SELECT COUNT(*) FROM installations WHERE ?1 - last_seen > 120 * refresh_minutes(bar_id)");
    if (counted.Bind(1, now).Step()) count = static_cast<int>(counted.Int(0));
    // Ties keep the order of the installations' key, so a page shows the same rows each time.
    Statement s(db_, R"sql(
      SELECT bar_id, bar_name, address, version_crc, last_seen, refresh FROM (
        SELECT bar_id, bar_name, address, version_crc, last_seen, mac, disk, refresh_minutes(bar_id) AS refresh
        FROM installations WHERE ?1 - last_seen > 120 * refresh_minutes(bar_id))
      ORDER BY last_seen DESC, bar_id, mac, disk LIMIT ?2)sql");
    s.Bind(1, now).Bind(2, std::int64_t{limit});
    while (s.Step()) {
      rows.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Int(4), static_cast<int>(s.Int(5))});
    }
  }
  // The function points at the caller's object: gone with this call.
  sqlite3_create_function_v2(db_, "refresh_minutes", 1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
  return rows;
}

void CentralStore::AgeExchangeValues() {
  const std::int64_t now = SteadyMs();
  if (now - exchangeValuesMs_ < kExchangeValuesMs) return;
  exchangeValuesMs_ = now;
  paramsByBar_.clear();
  releaseIdentities_.reset();
}

void CentralStore::ForgetExchangeValues() { exchangeValuesMs_ = std::numeric_limits<std::int64_t>::min() / 2; }

ParamList CentralStore::ParamsFor(const std::string& barId) {
  std::lock_guard<std::mutex> lock(mutex_);
  AgeExchangeValues();
  const auto known = paramsByBar_.find(barId);
  if (known != paramsByBar_.end()) return known->second;
  // Global rows first, so the bar's own row of a name overwrites it.
  Statement s(Kept("SELECT name, value FROM params WHERE bar_id='' OR bar_id=?1 ORDER BY bar_id<>'', name"));
  s.Bind(1, barId);
  std::map<std::string, std::string> values;
  while (s.Step()) values[s.Text(0)] = s.Text(1);
  return paramsByBar_[barId] = ParamList(values.begin(), values.end());
}

bool CentralStore::SetParam(const std::string& barId, const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForgetExchangeValues();
  Statement s(db_, "INSERT INTO params VALUES(?1,?2,?3) ON CONFLICT(bar_id,name) DO UPDATE SET value=?3");
  return s.Bind(1, barId).Bind(2, name).Bind(3, value).Run();
}

bool CentralStore::UnsetParam(const std::string& barId, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForgetExchangeValues();
  Statement s(db_, "DELETE FROM params WHERE bar_id=?1 AND name=?2");
  return s.Bind(1, barId).Bind(2, name).Run() && sqlite3_changes(db_) > 0;
}

std::vector<ParamRow> CentralStore::Params() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT bar_id, name, value FROM params ORDER BY bar_id, name");
  std::vector<ParamRow> rows;
  while (s.Step()) rows.push_back({s.Text(0), s.Text(1), s.Text(2)});
  return rows;
}

bool CentralStore::AddRelease(const ReleaseInfo& info, std::int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForgetExchangeValues();
  Transaction t(db_);
  if (!t.Began()) return false;
  Statement retire(db_, "UPDATE releases SET current=0 WHERE machine=?1");
  Statement add(db_, R"sql(
    INSERT INTO releases VALUES(?1,?2,?3,?4,?5,1)
    ON CONFLICT(crc) DO UPDATE SET current=1)sql");
  add.Bind(1, info.crc).Bind(2, info.machine).Bind(3, info.size).Bind(4, info.md5).Bind(5, now);
  return retire.Bind(1, info.machine).Run() && add.Run() && t.Commit();
}

namespace {

ReleaseRow ReleaseFromRow(const Statement& s) {
  ReleaseRow row;
  row.info.crc = s.Text(0);
  row.info.machine = s.Text(1);
  row.info.size = s.Int(2);
  row.info.md5 = s.Text(3);
  row.added = s.Int(4);
  row.current = s.Int(5) != 0;
  return row;
}

constexpr const char* kReleaseColumns = "SELECT crc, machine, size, md5, added, current FROM releases ";

}  // namespace

std::vector<ReleaseRow> CentralStore::Releases() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, (std::string(kReleaseColumns) + "ORDER BY added, crc").c_str());
  std::vector<ReleaseRow> rows;
  while (s.Step()) rows.push_back(ReleaseFromRow(s));
  return rows;
}

bool CentralStore::RemoveRelease(const std::string& crc) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForgetExchangeValues();
  Statement s(db_, "DELETE FROM releases WHERE crc=?1");
  return s.Bind(1, crc).Run() && sqlite3_changes(db_) > 0;
}

std::string CentralStore::ReleaseIdentities() {
  std::lock_guard<std::mutex> lock(mutex_);
  AgeExchangeValues();
  if (releaseIdentities_) return *releaseIdentities_;
  Statement s(Kept("SELECT crc FROM releases WHERE current=1 ORDER BY machine, crc"));
  std::string ids;
  while (s.Step()) ids += (ids.empty() ? "" : ",") + s.Text(0);
  releaseIdentities_ = ids;
  return ids;
}

std::optional<ReleaseRow> CentralStore::ReleaseFor(const std::string& requesterCrc) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, (std::string(kReleaseColumns) + R"sql(
    WHERE current=1 ORDER BY
      machine=COALESCE((SELECT machine FROM releases WHERE crc=?1), 'x86') DESC,
      machine='x86' DESC, added DESC LIMIT 1)sql").c_str());
  s.Bind(1, requesterCrc);
  if (!s.Step()) return std::nullopt;
  return ReleaseFromRow(s);
}

bool CentralStore::ImportBlacklist(const std::vector<BlacklistRow>& rows, bool replace) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  if (replace && !Exec("DELETE FROM blacklist")) return false;
  Statement add(db_, "INSERT INTO blacklist(id_number, line) VALUES(?1,?2) ON CONFLICT(id_number) DO UPDATE SET line=?2");
  for (const BlacklistRow& row : rows) {
    if (!add.Reset().Bind(1, row.idNumber).Bind(2, row.line).Run()) return false;
  }
  return Exec("UPDATE counters SET value=value+1 WHERE name='blacklist_version'") && t.Commit();
}

bool CentralStore::RemoveBlacklist(const std::string& idNumber) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  Statement s(db_, "DELETE FROM blacklist WHERE id_number=?1");
  if (!s.Bind(1, idNumber).Run() || sqlite3_changes(db_) == 0) return false;
  return Exec("UPDATE counters SET value=value+1 WHERE name='blacklist_version'") && t.Commit();
}

std::vector<BlacklistRow> CentralStore::Blacklist() { return ReadBlacklist().value_or(std::vector<BlacklistRow>()); }

std::optional<std::vector<BlacklistRow>> CentralStore::ReadBlacklist() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT id_number, line FROM blacklist ORDER BY seq");
  std::vector<BlacklistRow> rows;
  while (s.Step()) rows.push_back({s.Text(0), s.Text(1)});
  if (s.Failed()) return std::nullopt;
  return rows;
}

std::int64_t CentralStore::BlacklistVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(Kept("SELECT value FROM counters WHERE name='blacklist_version'"));
  return s.Step() ? s.Int(0) : -1;
}

bool CentralStore::RecordHit(const HitReport& hit, const std::string& address, std::int64_t now) {
  return Write([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(Kept("INSERT INTO hits(time, id_number, mac, bar_id, bar_name, address) VALUES(?1,?2,?3,?4,?5,?6)"));
    return Outcome(s.Bind(1, now).Bind(2, hit.idNumber).Bind(3, hit.mac).Bind(4, hit.barId).Bind(5, hit.barName)
        .Bind(6, address).Run());
  });
}

namespace {

// Outbox states.
constexpr std::int64_t kWaiting = 0;
constexpr std::int64_t kDelivered = 1;
constexpr std::int64_t kGivenUp = 2;

// Each target's count of messages a full queue refused.
constexpr const char* kDroppedPrefix = "webhook_dropped:";

}  // namespace

bool CentralStore::InsertOutbox(const std::vector<OutboxEntry>& entries, std::int64_t nowMs, bool capped) {
  Statement add(Kept("INSERT INTO webhook_outbox(target, bar_id, bar_name, line, created_ms) VALUES(?1,?2,?3,?4,?5)"));
  Statement waiting(Kept("SELECT COUNT(*) FROM webhook_outbox WHERE target=?1 AND state=0"));
  Statement drop(Kept("INSERT INTO counters VALUES(?1, 1) ON CONFLICT(name) DO UPDATE SET value=value+1"));
  for (const OutboxEntry& e : entries) {
    if (capped) {
      if (!waiting.Reset().Bind(1, e.target).Step()) return false;
      if (waiting.Int(0) >= kOutboxWaitingCeiling) {
        waiting.Reset();
        if (!drop.Reset().Bind(1, kDroppedPrefix + e.target).Run()) return false;
        continue;
      }
      waiting.Reset();
    }
    if (!add.Reset().Bind(1, e.target).Bind(2, e.barId).Bind(3, e.barName).Bind(4, e.line).Bind(5, nowMs).Run()) {
      return false;
    }
  }
  return true;
}

bool CentralStore::RecordHit(const HitReport& hit, const std::string& address, std::int64_t now,
                             const std::vector<OutboxEntry>& outbox, std::int64_t nowMs) {
  if (outbox.empty()) return RecordHit(hit, address, now);
  // The hit and its messages in one transaction: a hit is never recorded
  // without the messages that tell of it, nor a message sent of no hit.
  return Write([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction t(db_);
    if (!t.Began()) return Outcome(false);
    Statement s(Kept("INSERT INTO hits(time, id_number, mac, bar_id, bar_name, address) VALUES(?1,?2,?3,?4,?5,?6)"));
    if (!s.Bind(1, now).Bind(2, hit.idNumber).Bind(3, hit.mac).Bind(4, hit.barId).Bind(5, hit.barName)
             .Bind(6, address).Run()) {
      return Outcome(false);
    }
    return Outcome(InsertOutbox(outbox, nowMs, true) && t.Commit());
  });
}

std::optional<std::string> CentralStore::BlacklistLine(const std::string& idNumber) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(Kept("SELECT line FROM blacklist WHERE id_number=?1"));
  if (!s.Bind(1, idNumber).Step()) return std::nullopt;
  return s.Text(0);
}

bool CentralStore::QueueOutbox(const std::vector<OutboxEntry>& entries, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  return InsertOutbox(entries, nowMs, true) && t.Commit();
}

std::vector<OutboxRow> CentralStore::OutboxWaiting(const std::string& target, int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(Kept(R"sql(SELECT seq, target, bar_id, bar_name, line, created_ms, attempts, next_try_ms, last_error
                         FROM webhook_outbox WHERE target=?1 AND state=0 ORDER BY seq LIMIT ?2)sql"));
  s.Bind(1, target).Bind(2, std::int64_t{limit});
  std::vector<OutboxRow> rows;
  while (s.Step()) {
    rows.push_back({s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Int(5), static_cast<int>(s.Int(6)),
                    s.Int(7), s.Text(8)});
  }
  return rows;
}

bool CentralStore::OutboxDelivered(const std::vector<std::int64_t>& seqs, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  Statement s(Kept("UPDATE webhook_outbox SET state=?2, done_ms=?3, attempts=attempts+1 WHERE seq=?1"));
  for (const std::int64_t seq : seqs) {
    if (!s.Reset().Bind(1, seq).Bind(2, kDelivered).Bind(3, nowMs).Run()) return false;
  }
  return t.Commit();
}

bool CentralStore::OutboxFailed(const std::vector<std::int64_t>& seqs, const std::string& error,
                                std::int64_t nextTryMs, bool giveUp) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  Statement s(Kept(R"sql(UPDATE webhook_outbox SET state=?2, next_try_ms=?3, last_error=?4,
                         attempts=attempts+1, done_ms=CASE WHEN ?2=0 THEN 0 ELSE ?3 END WHERE seq=?1)sql"));
  for (const std::int64_t seq : seqs) {
    if (!s.Reset().Bind(1, seq).Bind(2, giveUp ? kGivenUp : kWaiting).Bind(3, nextTryMs).Bind(4, error).Run()) {
      return false;
    }
  }
  return t.Commit();
}

std::int64_t CentralStore::LastDigestDay(const std::string& target) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT value FROM counters WHERE name=?1");
  return s.Bind(1, "digest_day:" + target).Step() ? s.Int(0) : -1;
}

bool CentralStore::QueueDigest(const OutboxEntry& entry, std::int64_t day, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return false;
  Statement mark(db_, "INSERT INTO counters VALUES(?1,?2) ON CONFLICT(name) DO UPDATE SET value=?2");
  return InsertOutbox({entry}, nowMs, false) && mark.Bind(1, "digest_day:" + entry.target).Bind(2, day).Run() &&
         t.Commit();
}

std::vector<OutboxTargetState> CentralStore::OutboxStates(std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, R"sql(
    SELECT target, COUNT(*) FILTER (WHERE state=0), COUNT(*) FILTER (WHERE state=1 AND done_ms>=?1),
      COUNT(*) FILTER (WHERE state=2),
      COALESCE((SELECT last_error FROM webhook_outbox w WHERE w.target=o.target AND w.state=0
                ORDER BY seq LIMIT 1), '')
    FROM webhook_outbox o GROUP BY target ORDER BY target)sql");
  s.Bind(1, nowMs - 24 * 3600 * 1000);
  std::map<std::string, OutboxTargetState> byTarget;
  while (s.Step()) {
    byTarget[s.Text(0)] = {s.Text(0), static_cast<int>(s.Int(1)), static_cast<int>(s.Int(2)),
                           static_cast<int>(s.Int(3)), 0, s.Text(4)};
  }
  // A target's dropped count outlives its messages.
  const std::string prefix = kDroppedPrefix;
  Statement dropped(db_, "SELECT substr(name, ?2), value FROM counters WHERE substr(name, 1, ?2 - 1)=?1");
  dropped.Bind(1, prefix).Bind(2, static_cast<std::int64_t>(prefix.size()) + 1);
  while (dropped.Step()) {
    OutboxTargetState& state = byTarget[dropped.Text(0)];
    state.target = dropped.Text(0);
    state.dropped = static_cast<int>(dropped.Int(1));
  }
  std::vector<OutboxTargetState> rows;
  for (auto& [target, state] : byTarget) rows.push_back(std::move(state));
  return rows;
}

std::vector<StatusHit> CentralStore::Hits(std::int64_t since) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, R"sql(SELECT time, id_number, mac, bar_id, bar_name, address FROM hits
                         WHERE time>=?1 ORDER BY time DESC, seq DESC)sql");
  s.Bind(1, since);
  std::vector<StatusHit> rows;
  while (s.Step()) rows.push_back({s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(5)});
  return rows;
}

std::vector<StatusHit> CentralStore::HitsBefore(std::int64_t since, std::int64_t beforeTime, std::int64_t beforeSeq,
                                                int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The bounds on time alone let the time index start at the cursor.
  Statement s(db_, R"sql(SELECT time, id_number, mac, bar_id, bar_name, address, seq FROM hits
                         WHERE time>=?1 AND time<=?2 AND (time<?2 OR seq<?3)
                         ORDER BY time DESC, seq DESC LIMIT ?4)sql");
  s.Bind(1, since).Bind(2, beforeTime).Bind(3, beforeSeq).Bind(4, std::int64_t{limit});
  std::vector<StatusHit> rows;
  while (s.Step()) rows.push_back({s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(5), s.Int(6)});
  return rows;
}

std::int64_t CentralStore::CountHits(std::int64_t since) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT COUNT(*) FROM hits WHERE time>=?1");
  return s.Bind(1, since).Step() ? s.Int(0) : 0;
}

std::vector<std::pair<std::int64_t, int>> CentralStore::CountHitsPer(std::int64_t since, std::int64_t until,
                                                                      int bucketSeconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A count over the time index per bucket, up to now: three times quicker
  // than grouping the rows, which sorts them all. The first bucket begins
  // at or before `since` (floor division, for times before 1970 too).
  Statement s(db_, R"sql(
    WITH RECURSIVE buckets(start) AS (
      SELECT ?1 - ((?1 % ?2) + ?2) % ?2 UNION ALL SELECT start + ?2 FROM buckets WHERE start + ?2 <= ?3)
    SELECT start, count FROM (
      SELECT start, (SELECT COUNT(*) FROM hits WHERE time>=MAX(start, ?1) AND time<start + ?2) AS count FROM buckets)
    WHERE count>0)sql");
  s.Bind(1, since).Bind(2, std::int64_t{bucketSeconds}).Bind(3, until);
  std::vector<std::pair<std::int64_t, int>> buckets;
  while (s.Step()) buckets.emplace_back(s.Int(0), static_cast<int>(s.Int(1)));
  return buckets;
}

std::map<std::string, int> CentralStore::CountBarHits(std::int64_t since, const std::vector<std::string>& barIds) {
  std::lock_guard<std::mutex> lock(mutex_);
  // One range of the bar's index each: a page's bars, not the week's hits.
  Statement s(db_, "SELECT COUNT(*) FROM hits WHERE bar_id=?1 AND time>=?2");
  std::map<std::string, int> counts;
  for (const std::string& barId : barIds) {
    if (s.Reset().Bind(1, barId).Bind(2, since).Step() && s.Int(0) > 0) counts[barId] = static_cast<int>(s.Int(0));
  }
  return counts;
}

bool CentralStore::RecordNotice(const Notice& n, const std::string& address, std::int64_t now) {
  return Write([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, R"sql(INSERT INTO notices(time, address, text, bar_id, bar_name, entry)
                           VALUES(?1,?2,?3,?4,?5,?6))sql");
    return Outcome(s.Bind(1, now).Bind(2, address).Bind(3, n.text).Bind(4, n.barId).Bind(5, n.barName)
        .Bind(6, n.entry).Run());
  });
}

std::int64_t CentralStore::KeepNewestNotices(std::int64_t keep) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Rows are numbered in arrival order and the newest is never removed, so
  // the numbers below the newest's minus `keep` are the oldest: a range of
  // the table's own key, however large the table.
  Statement s(Kept("DELETE FROM notices WHERE seq <= (SELECT MAX(seq) FROM notices) - ?1"));
  return s.Bind(1, keep).Run() ? sqlite3_changes(db_) : -1;
}

std::vector<StatusNotice> CentralStore::Notices(int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "SELECT time, address, text FROM notices ORDER BY seq DESC LIMIT ?1");
  s.Bind(1, std::int64_t{limit});
  std::vector<StatusNotice> rows;
  while (s.Step()) rows.push_back({s.Int(0), s.Text(1), s.Text(2)});
  return rows;
}

std::int64_t CentralStore::PruneEventsLocked(std::int64_t before, int batch) {
  // A robot's message goes with its hit: by when it was delivered or given
  // up, or, still waiting (its target gone from the configuration), by when
  // it was queued. Rows are queued in time order, so the oldest come first.
  static constexpr const char* kPrune[] = {
      "DELETE FROM hits WHERE seq IN (SELECT seq FROM hits WHERE time<?1 LIMIT ?2)",
      "DELETE FROM notices WHERE seq IN (SELECT seq FROM notices WHERE time<?1 LIMIT ?2)",
      R"sql(DELETE FROM webhook_outbox WHERE seq IN (SELECT seq FROM webhook_outbox
              WHERE created_ms<?1*1000 AND (state=0 OR done_ms<?1*1000) LIMIT ?2))sql",
  };
  std::int64_t removed = 0;
  for (const char* sql : kPrune) {
    Statement s(Kept(sql));
    if (!s.Bind(1, before).Bind(2, std::int64_t{batch}).Run()) return -1;
    removed += sqlite3_changes(db_);
  }
  return removed;
}

std::int64_t CentralStore::PruneEvents(std::int64_t before) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction t(db_);
  if (!t.Began()) return -1;
  const std::int64_t removed = PruneEventsLocked(before, -1);
  return removed >= 0 && t.Commit() ? removed : -1;
}

std::int64_t CentralStore::PruneEventsBatch(std::int64_t before, int batch) {
  std::lock_guard<std::mutex> lock(mutex_);
  return PruneEventsLocked(before, batch);
}

CentralStore::InstallationCounts CentralStore::CountInstallations(std::int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement counts(db_, R"sql(SELECT COUNT(*), COUNT(*) FILTER (WHERE last_seen>=?1) FROM installations)sql");
  counts.Bind(1, now - 24 * 3600);
  InstallationCounts c;
  if (counts.Step()) {
    c.known = static_cast<int>(counts.Int(0));
    c.seenLastDay = static_cast<int>(counts.Int(1));
  }
  return c;
}

std::string CentralStore::Path() const {
  const char* path = sqlite3_db_filename(db_, "main");
  return path ? path : "";
}

bool CentralStore::IntegrityOk() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement s(db_, "PRAGMA integrity_check");
  return s.Step() && s.Text(0) == "ok";
}

bool CentralStore::BackupTo(const std::string& path, std::string& error) {
  const std::string temporary = path + ".tmp";
  std::remove(temporary.c_str());
  sqlite3* copy = nullptr;
  if (sqlite3_open_v2(temporary.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    error = copy ? sqlite3_errmsg(copy) : "out of memory";
    sqlite3_close(copy);
    return false;
  }
  bool done = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db_, "main");
    if (backup) {
      // All pages in one step: one read transaction over the whole copy, so
      // it is one moment of the store; writers of the WAL go on meanwhile.
      int rc = sqlite3_backup_step(backup, -1);
      for (int tries = 0; (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && tries < 50; ++tries) {
        sqlite3_sleep(100);
        rc = sqlite3_backup_step(backup, -1);
      }
      done = rc == SQLITE_DONE;
      sqlite3_backup_finish(backup);
    }
    if (!done) error = sqlite3_errmsg(copy);
  }
  sqlite3_close(copy);
  if (done && std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temporary + " to " + path;
    done = false;
  }
  if (!done) std::remove(temporary.c_str());
  return done;
}
