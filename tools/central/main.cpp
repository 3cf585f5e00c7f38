// tollimer-central: the central service and collector of a cafe chain's
// assistants, and the operator's commands on its store.
//
//   tollimer-central [--config FILE] [--data DIR] serve [--http-port N]
//                    [--collector-port N|off] [--status-port N|off] [--port-file FILE]
//   tollimer-central ... keygen   (the operator's release key, once)
//   tollimer-central ... release add FILE | release list
//   tollimer-central ... blacklist import FILE [--replace] [--utf8] | blacklist list
//                    | blacklist remove ID
//   tollimer-central ... params set NAME VALUE [--bar ID] | params unset NAME [--bar ID]
//                    | params list
//   tollimer-central ... installs | hits [--days N] | notices [--limit N] | config
//   tollimer-central ... prune --days N   (hits and notices older than N days)
//   tollimer-central ... backup FILE      (a consistent copy of the store, while it serves)
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

#include "central/blacklist_import.h"
#include "central/central_config.h"
#include "central/central_log.h"
#include "central/collector.h"
#include "central/json_rows.h"
#include "central/params_rule.h"
#include "central/release_file.h"
#include "central/release_key.h"
#include "central/service.h"
#include "central/store.h"
#include "central/tls_pin.h"
#include "crypto/codepage.h"
#include "crypto/release_key_note.h"
#include "util/text.h"

namespace {

constexpr const char* kUsage =
    "usage: tollimer-central [--config FILE] [--data DIR] COMMAND\n"
    "  serve [--http-port N] [--collector-port N|off] [--status-port N|off] [--port-file FILE]\n"
    "  keygen   (makes the release key; prints what the assistants' build takes)\n"
    "  release add FILE | release list\n"
    "  blacklist import FILE [--replace] [--utf8] | blacklist list | blacklist remove ID\n"
    "  params set NAME VALUE [--bar ID] | params unset NAME [--bar ID] | params list\n"
    "  installs | hits [--days N] | notices [--limit N] | config\n"
    "  --json after a listing (installs, hits, notices, params list, release list,\n"
    "    blacklist list) prints one JSON array of objects instead of the table\n"
    "  prune --days N   (removes hits and notices older than N days)\n"
    "  backup FILE      (a consistent copy of central.db, also while the service runs)\n"
    "  pin CERT.pem     (the pin of the TLS certificate the assistants' build takes)\n"
    "  help, --help, -h   (this text)\n";

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

// Arguments after the command: plain words and "--name value" options
// ("--replace", "--utf8" and "--json" take no value).
struct Args {
  std::vector<std::string> words;
  std::map<std::string, std::string> options;
  std::string error;
};

Args ParseArgs(const std::vector<std::string>& argv) {
  Args args;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a == "--replace" || a == "--utf8" || a == "--json") {
      args.options[a] = "1";
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (i + 1 >= argv.size()) {
        args.error = a + " needs a value";
        return args;
      }
      args.options[a] = argv[++i];
    } else {
      args.words.push_back(a);
    }
  }
  return args;
}

