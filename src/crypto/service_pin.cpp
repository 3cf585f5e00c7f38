#include "crypto/service_pin.h"

#include "util/hex.h"

namespace {

std::optional<Sha256Digest> KeyDigest(const std::uint8_t* spki, std::size_t size) {
  Sha256Hasher hasher;
  hasher.Update(spki, size);
  return hasher.Finish();
}

}  // namespace

std::optional<ServicePin> ParseServicePin(std::string_view digits) {
  return hex::ParseBytes<std::tuple_size_v<ServicePin>>(digits);
}

std::optional<std::string> ServicePinText(const std::uint8_t* spki, std::size_t size) {
  const std::optional<Sha256Digest> digest = KeyDigest(spki, size);
  if (!digest) return std::nullopt;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : *digest) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

bool PublicKeyMatchesPin(const ServicePin& pin, const std::uint8_t* spki, std::size_t size) {
  const std::optional<Sha256Digest> digest = KeyDigest(spki, size);
  return digest && *digest == pin;
}

std::optional<ServicePin> CompiledServicePin() {
  // An empty TOLLIMER_SERVICE_PIN is a build without a pin; the build refuses
  // any other value that is not 64 hex digits.
  return ParseServicePin(TOLLIMER_SERVICE_PIN);
}

bool CertificateChecksSwitchedOff() { return TOLLIMER_INSECURE_TLS != 0; }
