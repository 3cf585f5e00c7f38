// Values fixed when the process starts and read by the whole program.
#pragma once
#include <string>

#include "platform/clock.h"

struct ProcessEnvironment {
  LocalTime started;
  std::string exePath;        // full path of the running executable
  std::string programFolder;  // its folder, with a trailing backslash
  std::string fileVersion;    // "%d.%d.%d.%d" from the version resource, "0.0.0.1" without one
  std::string serviceBase;    // central service base address
  std::string updateAddress;  // base address + "update/"
  std::string exeChecksum;    // CRC-32 of the executable, 8 upper-case hex digits
};

// Whole seconds between two local times, always positive, as the running-time line shows.
long long SecondsBetween(const LocalTime& a, const LocalTime& b);

// Reads the values at process start (process_env_win.cpp).
ProcessEnvironment ReadProcessEnvironment();
