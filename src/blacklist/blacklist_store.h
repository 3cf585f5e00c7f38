// The blacklist list: ID numbers of people the cafe must report when they come
// to the counter. Rebuilt at every load from the cafe's own "blacklist.txt" in
// the program folder and from the central service's sealed lines; never saved.
// The panel shows it, the alert searches it on every swipe.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/text.h"

class Files;
class HttpClient;

class BlacklistStore {
 public:
  struct Sources {
    std::string localFile;  // program folder + "blacklist.txt" (GBK path)
    std::string url;        // service base address + blacklist path
  };
  // tickMs: the millisecond tick count (wraps after 49.7 days); today: the
  // local date, against which the local file's ID numbers are checked.
  BlacklistStore(Files& files, HttpClient& http, std::function<std::uint32_t()> tickMs,
                 std::function<CalendarDate()> today, Sources sources)
      : files_(files), http_(http), tickMs_(std::move(tickMs)), today_(std::move(today)),
        sources_(std::move(sources)) {}

  // Get_BlackList: rebuilds the list (local records first, in file order, then
  // the service's accepted lines, in reply order) and writes the status text.
  // Returns the number of lines, or 0 when refused because the last load began
  // less than 3000 ms ago, or when the load failed.
  int Get_BlackList();

  // 0-based index of the first line (in the current order) containing `id`,
  // ASCII case ignored, or -1; texts of 7 characters or fewer never match.
  int FindInBlacklist(const std::string& id) const;

  // Sorts the list by the given "less than" (the panel passes the platform's
  // case-insensitive comparison); the next load brings back load order.
  void Sort(const std::function<bool(const std::string&, const std::string&)>& less);
  bool Sorted() const { return sorted_; }

  const std::vector<std::string>& Lines() const { return lines_; }
  // BlackList_Label's text after the last load; "Info:" before any.
  const std::string& StatusText() const { return status_; }
  int LocalRecords() const { return localRecords_; }

 private:
  void ReadLocalFile(std::vector<std::string>& out);

  Files& files_;
  HttpClient& http_;
  std::function<std::uint32_t()> tickMs_;
  std::function<CalendarDate()> today_;
  Sources sources_;

  std::vector<std::string> lines_;
  std::string status_ = "Info:";
  std::uint32_t lastLoadTick_ = 0;
  int localRecords_ = 0;
  bool sorted_ = false;
};

// The status texts of a load (BlackList_Label).
std::string BlacklistLoadedText(int lines, int localRecords, std::uint32_t elapsedMs);
std::string BlacklistFailedText(int localRecords, std::uint32_t elapsedMs);
