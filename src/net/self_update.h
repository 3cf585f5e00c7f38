// ApplyUpdate: the new executable is downloaded beside the running one as
// P + ".NEW", checked against the release identities and, in a build with a
// release key, against the operator's signature, swapped in through
// P + ".old", and the program restarts into it. The running executable is
// never left missing or replaced by a file that is not the release.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "crypto/release_signature.h"

class ActivityLog;

// The file operations of the swap (paths are GBK text).
class UpdateFiles {
 public:
  virtual ~UpdateFiles() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Clears read-only, hidden and system: a plain archive file.
  virtual bool MakePlain(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Renames a file, on the disk before it returns; fails when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // The same, over `to` if it exists, in one step: `to` is never missing.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // CRC-32 text of the file (8 upper-case hex digits), empty when unreadable.
  virtual std::string Crc32Text(const std::string& path) = 0;
  // SHA-256 of the whole file; nothing when unreadable.
  virtual std::optional<Sha256Digest> Sha256(const std::string& path) = 0;
};

// What the swap shows and does to the running program.
class UpdateShell {
 public:
  virtual ~UpdateShell() = default;
  // Milliseconds of a steady clock, for the speed.
  virtual std::int64_t TickMs() = 0;
  // The application window's title: it marks the running instance.
  virtual std::string ApplicationTitle() = 0;
  // Renames the application window, so the new process is not taken for a
  // second instance.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // An information box that closes by itself after `ms` if nobody presses OK.
  virtual void ShowSelfClosingMessage(const std::string& caption, const std::string& text,
                                      int ms) = 0;
  // Starts `exePath` as a new process with a normal window. 0 when it
  // started, else the system's error code.
  virtual unsigned long StartProgram(const std::string& exePath) = 0;
  // Lets the main window really close, and closes it: the program ends.
  virtual void CloseMainWindow() = 0;
};

// Where a release comes from. `download` (url, destination) gives
// DownloadFile's result; `signature` (url) gives the text served there,
// empty when nothing came.
struct ReleaseSource {
  std::function<int(const std::string& url, const std::string& destination)> download;
  std::function<std::string(const std::string& url)> signature;
};

// "%.2f KB/S" of bytes per millisecond; an elapsed time under 1 ms counts as 1.
std::string SpeedText(long long bytes, long long elapsedMs);

// What the network half of an update brought: the bytes of a release that is
// now P + ".NEW", checked; or the failure and the line it is logged with.
struct FetchedRelease {
  int downloaded = 0;       // > 0: the checked release waits as P + ".NEW"
  long long elapsedMs = 0;  // the download's time, for the speed shown
  std::string failureLine;  // logged by Install when the fetch failed
};

class SelfUpdate {
 public:
  // `releaseKey`: the operator's public key the release must be signed with;
  // nothing for a build without one (the announced CRC alone decides).
  SelfUpdate(UpdateFiles& files, UpdateShell& shell, ActivityLog& log, ReleaseSource source,
             std::optional<ReleaseKey> releaseKey, std::string exePath, std::string updateAddress)
      : files_(files), shell_(shell), log_(log), source_(std::move(source)), releaseKey_(releaseKey),
        exePath_(std::move(exePath)), updateAddress_(std::move(updateAddress)) {}

  // Downloads the release named by `exeChecksum`'s download address, checks
  // its CRC against `releaseIdentities` and its signature against the key,
  // swaps, starts the new program and ends this one. Returns the bytes
  // downloaded on success; 0 or the downloader's negative code on failure
  // (logged), the running executable kept in place and this program running.
  // A call made while one is running (from a message dispatched inside it)
  // returns 0 at once.
  int ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities);

  // The two halves of ApplyUpdate. Fetch is the network half (download, CRC,
  // signature); it writes no log and touches only the files and the release
  // source, so it may run on the network worker. Install is the window
  // thread's half: logs a failed fetch, or swaps, shows the box, starts the
  // new program and ends this one; returns as ApplyUpdate does.
  FetchedRelease Fetch(const std::string& exeChecksum, const std::string& releaseIdentities) const;
  int Install(const FetchedRelease& fetched);

  // At start-up: deletes the backup an earlier update left. The program that
  // ran from it may still be ending (the update starts its successor first),
  // so a backup that will not go yet is tried again a few times, `wait(ms)`
  // keeping messages flowing in between.
  void RemoveLeftoverBackup(const std::function<void(int ms)>& wait);

 private:
  // The failure line when the build has a key and `fresh` is not signed
  // with it; empty when it is.
  std::string SignatureFailure(const std::string& fresh, const std::string& exeChecksum) const;
  // After the swap was given up: the backup back at P, over the release if
  // that stands there.
  bool PutBackTheProgram();

  UpdateFiles& files_;
  UpdateShell& shell_;
  ActivityLog& log_;
  ReleaseSource source_;
  std::optional<ReleaseKey> releaseKey_;
  std::string exePath_;
  std::string updateAddress_;
  bool running_ = false;
};
