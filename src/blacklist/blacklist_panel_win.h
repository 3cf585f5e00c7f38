// TfrmBlackList: the cashier's look at the blacklist. A borderless window of
// 442 x 640 client pixels, created hidden at start-up; the list masks six
// digits of every ID, a click copies 14 characters to the find box, find
// selects every containing line, the title drags the window.
#pragma once
#include <windows.h>

#include <functional>

class BlacklistStore;

class TfrmBlackList {
 public:
  explicit TfrmBlackList(BlacklistStore& store) : store_(store) {}
  ~TfrmBlackList();
  TfrmBlackList(const TfrmBlackList&) = delete;
  TfrmBlackList& operator=(const TfrmBlackList&) = delete;

  // Creates the window hidden, owned by `owner`.
  bool Create(HWND owner);
  // Shows it, centred on the desktop the first time, where it was afterwards.
  void Show();
  HWND Handle() const { return hwnd_; }
  // After a load: the list shows the store's lines, the label its status.
  void ShowList();
  // The update button's load (the list's network half runs elsewhere); the
  // store's own load when not set.
  std::function<void()> reload;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void PaintTitle(HDC dc);

  void BlackList_Title_PanelMouseDown();
  void BlackList_Update_BtnClick();
  void SpeedButton2Click();
  void BlackList_Close_BtnClick();
  void Black_ListBoxDrawItem(const DRAWITEMSTRUCT& item);
  void Black_ListBoxClick();
  void BlackList_Find_BtnClick();
  void SetListHint(const char* text);

  BlacklistStore& store_;
  HWND hwnd_ = nullptr;
  HWND Black_ListBox = nullptr;
  HWND BlackList_Label = nullptr;
  HWND BlackList_Edit = nullptr;
  HWND BlackList_Find_Btn = nullptr;
  HWND BlackList_Update_Btn = nullptr;
  HWND SpeedButton2 = nullptr;
  HWND BlackList_Close_Btn = nullptr;
  HWND tips_ = nullptr;
  HFONT listFont_ = nullptr;
  HFONT boldFont_ = nullptr;
  HFONT fixedFont_ = nullptr;
  bool shownOnce_ = false;
  char hint_[1024] = {};
};
