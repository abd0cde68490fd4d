; Tavix CallerID: the Windows installer.
;
; scripts/package-windows builds it with makensis from the folders scripts/build-windows made,
; defining:
;   ARCH          i686 (the build that ships) or x86_64 (the test twin): the installer has the
;                 program's bitness, so Program Files and HKEY_LOCAL_MACHINE\Software are the
;                 ones the program sees (on 64-bit Windows a 32-bit program's are
;                 "Program Files (x86)" and the registry's 32-bit view)
;   VERSION       the program's version, e.g. 1.0.0
;   FILES         an include with the macros InstallProgramFiles and RemoveProgramFiles, made
;                 from the program's folder
;   SIMULATOR     the folder of the simulated TavixHardware.dll and tavix-sim.exe
;   DEFAULT_HOST  the web application's host the build was made for; may be empty
;   OUTFILE       the installer to write
;   SIGN          optional: a command that signs, in place, the file named as its last argument
;
; Unattended: SETUP.exe /S [/LIBRARY=FILE] [/SIMULATOR=yes|no] [/HOST=NAME[:PORT]]
;                          [/STARTUP=yes|no] [/DESKTOP=yes|no] [/D=FOLDER]
; /D= must come last and without quotes. A refused installation exits with 2 and says why on
; standard error (redirect it to read it: start /wait SETUP.exe /S ... 2>setup-errors.txt).

Unicode true
!if "${ARCH}" == "x86_64"
    Target amd64-unicode
    !define BITS 64
!else if "${ARCH}" == "i686"
    Target x86-unicode
    !define BITS 32
!else
    !error "ARCH must be i686 or x86_64"
!endif

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WordFunc.nsh

!define PRODUCT "Tavix CallerID"
!define PROGRAM "tavix-callerid.exe"
!define LIBRARY "TavixHardware.dll"
!define SETTINGS_KEY "Software\Tavix\CallerID"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define ICON "${__FILEDIR__}/../../share/windows/tavix-callerid.ico"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Tavix"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup (${BITS}-bit)"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Tavix"

!ifdef SIGN
    !finalize '${SIGN} "%1"'
    !uninstfinalize '${SIGN} "%1"'
!endif

!include "${FILES}"

Var Library         ; the shop's device library to copy, or empty
Var LibraryField
Var Host            ; the web application's host for every user, or empty
Var HostField

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom LibraryPage LibraryPageLeave
Page custom HostPage HostPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. It starts from the Start menu and, if you \
    chose so, when anyone logs on to Windows.$\r$\n$\r$\nEach user enters the web application's \
    login in its main window and presses SAVE."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been removed from this computer.$\r$\n$\r$\nKept: \
    each user's login and web application host (HKEY_CURRENT_USER\${SETTINGS_KEY}) and the \
    activity log (C:\tavix.log, or tavix.log in the user's %LOCALAPPDATA%\Tavix). Delete them \
    yourself when they are no longer needed."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; The reason, then the end: on standard error with exit code 2 when silent, else in a box.
!macro Refuse TEXT
    Push `${TEXT}`
    !ifdef __UNINSTALL__
        Call un.Refuse
    !else
        Call Refuse
    !endif
!macroend
!define Refuse "!insertmacro Refuse"
!macro RefuseFunction PREFIX
    Function ${PREFIX}Refuse
        Exch $0
        ${If} ${Silent}
            System::Call 'kernel32::GetStdHandle(i -12) p .r1'
            ${If} $1 P<> 0
            ${AndIf} $1 P<> -1
                FileWrite $1 "${PRODUCT} setup: $0$\r$\n"
            ${EndIf}
        ${Else}
            MessageBox MB_OK|MB_ICONSTOP "$0"
        ${EndIf}
        SetErrorLevel 2
        Quit
    FunctionEnd
!macroend
!insertmacro RefuseFunction ""
!insertmacro RefuseFunction "un."

; Files of a running program cannot be replaced or removed; it runs once per signed-in user.
!macro WaitUntilClosedFunction PREFIX
    Function ${PREFIX}WaitUntilProgramClosed
        ${DoWhile} ${FileExists} "$INSTDIR\${PROGRAM}"
            ClearErrors
            FileOpen $0 "$INSTDIR\${PROGRAM}" a
            ${IfNot} ${Errors}
                FileClose $0
                ${Break}
            ${EndIf}
            ${If} ${Silent}
                ${Refuse} "${PRODUCT} is running. Close it for every user signed in to this \
                    computer, then run this again."
            ${EndIf}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running. Close it for \
                every user signed in to this computer, then press Retry." IDRETRY +2
            Quit
        ${Loop}
    FunctionEnd
!macroend
!insertmacro WaitUntilClosedFunction ""
!insertmacro WaitUntilClosedFunction "un."

Section "!${PRODUCT}" SecProgram
    SectionIn RO
    Call WaitUntilProgramClosed
    !insertmacro InstallProgramFiles
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}"

    ; Every user's copy of the program reads it where the user has set no host of their own.
    ${If} $Host != ""
        WriteRegStr HKLM "${SETTINGS_KEY}" "host" "$Host"
    ${Else}
        DeleteRegValue HKLM "${SETTINGS_KEY}" "host"
        DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tavix"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The shop's own library, when one was chosen; it always wins over the simulated box.
Section "-Device library"
    ${If} $Library == ""
        Return
    ${EndIf}
    ${If} $Library != "$INSTDIR\${LIBRARY}"
        DetailPrint "Device library: $Library"
        ClearErrors
        CopyFiles /SILENT "$Library" "$INSTDIR\${LIBRARY}"
        ${If} ${Errors}
            ${Refuse} "Cannot copy the device library $Library into $INSTDIR."
        ${EndIf}
    ${EndIf}
    ; The simulated box's tool of an earlier installation talks to nothing now.
    Delete "$INSTDIR\tavix-sim.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DeviceLibrary" "shop"
SectionEnd

Section /o "Simulated AD101 box" SecSimulator
    Call ShopLibraryInPlace
    Pop $0
    ${If} $0 == 1
        DetailPrint "The simulated box is not installed: the shop's device library stays in place."
        Return
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${SIMULATOR}/${LIBRARY}"
    File "${SIMULATOR}/tavix-sim.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DeviceLibrary" "simulated"
SectionEnd

Section /o "Desktop shortcut" SecDesktop
    CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}"
