@echo off
rem Registers the GCmpSH0 imaging decoder, so that Explorer (thumbnails too),
rem Photos, Paint and every program that reads pictures through Windows
rem Imaging Component open GCmpSH0 pictures. Run as administrator, it
rem registers the decoder for every user of this computer; otherwise for you
rem alone. The DLLs are used where they are: keep this folder where it is.
setlocal
set "here=%~dp0"
set "scope=user"
net session >nul 2>&1 && set "scope=machine"
rem From a 32-bit command prompt on 64-bit Windows, System32 is reached as Sysnative.
set "system=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  rem 64-bit Windows: the 64-bit DLL for 64-bit programs, the 32-bit one for 32-bit programs.
  "%system%\regsvr32.exe" /s /n /i:%scope% "%here%64-bit\orbelint_wic.dll" || goto failed
  "%SystemRoot%\SysWOW64\regsvr32.exe" /s /n /i:%scope% "%here%32-bit\orbelint_wic.dll" || goto failed
) else (
  "%system%\regsvr32.exe" /s /n /i:%scope% "%here%32-bit\orbelint_wic.dll" || goto failed
)
echo The GCmpSH0 decoder is registered (for the %scope%).
exit /b 0
:failed
echo The GCmpSH0 decoder could not be registered.
exit /b 1
