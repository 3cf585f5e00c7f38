#include "central/http/tls_pin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string Read(const std::string& name) {
  std::ifstream in(std::string(TOLLIMER_SOURCE_DIR) + "/tests/data/tls/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CertificatePin, IsTheAssistantsPinOfTheCertificatesKey) {
  // The same value the assistant's check computes from the key's DER form
  // (tests/unit/service_pin_test.cpp).
  EXPECT_EQ(CertificatePin(Read("service-cert.pem")),
            std::string("8b249f8917a751e578c61d1310bebd5be44e9733c503b84d699d6037aa739729"));
  EXPECT_EQ(CertificatePin(Read("lookalike-cert.pem")),
            std::string("204c72ec08a2947521beabe535244feb8720d17244e79b174e9b594917190dcf"));
  EXPECT_EQ(CertificatePin(Read("service-key.pem")), std::nullopt);
  EXPECT_EQ(CertificatePin(""), std::nullopt);
}

}  // namespace
