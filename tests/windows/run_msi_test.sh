#!/usr/bin/env bash
# Installs kovrad's x64 MSI silently under wine64, runs kovrad_dll_test.exe
# against the installed kovrad.dll, then removes it silently again; then the
# x86 MSI, as it installs on a 64-bit Windows.
#   run_msi_test.sh <kovrad-version> <32-bit kovrad.dll> <64-bit kovrad.dll> <kovrad_dll_test.exe>
#                   <satemu> <sale.xml> <cancellation.xml>
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
msi64=$(readlink -f "$1-x64.msi") msi32=$(readlink -f "$1-x86.msi") dll32=$(readlink -f "$2") dll64=$(readlink -f "$3")
exe=$(readlink -f "$4") satemu=$(readlink -f "$5")
sale=$(readlink -f "$6") cancellation=$(readlink -f "$7")
source "$here/wine_session.sh"

wine_find 64
for msi in "$msi64" "$msi32"; do
  [[ -f $msi ]] || { echo "no installer at $msi: build the mingw-i686 preset, then mingw-x86_64"; exit 1; }
done
work=$(mktemp -d "$PWD/wine-msi.XXXXXX")
trap wine_cleanup EXIT

wine_kit_and_silent

passed=0 failed=0
check() {
  if eval "$2"; then passed=$((passed + 1)); else echo "FAILED: $1"; failed=$((failed + 1)); fi
}
windows=$WINEPREFIX/drive_c/windows
documents=("$WINEPREFIX/drive_c/Program Files/kovrad" "$WINEPREFIX/drive_c/Program Files (x86)/kovrad")

# Installs <msi> and checks what every package puts in place: the 32-bit DLL
# where 32-bit programs find it, the documents in <folder>.
install() {
  local msi=$1 folder=$2 file
  check "msiexec /i $msi /qn" '"$WINE" msiexec /i "$msi" /qn'
  check "32-bit kovrad.dll in SysWOW64" 'cmp -s "$dll32" "$windows/syswow64/kovrad.dll"'
  for file in kovrad.h functions.md LICENSE.txt; do
    check "$file in ${folder#"$WINEPREFIX/"}" '[[ -s "$folder/$file" ]]'
  done
}

# Removes <msi> and checks that nothing of it is left.
remove() {
  local msi=$1 folder=$2 file
  check "msiexec /x $msi /qn" '"$WINE" msiexec /x "$msi" /qn'
  for file in "$windows/system32/kovrad.dll" "$windows/syswow64/kovrad.dll" "$folder"; do
    check "${file#"$WINEPREFIX/"} removed" '[[ ! -e "$file" ]]'
  done
}

# The program and the installers go in without kovrad.dll beside them: the
# program must find the installed one.
mkdir "$work/program"
cp "$msi64" "$msi32" "$exe" "$sale" "$cancellation" "$work/program/"
cd "$work/program"
msi=$(basename "$msi64")
install "$msi" "${documents[0]}"
check "64-bit kovrad.dll in System32" 'cmp -s "$dll64" "$windows/system32/kovrad.dll"'
check "the program against the installed kovrad.dll" \
  '"$WINE" ./kovrad_dll_test.exe 1 2 "$(basename "$sale")" "$(basename "$cancellation")" installed'
remove "$msi" "${documents[0]}"

msi=$(basename "$msi32")
install "$msi" "${documents[1]}"
check "no 64-bit kovrad.dll from the x86 MSI" '[[ ! -e "$windows/system32/kovrad.dll" ]]'
remove "$msi" "${documents[1]}"

echo "$passed passed, $failed failed"
((failed == 0))
