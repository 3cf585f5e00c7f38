// Configuration of tollimer-central: where it listens, where it keeps its
// data, and the paths, markers and key rows it shares with the assistants.
// The defaults are the values compiled into an assistant built from this
// tree (cmake/config.cmake), so a test build and its service agree without a
// configuration file; an operator overrides them from one file of
// "name = value" lines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "central/config/webhook_target.h"
#include "crypto/envelope.h"

struct CentralConfig {
  std::string dataDir = "tollimer-data";  // store, release folder, about page

  // HTTP service the assistants talk to.
  std::string httpAddress = "0.0.0.0";
  int httpPort = 18080;  // 0: any free port
  std::string basePath = "/tollimer/";  // path of the assistants' base address
  std::string updatePath = "update/";
  // Release download below the update path: prefix + checksum text + suffix.
  std::string downloadPrefix = "file/";
  std::string downloadSuffix = ".bin";
  // The release's signature, looked up like the release: prefix + checksum
  // text + suffix.
  std::string signaturePrefix = "file/";
  std::string signatureSuffix = ".sig";
  std::string blacklistPath = "data/blklist.txt";
  std::string reportPath = "report.php";
  std::string aboutPath = "about.html";
  std::string openMarker = "[BODY]";
  std::string closeMarker = "[END]";
  TEnvelopeKey serviceKey = EnvelopeKeyRow(1);    // parameters and release exchange
  TEnvelopeKey blacklistKey = EnvelopeKeyRow(3);  // blacklist lines
  // Whether the file gave key_row1 and key_row3: `serve` takes no key row it
  // was not given, and none of the test build's, unless testKeys says so.
  bool serviceKeyGiven = false;
  bool blacklistKeyGiven = false;
  bool testKeys = false;  // "test_keys = yes": the tests' and the demo's service
  std::size_t maxBodyBytes = 64 * 1024;           // larger requests are refused
  // The operator's release key (PEM, private). Empty: release-key.pem in the
  // data folder, used when it exists. Named: `release add` refuses to add a
  // release it cannot sign with it.
  std::string releaseKeyFile;

  // What a client may hold of each listener: connections from one address,
  // connections in all, and the seconds a whole request may take to arrive.
  // Connections over a limit are refused at once.
  std::size_t connectionsPerAddress = 16;
  std::size_t maxConnections = 512;
  int requestSeconds = 5;
  // Worker threads of the assistants' listener at most (a download holds
  // one while the cafe reads it); a whole request past them waits for one.
  std::size_t maxWorkers = 128;
  // Reverse proxies in front of the service (nginx terminating TLS), by
  // numeric address: only their X-Forwarded-For is believed, and their
  // connections count against max_connections only. None by default.
  std::vector<std::string> trustedProxies;

  // Collector of notice datagrams.
  std::string collectorAddress = "0.0.0.0";
  int collectorPort = 8888;  // "off" (-1): not started; 0: any free port
  int noticesPerSecond = 20;  // per sender; more are dropped and counted
  // Notices kept at most: past it the oldest are removed (and counted).
  std::int64_t maxNotices = 100000;
  // Hits and notices older than this many days are removed, once a day and
  // a few hundred rows at a time.
  int retentionDays = 90;

  // Read-only status page for the operator; holds ID numbers, so it listens
  // on loopback unless the operator says otherwise.
  std::string statusAddress = "127.0.0.1";
  int statusPort = 18081;  // "off" (-1): not started; 0: any free port
  // Zone of the times the status page shows, a name of the system's zone
  // folder (/usr/share/zoneinfo): the chains this serves keep Beijing time.
  std::string timeZone = "Asia/Shanghai";

  // The group-chat robots told of every hit ("webhook.NAME.FIELD" lines).
  std::vector<WebhookTarget> webhooks;
};

struct ConfigResult {
  std::optional<CentralConfig> config;
  std::vector<std::string> errors;  // "line N: ..." for each line refused
};

// Defaults, then every "name = value" line of `text` ("#" starts a comment
// line). Unknown names, bad numbers, bad key rows and bad paths are errors;
// with any error there is no configuration.
ConfigResult ParseCentralConfig(const std::string& text);

// Why `serve` must not start with `config`: one line per key row left out or
// equal to one of the test build's rows, naming the configuration line to
// fill. Empty when the rows are the chain's own, or when the file says
// "test_keys = yes".
std::vector<std::string> ServeKeyRefusals(const CentralConfig& config);

// True for one of the test build's four envelope rows, which everyone knows.
bool IsTestKeyRow(const TEnvelopeKey& key);

// The names ParseCentralConfig accepts, with their current values, as a
// configuration file (what "tollimer-central config" prints).
std::string DescribeCentralConfig(const CentralConfig& config);
