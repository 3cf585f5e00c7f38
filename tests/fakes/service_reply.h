// A reply of the central service's exchange as it sends it (UTF-8): anything,
// the opening marker, two characters, the sealed payload, the closing marker.
#pragma once
#include <string>

#include "crypto/envelope.h"
#include "util/literal_table.h"

inline std::string SealForService(const std::string& text) {
  std::string sealed;
  Des_Crypt(text, 1, 1, 1, true, sealed);
  return sealed;
}

inline std::string ServiceReply(const std::string& payload) {
  return "ok" + Literal(lit::kReplyOpenMarker) + "\r\n" + SealForService(payload) +
         Literal(lit::kReplyCloseMarker) + "\r\n";
}
