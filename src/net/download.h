// DownloadFile: the self-update's HTTP/1.1 client of its own on a plain TCP
// socket (an https URL goes through DownloadFileSecure of
// net/download_transfer.h instead). One GET, a 200 or 206 reply, the body written straight into a file;
// a partly downloaded file can be continued with a byte range.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// Failures of DownloadFile; 0 or more is the number of body bytes written.
inline constexpr int kDownloadNoSocket = -1;           // socket (or Winsock) not created
inline constexpr int kDownloadReceiveTimeoutSet = -2;  // receive time-out not set
inline constexpr int kDownloadSendTimeoutOrHost = -3;  // send time-out not set, or no host address
inline constexpr int kDownloadConnectFailed = -4;
inline constexpr int kDownloadBadReply = -5;     // not a 200/206 reply with a readable header
inline constexpr int kDownloadFileFailed = -6;   // destination refused, not created, opened or written
inline constexpr int kDownloadBrokenReply = -7;  // send or receive error or time-out, or the
                                                 // connection closed before the announced length
inline constexpr int kDownloadTooLarge = -8;     // body above DownloadOptions::maxBodyBytes
inline constexpr int kDownloadTooSlow = -9;      // below the low-speed limit of DownloadOptions
inline constexpr int kDownloadTooLong = -10;     // past the overall ceiling of DownloadOptions
inline constexpr int kDownloadStopped = -11;     // the caller's stop flag was set
inline constexpr int kDownloadPeerRefused = -12;  // https: the service's certificate refused, nothing sent

struct DownloadOptions {
  // Folder (with its trailing backslash) that takes the URL's path when no
  // destination is given.
  std::string programFolder;
  // Each single wait of the socket: connect, send, every receive.
  int socketTimeoutMs = 5000;
  // A service that sends without end must not fill the disk: the body is
  // capped. A release executable is a few megabytes.
  std::int64_t maxBodyBytes = std::int64_t{128} << 20;
  // Low-speed limit: the transfer fails when fewer than lowSpeedBytes arrived
  // within lowSpeedWindowMs. A trickle that would hold the cashier's window
  // for hours ends, while a slow but steady link still finishes (a fixed
  // deadline for the whole transfer would fail it on every attempt).
  int lowSpeedBytes = 1024;
  int lowSpeedWindowMs = 30000;
  // Overall ceiling of one transfer. The download holds the cashier's window
  // (the watch cycle waits), and the low-speed limit alone lets a trickle of
  // just over 34 bytes a second go on for weeks. Ten minutes still bring a
  // release of 4 MB over a line that gives the download 7 KB/s (a 10 MB
  // release needs 17 KB/s, about 140 kbit/s); a failed transfer is tried
  // again at the next exchange.
  int overallLimitMs = 10 * 60 * 1000;
  // Read after every receive: once set, the transfer ends (the program is
  // closing). A silent server is left after at most one socket time-out.
  const std::atomic<bool>* stop = nullptr;
};

// GETs `url` (plain "http://") into `destinationPath`, or, when that is
// empty, into programFolder + the URL's path with "/" turned into "\"; such a
// path that holds "..", a ":" (a drive), an empty part (a second "\" in a
// row, or a leading one) or no file name would write outside the program
// folder or nowhere: it is refused with kDownloadFileFailed before anything
// is created or sent. With `overwrite`, or when the file does not exist, the file is created
// empty (its folders too) and fetched whole; otherwise its current size n is
// asked for with "RANGE: bytes=n-" and a 206 reply is appended, while a 200
// reply restarts the file. Returns the body bytes written in this call, or one
// of the negative codes above. A file created before a failure stays.
int DownloadFile(const std::string& url, const std::string& destinationPath, bool overwrite,
                 const DownloadOptions& options = {});
