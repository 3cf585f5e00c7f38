// ApplyUpdate: the new executable is downloaded beside the running one as
// P + ".NEW", checked against the release identities, swapped in through
// P + ".old", and the program restarts into it. The running executable is
// never left missing or replaced by a file that is not the release.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class ActivityLog;

// The file operations of the swap (paths are GBK text).
class UpdateFiles {
 public:
  virtual ~UpdateFiles() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Clears read-only, hidden and system: a plain archive file.
  virtual bool MakePlain(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Renames a file; fails when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // CRC-32 text of the file (8 upper-case hex digits), empty when unreadable.
  virtual std::string Crc32Text(const std::string& path) = 0;
};

// What the swap shows and does to the running program.
class UpdateShell {
 public:
  virtual ~UpdateShell() = default;
  // Milliseconds of a steady clock, for the speed.
  virtual std::int64_t TickMs() = 0;
  // The application window's title, and its renaming: renamed, the new
  // process is not taken for a second instance.
  virtual std::string ApplicationTitle() = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // An information box that closes by itself after `ms` if nobody presses OK.
  virtual void ShowSelfClosingMessage(const std::string& caption, const std::string& text,
                                      int ms) = 0;
  // Starts `exePath` from its folder; false when it could not be started
  // (blocked by policy or an antivirus, say).
  virtual bool StartProgram(const std::string& exePath) = 0;
  // Lets the main window really close, and closes it.
  virtual void CloseForRestart() = 0;
};

// (url, destination) -> DownloadFile's result.
using UpdateDownloader = std::function<int(const std::string& url, const std::string& destination)>;

// "%.2f KB/S" of bytes per millisecond; an elapsed time under 1 ms counts as 1.
std::string SpeedText(long long bytes, long long elapsedMs);

class SelfUpdate {
 public:
  SelfUpdate(UpdateFiles& files, UpdateShell& shell, ActivityLog& log, UpdateDownloader download,
             std::string exePath, std::string updateAddress)
      : files_(files), shell_(shell), log_(log), download_(std::move(download)),
        exePath_(std::move(exePath)), updateAddress_(std::move(updateAddress)) {}

  // Downloads the release named by `exeChecksum`'s download address, checks
  // its CRC against `releaseIdentities`, swaps and restarts. Returns the bytes
  // downloaded on success; 0 or the downloader's negative code on failure
  // (logged), the running executable kept in place. A call made while one is
  // running (from a message dispatched inside it) returns 0 at once.
  int ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities);

 private:
  int Apply(const std::string& exeChecksum, const std::string& releaseIdentities);

  UpdateFiles& files_;
  UpdateShell& shell_;
  ActivityLog& log_;
  UpdateDownloader download_;
  std::string exePath_;
  std::string updateAddress_;
  bool running_ = false;
};
