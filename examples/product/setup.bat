@echo off
rem The example product's installer. The package starts it in the folder it
rem unpacked itself into, waits for it, and removes the folder afterwards.
echo Example Product would now be installed from %CD%.
pause
