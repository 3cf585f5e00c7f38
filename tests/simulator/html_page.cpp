#include "html_page.h"

#include <mshtmdid.h>
#include <oleacc.h>

#include <map>
#include <memory>

#include "events.h"
#include "html_stubs.h"

namespace {

struct Page {
  PageOptions options;
  HWND browser = nullptr;
  long reads = 0;

  long Length() const { return static_cast<long>(options.elements.size()) + options.nested; }

  // Element i in document order. The nested elements follow the flat ones;
  // each holds all that lie below it, as an element's inner HTML does.
  std::wstring InnerHtml(long i) const {
    const long flat = static_cast<long>(options.elements.size());
    if (i < flat) return options.elements[static_cast<size_t>(i)];
    const long below = options.nested - 1 - (i - flat);
    std::wstring text;
    for (long k = 0; k < below; ++k) text += L"<div>";
    text += options.leaf;
    for (long k = 0; k < below; ++k) text += L"</div>";
    return text;
  }
};

std::map<HWND, std::shared_ptr<Page>> g_pages;

// Reference counting shared by the three page objects.
template <class Interface>
class Counted : public Interface {
 public:
  virtual ~Counted() = default;
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 protected:
  HRESULT Answer(REFIID riid, void** out, std::initializer_list<IID> known) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const IID& iid : known) {
      if (IsEqualIID(riid, iid)) {
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
      }
    }
    return E_NOINTERFACE;
  }

 private:
  LONG refs_ = 1;
};

class Element : public Counted<HtmlElementStubs> {
 public:
  Element(std::shared_ptr<Page> page, long index) : page_(std::move(page)), index_(index) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    return Answer(riid, out, {IID_IUnknown, IID_IDispatch, IID_IHTMLElement});
  }
  // The inner HTML through the dispatch interface too, as the browser's
  // elements answer it.
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (id != static_cast<DISPID>(DISPID_IHTMLELEMENT_INNERHTML) || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!result) return E_POINTER;
    VariantInit(result);
    result->vt = VT_BSTR;
    return get_innerHTML(&result->bstrVal);
  }
  STDMETHODIMP get_innerHTML(BSTR* p) override {
    if (!p) return E_POINTER;
    ++page_->reads;
    if (page_->options.vanish && page_->reads == 1) {
      // The audit client closes its window while the page is being read.
      HWND root = GetAncestor(page_->browser, GA_ROOT);
      if (root) DestroyWindow(root);
    }
    const std::wstring text = page_->InnerHtml(index_);
    *p = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *p ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP get_tagName(BSTR* p) override {
    if (!p) return E_POINTER;
    *p = SysAllocString(L"DIV");
    return S_OK;
  }

 private:
  std::shared_ptr<Page> page_;
  long index_;
};

class Collection : public Counted<HtmlCollectionStubs> {
 public:
  explicit Collection(std::shared_ptr<Page> page) : page_(std::move(page)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    return Answer(riid, out, {IID_IUnknown, IID_IDispatch, IID_IHTMLElementCollection});
  }
  STDMETHODIMP get_length(LONG* p) override {
    if (!p) return E_POINTER;
    *p = page_->Length();
    return S_OK;
  }
  // item(i, 0): the i-th element; a name that is not a number finds nothing.
  STDMETHODIMP item(VARIANT name, VARIANT, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    VARIANT index;
    VariantInit(&index);
    if (FAILED(VariantChangeType(&index, &name, 0, VT_I4))) return S_OK;
    if (index.lVal < 0 || index.lVal >= page_->Length()) return S_OK;
    *out = new Element(page_, index.lVal);
    return S_OK;
  }

 private:
  std::shared_ptr<Page> page_;
};

class Document : public Counted<HtmlDocumentStubs> {
 public:
  explicit Document(std::shared_ptr<Page> page) : page_(std::move(page)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    return Answer(riid, out, {IID_IUnknown, IID_IDispatch, IID_IHTMLDocument, IID_IHTMLDocument2});
  }
  STDMETHODIMP get_all(IHTMLElementCollection** p) override {
    if (!p) return E_POINTER;
    *p = new Collection(page_);
    return S_OK;
  }
  STDMETHODIMP get_title(BSTR* p) override {
    if (!p) return E_POINTER;
    *p = SysAllocString(L"CTID");
    return S_OK;
  }

 private:
  std::shared_ptr<Page> page_;
};

UINT PageRequestMessage() {
  static const UINT message = RegisterWindowMessageA("WM_HTML_GETOBJECT");
  return message;
}

}  // namespace

void SetPage(HWND browser, const PageOptions& options) {
  // The objects are handed across processes: COM must be up on this thread.
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)com;
  auto page = std::make_shared<Page>();
  page->options = options;
  page->browser = browser;
  g_pages[browser] = page;
}

void ForgetPage(HWND browser) { g_pages.erase(browser); }

bool AnswerPageRequest(HWND hwnd, UINT msg, WPARAM wParam, LRESULT& result) {
  if (msg != PageRequestMessage()) return false;
  auto it = g_pages.find(hwnd);
  if (it == g_pages.end()) return false;
  RecordEvent(hwnd, "pagerequest");
  result = 0;
  if (!it->second->options.answers) return true;
  Document* document = new Document(it->second);
  result = LresultFromObject(IID_IHTMLDocument2, wParam, static_cast<IHTMLDocument2*>(document));
  document->Release();  // the marshalled stream holds its own reference
  if (result < 0) result = 0;
  return true;
}

long PageReads(HWND browser) {
  auto it = g_pages.find(browser);
  return it == g_pages.end() ? 0 : it->second->reads;
}
