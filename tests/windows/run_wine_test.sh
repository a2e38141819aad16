#!/usr/bin/env bash
# Runs kovrad_dll_test.exe under Wine against two emulated devices: COM1
# answers, COM2 never does (for the time-out).
#   run_wine_test.sh <kovrad_dll_test.exe> <kovrad.dll> <satemu> <sale.xml>
set -euo pipefail
exe=$(readlink -f "$1") dll=$(readlink -f "$2") satemu=$(readlink -f "$3") sale=$(readlink -f "$4")

# Wine's loader is a 32-bit program: on a machine whose kernel cannot execute
# those the check cannot run, and says so (exit status 77: skipped).
command -v wine >/dev/null || { echo "SKIPPED: wine is not installed"; exit 77; }
if ! probe=$(wine --version 2>&1); then
  if grep -q "Exec format error" <<<"$probe"; then
    echo "SKIPPED: this machine cannot execute 32-bit programs ($probe)"
    exit 77
  fi
  echo "wine does not start: $probe"
  exit 1
fi
if [[ ! -x $satemu ]]; then
  echo "satemu not found at $satemu: build the default preset first"
  exit 1
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts an emulated device in $1 and waits (bounded) for its ready line.
start_device() {
  local dir=$1
  shift
  mkdir -p "$dir"
  "$satemu" --dir "$dir" --kit "$@" >"$dir/ready" 2>"$dir/errors" &
  pids+=($!)
  for _ in $(seq 200); do
    grep -q KOVRAD_DEV_DIR "$dir/ready" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "satemu did not start in $dir"
  cat "$dir/errors"
  exit 1
}
start_device "$work/answers"
start_device "$work/silent" --fault silent

export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
ln -sfn "$(readlink -f "$work/answers/dev/ttyACM0")" "$WINEPREFIX/dosdevices/com1"
ln -sfn "$(readlink -f "$work/silent/dev/ttyACM0")" "$WINEPREFIX/dosdevices/com2"

cp "$exe" "$dll" "$work/"
cd "$work"
wine ./kovrad_dll_test.exe 1 2 "$sale"
