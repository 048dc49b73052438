; The per-user installer of Revertly. Built by scripts/package with Debian's makensis:
;   makensis -DVERSION=<x.y.z> -DEXE=<revertly.exe> -DSRCDIR=<checkout> -DOUTFILE=<setup.exe>
;            installer/revertly.nsi
; It needs no administrator: everything goes into the user's own profile and registry hive.
; Installing over a running copy, and uninstalling, first ask that copy to end; when it does
; not end within 5 seconds nothing is replaced or removed.

!ifndef VERSION | EXE | SRCDIR | OUTFILE
  !error "scripts/package passes VERSION, EXE, SRCDIR and OUTFILE"
!endif

Unicode true
; The 64-bit stub: revertly.exe is a 64-bit program, and 64-bit-only Wine runs no other.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "Revertly"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The class of the program's hidden main window, and its settings file in the user's data
; folder when the program's own folder refuses it.
!define WINDOW_CLASS "RevertlyMainWindow"
!define DATA_FOLDER "$APPDATA\${PRODUCT}"
; The kept history: the clipboard's states sealed on disk, never roaming.
!define KEPT_FOLDER "$LOCALAPPDATA\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Revertly"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${SRCDIR}/src/app/revertly.ico"
!define MUI_UNICON "${SRCDIR}/src/app/revertly.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup installs ${PRODUCT} ${VERSION} for you alone, in $INSTDIR. It needs no administrator.$\r$\n$\r$\n${PRODUCT} keeps an undo history of the clipboard: Win+Z undoes, Win+X redoes, Win+C clears the history. It runs in the notification area."
!define MUI_FINISHPAGE_RUN "$INSTDIR\revertly.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running copy to end as Windows' task manager does (WM_CLOSE, which the program
; takes for a shutdown) and waits up to 5 s for its process to end. When one runs and does
; not end, an interactive run says so and stops; a silent one stops with exit code 2 (the
; error level of a run aborted by its script). Either way nothing has been changed yet.
!macro END_RUNNING_COPY un
Function ${un}EndRunningCopy
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 == 0
    Return
  ${EndIf}
  System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1) i"
  ; SYNCHRONIZE: enough to wait for the process's end.
  System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"
  System::Call "user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)"
  StrCpy $3 1
  ${If} $2 P<> 0
    System::Call "kernel32::WaitForSingleObject(p r2, i 5000) i .r3"
    System::Call "kernel32::CloseHandle(p r2)"
  ${EndIf}
  ${If} $3 != 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running and did not end. Choose Exit in its tray menu, then run this again." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd
!macroend
!insertmacro END_RUNNING_COPY ""
!insertmacro END_RUNNING_COPY "un."

Section "Install"
  SetShellVarContext current
  Call EndRunningCopy
  SetOutPath "$INSTDIR"
  ; The installed file carries the time of its installation, not of its build.
  SetDateSave off
  File "/oname=revertly.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\revertly.exe" "" "$INSTDIR\revertly.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\revertly.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The real target of the shell link in $0, read through IShellLinkW from the link's item list
; (Wine keeps the link's path text in the ANSI code page only), into $1; empty when the link
; cannot be read.
Function un.LinkTarget
  StrCpy $1 ""
  System::Call "ole32::CoCreateInstance(g '{00021401-0000-0000-C000-000000000046}', p 0, i 1, g '{000214F9-0000-0000-C000-000000000046}', *p .r2) i .r9"
  ${If} $9 != 0
    Return
  ${EndIf}
  ; IShellLinkW::QueryInterface(IID_IPersistFile), IPersistFile::Load, IShellLinkW::GetIDList.
  System::Call "$2->0(g '{0000010b-0000-0000-C000-000000000046}', *p .r3) i .r9"
  ${If} $9 = 0
    System::Call "$3->5(w r0, i 0) i .r9"
    ${If} $9 = 0
      System::Call "$2->4(*p .r4) i .r9"
      ${If} $9 = 0
        System::Call "shell32::SHGetPathFromIDListW(p r4, w .r1)"
        System::Call "ole32::CoTaskMemFree(p r4)"
      ${EndIf}
    ${EndIf}
    System::Call "$3->2()"
  ${EndIf}
  System::Call "$2->2()"
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.EndRunningCopy

  ; The shortcut that "Autorun the program" made goes when it starts this installation's
  ; copy; one that starts a copy elsewhere (a portable one) is that copy's.
  StrCpy $0 "$SMSTARTUP\${PRODUCT}.lnk"
  ${If} ${FileExists} $0
    Call un.LinkTarget
    ; Both paths as the file system compares them: "/" and "\" alike, "." and ".."
    ; resolved; StrCmp, like Windows, compares without regard to case.
    StrCpy $6 "$INSTDIR\revertly.exe"
    System::Call "kernel32::GetFullPathNameW(w r1, i ${NSIS_MAX_STRLEN}, w .r5, p 0)"
    System::Call "kernel32::GetFullPathNameW(w r6, i ${NSIS_MAX_STRLEN}, w .r6, p 0)"
    ${If} $5 != ""
    ${AndIf} $5 == $6
      Delete $0
    ${EndIf}
  ${EndIf}

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\revertly.exe"
  Delete "$INSTDIR\revertly.txt"
  ; A save cut short leaves its temporary file (revertly.txt.<process id>-<n>.tmp) behind.
  Delete "$INSTDIR\revertly.txt*.tmp"
  Delete "${DATA_FOLDER}\revertly.txt"
  Delete "${DATA_FOLDER}\revertly.txt*.tmp"
  RMDir "${DATA_FOLDER}"
  ; The kept history's files (*.rvk: the states, the index, the key, and a lock file that a
  ; power cut left behind) and the temporary files of writes cut short
  ; (<file>.rvk.<process id>-<n>.tmp).
  Delete "${KEPT_FOLDER}\*.rvk"
  Delete "${KEPT_FOLDER}\*.rvk*.tmp"
  RMDir "${KEPT_FOLDER}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
