#!/usr/bin/env bash
# run_wine_test.sh, with a stand-in wine: skipped with the reason where the
# machine cannot execute 32-bit programs, failed where Wine breaks otherwise.
#   wine_skip_test.sh RUN_WINE_TEST
set -euo pipefail
script=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT

# Runs the check with a wine that prints $1 and exits with $2.
run() {
  printf '#!/bin/sh\necho "%s" >&2\nexit %s\n' "$1" "$2" >"$fake/wine"
  chmod +x "$fake/wine"
  PATH=$fake:$PATH bash "$script" 32 "$fake/test.exe" "$fake/kovrad.dll" "$fake/satemu" \
    "$fake/venda.xml" "$fake/cancelamento.xml"
}

failures=0
output=$(run "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" 2) && status=0 || status=$?
if [[ $status != 77 || $output != *"cannot execute 32-bit programs"*"Exec format error"* ]]; then
  echo "FAIL  no 32-bit support: exit status $status, said: $output"
  failures=1
fi
output=$(run "wine: could not load kernel32.dll, status c0000135" 1) && status=0 || status=$?
if [[ $status == 0 || $status == 77 || $output != *"could not load kernel32.dll"* ]]; then
  echo "FAIL  a broken wine: exit status $status, said: $output"
  failures=1
fi
((failures == 0))
