#!/usr/bin/env bash
# A sale on a kiosk till (Xvfb without a window manager, the keyboard alone)
# whose reply never comes back: the emulated device signs the coupon but
# stays silent. The sale window asks the device what it did, shows the
# coupon and leaves the device with that one coupon. Judged on the captured
# screen and on the device's own count.
# Usage: recovery_test.sh ATIVACAO SATEMU SALE_XML [PICTURES_DIR]
# With PICTURES_DIR, the recovered sale's screen is kept there
# (venda-recuperada.png), for scripts/screenshots.
# Exits 77 (skipped) where Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail
ativacao=$1
satemu=$2
sale=$3
pictures=${4:-}

source "$(dirname "$0")/display_test.sh"
display_test_begin Xvfb xdotool xprop import convert identify

# The program's session numbers are kept in the test's folder.
export XDG_STATE_HOME=$work/state
cp "$sale" "$work/venda.xml"

# The light (text) pixels in the "XML Saída" box of the sale window: the
# lower part of the window, below the "Ver extrato" row.
coupon_pixels() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool search --onlyvisible --name '^Fiscal$' getwindowgeometry --shell | head -n 6)"
  xd_capture "$1"
  convert "$1" -crop "$((WIDTH * 8 / 10))x$((HEIGHT * 17 / 100))+$((X + WIDTH / 10))+$((Y + HEIGHT * 68 / 100))" \
    -colorspace Gray -threshold 60% -format '%[fx:round(mean*w*h)]' info:
}

xd_start 1024x768 || fail "no display"
xd_device "$satemu" --fault silent --fault-only EnviarDadosVenda --verbose || fail "no device"
xd_manager "$ativacao" || fail "no start-up dialog"
xd_enter 12345678
xd_dashboard || fail "no dashboard"
xd_poll 60 xd_filled "$work/dashboard.png" || fail "no dashboard on the screen"

# Tab and Enter along the tiles up to the sale window, closing with Escape
# whatever else opens on the way.
others=("Rede" "Atualiza Software SAT" "Testes SAT" "Trocar Código Ativação"
  "Bloqueio/Desbloqueio Q-SAT" "Logs")
for ((press = 1; press <= 30; press++)); do
  xdotool key Tab Return
  xd_poll 3 xd_is_shown '^Fiscal$' && break
  for title in "${others[@]}"; do
    [[ -z "$(xd_shown "^${title}\$")" ]] && continue
    xdotool key Escape
    xd_poll 10 xd_is_gone "^${title}\$" || fail "Escape does not close $title"
  done
done
dialog='^Carregar XML de entrada$'
# On a loaded machine the window may have come after its press was judged,
# and the next press then went to it: its first tab stop loads a file.
before=0
if [[ -z "$(xd_shown "$dialog")" ]]; then
  xd_poll 10 xd_focus_is "Fiscal" || fail "the sale window did not open from its tile"
  before=$(coupon_pixels "$work/before.png")
  xdotool key Tab Return
fi
xd_poll 10 xd_is_shown "$dialog" || fail "no file dialog"
# The dialog takes the path typed.
xdotool type --delay 20 "$work/venda.xml"
xdotool key Return
xd_poll 10 xd_is_gone "$dialog" || fail "the file dialog stays open"
xd_poll 10 xd_focus_is "Fiscal" || fail "the sale window lost the keyboard after loading"
# The next one sends it; the device's silence lasts the sale's time limit,
# then the message box (named as the program) takes the keyboard.
xdotool key Tab Return
xd_poll 90 xd_focus_is "Torva Trelix Manager" || fail "no message took the keyboard after the sale"
grep -q "ConsultarNumeroSessao" "$work/satemu.log" ||
  fail "the sale window did not ask the device what became of the sale"
xd_capture "$work/message.png"
[[ -n $pictures ]] && cp "$work/message.png" "$pictures/venda-recuperada.png"
xdotool key Return
xd_poll 10 xd_focus_is "Fiscal" || fail "the message did not close with Enter"

after=$(coupon_pixels "$work/after.png")
((after > before + 500)) ||
  fail "the coupon is not shown in XML Saída ($before light pixels before the sale, $after after)"
sales=$(grep -c "EnviarDadosVenda" "$work/satemu.log")
((sales == 1)) || fail "the device got the sale $sales times"
grep -qx "coupons_issued=1" "$work/device/state" ||
  fail "the device does not hold one coupon: $(grep coupons_issued "$work/device/state")"
echo "the silent device's coupon is shown, and the device holds that one coupon"
