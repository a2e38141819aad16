# Ativacao on a real X server: functions shared by its display test and by
# scripts/screenshots. Sourced, never run. The caller sets `work` (a scratch
# folder) and calls xd_stop on exit.
#
# xd_start SIZE [WM]     Xvfb of SIZE (e.g. 1920x1080) on a free display, and
#                        the window manager WM (e.g. openbox) when given
# xd_device SATEMU [OPTION...]
#                        an emulated development kit (code 12345678), with
#                        satemu's further options (faults) when given
# xd_manager ATIVACAO    the program, up to its start-up dialog with the keyboard
# xd_enter CODE          the operator types CODE and presses Enter
# xd_dashboard           waits for the dashboard to have the keyboard
# xd_capture FILE        the whole screen as a PNG
# xd_fills_screen FILE   true when the dashboard covers the screen, tiles shown
# xd_filled FILE         captures the screen into FILE and judges it so
# xd_describe FILE       what the picture shows, for a failure's report

xd_pids=()

xd_stop() {
  local pid
  for pid in "${xd_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${xd_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  xd_pids=()
}

# Runs the command until it succeeds, every tenth of a second, for at most
# SECONDS seconds.
xd_poll() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

xd_start() {
  local size=$1 wm=${2:-}
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -br 3>"$work/display" \
    2>"$work/xvfb.log" &
  xd_pids+=($!)
  xd_poll 20 test -s "$work/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(cat "$work/display")"
  if [[ -n $wm ]]; then
    "$wm" >"$work/wm.log" 2>&1 &
    xd_pids+=($!)
    xd_poll 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
      { echo "$wm did not start" >&2; return 1; }
  fi
}

xd_device() {
  mkfifo "$work/ready"
  "$1" --dir "$work/device" --kit "${@:2}" >"$work/ready" 2>"$work/satemu.log" &
  xd_pids+=($!)
  local variables
  read -r -t 20 variables <"$work/ready" || { echo "satemu did not start" >&2; return 1; }
  eval "export $variables"
}

xd_focus_is() {
  [[ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" == "$1" ]]
}

xd_manager() {
  local program
  program=$(realpath "$1")
  (cd "$work" && exec "$program" >"$work/ativacao.log" 2>&1) &
  xd_pids+=($!)
  xd_poll 30 xd_focus_is "Torva TRELIX Manager" ||
    { echo "the start-up dialog did not get the keyboard" >&2; return 1; }
}

xd_enter() {
  xdotool type --delay 30 "$1"
  xdotool key Return
}

xd_dashboard() {
  xd_poll 30 xd_focus_is "Torva Trelix Manager" ||
    { echo "the dashboard did not get the keyboard" >&2; return 1; }
}

# The ids of the shown top-level windows named NAME (a regular expression).
xd_shown() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null
}

# Whether a window named NAME is shown, or none is: asked anew at each call,
# so that xd_poll can wait on them.
xd_is_shown() {
  [[ -n "$(xd_shown "$1")" ]]
}
xd_is_gone() {
  [[ -z "$(xd_shown "$1")" ]]
}

# True when the screen captured into FILE is the picture REFERENCE.
xd_same() {
  xd_capture "$1" && [[ "$(compare -metric AE "$1" "$2" null: 2>&1)" == 0 ]]
}

xd_capture() {
  import -window root "$1"
}

# The colour of one pixel as "#RRGGBB".
xd_pixel() {
  convert "$1" -format "%[hex:p{$2,$3}]" info: | sed 's/^/#/; s/\(#......\).*/\1/'
}

xd_corners() {
  local file=$1 width height
  read -r width height < <(identify -format '%w %h' "$file")
  echo "2 $((height - 2))" "$((width - 2)) 2" "$((width - 2)) $((height - 2))"
}

# The pixels of the tiles' blue.
xd_blue() {
  convert "$1" -fill black +opaque '#1BA1E2' -fill white -opaque '#1BA1E2' \
    -format '%[fx:round(mean*w*h)]' info:
}

xd_fills_screen() {
  local file=$1 x y
  # Xvfb's bare screen is black; the dashboard's background is not.
  while read -r x y; do
    [[ "$(xd_pixel "$file" "$x" "$y")" == "#1D1D1D" ]] || return 1
  done < <(xd_corners "$file" | xargs -n2)
  # At least six tiles' worth of blue.
  (($(xd_blue "$file") > 6 * 70 * 40))
}

xd_describe() {
  local file=$1 x y
  [[ -s $file ]] || { echo "no picture was captured"; return; }
  echo "picture $(identify -format '%wx%h' "$file"), tiles' blue $(xd_blue "$file") px"
  while read -r x y; do
    echo "pixel at $x,$y: $(xd_pixel "$file" "$x" "$y")"
  done < <(xd_corners "$file" | xargs -n2)
  echo "window with the keyboard: $(xdotool getwindowfocus getwindowname 2>&1)" \
    "$(xdotool getwindowfocus getwindowgeometry 2>&1 | tr '\n' ' ')"
}

xd_filled() {
  xd_capture "$1" && xd_fills_screen "$1"
}
