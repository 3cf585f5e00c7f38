// The address of the client behind a reverse proxy. A TLS proxy (nginx) in
// front of the service makes every connection come from the proxy itself;
// the proxy names the client it took the connection from in X-Forwarded-For.
// That header is believed only on a connection from a configured proxy
// address: anyone else could write any address into it.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A numeric IPv4 or IPv6 address in its canonical text ("10.0.0.5",
// "2001:db8::1"); nothing for anything else (names, ports, brackets).
std::optional<std::string> CanonicalAddress(std::string_view text);

// Whether `peer` (canonical, as the listener writes it) is one of `proxies`.
bool IsTrustedProxy(const std::string& peer, const std::vector<std::string>& proxies);

// The client's address for a request whose head is `head` that arrived
// from `peer`: the last address of its X-Forwarded-For (the one the proxy
// itself saw; earlier ones were written by the client) when `peer` is a
// trusted proxy and that address is numeric; `peer` otherwise.
std::string ForwardedClient(std::string_view head, const std::string& peer,
                            const std::vector<std::string>& proxies);
