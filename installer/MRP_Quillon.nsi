; The setup program MRP_Quillon-<version>-setup.exe: a per-user installation
; without administrator rights, the 64-bit program on 64-bit Windows and the
; 32-bit program elsewhere. installer/build-setup.sh runs makensis on this
; script and defines:
;
;   PRODUCT, WINDOW_CLASS, SETTINGS_ROOT
;             the program's name, its main window's class and the root of
;             its settings (set once, in src/ports/ProgramIdentity.h)
;   VERSION   the project's version (set once, in CMakeLists.txt)
;   EXE64     the 64-bit program
;   EXE32     the 32-bit program
;   DOCS      a folder holding USER_GUIDE.txt and LICENSE.txt (CR LF)
;   OUTFILE   the setup program to write
;
; Silent use: setup.exe /S [/D=<folder>] (/D= last, without quotes), and
; "<folder>\Uninstall.exe" /S. A silent run that cannot close a running
; copy of the program changes nothing and ends with exit code 2; on Windows
; before 7 it ends with 3; run as administrator, with 4.
;
; Both speak the Windows display language where it is one of
; Languages.nsh's, English elsewhere.

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

; As the apps list shows it; LICENSE's copyright line says "the ...".
!define PUBLISHER "The ${PRODUCT} developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Where the program keeps its window position and flags.
!define SETTINGS_KEY "${SETTINGS_ROOT}\${PRODUCT}"
; How long a running copy may take to close after it was asked to.
!define CLOSE_WAIT_MS 10000

!include MUI2.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include x64.nsh
!include WinVer.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade offers the folder of the installation it replaces.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Caption "$(SetupCaption)"
UninstallCaption "$(UninstallCaption)"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) 2026 the ${PRODUCT} developers (MIT License)"

!define MUI_ICON "${__FILEDIR__}/../src/app/MRP_Quillon.ico"
!define MUI_UNICON "${__FILEDIR__}/../src/app/MRP_Quillon.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PRODUCT}.exe"
!define MUI_FINISHPAGE_RUN_TEXT "$(FinishRun)"
; NSIS's own finish text fills the five lines of the standard box in
; Polish; the large box has seven, and the option moves down below it.
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.OptionsPage un.OptionsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!include "${__FILEDIR__}/Languages.nsh"

Var StartAtSignIn   ; ${BST_CHECKED} or ${BST_UNCHECKED}
Var SignInBox
Var RemoveSettings  ; ${BST_CHECKED} or ${BST_UNCHECKED}
Var RemoveBox
Var WasRunning      ; 1 when a running copy was closed for the installation
Var Closed          ; result of CloseRunningCopy: "none", "closed" or "stuck"

; Closes every running copy the way a user does: a close to its main window,
; so it saves its window position, then up to CLOSE_WAIT_MS for its process
; to end. Sets $Closed. A copy is found by its window class, whatever folder
; it runs from.
!macro CLOSE_RUNNING_COPY un
Function ${un}CloseRunningCopy
    StrCpy $Closed "none"
    StrCpy $R3 0
    ${Do}
        FindWindow $R0 "${WINDOW_CLASS}"
        ${If} $R0 == 0
            ${Break}
        ${EndIf}
        ; A window that is still there after its process was seen to end
        ; (or a fifth one) counts as a copy that does not close.
        IntOp $R3 $R3 + 1
        ${If} $R3 > 4
            StrCpy $Closed "stuck"
            ${Break}
        ${EndIf}
        StrCpy $Closed "closed"
        System::Call "user32::GetWindowThreadProcessId(p R0, *i 0 R1)"
        ; SYNCHRONIZE
        System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i R1) p .R2"
        System::Call "user32::PostMessage(p R0, i ${WM_CLOSE}, p 0, p 0)"
        ${If} $R2 == 0
            StrCpy $Closed "stuck"
            ${Break}
        ${EndIf}
        System::Call "kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R1"
        System::Call "kernel32::CloseHandle(p R2)"
        ${If} $R1 != 0  ; not WAIT_OBJECT_0
            StrCpy $Closed "stuck"
            ${Break}
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

