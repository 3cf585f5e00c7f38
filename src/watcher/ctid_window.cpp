#include "watcher/ctid_window.h"

#include <climits>

#include "log/activity_log.h"
#include "platform/page_reader.h"
#include "platform/registry.h"
#include "util/literal_table.h"
#include "util/piece_search.h"
#include "util/text.h"

namespace {

constexpr const char* kBrowserHostClass = "Shell Embedding";
constexpr const char* kDocumentViewClass = "Shell DocObject View";
constexpr const char* kBrowserWindowClass = "Internet Explorer_Server";
constexpr const char* kTicket = "certToken";
// Captions the audit client's versions give the refresh button, ours first.
constexpr const char* kRefreshCaptions[] = {kCtidRefreshCaption, "F11刷新", "刷新"};

}  // namespace

Hwnd CtidWindow::Find_CTIDWin() {
  Hwnd window = desktop_.FindTopWindow(nullptr, kCtidCaption);
  if (window == 0) window = desktop_.FindTopWindow(nullptr, kCtidCaptionRzx);
  return window;
}

void CtidWindow::Move_CTIDWin(int mode) {
  const Hwnd window = Find_CTIDWin();
  if (window == 0 || !desktop_.IsVisible(window)) {
    placed_ = 0;
    return;
  }
  // Placed already, unless this is another window than the one placed: the
  // client may close its window and open a new one between two cycles.
  if (placed_ != 0 && window == placedWindow_) return;
  placed_ = 0;
  placedWindow_ = window;

  // Read at the moment of use, so a position the cashier has just saved applies.
  position_ = ParsePosition(
      registry_.ReadString(RegistryRoot::CurrentUser, Literal(lit::kAppKeyPath), "CTIDWin", "0.0"));
  // Numbers adding up to 0 mean "none remembered". Summed wide: two huge
  // numbers must not wrap around to 0 or to a sign they do not have.
  if (static_cast<long long>(position_.left) + position_.top != 0) {
    placed_ = desktop_.PlaceWindow(window, true, position_.left, position_.top) ? 1 : 0;
  }
  const int qrCode = Check_QRCode(mode);
  log_.WriteLog(Format("CTIDWinOK=%d,QRCode=%d,CTIDWin.x=%d,CTIDWin.y=%d", placed_, qrCode, position_.left,
                       position_.top));
}

int CtidWindow::Check_QRCode(int mode) {
  const Hwnd window = Find_CTIDWin();
  if (window == 0 || !desktop_.IsVisible(window)) return kCtidNotVisible;

  const Hwnd host = desktop_.FindChild(window, kBrowserHostClass, nullptr);
  firstButton_ = desktop_.FindChild(window, "Button", nullptr);
  Hwnd refresh = 0;
  bool refreshReadsF11 = false;
  for (const char* caption : kRefreshCaptions) {
    refresh = desktop_.FindChild(window, "Button", caption);
    if (refresh != 0) {
      refreshReadsF11 = caption == kRefreshCaptions[0];
      break;
    }
  }

  // Shows the cashier which key refreshes. A button that already reads so
  // is left alone: its caption would not change, and the client may be hung.
  if (hotKeyRegistered_ && refresh != 0 && !refreshReadsF11) {
    desktop_.SetWindowTextWithin(refresh, kCtidRefreshCaption, kCtidClientTimeoutMs);
  }

  if (mode == kCtidByHotKey) {
    desktop_.Beep(800, 500);
    const std::intptr_t clicked = refresh != 0 ? desktop_.ClickButtonWithin(refresh, kCtidClientTimeoutMs) : 0;
    log_.WriteLog(Format("HotKey ReBtn=%d,Refresh=%d", HandleNumber(refresh), static_cast<int>(clicked)));
    return static_cast<int>(clicked);
  }

  if (host == 0) {
    // The client's older window: a picture, no page to read.
    const Hwnd plain = desktop_.FindChild(window, "Static", nullptr);
    if (plain == 0) return kCtidNoBrowserHost;
    log_.WriteLog(Format("RzxV8 Static=%d", HandleNumber(plain)));
    return HandleNumber(plain);
  }
  const Hwnd view = desktop_.FindChild(host, kDocumentViewClass, nullptr);
  if (view == 0) return kCtidNoDocumentView;
  const Hwnd browser = desktop_.FindChild(view, kBrowserWindowClass, nullptr);
  if (browser == 0) return kCtidNoBrowserWindow;

  const int result = ReadPage(browser);
  if (result == 0 && mode == kCtidAutomatic) {
    // No ticket on the page: the QR code has expired.
    desktop_.Beep(1000, 500);
    const std::intptr_t clicked = refresh != 0 ? desktop_.ClickButtonWithin(refresh, kCtidClientTimeoutMs) : 0;
    log_.WriteLog(Format("certToken=%d,Auto Refresh=%d", result, static_cast<int>(clicked)));
  }
  return result;
}

int CtidWindow::ReadPage(Hwnd browserWindow) {
  // Once the ticket is found, the rest of the page cannot move it: stop there.
  PieceSearch search(kTicket);
  const PageRead read = page_.ReadElements(browserWindow, kCtidClientTimeoutMs,
                                           [&](const std::string& innerHtml) { return !search.Add(innerHtml); });
  switch (read.outcome) {
    case PageRead::Outcome::Read:
      return static_cast<int>(std::min<std::int64_t>(search.Position(), INT_MAX));
    case PageRead::Outcome::NoDocument:
      return kCtidNoDocument;
    case PageRead::Outcome::Failed:
      break;
  }
  LogPageFailure(read.context, read.lastError, read.message);
  return kCtidPageFailed;
}

void CtidWindow::LogPageFailure(long context, unsigned long lastError, const std::string& message) {
  log_.WriteLog(Format("QrocdeErr:%ld / %lu|%s", context, lastError, message.c_str()));
}

void CtidWindow::AutoReturnStep(bool mainCashierSeen) {
  ++returnCounter_;
  if (par_.CtidReturnDelay > returnCounter_) {
    if (firstButton_ != 0) {
      desktop_.SetWindowTextWithin(firstButton_, Format("倒计%d秒", par_.CtidReturnDelay - returnCounter_),
                                   kCtidClientTimeoutMs);
    }
    return;
  }
  const Hwnd window = Find_CTIDWin();
  if (window == 0 || !desktop_.IsVisible(window)) {
    returned_ = 0;
    return;
  }
  if (returned_ != 0 && window == returnedWindow_) return;
  returnedWindow_ = window;

  desktop_.Beep(400, 50);
  const ScreenSize area = desktop_.WorkAreaSize();
  position_ = {mainCashierSeen ? area.width - 230 : 0, area.height - 300};
  returned_ = desktop_.PlaceWindow(window, false, position_.left, position_.top) ? 1 : 0;
  log_.WriteLog(Format("AutoSwitchOK=%d,QRCode=%d,CTIDWin.x=%d,CTIDWin.y=%d", returned_, 22, position_.left,
                       position_.top));
  if (firstButton_ != 0) desktop_.SetWindowTextWithin(firstButton_, "关闭", kCtidClientTimeoutMs);
}

void CtidWindow::OnHotKey(int id) {
  if (id != kCtidHotKeyId) return;
  if (switches_.ctidReturn) {
    placed_ = 0;
    Move_CTIDWin(kCtidByHotKey);
    returned_ = 0;
    returnCounter_ = 0;
  } else {
    Check_QRCode(kCtidByHotKey);
  }
}
