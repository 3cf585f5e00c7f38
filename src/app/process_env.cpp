#include "app/process_env.h"

#include <cmath>

#include "util/text.h"

long long SecondsBetween(const LocalTime& a, const LocalTime& b) {
  auto days = [](const LocalTime& t) {
    return LocalDays(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
  };
  return static_cast<long long>(std::fabs(days(b) - days(a)) * 86400.0 + 1e-6);
}
