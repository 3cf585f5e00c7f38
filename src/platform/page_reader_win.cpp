// The CTID page read through the audit client's own browser objects: the
// browser window hands out its document on WM_HTML_GETOBJECT, oleacc turns
// the answer into a proxy of the document in this process, and every element
// is asked for its inner HTML across the process boundary.
#include <windows.h>

#include <mshtml.h>
#include <mshtmdid.h>
#include <oleacc.h>

#include "platform/page_reader.h"
#include "platform/platform_win.h"

namespace {

// Holds one COM reference and releases it on every way out.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p_) p_->Release();
  }
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR* Out() { return &b_; }
  BSTR Get() const { return b_; }

 private:
  BSTR b_ = nullptr;
};

std::string ToAnsi(BSTR text) {
  const UINT length = SysStringLen(text);
  if (length == 0) return {};
  const int wide = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, wide, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

PageRead Failure(HRESULT hr, const std::string& what) {
  const unsigned long lastError = GetLastError();
  return {PageRead::Outcome::Failed, 0, lastError, what + ": " + SystemErrorText(static_cast<unsigned long>(hr))};
}

PageRead Failure(const std::string& what) {
  const unsigned long lastError = GetLastError();
  return {PageRead::Outcome::Failed, 0, lastError, what};
}

using ObjectFromLresultCall = HRESULT(WINAPI*)(LRESULT, REFIID, WPARAM, void**);

// The page's document, asked of the browser window. The request waits at most
// `timeoutMs` and gives up at once on a hung window, so a hung audit client
// costs the watch cycle no more than that.
PageRead Get_WebBrowser(HWND browserWindow, int timeoutMs, IHTMLDocument2** document) {
  *document = nullptr;
  // Loaded on use: a system without the accessibility library still runs
  // everything else.
  HMODULE oleacc = LoadLibraryA("Oleacc.dll");
  if (!oleacc) return Failure("Oleacc.dll missing");
  auto objectFromLresult = reinterpret_cast<ObjectFromLresultCall>(
      reinterpret_cast<void*>(GetProcAddress(oleacc, "ObjectFromLresult")));
  if (!objectFromLresult) {
    PageRead failed = Failure("ObjectFromLresult missing");
    FreeLibrary(oleacc);
    return failed;
  }

  const UINT request = RegisterWindowMessageA("WM_HTML_GETOBJECT");
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(browserWindow, request, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs),
                           &answer)) {
    PageRead failed = Failure("WM_HTML_GETOBJECT not answered");
    FreeLibrary(oleacc);
    return failed;
  }
  if (answer == 0) {
    // The window answered but handed out no object: no browser interface
    // was obtained, a failure of the read like a missing library.
    PageRead failed = Failure("WM_HTML_GETOBJECT answered 0");
    FreeLibrary(oleacc);
    return failed;
  }
  const HRESULT hr = objectFromLresult(static_cast<LRESULT>(answer), IID_IHTMLDocument2, 0,
                                       reinterpret_cast<void**>(document));
  FreeLibrary(oleacc);
  if (FAILED(hr) || !*document) return Failure(hr, "ObjectFromLresult");
  return {PageRead::Outcome::Read, 0, 0, {}};
}

// Bounds every call into the client's page objects while it is installed. COM
// waits for the other process as long as it takes; an audit client that hangs
// in the middle of the read would stall the watch cycle (and the whole user
// interface) with it. While a call waits, COM asks the message filter about
// each arriving message; a pool timer posts this thread an empty message every
// 100 ms so that the question comes even when nothing else arrives (a timer
// of the thread's own would not wake COM's wait).
// Once one call has run out of time the client counts as hung: every later
// call, the releases included, is given up at the next message.
class CallDeadline : public IMessageFilter {
 public:
  explicit CallDeadline(DWORD limitMs) : limitMs_(limitMs) {
    CoRegisterMessageFilter(this, &previous_);
    CreateTimerQueueTimer(&tick_, nullptr, Nudge, reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())),
                          100, 100, WT_EXECUTEDEFAULT);
  }
  CallDeadline(const CallDeadline&) = delete;
  CallDeadline& operator=(const CallDeadline&) = delete;
  ~CallDeadline() {
    // Waits for a nudge in progress, so none arrives after the read.
    if (tick_) DeleteTimerQueueTimer(nullptr, tick_, INVALID_HANDLE_VALUE);
    CoRegisterMessageFilter(previous_, nullptr);
    if (previous_) previous_->Release();
  }
  bool Expired() const { return expired_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the reader's stack frame, for the length of one read.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
  // `waitedMs`: how long the current call has waited.
  STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD waitedMs, DWORD) override {
    if (expired_ || waitedMs >= limitMs_) {
      expired_ = true;
      return PENDINGMSG_CANCELCALL;
    }
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  static void CALLBACK Nudge(void* threadId, BOOLEAN) {
    PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<uintptr_t>(threadId)), WM_NULL, 0, 0);
  }

  DWORD limitMs_;
  IMessageFilter* previous_ = nullptr;
  HANDLE tick_ = nullptr;
  bool expired_ = false;
};

class Win32PageReader : public PageReader {
 public:
  PageRead ReadElements(Hwnd browserWindow, int timeoutMs,
                        const std::function<bool(const std::string&)>& element) override {
    // The proxies need COM on this (the user-interface) thread; a second call
    // only counts up, which is harmless for a thread that lives as long as the
    // process.
    if (!comStarted_) comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    // Installed first, so that it outlives every reference below: their
    // releases are calls into the client too.
    CallDeadline deadline(static_cast<DWORD>(timeoutMs));
    ComRef<IHTMLDocument2> document;
    PageRead got = Get_WebBrowser(reinterpret_cast<HWND>(browserWindow), timeoutMs, document.Out());
    if (got.outcome != PageRead::Outcome::Read) return got;

    ComRef<IHTMLElementCollection> all;
    HRESULT hr = document->get_all(all.Out());
    if (FAILED(hr) || !all) return Failure(hr, "get_all");
    LONG length = 0;
    hr = all->get_length(&length);
    if (FAILED(hr)) return Failure(hr, "get_length");

    for (LONG i = 0; i < length; ++i) {
      VARIANT name;
      VariantInit(&name);
      name.vt = VT_I4;
      name.lVal = i;
      VARIANT index;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = 0;
      ComRef<IDispatch> item;
      hr = all->item(name, index, item.Out());
      if (FAILED(hr)) return Failure(hr, "item");
      // The page changed under the reader (the client reloaded it).
      if (!item) return Failure(E_POINTER, "item " + std::to_string(i) + " gone");
      // The element's inner HTML through its dispatch interface: asking each
      // element for its full HTML-element interface costs a proxy of some
      // ninety methods per element across the process boundary, which on a
      // page of hundreds of elements stalls the watch cycle for minutes.
      DISPPARAMS noArguments = {};
      VARIANT value;
      VariantInit(&value);
      hr = item->Invoke(static_cast<DISPID>(DISPID_IHTMLELEMENT_INNERHTML), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                        &noArguments, &value, nullptr, nullptr);
      if (FAILED(hr)) return Failure(hr, "innerHTML");
      Bstr html;
      if (value.vt == VT_BSTR) {
        *html.Out() = value.bstrVal;  // now owned by html
      } else {
        VariantClear(&value);
      }
      if (!element(ToAnsi(html.Get()))) break;
    }
    return {PageRead::Outcome::Read, 0, 0, {}};
  }

 private:
  bool comStarted_ = false;
};

}  // namespace

std::unique_ptr<PageReader> MakeWin32PageReader() { return std::make_unique<Win32PageReader>(); }
