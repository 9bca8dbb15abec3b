; Waits until no copy of the program runs, for the installer and the uninstaller alike; run
; before anything is replaced or removed. Each running copy holds the named mutex of the
; program's resource.h; a copy that another user runs may deny this one access to it, which
; tells as much. A program file that cannot be opened for writing is in use too, also by a copy
; too old to hold the mutex. Interactively the user is asked to close the program (Retry) or to
; give up (Cancel); silently, or on Cancel, the installer ends at once with exit code 2,
; having changed nothing.
;
;   !insertmacro KESTRANE_UNTIL_PROGRAM_CLOSED FOLDER QUIET
;
; FOLDER is where the program file may be; QUIET is 1 for a silent run.

!include LogicLib.nsh

!macro KESTRANE_UNTIL_PROGRAM_CLOSED FOLDER QUIET
    Push $R0
    Push $R1
    Push $R2
    ${Do}
        StrCpy $R0 0
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Global\KestraneSignalSimulatorRunning") p .R1 ?e'
        Pop $R2
        ${If} $R1 <> 0
            System::Call 'kernel32::CloseHandle(p R1)'
            StrCpy $R0 1
        ${ElseIf} $R2 = 5
            StrCpy $R0 1
        ${ElseIf} ${FileExists} "${FOLDER}\kestrane-signal-simulator.exe"
            ClearErrors
            FileOpen $R1 "${FOLDER}\kestrane-signal-simulator.exe" a
            ${If} ${Errors}
                StrCpy $R0 1
            ${Else}
                FileClose $R1
            ${EndIf}
        ${EndIf}
        ${If} $R0 = 0
            ${Break}
        ${EndIf}
        ${If} ${QUIET} = 1
            SetErrorLevel 2
            Quit
        ${EndIf}
        ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Kestrane Signal Simulator is running. Close every Kestrane Signal Simulator window, then choose Retry." IDRETRY`
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${Loop}
    Pop $R2
    Pop $R1
    Pop $R0
!macroend

; Shows MESSAGE (unless QUIET is 1) and ends the installer with exit code 2.
!macro KESTRANE_FAIL MESSAGE QUIET
    DetailPrint "${MESSAGE}"
    ${If} ${QUIET} <> 1
        MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}"
    ${EndIf}
    SetErrorLevel 2
    Quit
!macroend