SectionEnd

Section "Start with Windows" SecStartup
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${PROGRAM}"'
SectionEnd

; What an earlier installation made and this one was asked not to.
Section "-Options left out"
    ${IfNot} ${SectionIsSelected} ${SecDesktop}
        Delete "$DESKTOP\${PRODUCT}.lnk"
    ${EndIf}
    ${IfNot} ${SectionIsSelected} ${SecStartup}
        DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The program, the libraries it needs and its \
        Start menu entry."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSimulator} "A simulated AD101 box and its remote \
        control, tavix-sim, to try the program without the hardware. Never installed over the \
        box's own device library."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "A shortcut on every user's desktop."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartup} "Start ${PRODUCT} when anyone logs on to \
        Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; 1 on the stack when the shop's library is, or will be, the program's: chosen now, or chosen
; by an earlier installation into this folder.
Function ShopLibraryInPlace
    ${If} $Library != ""
        Push 1
        Return
    ${EndIf}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DeviceLibrary"
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == "shop"
    ${AndIf} $1 == $INSTDIR
    ${AndIf} ${FileExists} "$INSTDIR\${LIBRARY}"
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

Var File
; The $R1-byte little-endian number at offset $R0 of the open $File into $R2; uses $R3 and $R4.
Function ReadNumber
    FileSeek $File $R0 SET
    StrCpy $R2 0
    StrCpy $R3 0
    ${DoWhile} $R1 > 0
        FileReadByte $File $R4
        IntOp $R4 $R4 << $R3
        IntOp $R2 $R2 | $R4
        IntOp $R3 $R3 + 8
        IntOp $R1 $R1 - 1
    ${Loop}
