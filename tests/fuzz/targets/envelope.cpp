// The sealed envelope of the central service and its Base64: any text opened
// with every key row and switch; Base64 and sealing must round-trip.
#include <string>

#include "crypto/base64.h"
#include "crypto/envelope.h"
#include "fuzz_targets.h"

int FuzzEnvelope(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int row = -1; row <= 4; ++row) {
    for (int utf8 : {0, 1}) {
      for (bool base64 : {false, true}) {
        std::string opened = "unchanged";
        Des_Crypt(text, 2, row, utf8, base64, opened);
      }
    }
  }
  (void)Base64_Decode(text);
  if (Base64_Decode(Base64_Encode(text)) != text) FuzzFail("Base64 round trip");
  // Sealing then opening gives the text back without its bytes 0..8 (the
  // opening drops them with the padding).
  std::string plain;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 8) plain += c;
  }
  std::string sealed, opened;
  Des_Crypt(plain, 1, 3, 0, true, sealed);
  Des_Crypt(sealed, 2, 3, 0, true, opened);
  if (opened != plain) FuzzFail("seal and open round trip");
  return 0;
}
