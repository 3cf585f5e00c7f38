#include "net/service_request_win.h"

#include <wincrypt.h>

#include <vector>

#include "net/url.h"

namespace {

// True when the server's certificate on `request` carries the pinned key.
bool CertificateMatchesPin(HINTERNET request, const ServicePin& pin) {
  PCCERT_CONTEXT cert = nullptr;
  DWORD size = sizeof cert;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || !cert) {
    return false;
  }
  // The DER SubjectPublicKeyInfo: the very bytes the service's pin command
  // hashes.
  bool match = false;
  DWORD length = 0;
  CERT_PUBLIC_KEY_INFO* key = &cert->pCertInfo->SubjectPublicKeyInfo;
  if (CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, nullptr, &length) && length > 0) {
    std::vector<BYTE> der(length);
    if (CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, der.data(), &length)) {
      match = PublicKeyMatchesPin(pin, der.data(), length);
    }
  }
  CertFreeCertificateContext(cert);
  return match;
}

// Called by WinHTTP once the connection and its TLS handshake are up, just
// before the request is written: a certificate without the pinned key
// cancels the request by closing its handle, so nothing is sent.
void CALLBACK BeforeSending(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || context == 0) return;
  auto* check = reinterpret_cast<PinCheck*>(context);
  if (!check->pin || check->refused) return;
  if (!CertificateMatchesPin(request, *check->pin)) {
    check->refused = true;
    WinHttpCloseHandle(request);
  }
}

void SetTimeouts(HINTERNET h, int waitMs, int receiveMs) {
  WinHttpSetTimeouts(h, waitMs, waitMs, waitMs, receiveMs);
}

}  // namespace

std::wstring WideUrlText(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

bool ServiceRequest::Open(const std::string& url, const std::string& target, const wchar_t* method,
                          int waitMs, int receiveMs) {
  std::string host, path, query;
  const int port = SplitUrl(url, host, path, query);
  secure_ = IsHttpsUrl(url);
  if (port < 0 || port > 65535) return false;
  waitMs_ = waitMs;
  receiveMs_ = receiveMs;
  session_.Reset(WinHttpOpen(L"OrvAssistant", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session_) return false;
  SetTimeouts(session_.get(), waitMs, receiveMs);
  connection_.Reset(WinHttpConnect(session_.get(), WideUrlText(host).c_str(), static_cast<INTERNET_PORT>(port), 0));
  if (!connection_) return false;
  if (secure_) {
    const bool checksOff = CertificateChecksSwitchedOff();
    check_.pin = checksOff ? std::nullopt : CompiledServicePin();
    // A pinned service's certificate is the chain's own, self-issued or for
    // a name the cafe's resolver may not give: the pin stands for the whole
    // check of whom the assistant talks to. (The insecure build, asked for
    // by name, checks nothing.)
    relaxed_ = checksOff || check_.pin.has_value();
  }
  // Sent as written: WinHTTP's own escaping would turn the report's '|'
  // into "%7C" and a GBK bar name into UTF-8.
  request_.Reset(OpenHandle(method, WideUrlText(RequestTargetText(target))));
  return static_cast<bool>(request_);
}

HINTERNET ServiceRequest::OpenHandle(const wchar_t* method, const std::wstring& target) {
  HINTERNET request = WinHttpOpenRequest(connection_.get(), method, target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         (secure_ ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_REFRESH |
                                             WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
  if (!request) return nullptr;
  SetTimeouts(request, waitMs_, receiveMs_);
  // No redirect: a reply from elsewhere is not the service's.
  DWORD redirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &redirect, sizeof redirect);
  if (secure_) {
    if (relaxed_) {
      DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    WinHttpSetStatusCallback(request, BeforeSending, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);
  }
  return request;
}

bool ServiceRequest::Send(const std::wstring& headers, const std::string& body) {
  void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
  const DWORD size = static_cast<DWORD>(body.size());
  const BOOL sent = WinHttpSendRequest(request_.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                       headers.empty() ? 0 : static_cast<DWORD>(-1L), data, size, size,
                                       reinterpret_cast<DWORD_PTR>(&check_));
  if (check_.refused) {
    request_.Forget();
    return false;
  }
  if (sent && WinHttpReceiveResponse(request_.get(), nullptr)) return true;
  // Without a pin Windows checks the certificate itself; one it does not
  // trust for this host is a refusal too.
  secureFailure_ = secure_ && GetLastError() == ERROR_WINHTTP_SECURE_FAILURE;
  return false;
}
