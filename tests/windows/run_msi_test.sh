#!/usr/bin/env bash
# Installs kovrad's MSI silently under wine64, runs kovrad_dll_test.exe
# against the installed kovrad.dll, then removes it silently again.
#   run_msi_test.sh <kovrad.msi> <32-bit kovrad.dll> <64-bit kovrad.dll> <kovrad_dll_test.exe>
#                   <satemu> <sale.xml> <cancellation.xml>
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
msi=$(readlink -f "$1") dll32=$(readlink -f "$2") dll64=$(readlink -f "$3")
exe=$(readlink -f "$4") satemu=$(readlink -f "$5")
sale=$(readlink -f "$6") cancellation=$(readlink -f "$7")
source "$here/wine_session.sh"

wine_find 64
[[ -f $msi ]] || { echo "no installer at $msi: build the mingw-i686 preset, then mingw-x86_64"; exit 1; }
work=$(mktemp -d "$PWD/wine-msi.XXXXXX")
trap wine_cleanup EXIT

wine_kit_and_silent

passed=0 failed=0
check() {
  if eval "$2"; then passed=$((passed + 1)); else echo "FAILED: $1"; failed=$((failed + 1)); fi
}
windows=$WINEPREFIX/drive_c/windows
program_files=$WINEPREFIX/drive_c/"Program Files"/kovrad

# The program and the installer go in without kovrad.dll beside them: the
# program must find the installed one.
mkdir "$work/program"
cp "$msi" "$exe" "$sale" "$cancellation" "$work/program/"
cd "$work/program"
check "msiexec /i /qn" '"$WINE" msiexec /i "$(basename "$msi")" /qn'
check "64-bit kovrad.dll in System32" 'cmp -s "$dll64" "$windows/system32/kovrad.dll"'
check "32-bit kovrad.dll in SysWOW64" 'cmp -s "$dll32" "$windows/syswow64/kovrad.dll"'
for file in kovrad.h functions.md LICENSE.txt; do
  check "$file in Program Files\\kovrad" '[[ -s "$program_files/$file" ]]'
done
check "the program against the installed kovrad.dll" \
  '"$WINE" ./kovrad_dll_test.exe 1 2 "$(basename "$sale")" "$(basename "$cancellation")" installed'
check "msiexec /x /qn" '"$WINE" msiexec /x "$(basename "$msi")" /qn'
for file in "$windows/system32/kovrad.dll" "$windows/syswow64/kovrad.dll" "$program_files"; do
  check "$file removed" '[[ ! -e "$file" ]]'
done

echo "$passed passed, $failed failed"
((failed == 0))
