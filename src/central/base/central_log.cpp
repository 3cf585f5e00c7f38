#include "central/base/central_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "central/base/clock.h"

void CentralLog(const std::string& line) {
  static std::mutex mutex;
  const std::string stamped = UtcText(static_cast<std::int64_t>(std::time(nullptr))) + " " + line + "\n";
  std::lock_guard<std::mutex> lock(mutex);
  std::fwrite(stamped.data(), 1, stamped.size(), stderr);
  std::fflush(stderr);
}
