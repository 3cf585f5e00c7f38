; Setup program of the cashier assistant: installs Tollimer.exe for the
; signed-in user, without administrator rights, into a folder the user can
; write (the self-update replaces the program in place).
;
;   makensis -DEXE=<Tollimer.exe> -DOUTDIR=<folder> -DGUIDE=<folder> [-DTARGET=amd64-unicode] [-DTEST_BUILD] tollimer-setup.nsi
;
; GUIDE is the folder of the cashier's guide (使用说明.html and its pictures
; in 使用说明\), as the build's target "guide" makes it. It writes
; <folder>/Tollimer-Setup-<version>.exe (-测试版 added with -DTEST_BUILD),
; the version taken from the
; executable's own version resource. TARGET defaults to the 32-bit stub,
; which runs on every cashier PC; amd64-unicode packs a 64-bit Tollimer.exe.
; Silent install for many PCs: Tollimer-Setup-<version>.exe /S [/D=folder]
; (/D= comes last and is not quoted, even with spaces). Its exit code is 0
; only when every file is in place; a failure leaves the earlier version's
; entry and exits with 2.
;
; SIGN_CERT and SIGN_KEY (PEM files, both or neither) sign the setup and its
; uninstaller (Authenticode, osslsigncode) as makensis writes them.

Unicode true
!ifdef TARGET
Target ${TARGET}
!else
Target x86-unicode
!endif

!ifndef EXE | OUTDIR | GUIDE
!error "makensis -DEXE=<Tollimer.exe> -DOUTDIR=<folder> -DGUIDE=<folder> tollimer-setup.nsi"
!endif
!getdllversion "${EXE}" EXE_VERSION_
!define VERSION "${EXE_VERSION_1}.${EXE_VERSION_2}.${EXE_VERSION_3}.${EXE_VERSION_4}"

!ifdef SIGN_CERT | SIGN_KEY
!ifdef SIGN_CERT & SIGN_KEY
!finalize '"${__FILEDIR__}/sign-exe" "${SIGN_CERT}" "${SIGN_KEY}" "%1"' = 0
!uninstfinalize '"${__FILEDIR__}/sign-exe" "${SIGN_CERT}" "${SIGN_KEY}" "%1"' = 0
!else
!error "SIGN_CERT and SIGN_KEY go together"
!endif
!endif

; The account deployment tools run setups as: the assistant belongs to the
; cashier's own account, never to this one.
!ifndef SYSTEM_ACCOUNT_SID
!define SYSTEM_ACCOUNT_SID "S-1-5-18"
!endif

; A build with the test build's keys (-DTEST_BUILD) says so in its file name
; and on its first page: whoever holds it must not give it to a cafe.
!ifdef TEST_BUILD
!define EDITION_SUFFIX "-测试版"
!define EDITION_NOTE "【测试版】这个程序带有人人都知道的测试密钥，只供测试，不可装到网吧的收银电脑上。$\r$\n$\r$\n"
!else
!define EDITION_SUFFIX ""
!define EDITION_NOTE ""
!endif

!define PRODUCT_NAME "网吧Tollimer"
!define PUBLISHER "Tollimer"
!define MAIN_CAPTION "网吧Tollimer"
!define MAIN_FORM_CLASS "TOrv_Assistant"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tollimer"
; The per-user start-up value the icon's menu writes: the executable's full
; path when on, ";" and the path when the cashier switched it off.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tollimer"
!define APP_KEY "Software\Tollimer"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT_NAME}"
; How long the assistant gets to close by itself (it writes its running-time
; line on the way) before the setup ends it.
!define CLOSE_WAIT_MS 15000

Name "${PRODUCT_NAME} ${VERSION}"
Caption "${PRODUCT_NAME} ${VERSION} 安装"
UninstallCaption "${PRODUCT_NAME} ${VERSION} 卸载"
BrandingText "${PRODUCT_NAME} ${VERSION}"
OutFile "${OUTDIR}/Tollimer-Setup-${VERSION}${EDITION_SUFFIX}.exe"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Tollimer"
; An upgrade goes where the previous setup put the program.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
; A file that cannot be written (held open by another program) fails the
; setup instead of being skipped: a silent setup must not report success
; with the old program in place.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT_NAME} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

