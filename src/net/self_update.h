// ApplyUpdate: in a build with a release key, the operator's signed statement
// of the release is fetched and checked first (this processor, a number above
// the running program's); then the new executable is downloaded beside the
// running one as P + ".NEW", checked against the release identities and the
// statement's SHA-256, swapped in through P + ".old", and started. This
// program ends only once the new one has said it is up; otherwise the new one
// is ended and this one put back. The running executable is never left
// missing or replaced by a file that is not the release.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "crypto/release_statement.h"
#include "net/update_attempts.h"

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
  // Waits, messages flowing, up to `ms` for the program just started to say
  // that it is up (its first watch tick ran); false when it ended or stayed
  // silent.
  virtual bool WaitUntilStartedProgramIsUp(int ms) = 0;
  // Ends the program just started (it did not come up) and waits, bounded,
  // until it is gone, so its file can be replaced.
  virtual void EndStartedProgram() = 0;
  // Lets the main window really close, and closes it: the program ends.
  virtual void CloseMainWindow() = 0;
};

// Where a release comes from. `download` (url, destination) gives
// DownloadFile's result; `signature` (url) gives the text served there (the
// release's statement), empty when nothing came.
struct ReleaseSource {
  std::function<int(const std::string& url, const std::string& destination)> download;
  std::function<std::string(const std::string& url)> signature;
};

// "%.2f KB/S" of bytes per millisecond; an elapsed time under 1 ms counts as 1.
std::string SpeedText(long long bytes, long long elapsedMs);

// What the network half of an update brought: the checked release waiting
// as P + ".NEW", or the failure and the lines it is logged with.
struct FetchedRelease {
  std::string releaseIdentities;  // what was announced, as the attempt began
  int downloaded = 0;             // > 0 with no failure lines: the release waits
  long long elapsedMs = 0;        // from the attempt's start, for the speed shown
  std::vector<std::string> failureLines;  // logged by Install, in order
  bool refused = false;           // the release itself was refused: back off from it
};

class SelfUpdate {
 public:
  // What the running program is: its release number and processor ("x86",
  // "x64"), which a statement must be above and for.
  struct Running {
    ReleaseNumber number = 0;
    std::string machine;
  };

  // `releaseKey`: the operator's public key the statement must be signed
  // with; nothing for a build without one (the announced CRC alone decides).
  SelfUpdate(UpdateFiles& files, UpdateShell& shell, ActivityLog& log, ReleaseSource source,
             std::optional<ReleaseKey> releaseKey, Running running, std::string exePath,
             std::string updateAddress)
      : files_(files), shell_(shell), log_(log), source_(std::move(source)), releaseKey_(releaseKey),
        running_(std::move(running)), exePath_(std::move(exePath)), updateAddress_(std::move(updateAddress)) {}

  // Fetches and checks the statement of the release named by `exeChecksum`'s
  // address, downloads the release, checks its CRC against
  // `releaseIdentities` and its SHA-256 against the statement, swaps, starts
  // the new program and, once it is up, ends this one. Returns the bytes
  // downloaded on success; 0 or the downloader's negative code on failure
  // (logged; P + ".NEW" deleted), the running executable kept in place and
  // this program running. An attempt within the floor, or at a release
  // refused within its back-off (`refreshMinutes`: the exchange's interval,
  // where the back-off starts), returns 0 at once, as does a call made while
  // one is running (from a message dispatched inside it).
  int ApplyUpdate(const std::string& exeChecksum, const std::string& releaseIdentities, int refreshMinutes);

  // The three steps of ApplyUpdate, for a caller that runs the network half
  // elsewhere (the network worker). BeginUpdate (window thread): false when
  // no attempt may start now (running, within the floor or a back-off).
  // Fetch (any thread): the statement, the download and the checks; it
  // writes no log and touches only the files and the release source.
  // Install (window thread): logs a failed fetch (and backs off from a
  // refused release), or swaps, starts the new program and, once it is up,
  // ends this one; returns as ApplyUpdate does.
  bool BeginUpdate(const std::string& releaseIdentities);
  FetchedRelease Fetch(const std::string& exeChecksum, const std::string& releaseIdentities) const;
  int Install(const FetchedRelease& fetched, int refreshMinutes);

  // Once this program is up after an update: deletes the backup it left. The
  // program that ran from it may still be ending (it shows the update box
  // first), so a backup that will not go yet is tried again for a few
  // seconds, `wait(ms)` keeping messages flowing in between.
  void RemoveLeftoverBackup(const std::function<void(int ms)>& wait);

  // How long the old program waits for the new one to say it is up.
  static constexpr int kStartReplyMs = 30000;

 private:
  // The statement of the release, checked; nothing (with the failure line
  // set) when it is not one this program may take.
  std::optional<ReleaseStatement> CheckedStatement(const std::string& exeChecksum, std::string& failure) const;
  int Swap(const FetchedRelease& fetched);
  // After the swap was given up: the backup back at P, over the release if
  // that stands there.
  bool PutBackTheProgram();
  // Starts the new program and waits for its word; false (logged, the old
  // program back in place) when it did not come up.
  bool StartAndAwaitTheRelease();

  UpdateFiles& files_;
  UpdateShell& shell_;
  ActivityLog& log_;
  ReleaseSource source_;
  std::optional<ReleaseKey> releaseKey_;
  Running running_;
  std::string exePath_;
  std::string updateAddress_;
  UpdateAttempts attempts_;
  bool applying_ = false;
  std::int64_t attemptStarted_ = 0;
};
