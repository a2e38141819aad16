#!/usr/bin/env bash
# Runs kovrad_dll_test.exe under Wine against two emulated devices: COM1 a
# development kit, COM2 one that never answers (for the time-out).
#   run_wine_test.sh 32|64 <kovrad_dll_test.exe> <kovrad.dll> <satemu> <sale.xml> <cancellation.xml>
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
bits=$1
exe=$(readlink -f "$2") dll=$(readlink -f "$3") satemu=$(readlink -f "$4")
sale=$(readlink -f "$5") cancellation=$(readlink -f "$6")
source "$here/wine_session.sh"

wine_find "$bits"
work=$(mktemp -d "$PWD/wine-run.XXXXXX")
trap wine_cleanup EXIT

wine_kit_and_silent

mkdir "$work/program"
cp "$exe" "$dll" "$sale" "$cancellation" "$work/program/"
cd "$work/program"
"$WINE" ./kovrad_dll_test.exe 1 2 "$(basename "$sale")" "$(basename "$cancellation")"
