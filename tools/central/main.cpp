// tollimer-central: the central service and collector of a cafe chain's
// assistants, and the operator's commands on its store.
//
//   tollimer-central [--config FILE] [--data DIR] COMMAND [OPTIONS]
// The commands, their operands and options are the table kCommands below;
// `tollimer-central help` prints it.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "central/base/clock.h"
#include "central/exchange/blacklist_import.h"
#include "central/config/central_config.h"
#include "central/base/central_log.h"
#include "central/exchange/collector.h"
#include "central/command_line.h"
#include "central/base/json_rows.h"
#include "central/exchange/params_rule.h"
#include "central/release/release_file.h"
#include "central/release/release_key.h"
#include "central/service.h"
#include "central/store/store.h"
#include "central/http/tls_pin.h"
#include "central/webhook/webhook_sender.h"
#include "crypto/codepage.h"
#include "crypto/release_key_note.h"
#include "util/text.h"

namespace {

constexpr const char* kInstalledConfig = "/etc/tollimer-central.conf";

int Fail(const std::string& message) {
  std::cerr << "tollimer-central: " << message << "\n";
  return 1;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  bytes = out.str();
  return !in.bad();
}

// What a command's handler gets: the configuration, the store (when the
// command uses one), its operands and options.
struct Args {
  const CentralConfig& config;
  CentralStore* store;
  std::vector<std::string> words;  // the operands
  std::map<std::string, std::string> options;
};

bool WantsJson(const Args& args) { return args.options.count("--json") > 0; }

// Prints the rows as JSON; true when the listing asked for it.
bool PrintedAsJson(const Args& args, const std::vector<JsonRow>& rows) {
  if (!WantsJson(args)) return false;
  std::cout << JsonArray(rows);
  return true;
}

std::optional<int> PortOption(const Args& args, const char* name, int current) {
  const auto it = args.options.find(name);
  if (it == args.options.end()) return current;
  if (it->second == "off") return -1;
  const auto n = ParseDecimal(it->second);
  if (!n || *n < 0 || *n > 65535) return std::nullopt;
  return n;
}

bool EnsureFolders(const CentralConfig& config, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(config.dataDir + "/releases", ec);
  if (ec) error = "cannot create " + config.dataDir + "/releases: " + ec.message();
  return !ec;
}

// Written whole or not at all, so a test or script polling for it never
// reads half.
bool WritePortFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Serve(const Args& args) {
  CentralConfig config = args.config;
  CentralStore& store = *args.store;
  const auto http = PortOption(args, "--http-port", config.httpPort);
  const auto collector = PortOption(args, "--collector-port", config.collectorPort);
  const auto status = PortOption(args, "--status-port", config.statusPort);
  if (!http || *http < 0 || !collector || !status) return Fail("bad port");
  config.httpPort = *http;
  config.collectorPort = *collector;
  config.statusPort = *status;

  // Signals are taken by sigwait below; the service's threads inherit the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string> refusals = ServeKeyRefusals(config);
  if (!refusals.empty()) {
    for (const std::string& r : refusals) std::cerr << "tollimer-central: " << r << "\n";
    return Fail("not serving: the key rows must be the chain's own");
  }
  if (config.testKeys) {
    CentralLog("WARNING: TEST KEYS (test_keys = yes): the key rows may be the test build's, which everyone "
               "knows; anybody can read and forge this service's exchange. Never serve a real chain so.");
  }

  std::string error;
  CentralService service(config, store);
  if (!service.Start(error)) return Fail(error);
  NoticeCollector notices(config, store);
  if (config.collectorPort >= 0 && !notices.Start(error)) return Fail(error);
  if (config.collectorPort >= 0) service.SetCollector(&notices);

  const std::string ports = Format("http=%d\ncollector=%d\nstatus=%d\n", service.HttpPort(),
                                   config.collectorPort >= 0 ? notices.Port() : -1,
                                   config.statusPort >= 0 ? service.StatusPort() : -1);
  const auto portFile = args.options.find("--port-file");
  if (portFile != args.options.end() && !WritePortFile(portFile->second, ports)) {
    return Fail("cannot write " + portFile->second);
  }
  CentralLog(Format("serving %s on %s:%d, collector UDP %d, status page %d, data in %s",
                    config.basePath.c_str(), config.httpAddress.c_str(), service.HttpPort(),
                    config.collectorPort >= 0 ? notices.Port() : -1,
                    config.statusPort >= 0 ? service.StatusPort() : -1, config.dataDir.c_str()));
  int signalNumber = 0;
  sigwait(&signals, &signalNumber);
  CentralLog("stopping");
  notices.Stop();
  service.Stop();
  return 0;
}

std::string BuildKeyOption(const ReleaseSigner& signer) {
  return "-DTOLLIMER_RELEASE_KEY=" + ReleaseHexText(signer.PublicKey().data(), signer.PublicKey().size());
}

// Makes the operator's release key, once: an existing key is never replaced
// (every assistant built with it would refuse the releases of a new one).
int Keygen(const Args& args) {
  const CentralConfig& config = args.config;
  const std::string path = ReleaseKeyPath(config);
  std::string error;
  if (access(path.c_str(), F_OK) == 0) {
    const auto existing = ReleaseSigner::Load(path, error);
    return Fail(path + " exists and is kept" +
                (existing ? "; the assistants' build takes " + BuildKeyOption(*existing) : ": " + error));
  }
  const auto signer = ReleaseSigner::Generate(path, error);
  if (!signer) return Fail(error);
  std::cout << "release key written to " << path << " (readable by this user alone; keep a copy in a safe place:\n"
            << "without it no release can reach the assistants built with it)\n"
            << "build the assistants with\n  " << BuildKeyOption(*signer) << "\n";
  return 0;
}

// Signing with the test key of tests/data/release/ is for test builds only:
// whoever signs with it is told so, loudly.
void WarnOfTheTestKey(const ReleaseSigner& signer) {
  if (!IsTestReleaseKey(signer.PublicKey())) return;
  std::cerr << "tollimer-central: WARNING: SIGNED WITH THE TEST KEY (tests/data/release/), whose private half is "
               "public: anybody can sign what the assistants that trust it install. Only test builds trust it; "
               "a real chain signs with its own key.\n";
}

// The statement `release add` keeps beside the release: the operator's
// signature file, else one signed here with the keygen key when this machine
// keeps one, else none when the operator says --unsigned. Empty in `text`
// for an unsigned release; false, with `error` filled, when there is no way.
bool StatementForRelease(const Args& args, const std::string& bytes, std::string& text, std::string& error) {
  const CentralConfig& config = args.config;
  const auto given = args.options.find("--signature");
  const bool unsigned_ = args.options.count("--unsigned") > 0;
  if (given != args.options.end() && unsigned_) {
    error = "--signature and --unsigned exclude each other";
    return false;
  }
  if (given != args.options.end()) {
    if (ReadFile(given->second, text)) return true;
    error = "cannot read " + given->second;
    return false;
  }
  if (unsigned_) return true;
  const std::string path = ReleaseKeyPath(config);
  if (config.releaseKeyFile.empty() && access(path.c_str(), F_OK) != 0) {
    error = "the release is not signed: sign it on your own machine with `tollimer-central release sign FILE "
            "--key KEY.pem` and add it with --signature FILE.sig (assistants built with a release key install "
            "nothing else), or add it with --unsigned. The release was not added.";
    return false;
  }
  const auto signer = ReleaseSigner::Load(path, error);
  if (!signer) {
    error = "release key " + error + "; correct release_key in the configuration, or sign elsewhere and add "
            "with --signature. The release was not added.";
    return false;
  }
  const std::optional<std::string> signed_ = SignRelease(bytes, *signer, error);
  if (!signed_) return false;
  WarnOfTheTestKey(*signer);
  text = *signed_;
  return true;
}

// Signs a release with a key the service never sees: on the operator's own
// machine, the statement written beside the file.
int ReleaseSign(const Args& args) {
  const std::string& file = args.words[0];
  const auto key = args.options.find("--key");
  if (key == args.options.end()) return Fail("release sign needs the key: release sign FILE --key KEY.pem");
  std::string bytes;
  if (!ReadFile(file, bytes)) return Fail("cannot read " + file);
  std::string error;
  const auto signer = ReleaseSigner::Load(key->second, error);
  if (!signer) return Fail(error);
  const std::optional<std::string> statement = SignRelease(bytes, *signer, error);
  if (!statement) return Fail(file + ": " + error);
  WarnOfTheTestKey(*signer);
  const std::string out = file + ".sig";
  if (!WritePortFile(out, *statement)) return Fail("cannot write " + out);
  std::cout << "statement written to " << out << ":\n" << *statement
            << "add it on the service's machine with `tollimer-central release add FILE --signature " << out
            << "`\n";
  return 0;
}

int ReleaseList(const Args& args) {
  std::vector<JsonRow> rows;
  const std::vector<ReleaseRow> releases = args.store->Releases();
  for (const ReleaseRow& r : releases) {
    rows.emplace_back().Text("crc", r.info.crc).Text("machine", r.info.machine).Number("size", r.info.size)
        .Text("md5", r.info.md5).Number("added", r.added).Bool("current", r.current)
        .Bool("signed", ReleaseIsSigned(args.config, r.info.crc));
  }
  if (PrintedAsJson(args, rows)) return 0;
  std::cout << "crc\tmachine\tsize\tmd5\tadded (UTC)\tcurrent\tsigned\n";
  for (const ReleaseRow& r : releases) {
    std::cout << r.info.crc << "\t" << r.info.machine << "\t" << r.info.size << "\t" << r.info.md5 << "\t"
              << UtcText(r.added) << "\t" << (r.current ? "yes" : "no") << "\t"
              << (ReleaseIsSigned(args.config, r.info.crc) ? "yes" : "no") << "\n";
  }
  return 0;
}

int ReleaseAdd(const Args& args) {
  const std::string& file = args.words[0];
  std::string bytes;
  if (!ReadFile(file, bytes)) return Fail("cannot read " + file);
  std::string error, statement;
  if (!StatementForRelease(args, bytes, statement, error)) return Fail(file + ": " + error);
  const std::optional<ReleaseInfo> info = AddReleaseFile(args.config, *args.store, bytes, NowSeconds(), statement, error);
  if (!info) return Fail(file + ": " + error);
  if (statement.empty()) {
    std::cerr << "tollimer-central: warning: the release is not signed: assistants built with a release key "
                 "will not install it.\n";
  }
  std::cout << "release " << info->crc << " (" << info->machine << ", " << info->size << " bytes, md5 "
            << info->md5 << ") is now current for " << info->machine
            << (statement.empty() ? ", not signed" : ", signed") << "\n";
  return 0;
}

CalendarDate Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

int BlacklistList(const Args& args) {
  const std::vector<BlacklistRow> list = args.store->Blacklist();
  std::vector<JsonRow> rows;
  for (const BlacklistRow& row : list) rows.emplace_back().Text("id", row.idNumber).Text("line", row.line);
  if (PrintedAsJson(args, rows)) return 0;
  for (const BlacklistRow& row : list) std::cout << row.line << "\n";
  return 0;
}

int BlacklistRemove(const Args& args) {
  if (!args.store->RemoveBlacklist(UpperAscii(args.words[0]))) return Fail("no entry " + args.words[0]);
  std::cout << "removed " << args.words[0] << "\n";
  return 0;
}

// Adds the file's entries, or with --replace makes them the whole list. A
// replace that refused a line or would leave the list empty changes nothing
// unless --force says so: every assistant of the chain takes the list as it
// is, so a wrong encoding or an empty file must not wipe it.
int BlacklistImportCommand(const Args& args) {
  CentralStore& store = *args.store;
  const std::string& file = args.words[0];
  std::string text;
  if (!ReadFile(file, text)) return Fail("cannot read " + file);
  // The file is GBK like a cafe's blacklist.txt unless the operator says UTF-8
  // (or it starts with a UTF-8 byte-order mark).
  const bool utf8 = args.options.count("--utf8") > 0;
  const BlacklistImport import = ParseBlacklistFile(text, utf8, Today());
  std::vector<BlacklistRow> rows;
  for (const BlacklistEntry& e : import.entries) rows.push_back({e.idNumber, Ansi_ToUtf8(e.line)});
  for (const LineNote& note : import.refused) std::cerr << "line " << note.line << " refused: " << note.why << "\n";
  for (const LineNote& note : import.warnings) std::cerr << "line " << note.line << ": " << note.why << "\n";
  if (!utf8 && text.rfind("\xEF\xBB\xBF", 0) != 0 && LooksLikeUtf8(text)) {
    std::cerr << "tollimer-central: " << file << " looks like UTF-8 text: give --utf8 if it is (without it the "
              << "file is read as GBK)\n";
  }
  const bool replace = args.options.count("--replace") > 0;
  if (replace) {
    const std::size_t before = store.Blacklist().size();
    if ((rows.empty() || !import.refused.empty()) && !args.options.count("--force")) {
      return Fail(Format("%s: %zu entries read, %zu lines refused; the blacklist keeps its %zu entries. "
                         "Mend the file, or give --force to replace the list all the same.",
                         file.c_str(), rows.size(), import.refused.size(), before));
    }
    if (!store.ImportBlacklist(rows, true)) return Fail("the store refused the import");
    std::cout << "replaced " << before << " entries with " << store.Blacklist().size() << ", refused "
              << import.refused.size() << " lines\n";
    return 0;
  }
  if (!store.ImportBlacklist(rows, false)) return Fail("the store refused the import");
  std::cout << "imported " << rows.size() << " entries, refused " << import.refused.size() << " lines\n";
  return 0;
}

std::string BarOption(const Args& args) {
  const auto bar = args.options.find("--bar");
  return bar == args.options.end() ? "" : bar->second;
}

int ParamsList(const Args& args) {
  const std::vector<ParamRow> params = args.store->Params();
  std::vector<JsonRow> rows;
  for (const ParamRow& p : params) rows.emplace_back().Text("bar", p.barId).Text("name", p.name).Text("value", p.value);
  if (PrintedAsJson(args, rows)) return 0;
  std::cout << "bar\tname\tvalue\n";
  for (const ParamRow& p : params) {
    std::cout << (p.barId.empty() ? "*" : p.barId) << "\t" << p.name << "\t" << p.value << "\n";
  }
  return 0;
}

int ParamsSet(const Args& args) {
  if (const auto why = CheckParam(args.words[0], args.words[1])) return Fail(*why);
  if (!args.store->SetParam(BarOption(args), args.words[0], args.words[1])) return Fail("the store refused the value");
  return 0;
}

int ParamsUnset(const Args& args) {
  if (!args.store->UnsetParam(BarOption(args), args.words[0])) return Fail("no such parameter");
  return 0;
}

int Installs(const Args& args) {
  CentralStore& store = *args.store;
  std::vector<JsonRow> rows;
  for (const InstallRow& i : store.Installs()) {
    const InstallReport& r = i.report;
    rows.emplace_back().Text("bar_id", r.barId).Text("bar_name", r.barName).Text("mac", r.mac)
        .Text("disk", r.diskSerial).Text("version", r.versionCrc).Number("features", r.featureBits)
        .Number("monitors", r.monitors).Text("os", r.osVersion).Text("address", i.address)
        .Number("first_seen", i.firstSeen).Number("last_seen", i.lastSeen).Number("exchanges", i.exchanges);
  }
  if (PrintedAsJson(args, rows)) return 0;
  std::cout << "bar_id\tbar_name\tmac\tdisk\tversion\tfeatures\tmonitors\tos\taddress\tfirst_seen\tlast_seen"
               "\texchanges\n";
  for (const InstallRow& i : store.Installs()) {
    const InstallReport& r = i.report;
    std::cout << r.barId << "\t" << r.barName << "\t" << r.mac << "\t" << r.diskSerial << "\t" << r.versionCrc
              << "\t" << r.featureBits << "\t" << r.monitors << "\t" << r.osVersion << "\t" << i.address << "\t"
              << UtcText(i.firstSeen) << "\t" << UtcText(i.lastSeen) << "\t" << i.exchanges << "\n";
  }
  return 0;
}

int Hits(const Args& args) {
  CentralStore& store = *args.store;
  const auto days = ParseDecimal(args.options.count("--days") ? args.options.at("--days") : "7");
  if (!days || *days < 1) return Fail("--days takes a whole number of 1 or more");
  const std::vector<StatusHit> hits = store.Hits(NowSeconds() - std::int64_t{*days} * 24 * 3600);
  std::vector<JsonRow> rows;
  for (const StatusHit& h : hits) {
    rows.emplace_back().Number("time", h.time).Text("id", h.idNumber).Text("mac", h.mac).Text("bar_id", h.barId)
        .Text("bar_name", h.barName).Text("address", h.address);
  }
  if (PrintedAsJson(args, rows)) return 0;
  std::cout << "time (UTC)\tid\tmac\tbar_id\tbar_name\taddress\n";
  for (const StatusHit& h : hits) {
    std::cout << UtcText(h.time) << "\t" << h.idNumber << "\t" << h.mac << "\t" << h.barId << "\t" << h.barName
              << "\t" << h.address << "\n";
  }
  return 0;
}

int Notices(const Args& args) {
  CentralStore& store = *args.store;
  const auto limit = ParseDecimal(args.options.count("--limit") ? args.options.at("--limit") : "100");
  if (!limit || *limit < 1) return Fail("--limit takes a whole number of 1 or more");
  const std::vector<StatusNotice> notices = store.Notices(*limit);
  std::vector<JsonRow> rows;
  for (const StatusNotice& n : notices) rows.emplace_back().Number("time", n.time).Text("address", n.address).Text("notice", n.text);
  if (PrintedAsJson(args, rows)) return 0;
  std::cout << "time (UTC)\taddress\tnotice\n";
  for (const StatusNotice& n : notices) {
    std::cout << UtcText(n.time) << "\t" << n.address << "\t" << n.text << "\n";
  }
  return 0;
}

int Prune(const Args& args) {
  CentralStore& store = *args.store;
  const auto it = args.options.find("--days");
  const auto days = it == args.options.end() ? std::nullopt : ParseDecimal(it->second);
  if (!days || *days < 1) return Fail("prune needs --days N, a whole number of 1 or more");
  const std::int64_t removed = store.PruneEvents(NowSeconds() - std::int64_t{*days} * 24 * 3600);
  if (removed < 0) return Fail("the store refused");
  std::cout << "removed " << removed << " hits and notices\n";
  return 0;
}

// The folder itself, whatever way it is written ("data/../data/").
std::string CanonicalFolder(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  return ec ? path : canonical.string();
}

// A backup inside the data folder is refused: written over the live store it
// would cut the running service off from its file, and beside it it would
// leave every ID number wherever the data folder is copied.
int Backup(const Args& args) {
  const std::string& target = args.words[0];
  const std::string folder = CanonicalFolder(args.config.dataDir);
  const std::string parent = CanonicalFolder(std::filesystem::path(CanonicalFolder(target)).parent_path().string());
  if (parent == folder || parent.rfind(folder + "/", 0) == 0) {
    return Fail("backup to " + target + ": the target is inside the data folder " + args.config.dataDir +
                "; write the backup elsewhere");
  }
  std::string error;
  if (!args.store->BackupTo(target, error)) return Fail("backup to " + target + ": " + error);
  std::cout << "backed up to " << target << "\n";
  return 0;
}

// The configured robots with their queues.
int WebhookList(const Args& args) {
  const CentralConfig& config = args.config;
  const std::vector<OutboxTargetState> states = args.store->OutboxStates(NowMs());
  std::cout << "name\tkind\thost\tbars\tevents\twaiting\tdelivered_24h\tgiven_up\tlast_error\n";
  for (const WebhookTarget& t : config.webhooks) {
    OutboxTargetState state;
    for (const OutboxTargetState& s : states) {
      if (s.target == t.name) state = s;
    }
    std::string bars;
    for (const std::string& b : t.bars) bars += (bars.empty() ? "" : ",") + b;
    const auto address = ParseRobotUrl(t.url);
    std::cout << t.name << "\t" << RobotKindName(t.kind) << (t.secret.empty() ? "" : " (signed)") << "\t"
              << (address ? address->schemeHostPort : "") << "\t" << (bars.empty() ? "all" : bars) << "\t"
              << (t.hits ? "hits" : "") << (t.digestMinute >= 0 ? Format(" digest %02d:%02d", t.digestMinute / 60, t.digestMinute % 60) : "")
              << "\t" << state.waiting << "\t" << state.delivered24h << "\t" << state.givenUp << "\t"
              << state.lastError << "\n";
  }
  return 0;
}

// One test message to one of the robots; prints its answer.
int WebhookTest(const Args& args) {
  const CentralConfig& config = args.config;
  const std::string& name = args.words[0];
  const auto target = std::find_if(config.webhooks.begin(), config.webhooks.end(),
                                   [&](const WebhookTarget& t) { return t.name == name; });
  if (target == config.webhooks.end()) return Fail("no webhook " + name + " in the configuration");
  const auto address = ParseRobotUrl(target->url);
  if (!address) return Fail("webhook " + target->name + ": bad url");
  const RobotRequest request =
      BuildRobotRequest(*target, address->pathAndQuery, Ansi_ToUtf8("【测试】Tollimer 群机器人测试消息"), NowMs());
  const RobotReply reply = PostToRobot(*address, request.pathAndQuery, request.body);
  const RobotAnswer answer = ReadRobotAnswer(target->kind, reply.status, reply.body);
  if (reply.status == 0) {
    std::cout << "no answer: " << reply.error << "\n";
  } else {
    std::cout << "HTTP " << reply.status << "\n" << reply.body << "\n";
  }
  std::cout << (answer.delivered ? "delivered\n" : "not delivered: " + answer.error + "\n");
  return answer.delivered ? 0 : 1;
}

// Prints the pin of the service's TLS certificate as the assistants' build
// takes it. Reads no store: it runs anywhere the certificate is.
int Pin(const Args& args) {
  const std::string& file = args.words[0];
  std::string pem;
  if (!ReadFile(file, pem)) return Fail("cannot read " + file);
  const std::optional<std::string> pin = CertificatePin(pem);
  if (!pin) return Fail(file + " holds no certificate (PEM)");
  std::cout << "-DTOLLIMER_SERVICE_PIN=" << *pin << "\n";
  return 0;
}

int Config(const Args& args) {
  std::cout << DescribeCentralConfig(args.config);
  return 0;
}

int Init(const Args& args) {
  std::cout << "store ready in " << args.config.dataDir << "/central.db\n";
  return 0;
}

// How a command uses the data folder. Only `serve` and `init` make a data
// folder; a command that writes makes the store in an existing folder; a
// listing needs the store to be there.
enum class StoreUse { kNone, kFolder, kRead, kWrite, kCreate };

struct Command {
  CommandShape shape;
  StoreUse store;
  int (*run)(const Args&);
};

// Every command of the program: its words, operands, options, store and
// handler. A new command is one row here.
const std::vector<Command> kCommands = {
    {{"serve", 0, {"--http-port=", "--collector-port=", "--status-port=", "--port-file="},
      "[--http-port N] [--collector-port N|off] [--status-port N|off] [--port-file FILE]"},
     StoreUse::kCreate, Serve},
    {{"init", 0, {}, "  (makes the data folder and an empty store)"}, StoreUse::kCreate, Init},
    {{"keygen", 0, {}, "  (makes the release key; prints what the assistants' build takes)"}, StoreUse::kFolder, Keygen},
    {{"release sign", 1, {"--key="}, "FILE --key KEY.pem   (on the operator's own machine: writes FILE.sig)"},
     StoreUse::kNone, ReleaseSign},
    {{"release add", 1, {"--signature=", "--unsigned"}, "FILE [--signature FILE.sig | --unsigned]"},
     StoreUse::kWrite, ReleaseAdd},
    {{"release list", 0, {"--json"}, "[--json]"}, StoreUse::kRead, ReleaseList},
    {{"blacklist import", 1, {"--replace", "--force", "--utf8"}, "FILE [--replace [--force]] [--utf8]"},
     StoreUse::kWrite, BlacklistImportCommand},
    {{"blacklist list", 0, {"--json"}, "[--json]"}, StoreUse::kRead, BlacklistList},
    {{"blacklist remove", 1, {}, "ID"}, StoreUse::kWrite, BlacklistRemove},
    {{"params set", 2, {"--bar="}, "NAME VALUE [--bar ID]"}, StoreUse::kWrite, ParamsSet},
    {{"params unset", 1, {"--bar="}, "NAME [--bar ID]"}, StoreUse::kWrite, ParamsUnset},
    {{"params list", 0, {"--json"}, "[--json]"}, StoreUse::kRead, ParamsList},
    {{"installs", 0, {"--json"}, "[--json]"}, StoreUse::kRead, Installs},
    {{"hits", 0, {"--days=", "--json"}, "[--days N] [--json]"}, StoreUse::kRead, Hits},
    {{"notices", 0, {"--limit=", "--json"}, "[--limit N] [--json]"}, StoreUse::kRead, Notices},
    {{"prune", 0, {"--days="}, "--days N   (removes hits and notices older than N days)"}, StoreUse::kWrite, Prune},
    {{"backup", 1, {}, "FILE   (a consistent copy of central.db, also while the service runs)"}, StoreUse::kRead,
     Backup},
    {{"config", 0, {}, "  (the configuration as read)"}, StoreUse::kNone, Config},
    {{"webhook list", 0, {}, "  (the group-chat robots and their queues)"}, StoreUse::kRead, WebhookList},
    {{"webhook test", 1, {}, "NAME   (sends a test message and prints the robot's answer)"}, StoreUse::kNone,
     WebhookTest},
    {{"pin", 1, {}, "CERT.pem   (the pin of the TLS certificate the assistants' build takes)"}, StoreUse::kNone, Pin},
};

std::vector<CommandShape> Shapes() {
  std::vector<CommandShape> shapes;
  for (const Command& c : kCommands) shapes.push_back(c.shape);
  return shapes;
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the command may go on with the data folder as it is: only `serve`
// and `init` make one, a listing needs the store in it.
bool DataFolderReady(const CentralConfig& config, StoreUse use, std::string& error) {
  const char* hint = "; give --data or --config, or make one with `tollimer-central init`";
  if (use == StoreUse::kNone || use == StoreUse::kCreate) return true;
  if (!IsFolder(config.dataDir)) {
    error = "no data folder " + config.dataDir + hint;
  } else if (use == StoreUse::kRead && access((config.dataDir + "/central.db").c_str(), F_OK) != 0) {
    error = "no store in " + config.dataDir + hint;
  }
  return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
  // The store, its backups and the releases hold every ID number: readable
  // by the service's group at most, whatever umask the caller has.
  umask(0027);
  const std::vector<CommandShape> shapes = Shapes();
  const ParsedLine line = ParseCommandLine(shapes, std::vector<std::string>(argv + 1, argv + argc));
  if (line.help) {
    std::cout << CommandUsage(shapes);
    return 0;
  }
  if (line.version && line.command < 0 && line.error.empty()) {
    std::cout << "tollimer-central " << TOLLIMER_CENTRAL_VERSION << "\n";
    return 0;
  }
  if (line.command < 0) return Fail(line.error + " (tollimer-central help lists the commands)");
  const Command& command = kCommands[static_cast<std::size_t>(line.command)];

  // Without --config the installed configuration is read where there is one.
  const auto given = line.options.find(kConfigOption);
  const std::string configPath = given != line.options.end() ? given->second
                                 : access(kInstalledConfig, F_OK) == 0 ? kInstalledConfig : "";
  std::string configText;
  if (!configPath.empty() && !ReadFile(configPath, configText)) return Fail("cannot read " + configPath);
  ConfigResult parsed = ParseCentralConfig(configText);
  for (const std::string& e : parsed.errors) std::cerr << configPath << ": " << e << "\n";
  if (!parsed.config) return 1;
  CentralConfig config = *parsed.config;
  const auto data = line.options.find(kDataOption);
  if (data != line.options.end()) config.dataDir = data->second;

  std::string error;
  std::unique_ptr<CentralStore> store;
  if (!DataFolderReady(config, command.store, error)) return Fail(error);
  if ((command.store == StoreUse::kCreate || command.store == StoreUse::kWrite) && !EnsureFolders(config, error)) {
    return Fail(error);
  }
  if (command.store != StoreUse::kNone && command.store != StoreUse::kFolder) {
    store = CentralStore::Open(config.dataDir + "/central.db", error);
    if (!store) return Fail("store " + config.dataDir + "/central.db: " + error);
  }
  Args args{config, store.get(), line.operands, line.options};
  return command.run(args);
}
