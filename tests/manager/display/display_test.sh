# What the display tests share: sourced, never run.
#
# display_test_begin TOOL...  exits 77 (skipped) when a tool is missing, then
#                             loads xdisplay.sh and makes the scratch folder
#                             `work`, cleared with everything started on exit
# fail MESSAGE                reports the failure with the programs' logs

display_test_begin() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
  done
  source "$(dirname "${BASH_SOURCE[0]}")/../../../manager/tools/xdisplay.sh"
  work=$(mktemp -d "${TMPDIR:-/tmp}/kovrad-display.XXXXXX")
  trap display_test_end EXIT
}

display_test_end() {
  xd_stop
  rm -rf "$work"
}

fail() {
  echo "FAILED: $1" >&2
  for log in "$work"/*.log; do echo "--- $log" >&2 && cat "$log" >&2; done
  exit 1
}
