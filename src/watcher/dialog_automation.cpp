#include "watcher/dialog_automation.h"

#include "log/activity_log.h"
#include "platform/clock.h"
#include "util/literal_table.h"
#include "util/text.h"

const char* const kMainCashierCaption = "Orv网络计费系统 v7-主收银台";
const char* const kSecondCashierCaption = "Orv网络计费系统-次收银台";

namespace {
constexpr const char* kDialogClass = "#32770";
constexpr int kTabKey = 9;  // VK_TAB
constexpr int kPointsTabDelayMs = 200;
}  // namespace

void DialogAutomation::Point_TipClick(const std::function<int()>& askYesNo) {
  if (switches_.reminderOn) {
    switches_.reminderOn = false;
    return;
  }
  if (askYesNo() != kAnswerNo) switches_.reminderOn = true;
}

void DialogAutomation::PromptDialogStep() {
  Hwnd dialog = desktop_.FindTopWindow(kDialogClass, "提示");
  if (dialog == 0 || !desktop_.IsVisible(dialog)) return;
  Hwnd button = desktop_.FindChild(dialog, "Button", nullptr);
  if (button != 0 && switches_.reminderOn) desktop_.SendClose(dialog);
  log_.WriteLog(Format("ButtonTip=%d,BtnCZ=%d", HandleNumber(dialog),
                       HandleNumber(button)));
}

void DialogAutomation::CashierDialogsStep() {
  ActivationCountdown();
  PointsReminder();
  HelpDialog();
}

void DialogAutomation::ActivationCountdown() {
  Hwnd window = desktop_.FindTopWindow("TFormActiveMem", nullptr);
  if (window == 0 || !desktop_.IsVisible(window)) {
    activationCounter_ = 0;
    return;
  }
  desktop_.SetWindowTextOf(
      window, Format("会员激活 ( %d 秒后关闭)", switches_.countdownSeconds - activationCounter_));
  ++activationCounter_;
  // ">=": a countdown shortened while a window counts closes it at once
  // instead of counting on past the new limit.
  if (activationCounter_ >= switches_.countdownSeconds) {
    activationCounter_ = 0;
    desktop_.SendClose(window);
  }
}

void DialogAutomation::PointsReminder() {
  Hwnd dialog = desktop_.FindTopWindow(kDialogClass, "点数不足提醒");
  if (dialog == 0) return;
  if (switches_.reminderOn) desktop_.SendClose(dialog);
  log_.WriteLog(Format("PointTip=%d", HandleNumber(dialog)));
}

void DialogAutomation::HelpDialog() {
  Hwnd dialog = desktop_.FindTopWindow(kDialogClass, "RwyCHlp");
  if (dialog == 0) return;
  Hwnd button = desktop_.FindChild(dialog, nullptr, "否(&N)");
  if (button != 0) desktop_.ClickButton(button);
  log_.WriteLog(Format("RwyCHlp=%d,BtnX=%d", HandleNumber(dialog),
                       HandleNumber(button)));
}

void DialogAutomation::ScanFormStep() {
  Hwnd dialog =
      desktop_.FindTopWindow(kDialogClass, "请如实核对上网人本人有效证件后激活证件号码");
  if (dialog == 0 || dialog == ScanFormWnd) return;
  Hwnd combo = desktop_.FindChild(dialog, "ComboBox", nullptr);
  if (combo != 0) desktop_.SelectComboItem(combo, 1);
  log_.WriteLog(Format("ScanFormWnd=%d ComBoxWnd=%d", HandleNumber(dialog),
                       HandleNumber(combo)));
  ScanFormWnd = dialog;
}

void DialogAutomation::LogErrorBoxOnce(const char* caption, const char* format, Hwnd& last) {
  Hwnd box = desktop_.FindTopWindow(kDialogClass, caption);
  if (box == 0 || box == last) return;
  log_.WriteLog(FormatRuntime(format, HandleNumber(box), HandleNumber(last)));
  last = box;
}

void DialogAutomation::RuntimeLibraryErrorStep() {
  LogErrorBoxOnce("Microsoft Visual C++ Runtime Library", "VcErrWnd=%d,lastVcErrWnd=%d",
                  lastVcErrWnd);
}

void DialogAutomation::ServerErrorStep() {
  LogErrorBoxOnce("rwySvr.exe - 应用程序错误", "SvrErrWnd=%d,lastSvrErrWnd=%d",
                  lastSvrErrWnd);
}

void DialogAutomation::SerialPortErrorStep() {
  Hwnd dialog = desktop_.FindTopWindow(kDialogClass, "Orv计费系统");
  if (dialog == 0) return;
  Hwnd text = desktop_.FindChild(dialog, "Static",
                                 "打开串口1失败，此串口不存在或者已被别的进程占用!");
  if (text == 0) return;
  desktop_.SendClose(dialog);
  log_.WriteLog(Format("ComErrWnd=%d ComBoxWnd=%d", HandleNumber(dialog),
                       HandleNumber(text)));
}

void DialogAutomation::PointsWindowStep() {
  Hwnd window = desktop_.FindTopWindow(nullptr, "积分&奖励操作");
  if (window == 0 || window == LastPointsWindow) return;
  LastPointsWindow = window;
  Hwnd group = desktop_.FindChild(window, "TRadioGroup", nullptr);
  Hwnd option = desktop_.FindChild(group, "TGroupButton", nullptr);
  Hwnd edit = desktop_.FindChild(window, "TEdit", nullptr);
  if (option != 0) desktop_.ClickButton(option);
  clock_.DelayWithMessages(kPointsTabDelayMs);
  // The Tab moves the focus on from the chosen option, as the cashier would.
  desktop_.SetForeground(window);
  desktop_.PressKey(kTabKey);
  log_.WriteLog(FormatRuntime(Literal(lit::kPointsLineFormat), HandleNumber(window),
                       HandleNumber(group), HandleNumber(option),
                       HandleNumber(edit)));
}

void DialogAutomation::SecurityAlertStep() {
  Hwnd window = desktop_.FindTopWindow(nullptr, "安全警报");
  if (window == 0) return;
  Hwnd button = desktop_.FindChild(window, "Button", "是(&Y)");
  if (button == 0) return;
  desktop_.ClickButton(button);
  log_.WriteLog(Format("SafeWnd=%d,BtnX=%d", HandleNumber(window),
                       HandleNumber(button)));
}

void DialogAutomation::SwipeErrorStep() {
  Hwnd box = desktop_.FindTopWindow(kDialogClass, kMainCashierCaption);
  if (box == 0) return;
  Hwnd text = desktop_.FindChild(box, "Static", "加载图片失败，请关闭窗口重新刷卡");
  if (text == 0) {
    text = desktop_.FindChild(box, "Static", "交班或设置期间不允许刷卡。请关闭交班窗口再试");
    if (text != 0) {
      Hwnd handover = desktop_.FindTopWindow("TFrmJiaoBan", nullptr);
      if (handover != 0 && desktop_.IsVisible(handover)) {
        desktop_.SendClose(handover);
        log_.WriteLog(Format("ErrBoxWnd=%d JiaoBanWnd=%d", HandleNumber(box),
                             HandleNumber(handover)));
      }
    }
  }
  if (text == 0) return;
  log_.WriteLog(Format("ErrBoxWnd=%d ComBoxWnd=%d", HandleNumber(box),
                       HandleNumber(text)));
  desktop_.SendClose(box);
}
