#include "desktop/confirm_dialog_win.h"

#include <cstdint>
#include <vector>

namespace {

constexpr WORD kTextId = 100;
constexpr WORD kIconId = 101;

struct DialogTexts {
  const std::string* caption;
  const std::string* text;
  const std::string* yes;
  const std::string* no;
};

// An in-memory dialog template: DLGTEMPLATE, then its items, each
// DWORD-aligned. Texts are set at WM_INITDIALOG through the ANSI calls, so the
// template holds none.
class TemplateWriter {
 public:
  void Word(WORD w) { bytes_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const wchar_t* text) {
    do Word(static_cast<WORD>(*text)); while (*text++);
  }
  void Align() {
    if (bytes_.size() % 2) Word(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF);
    Word(classAtom);
    Word(0);  // no text
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  std::vector<WORD> bytes_;  // WORD elements keep the start WORD-aligned
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const DialogTexts*>(lParam);
      SetWindowTextA(dialog, texts->caption->c_str());
      SetDlgItemTextA(dialog, kTextId, texts->text->c_str());
      SetDlgItemTextA(dialog, IDYES, texts->yes->c_str());
      SetDlgItemTextA(dialog, IDNO, texts->no->c_str());
      SendDlgItemMessageA(dialog, kIconId, STM_SETICON,
                          reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_QUESTION)), 0);
      SetForegroundWindow(dialog);
      return TRUE;  // the focus goes to the default button
    }
    case WM_SYSCOMMAND:
      // The close box: neither answer.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDYES:
          EndDialog(dialog, IDYES);
          return TRUE;
        case IDNO:
        case IDCANCEL:  // Escape: No is the cancel button
          EndDialog(dialog, IDNO);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

int ConfirmWithCaptions(HWND owner, const std::string& caption, const std::string& text,
                        const std::string& yesCaption, const std::string& noCaption) {
  if (owner) SetWindowPos(owner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // Dialog units: 220 x 70, question icon at the left, the two buttons
  // centred below the text, Yes before No.
  TemplateWriter t;
  t.Dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  t.Dword(WS_EX_TOPMOST);
  t.Word(4);  // items
  t.Word(0);
  t.Word(0);
  t.Word(220);
  t.Word(70);
  t.Word(0);  // no menu
  t.Word(0);  // the standard dialog class
  t.Word(0);  // no caption in the template
  t.Word(9);
  t.Text(L"MS Shell Dlg");
  t.Item(SS_ICON, 10, 10, 20, 20, kIconId, 0x0082);
  t.Item(SS_LEFT, 40, 14, 170, 20, kTextId, 0x0082);
  t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 40, 46, 66, 16, IDYES, 0x0080);
  t.Item(BS_PUSHBUTTON | WS_TABSTOP, 114, 46, 66, 16, IDNO, 0x0080);

  DialogTexts texts{&caption, &text, &yesCaption, &noCaption};
  const INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), owner, DialogProc,
                                                 reinterpret_cast<LPARAM>(&texts));
  return result == IDYES || result == IDNO ? static_cast<int>(result) : IDCANCEL;
}