; Closes a running copy or, when it does not end, tells the user and stops
; before anything is changed (silent: exit code 2).
!macro CLOSE_OR_STOP un
    ${Do}
        Call ${un}CloseRunningCopy
        ${If} $Closed != "stuck"
            ${Break}
        ${EndIf}
        ${If} ${Silent}
            SetErrorLevel 2
            Quit
        ${EndIf}
        ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" IDRETRY`
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${Loop}
!macroend

; "Run as administrator" from a standard account installs into the
; administrator's profile, and the program the setup starts then runs
; elevated, where Windows drops the DDE messages of the user's own programs.
; So a setup running elevated (its token's elevation type is full) while the
; desktop's shell runs with ordinary rights stops before it changes anything
; (silent: exit code 4). The shell is the yardstick, not the token alone:
; under Wine every process has a full token and there is no shell window,
; and with UAC off nothing is elevated. A shell whose rights cannot be read
; (another account's) counts as ordinary. Uses $0-$5.
Function StopWhenRunAsAdministrator
    ; TOKEN_QUERY = 8, TokenElevationType = 18, TokenElevationTypeFull = 2
    System::Call "kernel32::GetCurrentProcess() p .r4"
    System::Call "advapi32::OpenProcessToken(p r4, i 8, *p 0 r1) i .r0"
    ${If} $0 == 0
        Return
    ${EndIf}
    System::Call "advapi32::GetTokenInformation(p r1, i 18, *i 0 r2, i 4, *i 0 r3)"
    System::Call "kernel32::CloseHandle(p r1)"
    ${If} $2 != 2
        Return
    ${EndIf}
    System::Call "user32::GetShellWindow() p .r0"
    ${If} $0 == 0
        Return
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1)"
    ${If} $1 == 0
        Return
    ${EndIf}
    StrCpy $2 0
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call "kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r4"
    ${If} $4 != 0
        System::Call "advapi32::OpenProcessToken(p r4, i 8, *p 0 r5) i .r0"
        ${If} $0 != 0
            System::Call "advapi32::GetTokenInformation(p r5, i 18, *i 0 r2, i 4, *i 0 r3)"
            System::Call "kernel32::CloseHandle(p r5)"
        ${EndIf}
        System::Call "kernel32::CloseHandle(p r4)"
    ${EndIf}
    ${If} $2 == 2
        Return
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "$(RunAsAdministrator)" /SD IDOK
    SetErrorLevel 4
    Quit
FunctionEnd

; Removes every shortcut in the user's Startup folder whose target is a
; program named MRP_Quillon.exe, in whatever folder (the way the user guide
; tells users of the portable program to start it at sign-in): with the Run
; value as well, each sign-in would start a second copy, which says it is
; already running. Other shortcuts stay. The target is read through the
; shell's ShellLink object, as IShellLinkW::GetPath gives it.
!define CLSID_ShellLink "{00021401-0000-0000-C000-000000000046}"
!define IID_IShellLinkW "{000214F9-0000-0000-C000-000000000046}"
!define IID_IPersistFile "{0000010B-0000-0000-C000-000000000046}"
Function RemoveStartupShortcuts
    FindFirst $R0 $R1 "$SMSTARTUP\*.lnk"
    ${DoWhile} $R1 != ""
        StrCpy $R2 ""
        ; CLSCTX_INPROC_SERVER; the installer has initialised COM.
        System::Call "ole32::CoCreateInstance(g '${CLSID_ShellLink}', p 0, i 1, g '${IID_IShellLinkW}', *p .R3) i .R4"
        ${If} $R4 == 0
            ; IUnknown::QueryInterface, IPersistFile::Load (STGM_READ),
            ; IShellLinkW::GetPath, IUnknown::Release.
            System::Call "$R3->0(g '${IID_IPersistFile}', *p .R5) i .R4"
            ${If} $R4 == 0
                System::Call "$R5->5(w '$SMSTARTUP\$R1', i 0) i .R4"
                ${If} $R4 == 0
                    System::Call "$R3->3(w .R2, i ${NSIS_MAX_STRLEN}, p 0, i 0) i .R4"
                ${EndIf}
                System::Call "$R5->2()"
            ${EndIf}
            System::Call "$R3->2()"
        ${EndIf}
        ${GetFileName} "$R2" $R6
        ${If} $R6 == "${PRODUCT}.exe"  ; without regard to case
            Delete "$SMSTARTUP\$R1"
        ${EndIf}
        FindNext $R0 $R1
    ${Loop}
    FindClose $R0
FunctionEnd

Function .onInit
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_OK|MB_ICONSTOP "$(NeedsWindows7)" /SD IDOK
        SetErrorLevel 3
        Quit
    ${EndIf}
    Call StopWhenRunAsAdministrator
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; On by default; an upgrade keeps the choice made last time.
    StrCpy $StartAtSignIn ${BST_CHECKED}
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 != ""
    ${AndIf} $1 == ""
        StrCpy $StartAtSignIn ${BST_UNCHECKED}
    ${EndIf}
    StrCpy $WasRunning 0
FunctionEnd

Function OptionsPage
    !insertmacro MUI_HEADER_TEXT "$(OptionsTitle)" "$(OptionsSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateCheckbox} 0 0 100% 12u "$(SignInBox)"
    Pop $SignInBox
    ${NSD_SetState} $SignInBox $StartAtSignIn
    ${NSD_CreateLabel} 12u 16u -12u 36u "$(SignInNote)"
    Pop $0
    nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
    ${NSD_GetState} $SignInBox $StartAtSignIn
FunctionEnd

; The copy closed for an upgrade was started again already.
Function FinishPageShow
    ${If} $WasRunning == 1
        ${NSD_Uncheck} $mui.FinishPage.Run
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

Section "-Install"
    !insertmacro CLOSE_OR_STOP ""
    ${If} $Closed == "closed"
        StrCpy $WasRunning 1
    ${EndIf}

    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "/oname=${PRODUCT}.exe" "${EXE64}"
    ${Else}
        File "/oname=${PRODUCT}.exe" "${EXE32}"
    ${EndIf}
    File "${DOCS}/USER_GUIDE.txt"
    File "${DOCS}/LICENSE.txt"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PRODUCT}.exe" "" \
        "$INSTDIR\${PRODUCT}.exe" 0 SW_SHOWNORMAL "" "$(ShortcutComment)"
    ${If} $StartAtSignIn == ${BST_CHECKED}
        WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${PRODUCT}.exe"'
    ${Else}
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    Call RemoveStartupShortcuts

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    ; In KB, the files of the folder (not its subfolders).
    ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

    ${If} $WasRunning == 1
        Exec '"$INSTDIR\${PRODUCT}.exe"'
    ${EndIf}
SectionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    StrCpy $RemoveSettings ${BST_UNCHECKED}
FunctionEnd

Function un.OptionsPage
    !insertmacro MUI_HEADER_TEXT "$(UninstallTitle)" "$(UninstallSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 48u "$(UninstallNote)"
    Pop $0
    ${NSD_CreateCheckbox} 0 52u 100% 12u "$(RemoveBox)"
    Pop $RemoveBox
    ${NSD_SetState} $RemoveBox $RemoveSettings
    nsDialogs::Show
FunctionEnd

Function un.OptionsPageLeave
    ${NSD_GetState} $RemoveBox $RemoveSettings
FunctionEnd

Section "Uninstall"
    !insertmacro CLOSE_OR_STOP "un."

    Delete "$INSTDIR\${PRODUCT}.exe"
    Delete "$INSTDIR\USER_GUIDE.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Uninstall.exe"
    ${If} $RemoveSettings == ${BST_CHECKED}
        Delete "$INSTDIR\ErrorLog.txt"
        DeleteRegKey HKCU "${SETTINGS_KEY}"
    ${EndIf}
    ; Only when empty: a kept ErrorLog.txt, or files of the user's, stay.
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
