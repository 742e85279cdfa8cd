@echo off
rem Switches the web server on with sc, as an administrator scripts it.
rem On Windows the first line is "sc config IISADMIN start= auto".
rem (Wine 8: cmd mishandles "||" after a quoted command, and findstr matches
rem any line; hence errorlevel tests and find.)
"%~dp0set_start_type.exe" IISADMIN auto
if errorlevel 1 exit /b 1
sc start IISADMIN >nul
if errorlevel 1 exit /b 1
:iisadmin
sc query IISADMIN | find "RUNNING" >nul
if errorlevel 1 goto iisadmin
sc start W3SVC >nul
sc start MSFTPSVC >nul
exit /b 0