; Fails the setup: says why (a silent setup only in its details), and ends
; it with exit code 2 (.onInstFailed) before anything else is written.
!macro FAIL_SETUP text
  DetailPrint "${text}"
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  Abort "${text}"
!macroend

!include "tollimer-owned.nsh"

!define MUI_ICON "${__FILEDIR__}/../../src/resources/Tollimer.ico"
!define MUI_UNICON "${__FILEDIR__}/../../src/resources/Tollimer.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "${EDITION_NOTE}本向导将在这台收银电脑上安装 ${PRODUCT_NAME} ${VERSION}，只为当前登录的用户安装，不需要管理员权限。$\r$\n$\r$\n如果收银助手正在运行，安装程序会先关闭它；网吧的黑名单、参数、日志、壁纸和设置都会保留。$\r$\n$\r$\n点击“下一步”继续。"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Ends the running assistant the way Windows ends it when the session ends:
; WM_ENDSESSION to its main window, which closes for real (a plain close only
; hides that window) and logs its running time on the way; then waits; then
; ends the process. Every wait is bounded.
!macro DEFINE_END_ASSISTANT prefix
Function ${prefix}EndAssistant
  System::Call 'user32::FindWindowW(p 0, w "${MAIN_CAPTION}") p .r0'
  ${If} $0 P= 0
    Return
  ${EndIf}
  DetailPrint "正在关闭 ${PRODUCT_NAME} ..."
  StrCpy $1 0
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
  ; SYNCHRONIZE | PROCESS_TERMINATE
  System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
  ; Its main window, of the same process; without one, a close to the marker window.
  System::Call 'user32::FindWindowW(w "${MAIN_FORM_CLASS}", p 0) p .r4'
  StrCpy $5 0
  ${If} $4 P<> 0
    System::Call 'user32::GetWindowThreadProcessId(p r4, *i .r5) i'
  ${EndIf}
  ${If} $4 P<> 0
  ${AndIf} $5 = $1
    ; WM_ENDSESSION, ending: yes, ENDSESSION_CLOSEAPP (an installer closes it)
    System::Call 'user32::PostMessageW(p r4, i 0x0016, p 1, p 1)'
  ${Else}
    System::Call 'user32::PostMessageW(p r0, i 0x0010, p 0, p 0)'
  ${EndIf}
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
    ${If} $3 <> 0
      DetailPrint "${PRODUCT_NAME} 未能自行关闭，强制结束"
      System::Call 'kernel32::TerminateProcess(p r2, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p r2, i 5000) i'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; No handle on the process: wait for its window to go.
    StrCpy $3 0
    ${Do}
      Sleep 100
      IntOp $3 $3 + 100
      System::Call 'user32::FindWindowW(p 0, w "${MAIN_CAPTION}") p .r0'
      ${If} $0 P= 0
      ${OrIf} $3 >= ${CLOSE_WAIT_MS}
        ${Break}
      ${EndIf}
    ${Loop}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_END_ASSISTANT ""
!insertmacro DEFINE_END_ASSISTANT "un."

Section "-程序" SecProgram
  Call ClaimNames
  Call EndAssistant
  ; A file that cannot be written fails the setup here (AllowSkipFiles off):
  ; nothing below runs, the earlier version's entry stays.
  SetOutPath "$INSTDIR"
  File "/oname=Tollimer.exe" "${EXE}"
  ; The cashier's guide, read offline in the browser.
  File "${GUIDE}/使用说明.html"
  SetOutPath "$INSTDIR\使用说明"
  File "${GUIDE}/使用说明/*.png"
  SetOutPath "$INSTDIR"
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    !insertmacro FAIL_SETUP "不能写入 $INSTDIR\uninstall.exe。"
  ${EndIf}

  ; Every file is in place: now the entry names this version.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tollimer.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The program's own files only, in KiB: the cafe's logs are not the program.
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
SectionEnd

Section "开机自动运行" SecAutorun
  ; A cashier who switched autorun off for this copy keeps it off.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 != ";$INSTDIR\Tollimer.exe"
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" "$INSTDIR\Tollimer.exe"
  ${EndIf}
SectionEnd

