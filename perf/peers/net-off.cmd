@echo off
rem Switches the web server off with net, as an administrator scripts it.
rem Windows' "net stop" returns once the service has stopped; Wine's returns
rem at once, so the script asks sc until W3SVC and IISADMIN have stopped.
net stop MSFTPSVC >nul
net stop W3SVC >nul
:w3svc
sc query W3SVC | find "STOPPED" >nul
if errorlevel 1 goto w3svc
net stop IISADMIN >nul
:iisadmin
sc query IISADMIN | find "STOPPED" >nul
if errorlevel 1 goto iisadmin
"%~dp0set_start_type.exe" IISADMIN disabled
if errorlevel 1 exit /b 1
exit /b 0
