// The https download: the same transfer as DownloadFile's (destination,
// resume, caps, time limits, stop flag), its bytes carried by WinHTTP, whose
// TLS is the system's, and the service's certificate checked before the
// request leaves.
#include <algorithm>
#include <climits>
#include <string>

#include "net/download_transfer.h"
#include "net/service_request_win.h"
#include "net/url.h"

namespace {

class WinHttpTransport final : public DownloadTransport {
 public:
  WinHttpTransport(const std::string& url, const DownloadOptions& options) : url_(url), options_(options) {}

  int Connect() override {
    std::string host, query;
    SplitUrl(url_, host, path_, query);
    // WinHTTP connects when the request is sent; until then only the handles
    // are made.
    return request_.Open(url_, "/" + UrlEncode(path_, true), L"GET", options_.socketTimeoutMs,
                         options_.socketTimeoutMs)
               ? 0
               : kDownloadConnectFailed;
  }

  int Request(long long offset, TransferLimits&, DownloadReplyHead* head) override {
    std::wstring headers = L"Pragma: no-cache\r\nCache-Control: no-cache\r\n";
    if (offset > 0) headers += L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n";
    if (!request_.Send(headers, "")) return request_.Refused() ? kDownloadPeerRefused : kDownloadConnectFailed;
    const std::optional<long long> status = NumberField(WINHTTP_QUERY_STATUS_CODE);
    if (status != 200 && status != 206) return kDownloadBadReply;
    head->partial = *status == 206;
    if (const std::optional<std::wstring> range = TextField(WINHTTP_QUERY_CONTENT_RANGE)) {
      // "bytes N-M/T": a range that names no first byte starts nowhere.
      long long first = -1;
      std::size_t i = range->rfind(L' ');
      i = i == std::wstring::npos ? 0 : i + 1;
      if (i < range->size() && (*range)[i] >= L'0' && (*range)[i] <= L'9') {
        first = 0;
        for (; i < range->size() && (*range)[i] >= L'0' && (*range)[i] <= L'9' && first < (1LL << 50); ++i) {
          first = first * 10 + ((*range)[i] - L'0');
        }
      }
      head->rangeStart = first;
    }
    head->length = NumberField(WINHTTP_QUERY_CONTENT_LENGTH);
    return 0;
  }

  int Receive(char* data, std::size_t size) override {
    // WinHttpQueryDataAvailable waits, bounded by the receive time-out, for
    // at least one byte; 0 available is the end of the body.
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request_.get(), &available)) return kDownloadBrokenReply;
    if (available == 0) return 0;
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>({size, available, INT_MAX}));
    if (!WinHttpReadData(request_.get(), data, want, &got)) return kDownloadBrokenReply;
    return static_cast<int>(got);
  }

 private:
  std::optional<std::wstring> TextField(DWORD field) {
    wchar_t text[256];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request_.get(), field, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      return std::nullopt;
    }
    return std::wstring(text, size / sizeof(wchar_t));
  }

  std::optional<long long> NumberField(DWORD field) {
    const std::optional<std::wstring> text = TextField(field);
    if (!text || text->empty()) return std::nullopt;
    long long value = 0;
    for (wchar_t c : *text) {
      if (c < L'0' || c > L'9' || value > (1LL << 50)) return std::nullopt;
      value = value * 10 + (c - L'0');
    }
    return value;
  }

  const std::string& url_;
  const DownloadOptions& options_;
  std::string path_;
  ServiceRequest request_;
};

}  // namespace

int DownloadFileSecure(const std::string& url, const std::string& destinationPath, bool overwrite,
                       const DownloadOptions& options) {
  try {
    WinHttpTransport transport(url, options);
    return RunDownload(transport, url, destinationPath, overwrite, options);
  } catch (...) {
    return kDownloadFileFailed;
  }
}
