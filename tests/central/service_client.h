// Test side of tollimer-central: a raw HTTP client on a socket (so a test
// sends exactly the bytes an assistant's WinInet or downloader would, GBK and
// all), the assistant's way of sealing a report and reading a reply, and a
// service with its collector started on free loopback ports in a scratch
// data folder.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "central/exchange/collector.h"
#include "central/service.h"
#include "central/store/store.h"
#include "fakes/temp_dir.h"

struct RawReply {
  int status = 0;     // 0: no reply
  std::string head;   // status line and headers
  std::string body;   // everything after the blank line, until the server closed
};

// Sends `request` as it is to 127.0.0.1:port and reads until the server
// closes (the request should ask for "Connection: close"). `from`: the
// loopback source address (127.0.0.2 ...), so a test can play several
// machines; empty: the system's choice.
RawReply RawHttp(int port, const std::string& request, const std::string& from = "");

RawReply HttpGet(int port, const std::string& target, const std::string& extraHeaders = "",
                 const std::string& from = "");
RawReply HttpPost(int port, const std::string& target, const std::string& body, const std::string& from = "");

// A TCP socket to 127.0.0.1:port from `from` (empty: the system's choice),
// connected, or -1. Non-blocking when `nonBlocking` (then possibly still
// connecting).
int ConnectFrom(int port, const std::string& from, bool nonBlocking = false);

// The assistant's report text (GBK) for these values.
std::string AssistantReport(const std::string& mac, const std::string& disk, const std::string& crc,
                            const std::string& barId, const std::string& barName);

// Sealed as the assistant seals it (key row 1, through UTF-8, Base64).
std::string SealAsAssistant(const std::string& text);

// The assistant's reading of a reply body: UTF-8 to GBK, the payload two
// characters after the opening marker up to the closing one, opened with key
// row 1. Nothing when a marker is missing or the payload holds no "=".
std::optional<std::string> OpenAsAssistant(const std::string& replyBody);

// The value of `name` in name=value lines, or nothing.
std::optional<std::string> PayloadValue(const std::string& payload, const std::string& name);

// A small Windows executable image: MZ header, PE signature and the machine
// field, then `filler` bytes, so releases differ in their checksums.
// A PE header of `machine`, a version resource's fixed information with
// FILEVERSION `number` (1.0.0.2 unless told), then `filler`.
std::string FakeExecutable(unsigned machine, const std::string& filler, std::uint64_t number = 0x0001000000000002);

// A pause (the test files keep <chrono> out: its "µs" has no GBK form).
void SleepMs(int milliseconds);

// Makes the store file's blacklist fail part way through a read, as a
// damaged page would: from the first row whose line is not JSON text on.
bool BreakBlacklistTable(const std::string& storePath);

// tollimer-central's service and collector on free loopback ports.
class RunningCentral {
 public:
  explicit RunningCentral(const std::string& name, CentralConfig config = CentralConfig());
  ~RunningCentral();

  CentralConfig config;
  TempDir dir;
  std::unique_ptr<CentralStore> store;
  std::unique_ptr<CentralService> service;
  std::unique_ptr<NoticeCollector> collector;

  int HttpPort() const { return service->HttpPort(); }
};