FunctionEnd
!macro ReadNumber OFFSET SIZE VAR
    StrCpy $R0 ${OFFSET}
    StrCpy $R1 ${SIZE}
    Call ReadNumber
    StrCpy ${VAR} $R2
!macroend

; What is wrong with $Library as this program's device library (a Windows DLL of its bitness),
; or nothing, on the stack.
Function LibraryProblem
    ${If} ${FileExists} "$Library\*.*"
    ${OrIfNot} ${FileExists} "$Library"
        Push "There is no file $Library."
        Return
    ${EndIf}
    ClearErrors
    FileOpen $File "$Library" r
    ${If} ${Errors}
        Push "Cannot read $Library."
        Return
    ${EndIf}
    ; The PE header: "MZ"; at 60 the offset of "PE\0\0", which the machine follows and, 18
    ; bytes on, the characteristics (0x2000: a DLL).
    !insertmacro ReadNumber 0 2 $1
    !insertmacro ReadNumber 60 4 $2
    !insertmacro ReadNumber $2 4 $3
    IntOp $0 $2 + 4
    !insertmacro ReadNumber $0 2 $4
    IntOp $0 $2 + 22
    !insertmacro ReadNumber $0 2 $5
    FileClose $File
    !if ${BITS} == 64
        !define MACHINE 0x8664
    !else
        !define MACHINE 0x14c
    !endif
    IntOp $5 $5 & 0x2000
    ${If} $1 <> 0x5a4d
    ${OrIf} $3 <> 0x4550
    ${OrIf} $5 == 0
        Push "$Library is not a Windows library (DLL)."
    ${ElseIf} $4 <> ${MACHINE}
        Push "$Library is not a ${BITS}-bit library, as ${PRODUCT} needs."
    ${Else}
        Push ""
    ${EndIf}
    !undef MACHINE
FunctionEnd

; Why the device library choice cannot be installed, or nothing, on the stack.
Function DeviceLibraryChoiceProblem
    ${If} $Library != ""
        Call LibraryProblem
        Pop $0
        ${If} $0 != ""
            Push "$0 Choose the AD101 box's device library, ${LIBRARY}, from the box's CD or \
                its vendor."
            Return
        ${EndIf}
        Push ""
        Return
    ${EndIf}
    Call ShopLibraryInPlace
    Pop $0
    ${If} $0 == 1
    ${OrIf} ${SectionIsSelected} ${SecSimulator}
        Push ""
        Return
    ${EndIf}
    ${If} ${Silent}
        StrCpy $0 "/SIMULATOR=yes"
    ${Else}
        StrCpy $0 "the component $\"Simulated AD101 box$\""
    ${EndIf}
    Push "${PRODUCT} cannot work without the AD101 box's device library. Choose the box's \
        ${LIBRARY} (from its CD or its vendor), or install the simulated box ($0) to try the \
        program without the hardware."
FunctionEnd

; Why $Host is not a host name with an optional port, or nothing, on the stack.
Function HostProblem
    StrCpy $8 ""
    ; Only what names and ports are made of; a colon neither first nor last ("https:" is what a
    ; mistyped address leaves when a script cuts it at the slashes).
    StrCpy $3 $Host 1
    StrCpy $4 $Host 1 -1
    ${If} $3 == ":"
    ${OrIf} $4 == ":"
        StrCpy $8 bad
    ${EndIf}
    StrLen $1 $Host
    StrCpy $2 0
    ${DoWhile} $2 < $1
        StrCpy $3 $Host 1 $2
        ; StrCmp is case-blind, so the lower-case letters stand for both.
        StrCpy $4 "abcdefghijklmnopqrstuvwxyz0123456789.-:[]"
        StrLen $5 $4
        StrCpy $6 0
        ${DoWhile} $6 < $5
            StrCpy $7 $4 1 $6
            ${IfThen} $3 == $7 ${|} ${Break} ${|}
            IntOp $6 $6 + 1
        ${Loop}
        ${If} $6 == $5
            StrCpy $8 bad
            ${Break}
        ${EndIf}
        IntOp $2 $2 + 1
    ${Loop}
    ${If} $8 == ""
        Push ""
    ${Else}
        Push "$\"$Host$\" is not a host name. Give the web application's host name only, \
            optionally with :port, for example pos.myshop.example or pos.myshop.example:8443 \
            (no https:// and no path)."
    ${EndIf}
