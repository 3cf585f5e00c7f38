// A one-connection TCP peer on 127.0.0.1 for the fuzz targets of the socket
// readers: it accepts one connection, optionally sends a greeting, reads until
// the client's request is complete, sends the scripted bytes and closes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class LoopbackPeer {
 public:
  // requestComplete: true once the bytes read so far are a whole request.
  LoopbackPeer(std::string greeting, std::function<bool(const std::string&)> requestComplete,
               std::string reply);
  ~LoopbackPeer();  // waits for the peer to finish
  std::uint16_t Port() const { return port_; }

 private:
  void Serve();
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::string greeting_, reply_;
  std::function<bool(const std::string&)> requestComplete_;
  std::thread thread_;
};
