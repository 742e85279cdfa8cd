@echo off
rem Switches the web server off with sc, as an administrator scripts it.
rem On Windows the last line is "sc config IISADMIN start= disabled".
sc stop MSFTPSVC >nul
sc stop W3SVC >nul
:w3svc
sc query W3SVC | find "STOPPED" >nul
if errorlevel 1 goto w3svc
sc stop IISADMIN >nul
:iisadmin
sc query IISADMIN | find "STOPPED" >nul
if errorlevel 1 goto iisadmin
"%~dp0set_start_type.exe" IISADMIN disabled
if errorlevel 1 exit /b 1
exit /b 0
