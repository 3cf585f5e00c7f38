#include "central/http/connection_limits.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

std::string ClientSlot(const std::string& address) {
  in6_addr network{};
  if (inet_pton(AF_INET6, address.c_str(), &network) != 1 || IN6_IS_ADDR_V4MAPPED(&network)) return address;
  std::memset(&network.s6_addr[8], 0, 8);
  char text[INET6_ADDRSTRLEN] = "";
  inet_ntop(AF_INET6, &network, text, sizeof text);
  return std::string(text) + "/64";
}

ConnectionLimits::Admission ConnectionLimits::Admit(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ >= total_) return Admission::AllFull;
  const auto it = byAddress_.find(address);
  const bool shared = std::find(unshared_.begin(), unshared_.end(), address) == unshared_.end();
  if (shared && (it == byAddress_.end() ? 0 : it->second) >= perAddress_) return Admission::AddressFull;
  if (it == byAddress_.end()) {
    byAddress_.emplace(address, 1);
  } else {
    ++it->second;
  }
  ++open_;
  return Admission::Admitted;
}

void ConnectionLimits::Release(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = byAddress_.find(address);
  if (it == byAddress_.end()) return;
  --open_;
  if (--it->second == 0) byAddress_.erase(it);
}

std::size_t ConnectionLimits::Open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

std::size_t ConnectionLimits::OpenFrom(const std::string& address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = byAddress_.find(address);
  return it == byAddress_.end() ? 0 : it->second;
}
