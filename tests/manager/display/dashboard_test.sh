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

source "$(dirname "$0")/display_test.sh"
display_test_begin Xvfb xdotool xprop import convert identify $wm

xd_start 1920x1080 "$wm" || fail "no display"
xd_device "$satemu" || fail "no device"
xd_manager "$ativacao" || fail "no start-up dialog"
xd_enter 12345678
xd_dashboard || fail "no dashboard"
# A loaded machine may take long to paint; the bound only stops a hang.
xd_poll 60 xd_filled "$work/screen.png" ||
  fail "the dashboard does not fill the screen with its tiles: $(xd_describe "$work/screen.png")"
echo "the dashboard fills the screen${wm:+ under $wm}"
