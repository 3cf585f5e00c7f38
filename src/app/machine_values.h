// The machine values the central-service request reports: the network
// adapter's hardware address, the system disk's serial number, the Windows
// version, the monitors, the custom face sound and the network neighbours.
#pragma once
#include <cstddef>
#include <string>

struct MachineValues {
  std::string macText;        // "1234567890AB" when no adapter qualifies
  std::string diskSerial;     // the MAC text when the disk does not tell
  std::string osVersion;      // OsVersionText
  int monitorCount = 0;
  std::string faceSoundInfo;  // "-" or MD5 + "." + size
};

// Hardware address bytes as upper-case hex pairs without separators.
std::string MacText(const unsigned char* address, std::size_t length);

// The serial number of a 512-byte ATA IDENTIFY answer (words 10 to 19), each
// byte pair swapped into reading order, blanks and NULs trimmed at both ends.
std::string DiskSerialText(const unsigned char* identify);

// "-" for a missing or empty file, else its MD5 text, "." and its size.
std::string FaceSoundInfo(long long size, const std::string& md5Text);

// Reads the values (machine_values_win.cpp); the face sound lies in
// `programFolder`.
MachineValues ReadMachineValues(const std::string& programFolder);

// The number of network neighbours the system knows (its ARP table's valid
// entries); 0 when it cannot tell.
int CountNetworkNeighbours();
