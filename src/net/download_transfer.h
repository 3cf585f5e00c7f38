// The part of a download that does not depend on how the bytes travel: the
// destination, the resume from the file's end, the checks of the reply's
// head, the body's caps and time limits, the stop flag. DownloadFile runs it
// over a plain socket; an https download runs it over WinHTTP.
#pragma once
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
// The steady clock, without <chrono> itself: that header does not compile with
// -fexec-charset=GBK (its "\u00b5s" unit suffix has no GBK form).
#include <thread>

#include "net/download.h"

// The time limits of a transfer. The low-speed limit: fewer than
// lowSpeedBytes in any window of lowSpeedWindowMs fails; windows follow each
// other, each starting with the byte count it found. The ceiling: the whole
// transfer, however steady, ends after overallLimitMs.
class TransferLimits {
 public:
  explicit TransferLimits(const DownloadOptions& options);

  // Called after every receive with the bytes received so far: 0 while the
  // transfer may go on, else kDownloadStopped, kDownloadTooSlow or
  // kDownloadTooLong.
  int Check(long long received);

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;
  long long bytes_;
  std::chrono::steady_clock::duration window_;
  SteadyTime start_;
  SteadyTime deadline_;
  SteadyTime windowStart_;
  long long receivedAtStart_ = 0;
  const std::atomic<bool>* stop_;
};

// What the transfer needs of an accepted (200 or 206) reply's head.
struct DownloadReplyHead {
  bool partial = false;                  // 206
  std::optional<long long> rangeStart;   // the first byte a 206 reply's Content-Range names
  std::optional<long long> length;       // Content-Length; nothing: the body ends with the connection
  long long headBytes = 0;               // bytes the head took on the wire (the low-speed limit counts them)
};

// How one GET travels.
class DownloadTransport {
 public:
  virtual ~DownloadTransport() = default;
  // Reaches the server before the destination file is touched: 0, or a
  // negative code of download.h.
  virtual int Connect() = 0;
  // Sends the GET, asking for the bytes from `offset` on when it is above 0,
  // and reads the reply's head; 0 with `head` filled for a 200 or 206 reply,
  // else a negative code (kDownloadBadReply for any other reply). `limits` is
  // checked while the head comes in.
  virtual int Request(long long offset, TransferLimits& limits, DownloadReplyHead* head) = 0;
  // The next body bytes: their count, 0 at the end of the connection, or a
  // negative code.
  virtual int Receive(char* data, std::size_t size) = 0;
};

// The destination of `urlPath` without one given: the program folder and the
// URL's path. False when that path could leave the folder or names no file.
bool DestinationInFolder(const std::string& folder, const std::string& urlPath, std::string* out);

// The download of `url` into `destinationPath` (or under the program folder)
// over `transport`, as DownloadFile describes it.
int RunDownload(DownloadTransport& transport, const std::string& url, const std::string& destinationPath,
                bool overwrite, const DownloadOptions& options);

// The https download over WinHTTP, the service's certificate checked before
// the request leaves (Windows tree only).
int DownloadFileSecure(const std::string& url, const std::string& destinationPath, bool overwrite,
                       const DownloadOptions& options);
