@echo off
rem Switches the web server on with net, as an administrator scripts it.
rem Windows' "net start" returns once the service runs; Wine's returns at
rem once, so the script asks sc until IISADMIN runs.
"%~dp0set_start_type.exe" IISADMIN auto
if errorlevel 1 exit /b 1
net start IISADMIN >nul
:iisadmin
sc query IISADMIN | find "RUNNING" >nul
if errorlevel 1 goto iisadmin
net start W3SVC >nul
net start MSFTPSVC >nul
exit /b 0
