// The network readers: a download reply (header and body) over a real
// loopback connection, and URLs as the service announces them.
#include <unistd.h>

#include <string>

#include "fuzz_targets.h"
#include "loopback_peer.h"
#include "net/download.h"
#include "net/url.h"

int FuzzDownloadReply(const std::uint8_t* data, std::size_t size) {
  LoopbackPeer peer("", [](const std::string& request) { return request.find("\r\n\r\n") != std::string::npos; },
                    std::string(reinterpret_cast<const char*>(data), size));
  const std::string destination = "/tmp/tollimer-fuzz-download-" + std::to_string(getpid()) + ".bin";
  DownloadOptions options;
  options.socketTimeoutMs = 2000;
  options.lowSpeedWindowMs = 2000;
  const int result = DownloadFile("http://127.0.0.1:" + std::to_string(peer.Port()) + "/Tollimer.exe",
                                  destination, true, options);
  if (result > static_cast<int>(size)) FuzzFail("wrote more body bytes than were sent");
  unlink(destination.c_str());
  return 0;
}

int FuzzSplitUrl(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  std::string host, path, query;
  const int port = SplitUrl(url, host, path, query);
  if (port < 0 || port > 99999) FuzzFail("port outside five digits");
  if (host.find('/') != std::string::npos) FuzzFail("slash in the host");
  if (host.size() + path.size() + query.size() > url.size()) FuzzFail("parts longer than the URL");
  for (bool utf8 : {false, true}) {
    const std::string encoded = UrlEncode(url, utf8);
    if (!utf8 && encoded.size() < url.size()) FuzzFail("encoding lost bytes");
  }
  return 0;
}
