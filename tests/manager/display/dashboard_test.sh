#!/usr/bin/env bash
# Ativacao on a real X server (Xvfb, 1920x1080), with or without a window
# manager: the operator types the code into the start-up dialog and presses
# Enter, and the dashboard takes the keyboard and fills the screen with its
# tiles, judged on the captured picture.
# Usage: dashboard_test.sh ATIVACAO SATEMU [WINDOW_MANAGER]
# Exits 77 (skipped) where Xvfb, xdotool, ImageMagick or the window manager
# is missing.
set -euo pipefail
ativacao=$1
satemu=$2
wm=${3:-}

for tool in Xvfb xdotool xprop import convert identify $wm; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done

source "$(dirname "$0")/../../../manager/tools/xdisplay.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kovrad-display.XXXXXX")
finish() {
  xd_stop
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAILED: $1" >&2
  for log in "$work"/*.log; do echo "--- $log" >&2 && cat "$log" >&2; done
  exit 1
}

xd_start 1920x1080 "$wm" || fail "no display"
xd_device "$satemu" || fail "no device"
xd_manager "$ativacao" || fail "no start-up dialog"
xd_enter 12345678
xd_dashboard || fail "no dashboard"
# A loaded machine may take long to paint; the bound only stops a hang.
xd_poll 60 xd_filled "$work/screen.png" ||
  fail "the dashboard does not fill the screen with its tiles: $(xd_describe "$work/screen.png")"
echo "the dashboard fills the screen${wm:+ under $wm}"
