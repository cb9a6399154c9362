; The Windows setup: installs monitor.exe per machine, with a Start-menu entry, the autostart
; for every user, the firmware folder and an entry in the installed-programs list.
; Before it replaces or removes files it asks a running monitor to close ("monitor.exe exit")
; and waits until "monitor.exe isrun" says 0.
;   makensis -DARCH=x86|amd64 -DVERSION=<version> -DEXE=<monitor.exe> -DOUT=<setup.exe>
;            [-DICON=<.ico> -DWELCOME_BMP=<164x314 .bmp>] vqmonitor.nsi
; Options of the setup: /S (silent), /D=<folder> (last), /LANG=<language id> (2052, 1033, 1049).
!if ${ARCH} == amd64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!if ${ARCH} == amd64
  !include x64.nsh
!endif

!define KEY "vqmonitor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${KEY}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PUBLISHER "vqmonitor maintainers"
; How long a running monitor may take to close: 60 checks, 250 ms apart.
!define CLOSE_CHECKS 60

Name "$(AppName)"
OutFile "${OUT}"
!if ${ARCH} == amd64
  InstallDir "$PROGRAMFILES64\${KEY}"
!else
  InstallDir "$PROGRAMFILES\${KEY}"
!endif
ShowInstDetails nevershow
ShowUninstDetails nevershow
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Printer Status Monitor"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Printer Status Monitor setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
; Our own pictures (made from vqres/img by the build); the Russian welcome needs three lines.
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!ifdef WELCOME_BMP
  !define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME_BMP}"
!endif
!define MUI_WELCOMEPAGE_TITLE_3LINES
!define MUI_FINISHPAGE_TITLE_3LINES
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\monitor.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The monitor's own languages; the first is the default.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString AppName ${LANG_SIMPCHINESE} "打印机状态监视器"
LangString AppName ${LANG_ENGLISH} "Printer Status Monitor"
LangString AppName ${LANG_RUSSIAN} "Монитор состояния принтера"
LangString StillRunning ${LANG_SIMPCHINESE} "打印机状态监视器没有退出。请关闭它，然后重试。"
LangString StillRunning ${LANG_ENGLISH} "The Printer Status Monitor did not close. Close it and try again."
LangString StillRunning ${LANG_RUSSIAN} "Монитор состояния принтера не закрылся. Закройте его и повторите попытку."

Var WasRunning

; Asks the monitor in $INSTDIR to close and waits for it; aborts with a message when it stays.
!macro CloseMonitor un
Function ${un}CloseMonitor
  StrCpy $WasRunning 0
  IfFileExists "$INSTDIR\monitor.exe" 0 done
  ExecWait '"$INSTDIR\monitor.exe" isrun' $WasRunning
  ${If} $WasRunning != 1
    Goto done
  ${EndIf}
  ExecWait '"$INSTDIR\monitor.exe" exit'
  StrCpy $1 0
  ${Do}
    ExecWait '"$INSTDIR\monitor.exe" isrun' $0
    ${If} $0 == 0
      Goto done
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= ${CLOSE_CHECKS}
      ${ExitDo}
    ${EndIf}
    Sleep 250
  ${Loop}
  MessageBox MB_OK|MB_ICONSTOP "$(StillRunning)" /SD IDOK
  SetErrorLevel 2
  Quit
done:
FunctionEnd
!macroend
!insertmacro CloseMonitor ""
!insertmacro CloseMonitor "un."

; /LANG=<id> picks the language; otherwise the system's, as NSIS does.
!macro PickLanguage
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/LANG=" $1
  ${IfNot} ${Errors}
    StrCpy $LANGUAGE $1
  ${EndIf}
!macroend

Function .onInit
!if ${ARCH} == amd64
  SetRegView 64
!endif
  !insertmacro PickLanguage
FunctionEnd

Function un.onInit
!if ${ARCH} == amd64
  SetRegView 64
!endif
  !insertmacro PickLanguage
FunctionEnd

Section "monitor"
  SetShellVarContext all
  Call CloseMonitor
  SetOutPath "$INSTDIR"
  File "/oname=monitor.exe" "${EXE}"
  ; The LAN upgrade's fixed image path points here.
  CreateDirectory "$INSTDIR\firmware"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\$(AppName)"
  CreateShortCut "$SMPROGRAMS\$(AppName)\$(AppName).lnk" "$INSTDIR\monitor.exe"
  WriteRegStr HKLM "${RUN_KEY}" "${KEY}" '"$INSTDIR\monitor.exe" hide'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$(AppName)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\monitor.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ; The Start-menu folder carries the language's name: the uninstaller removes that one.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "StartMenuFolder" "$SMPROGRAMS\$(AppName)"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  ; An upgrade gives back the monitor it closed, now running the new files.
  ${If} $WasRunning == 1
    Exec '"$INSTDIR\monitor.exe" hide'
  ${EndIf}
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.CloseMonitor
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "StartMenuFolder"
  ${If} $0 != ""
    Delete "$0\*.lnk"
    RMDir "$0"
  ${EndIf}
  DeleteRegValue HKLM "${RUN_KEY}" "${KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\monitor.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; A firmware image put there by an administrator stays, and so does the folder then.
  RMDir "$INSTDIR\firmware"
  RMDir "$INSTDIR"
SectionEnd
