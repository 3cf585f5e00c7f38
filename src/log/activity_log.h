// The diagnostic day-file log: LOGS\YYYY-MM-DD.TXT beside the executable, one
// timestamped line per event, written only while the log marker file existed
// at start-up. It never reports a problem and never shows anything.
#pragma once
#include <string>

class Clock;
class Files;

class ActivityLog {
 public:
  ActivityLog(Files& files, Clock& clock) : files_(files), clock_(clock) {}

  // Fixed once at start-up: the switch, and the program folder (with its
  // trailing backslash) under which LOGS\ lies.
  void SetSwitch(bool on, const std::string& programFolder);
  bool IsOn() const { return on_; }

  // Appends "yyyy-MM-dd HH:mm:ss.Z text" CR LF to the current day file.
  void WriteLog(const std::string& text);

 private:
  void Write(const std::string& text, int depth);

  Files& files_;
  Clock& clock_;
  bool on_ = false;
  std::string folder_;
};

// "yyyy-MM-dd HH:mm:ss.Z" with the milliseconds without leading zeros.
struct LocalTime;
std::string LogTimestamp(const LocalTime& t);
// "LOGS\yyyy-MM-dd.TXT" relative to the program folder.
std::string LogDayFileName(const LocalTime& t);
