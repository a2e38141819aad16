#!/usr/bin/env bash
# lintian --pedantic finds no error and no warning in any package.
#   lintian_test.sh DEBS_DIR
set -euo pipefail
command -v lintian >/dev/null || { echo "SKIPPED: lintian is not installed"; exit 77; }
# Exit status 1 means tags were found (judged below), 2 that lintian failed.
report=$(lintian --pedantic "$1"/*.deb 2>&1) && status=0 || status=$?
echo "$report"
((status <= 1)) || { echo "lintian failed (exit status $status)"; exit 1; }
! grep -E '^[EW]: ' <<<"$report" >/dev/null
