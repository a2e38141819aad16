#!/usr/bin/env bash
# Ativacao on a kiosk till: Xvfb without a window manager, the keyboard
# alone. From the dashboard, Tab reaches each tile, Enter opens its window
# (seen on the screen and as a shown X window) and Escape closes it again,
# leaving the screen as it was.
# Usage: kiosk_test.sh ATIVACAO SATEMU
# Exits 77 (skipped) where Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail
ativacao=$1
satemu=$2

source "$(dirname "$0")/display_test.sh"
display_test_begin Xvfb xdotool xprop import convert compare identify

# The windows the dashboard's tiles open in the development kit's mode.
expected=("Rede" "Atualiza Software SAT" "Testes SAT" "Trocar Código Ativação"
  "Bloqueio/Desbloqueio Q-SAT" "Logs" "Fiscal")

xd_start 1024x768 || fail "no display"
xd_device "$satemu" || fail "no device"
xd_manager "$ativacao" || fail "no start-up dialog"
xd_enter 12345678
xd_dashboard || fail "no dashboard"
xd_poll 20 xd_filled "$work/dashboard.png" || fail "no dashboard on the screen"

# The tab stops come tile by tile; the app bar's (start, exit) only after
# all of them, so the loop ends before it.
declare -A opened=()
for ((press = 1; press <= 30 && ${#opened[@]} < ${#expected[@]}; press++)); do
  xd_capture "$work/before.png"
  xdotool key Tab Return
  any=$(IFS='|' && echo "^(${expected[*]})\$")
  name=
  if xd_poll 3 xd_is_shown "$any"; then
    for title in "${expected[@]}"; do
      [[ -n "$(xd_shown "^${title}\$")" ]] && name=$title && break
    done
  fi
  # A part of a tile that opens nothing leaves the dashboard alone.
  [[ -z $name ]] && continue
  xd_same "$work/now.png" "$work/before.png" && fail "$name opened but the screen did not change"
  xdotool key Escape
  xd_poll 10 xd_is_gone "^${name}\$" || fail "Escape does not close $name"
  opened[$name]=1
done
for title in "${expected[@]}"; do
  [[ -n ${opened[$title]:-} ]] || fail "Tab and Enter never opened $title (opened: ${!opened[*]})"
done
echo "Tab and Enter open ${#opened[@]} windows and Escape closes each"
