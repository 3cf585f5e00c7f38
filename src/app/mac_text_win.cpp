#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "app/mac_text.h"
#include "util/text.h"

std::string ReadMacText() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return "1234567890AB";
  std::vector<unsigned char> buffer(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(adapters, &size) != NO_ERROR) return "1234567890AB";
  for (auto* a = adapters; a; a = a->Next) {
    if (a->Type == MIB_IF_TYPE_PPP || a->AddressLength < 6) continue;
    if (std::string(a->GatewayList.IpAddress.String) == "0.0.0.0") continue;
    std::string text;
    for (int i = 0; i < 6; ++i) text += Format("%02X", static_cast<unsigned>(a->Address[i]));
    return text;
  }
  return "1234567890AB";
}