// "help" as the command, or "--help" or "-h" anywhere.
bool WantsHelp(const std::vector<std::string>& argv) {
  if (!argv.empty() && argv[0] == "help") return true;
  return std::any_of(argv.begin(), argv.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

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

int Serve(const CentralConfig& baseConfig, CentralStore& store, const Args& args) {
  CentralConfig config = baseConfig;
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
int Keygen(const CentralConfig& config) {
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

// The key `release add` signs with. A configured key must load; without one
// the data folder's key is used when it exists, else the release goes
// unsigned (`unsigned_` set).
std::unique_ptr<ReleaseSigner> ReleaseSignerFor(const CentralConfig& config, bool& unsigned_, std::string& error) {
  const std::string path = ReleaseKeyPath(config);
  unsigned_ = config.releaseKeyFile.empty() && access(path.c_str(), F_OK) != 0;
  if (unsigned_) return nullptr;
  auto signer = ReleaseSigner::Load(path, error);
  if (!signer) {
    error = "release key " + error + "; make one with `tollimer-central keygen`, or correct release_key in the " +
            "configuration. The release was not added.";
  }
  return signer;
}

int Release(const CentralConfig& config, CentralStore& store, const Args& args) {
  if (args.words.size() == 2 && args.words[1] == "list") {
    std::vector<JsonRow> rows;
    for (const ReleaseRow& r : store.Releases()) {
      rows.emplace_back().Text("crc", r.info.crc).Text("machine", r.info.machine).Number("size", r.info.size)
          .Text("md5", r.info.md5).Number("added", r.added).Bool("current", r.current);
    }
    if (PrintedAsJson(args, rows)) return 0;
    std::cout << "crc\tmachine\tsize\tmd5\tadded (UTC)\tcurrent\n";
    for (const ReleaseRow& r : store.Releases()) {
      std::cout << r.info.crc << "\t" << r.info.machine << "\t" << r.info.size << "\t" << r.info.md5 << "\t"
                << UtcText(r.added) << "\t" << (r.current ? "yes" : "no") << "\n";
    }
    return 0;
  }
  if (args.words.size() != 3 || args.words[1] != "add") return Fail(kUsage);
  std::string bytes;
  if (!ReadFile(args.words[2], bytes)) return Fail("cannot read " + args.words[2]);
  std::string error;
  bool unsigned_ = false;
  const std::unique_ptr<ReleaseSigner> signer = ReleaseSignerFor(config, unsigned_, error);
  if (!signer && !unsigned_) return Fail(error);
  const std::optional<ReleaseInfo> info = AddReleaseFile(config, store, bytes, NowSeconds(), signer.get(), error);
  if (!info) return Fail(args.words[2] + ": " + error);
  if (signer && IsTestReleaseKey(signer->PublicKey())) {
    std::cerr << "tollimer-central: WARNING: SIGNED WITH THE TEST KEY (tests/data/release/), whose private half is "
                 "public: anybody can sign what the assistants that trust it install. Only test builds trust it; "
                 "a real chain signs with its own key.\n";
  }
  if (unsigned_) {
    std::cerr << "tollimer-central: warning: no release key (" << ReleaseKeyPath(config)
              << "), the release is not signed: assistants built with a release key will not install it. "
                 "`tollimer-central keygen` makes a key.\n";
  }
  std::cout << "release " << info->crc << " (" << info->machine << ", " << info->size << " bytes, md5 "
            << info->md5 << ") is now current for " << info->machine << (signer ? ", signed" : ", not signed")
            << "\n";
  return 0;
}

CalendarDate Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

int BlacklistCommand(CentralStore& store, const Args& args) {
  if (args.words.size() == 2 && args.words[1] == "list") {
    const std::vector<BlacklistRow> list = store.Blacklist();
    std::vector<JsonRow> rows;
    for (const BlacklistRow& row : list) rows.emplace_back().Text("id", row.idNumber).Text("line", row.line);
    if (PrintedAsJson(args, rows)) return 0;
    for (const BlacklistRow& row : list) std::cout << row.line << "\n";
    return 0;
  }
  if (args.words.size() == 3 && args.words[1] == "remove") {
    if (!store.RemoveBlacklist(UpperAscii(args.words[2]))) return Fail("no entry " + args.words[2]);
    std::cout << "removed " << args.words[2] << "\n";
    return 0;
  }
  if (args.words.size() != 3 || args.words[1] != "import") return Fail(kUsage);
  std::string text;
  if (!ReadFile(args.words[2], text)) return Fail("cannot read " + args.words[2]);
  // The file is GBK like a cafe's blacklist.txt unless the operator says UTF-8
  // (or it starts with a UTF-8 byte-order mark).
  const BlacklistImport import = ParseBlacklistFile(text, args.options.count("--utf8") > 0, Today());
  std::vector<BlacklistRow> rows;
  for (const BlacklistEntry& e : import.entries) rows.push_back({e.idNumber, Ansi_ToUtf8(e.line)});
  for (const LineNote& note : import.refused) std::cerr << "line " << note.line << " refused: " << note.why << "\n";
  for (const LineNote& note : import.warnings) std::cerr << "line " << note.line << ": " << note.why << "\n";
  if (!store.ImportBlacklist(rows, args.options.count("--replace") > 0)) return Fail("the store refused the import");
  std::cout << "imported " << rows.size() << " entries, refused " << import.refused.size() << " lines\n";
  return 0;
}

int ParamsCommand(CentralStore& store, const Args& args) {
  const auto bar = args.options.find("--bar");
  const std::string barId = bar == args.options.end() ? "" : bar->second;
  if (args.words.size() == 2 && args.words[1] == "list") {
    std::vector<JsonRow> rows;
    for (const ParamRow& p : store.Params()) rows.emplace_back().Text("bar", p.barId).Text("name", p.name).Text("value", p.value);
    if (PrintedAsJson(args, rows)) return 0;
    std::cout << "bar\tname\tvalue\n";
    for (const ParamRow& p : store.Params()) {
      std::cout << (p.barId.empty() ? "*" : p.barId) << "\t" << p.name << "\t" << p.value << "\n";
    }
    return 0;
  }
  if (args.words.size() == 4 && args.words[1] == "set") {
    if (const auto why = CheckParam(args.words[2], args.words[3])) return Fail(*why);
    if (!store.SetParam(barId, args.words[2], args.words[3])) return Fail("the store refused the value");
    return 0;
  }
  if (args.words.size() == 3 && args.words[1] == "unset") {
    if (!store.UnsetParam(barId, args.words[2])) return Fail("no such parameter");
    return 0;
  }
  return Fail(kUsage);
}

int Installs(CentralStore& store, const Args& args) {
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

int Hits(CentralStore& store, const Args& args) {
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

int Notices(CentralStore& store, const Args& args) {
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

int Prune(CentralStore& store, const Args& args) {
  const auto it = args.options.find("--days");
  const auto days = it == args.options.end() ? std::nullopt : ParseDecimal(it->second);
  if (!days || *days < 1) return Fail("prune needs --days N, a whole number of 1 or more");
  const std::int64_t removed = store.PruneEvents(NowSeconds() - std::int64_t{*days} * 24 * 3600);
  if (removed < 0) return Fail("the store refused");
  std::cout << "removed " << removed << " hits and notices\n";
  return 0;
}

int Backup(CentralStore& store, const Args& args) {
  if (args.words.size() != 2) return Fail(kUsage);
  std::string error;
  if (!store.BackupTo(args.words[1], error)) return Fail("backup to " + args.words[1] + ": " + error);
  std::cout << "backed up to " << args.words[1] << "\n";
  return 0;
}

// Prints the pin of the service's TLS certificate as the assistants' build
// takes it. Reads no store: it runs anywhere the certificate is.
int Pin(const Args& args) {
  if (args.words.size() != 2) return Fail("pin takes the certificate file: pin CERT.pem");
  std::string pem;
  if (!ReadFile(args.words[1], pem)) return Fail("cannot read " + args.words[1]);
  const std::optional<std::string> pin = CertificatePin(pem);
  if (!pin) return Fail(args.words[1] + " holds no certificate (PEM)");
  std::cout << "-DTOLLIMER_SERVICE_PIN=" << *pin << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> rest;
  std::string configPath, dataDir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--config" || a == "--data") && rest.empty() && i + 1 < argc) {
      (a == "--config" ? configPath : dataDir) = argv[++i];
    } else {
      rest.push_back(a);
    }
  }
  if (WantsHelp(rest)) {
    std::cout << kUsage;
    return 0;
  }
  const Args args = ParseArgs(rest);
  if (!args.error.empty()) return Fail(args.error);
  if (args.words.empty()) return Fail(kUsage);

  std::string configText;
  if (!configPath.empty() && !ReadFile(configPath, configText)) return Fail("cannot read " + configPath);
  ConfigResult parsed = ParseCentralConfig(configText);
  for (const std::string& e : parsed.errors) std::cerr << configPath << ": " << e << "\n";
  if (!parsed.config) return 1;
  CentralConfig config = *parsed.config;
  if (!dataDir.empty()) config.dataDir = dataDir;

  const std::string& command = args.words[0];
  if (command == "pin") return Pin(args);
  if (command == "config") {
    std::cout << DescribeCentralConfig(config);
    return 0;
  }
  std::string error;
  if (!EnsureFolders(config, error)) return Fail(error);
  const std::unique_ptr<CentralStore> store = CentralStore::Open(config.dataDir + "/central.db", error);
  if (!store) return Fail("store " + config.dataDir + "/central.db: " + error);

  if (command == "serve") return Serve(config, *store, args);
  if (command == "keygen") return Keygen(config);
  if (command == "release") return Release(config, *store, args);
  if (command == "blacklist") return BlacklistCommand(*store, args);
  if (command == "params") return ParamsCommand(*store, args);
  if (command == "installs") return Installs(*store, args);
  if (command == "hits") return Hits(*store, args);
  if (command == "notices") return Notices(*store, args);
  if (command == "prune") return Prune(*store, args);
  if (command == "backup") return Backup(*store, args);
  return Fail(kUsage);
}
