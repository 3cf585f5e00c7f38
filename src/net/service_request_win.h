// One WinHTTP request to the central service, shared by the exchange
// (net/http_request_win.cpp) and the https downloads: the handles, the
// time-outs, and over https the check of the service's certificate before a
// byte of the request leaves (the pin the assistant was built with, or,
// without a pin, Windows' trust store with the host name checked).
#pragma once
#include <windows.h>
#include <winhttp.h>

#include <optional>
#include <string>

#include "crypto/service_pin.h"

class WinHttpHandle {
 public:
  explicit WinHttpHandle(HINTERNET h = nullptr) : h_(h) {}
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;
  ~WinHttpHandle() {
    if (h_) WinHttpCloseHandle(h_);
  }
  void Reset(HINTERNET h) {
    if (h_) WinHttpCloseHandle(h_);
    h_ = h;
  }
  HINTERNET get() const { return h_; }
  // The handle was closed elsewhere (the certificate check cancels a request
  // by closing it): it must not be closed twice.
  void Forget() { h_ = nullptr; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

// What the certificate check of one request saw.
struct PinCheck {
  std::optional<ServicePin> pin;
  bool refused = false;
};

class ServiceRequest {
 public:
  // Opens the handles of `method` for `target` (the request line's path and
  // query) on the host of `url` ("http://" or "https://"): resolving,
  // connecting and sending wait `waitMs`, each wait for reply data
  // `receiveMs`. False when WinHTTP refused any of them.
  bool Open(const std::string& url, const std::string& target, const wchar_t* method, int waitMs,
            int receiveMs);

  // Sends the request with `headers` (CR LF ended lines) and `body`, and
  // waits for the reply's head. False when it failed; Refused() then tells a
  // refused certificate from a dead service.
  bool Send(const std::wstring& headers, const std::string& body);

  bool Refused() const { return check_.refused || secureFailure_; }
  HINTERNET get() const { return request_.get(); }

 private:
  HINTERNET OpenHandle(const wchar_t* method, const std::wstring& target);

  WinHttpHandle session_, connection_, request_;
  PinCheck check_;
  int waitMs_ = 0;
  int receiveMs_ = 0;
  bool secure_ = false;
  bool relaxed_ = false;
  bool secureFailure_ = false;
};

// The URL's ASCII text as WinHTTP's wide text.
std::wstring WideUrlText(const std::string& text);
