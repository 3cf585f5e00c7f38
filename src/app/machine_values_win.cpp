#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "app/machine_values.h"
#include "crypto/md5.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

constexpr const char* kNoMac = "1234567890AB";

std::string ReadMacText() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return kNoMac;
  std::vector<unsigned char> buffer(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(adapters, &size) != NO_ERROR) return kNoMac;
  for (IP_ADAPTER_INFO* a = adapters; a != nullptr; a = a->Next) {
    const char* gateway = a->GatewayList.IpAddress.String;
    // An adapter without a gateway (none given at all counts too) does not
    // reach the service.
    if (a->Type == MIB_IF_TYPE_PPP || gateway[0] == '\0' || std::strcmp(gateway, "0.0.0.0") == 0) {
      continue;
    }
    if (a->AddressLength > 0) return MacText(a->Address, a->AddressLength);
  }
  return kNoMac;
}

// The serial of the system disk from the ATA IDENTIFY answer asked through
// the SMART receive-data control code; empty when the disk does not answer.
std::string ReadDiskSerial() {
  HANDLE disk = CreateFileA("\\\\.\\C:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (disk == INVALID_HANDLE_VALUE) return {};
  SENDCMDINPARAMS in = {};
  in.cBufferSize = IDENTIFY_BUFFER_SIZE;
  in.irDriveRegs.bSectorCountReg = 1;
  in.irDriveRegs.bSectorNumberReg = 1;
  in.irDriveRegs.bDriveHeadReg = 0xA0;
  in.irDriveRegs.bCommandReg = ID_CMD;
  std::vector<unsigned char> out(sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE);
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(disk, SMART_RCV_DRIVE_DATA, &in, sizeof in - 1, out.data(),
                                  static_cast<DWORD>(out.size()), &returned, nullptr);
  CloseHandle(disk);
  const std::size_t dataOffset = offsetof(SENDCMDOUTPARAMS, bBuffer);
  if (!ok || returned < dataOffset + IDENTIFY_BUFFER_SIZE) return {};
  return DiskSerialText(out.data() + dataOffset);
}

std::string ReadOsVersionText() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return "0.0.0.0";
  return Format("%d.%d.%d.%d", static_cast<int>(info.dwMajorVersion),
                static_cast<int>(info.dwMinorVersion), static_cast<int>(info.dwBuildNumber),
                static_cast<int>(info.wProductType));
}

std::string ReadFaceSoundInfo(const std::string& programFolder) {
  const std::string path = programFolder + Literal(lit::kFaceSoundFile);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return FaceSoundInfo(0, "");
  }
  const long long size =
      (static_cast<long long>(data.nFileSizeHigh) << 32) | static_cast<long long>(data.nFileSizeLow);
  return FaceSoundInfo(size, size > 0 ? MD5_File(path) : std::string());
}

}  // namespace

MachineValues ReadMachineValues(const std::string& programFolder) {
  MachineValues values;
  values.macText = ReadMacText();
  values.diskSerial = ReadDiskSerial();
  if (values.diskSerial.empty()) values.diskSerial = values.macText;
  values.osVersion = ReadOsVersionText();
  values.monitorCount = GetSystemMetrics(SM_CMONITORS);
  values.faceSoundInfo = ReadFaceSoundInfo(programFolder);
  return values;
}

int CountNetworkNeighbours() {
  ULONG size = 0;
  if (GetIpNetTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0) return 0;
  std::vector<unsigned char> buffer(size);
  auto* table = reinterpret_cast<MIB_IPNETTABLE*>(buffer.data());
  if (GetIpNetTable(table, &size, FALSE) != NO_ERROR) return 0;
  int count = 0;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const DWORD type = table->table[i].dwType;
    if (type == MIB_IPNET_TYPE_DYNAMIC || type == MIB_IPNET_TYPE_STATIC) ++count;
  }
  return count;
}
