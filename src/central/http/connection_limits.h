// How many connections the service holds at once: at most `perAddress` from
// one client address and `total` in all. A slow or idle client holds its
// slot until its request's deadline, so without these one machine could hold
// every slot; with them an attacker takes at most its own address's share.
// Cafes behind one NAT address share that address's share.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// What a client's numeric address counts as, for connections and for the
// hit reports alike: the address; for an IPv6 client its /64 network
// ("2001:db8::/64"), as one machine or home is usually given a whole /64 and
// could otherwise take a share per address.
std::string ClientSlot(const std::string& address);

class ConnectionLimits {
 public:
  enum class Admission { Admitted, AddressFull, AllFull };

  // `unshared`: addresses that count against `total` only, such as the
  // chain's own TLS proxy, which brings every cafe's connections.
  ConnectionLimits(std::size_t perAddress, std::size_t total, std::vector<std::string> unshared = {})
      : perAddress_(perAddress), total_(total), unshared_(std::move(unshared)) {}

  // Takes a slot for a connection from `address`, or says which limit is full.
  Admission Admit(const std::string& address);
  // Gives back the slot of a connection that Admit admitted.
  void Release(const std::string& address);

  std::size_t Open() const;
  std::size_t OpenFrom(const std::string& address) const;

 private:
  const std::size_t perAddress_;
  const std::size_t total_;
  const std::vector<std::string> unshared_;
  mutable std::mutex mutex_;
  std::size_t open_ = 0;
  // Only addresses with an open connection have an entry, so the table is
  // never larger than the connections themselves.
  std::unordered_map<std::string, std::size_t> byAddress_;
};
