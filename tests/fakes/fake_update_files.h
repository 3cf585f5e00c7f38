// In-memory files for the self-update's swap, with the failures a cashier PC
// shows: read-only files that refuse deletion until made plain, files locked
// by another program, renames that fail.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "crypto/release_signature.h"
#include "net/self_update.h"

class FakeUpdateFiles : public UpdateFiles {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> readOnly;   // Delete fails until MakePlain
  std::set<std::string> locked;     // Delete and Rename of it fail
  std::set<std::string> renameFailsTo;  // Rename to this path fails
  std::vector<std::string> calls;   // "Delete x", "Rename x>y", "Replace x>y", "MakePlain x"

  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  bool MakePlain(const std::string& path) override {
    calls.push_back("MakePlain " + path);
    readOnly.erase(path);
    return files.count(path) != 0;
  }
  bool Delete(const std::string& path) override {
    calls.push_back("Delete " + path);
    if (readOnly.count(path) || locked.count(path)) return false;
    return files.erase(path) != 0;
  }
  bool Rename(const std::string& from, const std::string& to) override {
    calls.push_back("Rename " + from + ">" + to);
    if (!files.count(from) || files.count(to) || locked.count(from) || renameFailsTo.count(to)) {
      return false;
    }
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  bool Replace(const std::string& from, const std::string& to) override {
    calls.push_back("Replace " + from + ">" + to);
    if (!files.count(from) || locked.count(from) || locked.count(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  std::string Crc32Text(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return {};
    return ::Crc32Text(Crc32(0, it->second.data(), it->second.size()));
  }
  std::optional<Sha256Digest> Sha256(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    Sha256Hasher hasher;
    hasher.Update(it->second.data(), it->second.size());
    return hasher.Finish();
  }
};

// Records what the swap shows and does to the program.
class FakeUpdateShell : public UpdateShell {
 public:
  std::int64_t now = 1000;
  std::int64_t stepMs = 0;  // added to the clock at every reading
  std::vector<std::string> calls;
  std::string messageCaption, messageText;
  int messageMs = 0;

  std::string title = "网吧Tollimer";
  unsigned long startError = 0;  // what StartProgram answers

  std::int64_t TickMs() override { return now += stepMs; }
  std::string ApplicationTitle() override { return title; }
  void SetApplicationTitle(const std::string& text) override {
    calls.push_back("Title " + text);
    title = text;
  }
  void ShowSelfClosingMessage(const std::string& caption, const std::string& text, int ms) override {
    calls.push_back("Message");
    messageCaption = caption;
    messageText = text;
    messageMs = ms;
  }
  bool comesUp = true;  // whether the started program says it is up
  int waitedMs = 0;
  unsigned long StartProgram(const std::string& exePath) override {
    calls.push_back("Start " + exePath);
    return startError;
  }
  bool WaitUntilStartedProgramIsUp(int ms) override {
    calls.push_back("Wait");
    waitedMs = ms;
    return comesUp;
  }
  void EndStartedProgram() override { calls.push_back("End"); }
  void CloseMainWindow() override { calls.push_back("Close"); }
};
