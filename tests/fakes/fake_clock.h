// A clock the test sets; waits are recorded and move the clock on.
#pragma once
#include <vector>

#include "platform/clock.h"

class FakeClock : public Clock {
 public:
  LocalTime now{2024, 3, 7, 9, 5, 3, 45};
  std::vector<int> waits;  // milliseconds of every DelayWithMessages

  LocalTime Now() override { return now; }
  void DelayWithMessages(int milliseconds) override { waits.push_back(milliseconds); }
};
