#include "log/activity_log.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "util/text.h"

std::string LogTimestamp(const LocalTime& t) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d.%d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
}

std::string LogDayFileName(const LocalTime& t) {
  return Format("LOGS\\%04d-%02d-%02d.TXT", t.year, t.month, t.day);
}

void ActivityLog::SetSwitch(bool on, const std::string& programFolder) {
  on_ = on;
  folder_ = programFolder;
}

void ActivityLog::WriteLog(const std::string& text) { Write(text, 0); }

void ActivityLog::Write(const std::string& text, int depth) {
  if (!on_) return;
  std::string line = LogTimestamp(clock_.Now()) + " " + text + "\r\n";
  // The file is named from a second reading, so a line stamped 23:59:59.999
  // may land in the next day's file; the line itself is never lost to that.
  const std::string path = folder_ + LogDayFileName(clock_.Now());
  FileResult result = files_.Append(path, line);
  // A failure is recorded through the same operation, once: when the error
  // line fails too (say the folder is missing) the call gives up, so a
  // persisting failure costs two attempts per call and no more.
  if (!result.ok && depth == 0) {
    Write(Format("＠ErrorLOG:0 / %lu|", result.lastError) + result.message, depth + 1);
  }
}
