// Which address a request counts as coming from, directly or through the
// chain's TLS proxy.
#include "central/http/forwarded_client.h"

#include <gtest/gtest.h>

namespace {

TEST(ForwardedClient, BelievesTheHeaderOnlyFromATrustedProxy) {
  struct Case {
    const char* what;
    std::string head;
    std::string peer;
    std::string client;
  };
  const std::vector<std::string> proxies = {"127.0.0.1", "::1"};
  const std::string request = "GET /tollimer/report.php?x HTTP/1.1\r\nHost: h\r\n";
  const Case cases[] = {
      {"through the proxy", request + "X-Forwarded-For: 10.1.2.3\r\n\r\n", "127.0.0.1", "10.1.2.3"},
      {"through the IPv6 proxy, an IPv6 client", request + "x-forwarded-for:2001:DB8:0::7\r\n\r\n", "::1",
       "2001:db8::7"},
      {"a forged header from a stranger", request + "X-Forwarded-For: 10.1.2.3\r\n\r\n", "203.0.113.9",
       "203.0.113.9"},
      {"the proxy's own word is the last one", request + "X-Forwarded-For: 1.1.1.1, 10.1.2.3\r\n\r\n", "127.0.0.1",
       "10.1.2.3"},
      {"the last of two lines", request + "X-Forwarded-For: 1.1.1.1\r\nX-Forwarded-For: 10.1.2.3\r\n\r\n",
       "127.0.0.1", "10.1.2.3"},
      {"no header: the proxy itself", request + "\r\n", "127.0.0.1", "127.0.0.1"},
      {"a name, not an address", request + "X-Forwarded-For: evil.example\r\n\r\n", "127.0.0.1", "127.0.0.1"},
      {"an address with a port", request + "X-Forwarded-For: 10.1.2.3:80\r\n\r\n", "127.0.0.1", "127.0.0.1"},
      {"empty", request + "X-Forwarded-For:\r\n\r\n", "127.0.0.1", "127.0.0.1"},
      {"a header of the body is not the head's", request + "\r\nX-Forwarded-For: 10.1.2.3\r\n", "127.0.0.1",
       "127.0.0.1"},
      {"a longer name", request + "X-Forwarded-For-Real: 10.1.2.3\r\n\r\n", "127.0.0.1", "127.0.0.1"},
  };
  for (const Case& c : cases) EXPECT_EQ(ForwardedClient(c.head, c.peer, proxies), c.client) << c.what;
  // Without a configured proxy, nobody is believed.
  EXPECT_EQ(ForwardedClient(request + "X-Forwarded-For: 10.1.2.3\r\n\r\n", "127.0.0.1", {}), "127.0.0.1");
}

}  // namespace
