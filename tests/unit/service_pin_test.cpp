#include "crypto/service_pin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The public key of tests/data/tls/service-cert.pem (its DER
// SubjectPublicKeyInfo) and the pin `openssl dgst -sha256` gives for it.
const char kServicePin[] = "8b249f8917a751e578c61d1310bebd5be44e9733c503b84d699d6037aa739729";
// The look-alike's certificate: another key for the same address.
const char kLookAlikePin[] = "204c72ec08a2947521beabe535244feb8720d17244e79b174e9b594917190dcf";

std::vector<std::uint8_t> ServiceKey() {
  std::ifstream in(std::string(TOLLIMER_TEST_DATA) + "/tls/service-spki.der", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ServicePin, ParsesExactlySixtyFourHexDigits) {
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {kServicePin, true},
      {"8B249F8917A751E578C61D1310BEBD5BE44E9733C503B84D699D6037AA739729", true},
      {"", false},
      {std::string(kServicePin).substr(1), false},
      {std::string(kServicePin) + "0", false},
      {" " + std::string(kServicePin).substr(1), false},
      {std::string(kServicePin).substr(0, 63) + "g", false},
      // The colon-separated form other tools print is not this one.
      {"8b:24:9f:89:17:a7:51:e5:78:c6:1d:13:10:be:bd:5b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseServicePin(c.text).has_value(), c.ok);
  }
  EXPECT_EQ(ParseServicePin(kServicePin), ParseServicePin("8B249F8917A751E578C61D1310BEBD5BE44E9733C503B84D699D6037AA739729"));
}

TEST(ServicePin, MatchesThePinnedKeyAlone) {
  const std::vector<std::uint8_t> key = ServiceKey();
  ASSERT_EQ(key.size(), 91u);  // a P-256 key
  EXPECT_EQ(ServicePinText(key.data(), key.size()), std::string(kServicePin));
  EXPECT_TRUE(PublicKeyMatchesPin(*ParseServicePin(kServicePin), key.data(), key.size()));
  EXPECT_FALSE(PublicKeyMatchesPin(*ParseServicePin(kLookAlikePin), key.data(), key.size()));
  // One byte of the key changed, or the key cut short: another key.
  std::vector<std::uint8_t> changed = key;
  changed.back() ^= 1;
  EXPECT_FALSE(PublicKeyMatchesPin(*ParseServicePin(kServicePin), changed.data(), changed.size()));
  EXPECT_FALSE(PublicKeyMatchesPin(*ParseServicePin(kServicePin), key.data(), key.size() - 1));
  EXPECT_FALSE(PublicKeyMatchesPin(*ParseServicePin(kServicePin), key.data(), 0));
}

TEST(ServicePin, TheTestBuildHasNone) {
  // The ordinary build talks to its loopback service over plain http.
  EXPECT_FALSE(CompiledServicePin().has_value());
}

}  // namespace