Section "开始菜单快捷方式" SecStartMenu
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\${PRODUCT_NAME}.lnk" "$INSTDIR\Tollimer.exe" "" "$INSTDIR\Tollimer.exe" 0
  CreateShortcut "${MENU_FOLDER}\使用说明.lnk" "$INSTDIR\使用说明.html"
  CreateShortcut "${MENU_FOLDER}\卸载 ${PRODUCT_NAME}.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "立即运行" SecStartNow
  ; The program's folder is its working folder.
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\Tollimer.exe"'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutorun} "登录 Windows 时自动启动收银助手（与托盘菜单“开机自动运行”相同）。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStartMenu} "在开始菜单中添加收银助手、使用说明和卸载程序的快捷方式。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStartNow} "安装完成后立即启动收银助手。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Sets $0 to the string SID of the account the setup runs as ("" when the
; token cannot be read).
Function AccountSid
  StrCpy $0 ""
  System::Call 'kernel32::GetCurrentProcess() p .r1'
  ; TOKEN_QUERY
  System::Call 'advapi32::OpenProcessToken(p r1, i 0x8, *p .r2) i .r3'
  ${If} $3 = 0
    Return
  ${EndIf}
  System::Alloc 256
  Pop $4
  ; TokenUser: a TOKEN_USER, whose first member points at the SID.
  System::Call 'advapi32::GetTokenInformation(p r2, i 1, p r4, i 256, *i .r5) i .r3'
  ${If} $3 <> 0
    System::Call '*$4(p .r6)'
    System::Call 'advapi32::ConvertSidToStringSidW(p r6, *p .r7) i .r3'
    ${If} $3 <> 0
      System::Call 'kernel32::lstrcpynW(w .r0, p r7, i ${NSIS_MAX_STRLEN})'
      System::Call 'kernel32::LocalFree(p r7)'
    ${EndIf}
  ${EndIf}
  System::Free $4
  System::Call 'kernel32::CloseHandle(p r2)'
FunctionEnd

; A deployment tool that runs the setup as the system account would put the
; program folder, the start-up value and the running assistant into the
; system's own profile, where no cashier ever sees them: refuse (exit code 3).
Function .onInit
  Call AccountSid
  ${If} $0 == "${SYSTEM_ACCOUNT_SID}"
    MessageBox MB_OK|MB_ICONSTOP "安装程序正以系统账户（SYSTEM）运行，没有安装。$\r$\n$\r$\n${PRODUCT_NAME} 只为登录收银电脑的收银员账户安装：以系统账户安装时，程序文件夹、开机自动运行和启动都会落在系统账户里，收银员看不到也用不上。$\r$\n$\r$\n请在收银员登录后，以收银员的账户运行安装程序（部署工具请选择“以登录的用户身份运行”）。" /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

; Any failure of the setup ends it with exit code 2, silent or not.
Function .onInstFailed
  SetErrorLevel 2
FunctionEnd

Section "Uninstall"
  Call un.EndAssistant
  ; Only what the install log names as ours: the folder may hold another
  ; program's files.
  Call un.ReadOwnedNames
  Call un.RemoveProgramFiles

  ; The start-up value, when it names this copy (on or switched off).
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == "$INSTDIR\Tollimer.exe"
  ${OrIf} $0 == ";$INSTDIR\Tollimer.exe"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  RMDir /r "${MENU_FOLDER}"
  ; The desktop shortcut the program makes for itself once it knows the cafe.
  Delete "$DESKTOP\Tollimer.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; What the cafe made stays unless the cashier says otherwise; a silent
  ; uninstall keeps it.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除网吧自己的文件和设置？$\r$\n（黑名单 blacklist.txt、参数 OrvBar.ini、日志 LOGS、壁纸 Wallpaper.bmp、刷脸提示音和注册表中的设置）$\r$\n$\r$\n选择“否”则保留，重新安装后继续使用。" /SD IDNO IDNO keep_cafe_files
    Call un.RemoveCafeFiles
    DeleteRegKey HKCU "${APP_KEY}"
  keep_cafe_files:
  ; The log stays beside the cafe's files it names: a later install there
  ; knows them as the assistant's.
  Call un.AnyCafeFileLeft
  ${If} $R6 = 0
    Delete "$INSTDIR\${INSTALL_LOG}"
  ${EndIf}
  ; Removed only when nothing else is left in it.
  RMDir "$INSTDIR"
SectionEnd
