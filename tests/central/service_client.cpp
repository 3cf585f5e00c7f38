#include "central/service_client.h"

#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "crypto/codepage.h"
#include "crypto/envelope.h"
#include "util/text.h"

int ConnectFrom(int port, const std::string& from, bool nonBlocking) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  if (!from.empty()) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    if (inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      close(fd);
      return -1;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      !(nonBlocking && errno == EINPROGRESS)) {
    close(fd);
    return -1;
  }
  return fd;
}

RawReply RawHttp(int port, const std::string& request, const std::string& from) {
  RawReply reply;
  const int fd = ConnectFrom(port, from);
  if (fd < 0) return reply;
  // A server may answer and close before it has read a large body; the send
  // then fails and the reply is still read.
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const std::size_t end = bytes.find("\r\n\r\n");
  if (end == std::string::npos || bytes.compare(0, 5, "HTTP/") != 0) return reply;
  reply.head = bytes.substr(0, end);
  reply.body = bytes.substr(end + 4);
  const std::size_t space = reply.head.find(' ');
  reply.status = ParseDecimal(reply.head.substr(space + 1, 3)).value_or(0);
  return reply;
}

RawReply HttpGet(int port, const std::string& target, const std::string& extraHeaders, const std::string& from) {
  return RawHttp(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders +
                           "Connection: close\r\n\r\n",
                 from);
}

RawReply HttpPost(int port, const std::string& target, const std::string& body, const std::string& from) {
  // The assistant's headers, as WinInet sends them.
  return RawHttp(port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: OrvAssistant\r\n"
                       "Accept: text/*\r\nContent-Type: application/json\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                 from);
}

std::string AssistantReport(const std::string& mac, const std::string& disk, const std::string& crc,
                            const std::string& barId, const std::string& barName) {
  return "time=1700000000\r\nneighbours=3\r\nmac=" + mac + "\r\ncrc=" + crc + "\r\nbarid=" + barId +
         "\r\nbarname=" + barName + "\r\nos=6.1.7601\r\nexpcofig=15\r\nmonitors=2\r\nfacesound=-\r\ndisk=" +
         disk;
}

std::string SealAsAssistant(const std::string& text) {
  std::string sealed;
  Des_Crypt(text, 1, 1, 1, true, sealed);
  return sealed;
}

std::optional<std::string> OpenAsAssistant(const std::string& replyBody) {
  const std::string reply = Utf8_ToAnsi(replyBody);
  const std::string open = "[BODY]";
  const std::size_t marker = reply.find(open);
  if (marker == std::string::npos) return std::nullopt;
  const std::size_t start = marker + open.size() + 2;
  const std::string rest = start < reply.size() ? reply.substr(start) : std::string();
  const std::size_t close = rest.find("[END]");
  std::string payload;
  Des_Crypt(close == std::string::npos ? std::string() : rest.substr(0, close), 2, 1, 1, true, payload);
  if (payload.find('=') == std::string::npos) return std::nullopt;
  return payload;
}

std::optional<std::string> PayloadValue(const std::string& payload, const std::string& name) {
  std::size_t begin = 0;
  while (begin < payload.size()) {
    std::size_t end = payload.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = payload.size();
    const std::string line = payload.substr(begin, end - begin);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && SameTextAscii(line.substr(0, equals), name)) return line.substr(equals + 1);
    begin = end + 1;
  }
  return std::nullopt;
}

std::string FakeExecutable(unsigned machine, const std::string& filler, std::uint64_t number) {
  std::string bytes(0x80, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[0x3C] = 0x40;
  bytes.replace(0x40, 4, std::string("PE\0\0", 4));
  bytes[0x44] = static_cast<char>(machine & 0xFF);
  bytes[0x45] = static_cast<char>(machine >> 8);
  // The fixed file information of a version resource: signature, structure
  // version 1.0, then FILEVERSION's high and low double words.
  std::string version("\xBD\x04\xEF\xFE\x00\x00\x01\x00", 8);
  for (int shift : {32, 40, 48, 56, 0, 8, 16, 24}) version += static_cast<char>((number >> shift) & 0xFF);
  return bytes + version + filler;
}

RunningCentral::RunningCentral(const std::string& name, CentralConfig base) : config(base), dir(name) {
  config.dataDir = dir.Dir();
  config.httpAddress = "127.0.0.1";
  config.httpPort = 0;
  config.collectorAddress = "127.0.0.1";
  config.collectorPort = 0;
  config.statusAddress = "127.0.0.1";
  config.statusPort = 0;
  std::filesystem::create_directories(dir.Path("releases"));
  std::string error;
  store = CentralStore::Open(dir.Path("central.db"), error);
  service = std::make_unique<CentralService>(config, *store);
  collector = std::make_unique<NoticeCollector>(config, *store);
  if (!service->Start(error) || !collector->Start(error)) throw std::runtime_error(error);
  service->SetCollector(collector.get());
}

RunningCentral::~RunningCentral() {
  collector->Stop();
  service->Stop();
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool BreakBlacklistTable(const std::string& storePath) {
  sqlite3* db = nullptr;
  bool done = sqlite3_open(storePath.c_str(), &db) == SQLITE_OK;
  sqlite3_busy_timeout(db, 5000);
  done = done && sqlite3_exec(db, R"sql(
    ALTER TABLE blacklist RENAME TO blacklist_kept;
    CREATE VIEW blacklist(seq, id_number, line) AS SELECT seq, id_number, json(line) FROM blacklist_kept;)sql",
                              nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return done;
}
