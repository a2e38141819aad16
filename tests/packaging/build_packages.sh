#!/usr/bin/env bash
# Builds this build's Debian packages with CPack into OUT, afresh, for the
# checks that follow.
#   build_packages.sh BUILD_DIR OUT
set -euo pipefail
build=$1 out=$2
rm -rf "$out"
mkdir -p "$out"
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
ls -1 "$out"/*.deb
