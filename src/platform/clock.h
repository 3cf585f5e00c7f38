// Time as the core needs it: the local wall clock and waits that keep the
// window messages flowing. Implemented over kernel32/user32 (clock_win.cpp) and
// by a fake clock in the tests.
#pragma once

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Returns after `milliseconds` have passed, dispatching the thread's window
  // messages meanwhile; 0 or less returns at once.
  virtual void DelayWithMessages(int milliseconds) = 0;
};