FunctionEnd

!macro TrimTrailingBlanks VAR
    ${DoWhile} ${VAR} != ""
        StrCpy $R9 ${VAR} 1 -1
        ${IfThen} $R9 != " " ${|} ${Break} ${|}
        StrCpy ${VAR} ${VAR} -1
    ${Loop}
!macroend
!define TrimTrailingBlanks "!insertmacro TrimTrailingBlanks"

; The value of the option /NAME= of the command line into VAR, with the error flag set when the
; option is not there. Unlike GetOptions this keeps a "/" inside a value (C:/Vendor/..., or a
; mistyped https://): a value runs to the next " /" or the end, or is quoted, or the whole option
; is ("/LIBRARY=C:\Vendor Files\TavixHardware.dll").
!macro GetOption NAME VAR
    Push "/${NAME}="
    Call GetOption
    Pop $R9
    Pop ${VAR}
    ${If} $R9 == 0
        SetErrors
    ${EndIf}
!macroend
; Takes the option from the stack and leaves its value, then 1 when it was found, else 0.
Function GetOption
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $3 1
    ${GetParameters} $1
    StrCpy $1 " $1"
    ClearErrors
    ${WordFind} "$1" ` "$0` "E+1}" $2
    ${IfNot} ${Errors}
        ${WordFind} "$2" `"` "+1{" $2
    ${Else}
        ClearErrors
        ${WordFind} "$1" " $0" "E+1}" $2
        ${If} ${Errors}
            StrCpy $2 ""
            StrCpy $3 0
        ${Else}
            StrCpy $1 $2 1
            ${If} $1 == `"`
                StrCpy $2 $2 "" 1
                ${WordFind} "$2" `"` "+1{" $2
            ${Else}
                ${WordFind} "$2" " /" "+1{" $2
                ${TrimTrailingBlanks} $2
            ${EndIf}
        ${EndIf}
    ${EndIf}
    StrCpy $0 $2
    StrCpy $1 $3
    Pop $3
    Pop $2
    Exch $1
    Exch
    Exch $0
    Exch
FunctionEnd

; yes or no of a /NAME= option into the section, which keeps its default when it is not given.
!macro SectionOption NAME SECTION
    !insertmacro GetOption ${NAME} $0
    ${IfNot} ${Errors}
        ${If} $0 == "yes"
            !insertmacro SelectSection ${SECTION}
        ${ElseIf} $0 == "no"
            !insertmacro UnselectSection ${SECTION}
        ${Else}
            ${Refuse} "/${NAME}= takes yes or no, not $\"$0$\"."
        ${EndIf}
    ${EndIf}
!macroend

Function .onInit
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
        ${Refuse} "Installing ${PRODUCT} needs an administrator: it writes to $PROGRAMFILES and \
            to HKEY_LOCAL_MACHINE."
    ${EndIf}

    ; An earlier installation's host, else the build's.
    ClearErrors
    ReadRegStr $Host HKLM "${SETTINGS_KEY}" "host"
    ${If} ${Errors}
        StrCpy $Host "${DEFAULT_HOST}"
    ${EndIf}

    ; Installing again: the earlier installation's choices are the defaults.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
        ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DeviceLibrary"
        ${If} $0 == "simulated"
            !insertmacro SelectSection ${SecSimulator}
        ${EndIf}
        ${If} ${FileExists} "$DESKTOP\${PRODUCT}.lnk"
            !insertmacro SelectSection ${SecDesktop}
        ${EndIf}
        ClearErrors
        ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
        ${If} ${Errors}
            !insertmacro UnselectSection ${SecStartup}
        ${EndIf}
    ${EndIf}

    !insertmacro GetOption LIBRARY $0
    ${IfNot} ${Errors}
        ${WordReplace} $0 "/" "\" "+" $Library
    ${EndIf}
    !insertmacro GetOption HOST $0
    ${IfNot} ${Errors}
        StrCpy $Host $0
    ${EndIf}
    !insertmacro SectionOption SIMULATOR ${SecSimulator}
    !insertmacro SectionOption STARTUP ${SecStartup}
    !insertmacro SectionOption DESKTOP ${SecDesktop}

    ${If} ${Silent}
        Call DeviceLibraryChoiceProblem
        Pop $0
        ${If} $0 != ""
            ${Refuse} $0
        ${EndIf}
        Call HostProblem
        Pop $0
        ${If} $0 != ""
            ${Refuse} $0
        ${EndIf}
    ${EndIf}
FunctionEnd

Function LibraryPage
    !insertmacro MUI_HEADER_TEXT "Device library" "Where is the AD101 box's ${LIBRARY}?"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "${PRODUCT} works the AD101 caller-ID box through the \
        box's device library, ${LIBRARY}, which comes with the box (on its CD or from its \
        vendor). Choose that file: it is copied into the program's folder, the only place the \
        program loads it from."
    Pop $0
    ${NSD_CreateFileRequest} 0 40u -60u 13u "$Library"
    Pop $LibraryField
    ${NSD_CreateBrowseButton} -55u 39u 55u 15u "&Browse..."
    Pop $0
    ${NSD_OnClick} $0 BrowseLibrary
    Call ShopLibraryInPlace
    Pop $0
    ${If} $0 == 1
        StrCpy $1 "Leave it empty to keep the device library installed earlier."
    ${ElseIf} ${SectionIsSelected} ${SecSimulator}
        StrCpy $1 "Leave it empty to use the simulated box you selected, for trying the \
            program without the hardware."
    ${Else}
        StrCpy $1 "Without the box: go back to the components and select $\"Simulated AD101 \
            box$\" to try the program on a simulated one."
    ${EndIf}
    ${NSD_CreateLabel} 0 62u 100% 24u "$1"
    Pop $0
    nsDialogs::Show
FunctionEnd

Function BrowseLibrary
    ${NSD_GetText} $LibraryField $0
    nsDialogs::SelectFileDialog open "$0" \
        "Device library (${LIBRARY})|${LIBRARY}|Libraries (*.dll)|*.dll|All files|*.*"
    Pop $0
    ${IfThen} $0 != "" ${|} ${NSD_SetText} $LibraryField "$0" ${|}
FunctionEnd

Function LibraryPageLeave
    ${NSD_GetText} $LibraryField $0
    ${WordReplace} $0 "/" "\" "+" $Library
    Call DeviceLibraryChoiceProblem
    Pop $0
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
        Abort
    ${EndIf}
FunctionEnd

Function HostPage
    !insertmacro MUI_HEADER_TEXT "Web application" "Where ${PRODUCT} sends each caller's number"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "The host name of the shop's web application, optionally \
        with :port, for example pos.myshop.example or pos.myshop.example:8443. Every user of \
        this computer sends callers there, unless the user has set a host of their own."
    Pop $0
    ${NSD_CreateText} 0 40u 100% 13u "$Host"
    Pop $HostField
    ${NSD_CreateLabel} 0 62u 100% 44u "Leave it empty to send nothing: callers are still shown \
        and logged.$\r$\n$\r$\nThe web application's certificate must be one Windows trusts: \
        if it comes from the shop's own certificate authority, add that authority to the \
        Windows certificate store."
    Pop $0
    nsDialogs::Show
FunctionEnd

Function HostPageLeave
    ${NSD_GetText} $HostField $Host
    Call HostProblem
    Pop $0
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
        Abort
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.WaitUntilProgramClosed
    !insertmacro RemoveProgramFiles
    Delete "$INSTDIR\${LIBRARY}"
    Delete "$INSTDIR\tavix-sim.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$DESKTOP\${PRODUCT}.lnk"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ; The host this installer wrote for every user; the users' own settings stay.
    DeleteRegValue HKLM "${SETTINGS_KEY}" "host"
    DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Tavix"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
        ${Refuse} "Removing ${PRODUCT} needs an administrator."
    ${EndIf}
FunctionEnd
