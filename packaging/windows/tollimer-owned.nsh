; What in the program folder belongs to the assistant, and the install log
; that records it.
;
; The folder may be another program's (/D= can name any folder, the billing
; console's too), so a name is ours only when the folder did not hold it
; before the first install there. The setup writes those names into the
; install log before it writes any file; the uninstaller removes only what
; the log names, and the folder only when nothing else is left in it.

!define INSTALL_LOG "Tollimer-install.log"

; The program's files, and what the self-update leaves beside the program.
!macro FOR_PROGRAM_NAMES do
  !insertmacro ${do} "Tollimer.exe"
  !insertmacro ${do} "Tollimer.exe.old"
  !insertmacro ${do} "Tollimer.exe.NEW"
  !insertmacro ${do} "uninstall.exe"
  !insertmacro ${do} "使用说明.html"
  !insertmacro ${do} "使用说明"
!macroend

; What the assistant writes for the cafe beside the program.
!macro FOR_CAFE_NAMES do
  !insertmacro ${do} "blacklist.txt"
  !insertmacro ${do} "OrvBar.ini"
  !insertmacro ${do} "debug"
  !insertmacro ${do} "FaceTip.wav"
  !insertmacro ${do} "Wallpaper.bmp"
  !insertmacro ${do} "LOGS"
!macroend

; The names the install log lists, as "|name|name|"; "" without a log.
Var Claimed

; Sets $0 to 1 when the install log lists `name`, else to 0.
!macro IS_CLAIMED name
  StrCpy $0 0
  System::Call 'shlwapi::StrStrW(w "$Claimed", w "|${name}|") p .r1'
  ${If} $1 P<> 0
    StrCpy $0 1
  ${EndIf}
!macroend

; Reads the install log (UTF-16LE, one name a line) into $Claimed.
!macro DEFINE_READ_INSTALL_LOG prefix
Function ${prefix}ReadInstallLog
  StrCpy $Claimed ""
  ClearErrors
  FileOpen $0 "$INSTDIR\${INSTALL_LOG}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $Claimed "|"
  ${Do}
    ClearErrors
    FileReadUTF16LE $0 $1
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${Do}
      StrCpy $2 $1 1 -1
      ${If} $2 != "$\r"
      ${AndIf} $2 != "$\n"
        ${Break}
      ${EndIf}
      StrCpy $1 $1 -1
    ${Loop}
    ${If} $1 != ""
      StrCpy $Claimed "$Claimed$1|"
    ${EndIf}
  ${Loop}
  FileClose $0
FunctionEnd
!macroend
!insertmacro DEFINE_READ_INSTALL_LOG ""
!insertmacro DEFINE_READ_INSTALL_LOG "un."

!macro ADD_NAME name
  StrCpy $Claimed "$Claimed${name}|"
!macroend

; Install: a name the folder does not hold yet becomes ours. A folder with
; the program but no log is an earlier release's: all of it is ours.
!macro CLAIM_NAME name
  !insertmacro IS_CLAIMED "${name}"
  ${If} $0 = 0
    ${If} $R9 = 1
    ${OrIfNot} ${FileExists} "$INSTDIR\${name}"
      !insertmacro ADD_NAME "${name}"
    ${EndIf}
  ${EndIf}
!macroend

; Install: the setup writes over the program's names, so another program's
; file of such a name stops it.
!macro REFUSE_FOREIGN_PROGRAM_NAME name
  !insertmacro IS_CLAIMED "${name}"
  ${If} $0 = 0
    StrCpy $R8 "$INSTDIR\${name}"
  ${EndIf}
!macroend

!macro WRITE_CLAIMED name
  !insertmacro IS_CLAIMED "${name}"
  ${If} $0 = 1
    FileWriteUTF16LE $R7 "${name}$\r$\n"
  ${EndIf}
!macroend

; Decides which names are ours and writes the install log. A failure (a
; foreign file where the program goes, a log it cannot write) fails the setup.
Function ClaimNames
  Call ReadInstallLog
  StrCpy $R9 0
  ${If} $Claimed == ""
    StrCpy $Claimed "|"
    ${If} ${FileExists} "$INSTDIR\Tollimer.exe"
      StrCpy $R9 1
    ${EndIf}
  ${EndIf}
  !insertmacro FOR_PROGRAM_NAMES CLAIM_NAME
  !insertmacro FOR_CAFE_NAMES CLAIM_NAME
  StrCpy $R8 ""
  !insertmacro FOR_PROGRAM_NAMES REFUSE_FOREIGN_PROGRAM_NAME
  ${If} $R8 != ""
    !insertmacro FAIL_SETUP "$R8 属于别的程序，安装程序不会覆盖它。请把 ${PRODUCT_NAME} 装到另一个文件夹。"
  ${EndIf}
  ClearErrors
  CreateDirectory "$INSTDIR"
  FileOpen $R7 "$INSTDIR\${INSTALL_LOG}" w
  ${If} ${Errors}
    !insertmacro FAIL_SETUP "不能写入 $INSTDIR\${INSTALL_LOG}。"
  ${EndIf}
  !insertmacro FOR_PROGRAM_NAMES WRITE_CLAIMED
  !insertmacro FOR_CAFE_NAMES WRITE_CLAIMED
  FileClose $R7
  ${If} ${Errors}
    !insertmacro FAIL_SETUP "不能写入 $INSTDIR\${INSTALL_LOG}。"
  ${EndIf}
FunctionEnd

; Uninstall: a name of ours goes, file or folder.
!macro REMOVE_CLAIMED name
  !insertmacro IS_CLAIMED "${name}"
  ${If} $0 = 1
    ${If} ${FileExists} "$INSTDIR\${name}\*.*"
      RMDir /r "$INSTDIR\${name}"
    ${Else}
      Delete "$INSTDIR\${name}"
    ${EndIf}
  ${EndIf}
!macroend

; Uninstall: reads the install log. Without one (removed by hand) only the
; program's names count as ours, never the cafe's.
Function un.ReadOwnedNames
  Call un.ReadInstallLog
  ${If} $Claimed == ""
    StrCpy $Claimed "|"
    !insertmacro FOR_PROGRAM_NAMES ADD_NAME
  ${EndIf}
FunctionEnd

Function un.RemoveProgramFiles
  !insertmacro FOR_PROGRAM_NAMES REMOVE_CLAIMED
FunctionEnd

Function un.RemoveCafeFiles
  !insertmacro FOR_CAFE_NAMES REMOVE_CLAIMED
FunctionEnd

!macro NOTE_CLAIMED_LEFT name
  !insertmacro IS_CLAIMED "${name}"
  ${If} $0 = 1
  ${AndIf} ${FileExists} "$INSTDIR\${name}"
    StrCpy $R6 1
  ${EndIf}
!macroend

; Sets $R6 to 1 when a file of the cafe's that the log names is still there.
Function un.AnyCafeFileLeft
  StrCpy $R6 0
  !insertmacro FOR_CAFE_NAMES NOTE_CLAIMED_LEFT
FunctionEnd
