@echo off
rem Unregisters the GCmpSH0 imaging decoder that install.cmd registered. Run
rem it the way install.cmd was run: as administrator to remove the decoder
rem for every user, otherwise for you alone.
setlocal
set "here=%~dp0"
set "scope=user"
net session >nul 2>&1 && set "scope=machine"
set "system=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  "%system%\regsvr32.exe" /s /u /n /i:%scope% "%here%64-bit\orbelint_wic.dll" || goto failed
  "%SystemRoot%\SysWOW64\regsvr32.exe" /s /u /n /i:%scope% "%here%32-bit\orbelint_wic.dll" || goto failed
) else (
  "%system%\regsvr32.exe" /s /u /n /i:%scope% "%here%32-bit\orbelint_wic.dll" || goto failed
)
echo The GCmpSH0 decoder is unregistered (for the %scope%).
exit /b 0
:failed
echo The GCmpSH0 decoder could not be unregistered.
exit /b 1
