# Sourced by the Wine checks: finds Wine for a program width, makes a private
# prefix under the build folder with COM1 and COM2 leading to emulated devices,
# and takes it all down again on exit.
#
#   wine_find 32|64        WINE, WINESERVER; exits 77 (skipped) where it cannot run
#   wine_start_device DIR [satemu options]   an emulated device, once it is ready
#   wine_prefix            a fresh prefix in $work/wine, its session running
#   wine_port N DIR        COMN leads to the device published in DIR
#   wine_kit_and_silent    a kit on COM1 and a device that never answers on COM2
# The caller sets satemu and work (a new directory) before wine_prefix.

# A wine that was never started may take its time; nothing waits longer.
wine_boot_limit=300
pids=()

wine_cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # Only this prefix's server; another run's Wine is left alone.
  if [[ -n ${WINESERVER:-} && -d ${WINEPREFIX:-/nonexistent} ]]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  [[ -n ${work:-} ]] && rm -rf "$work"
}

wine_find() {
  if [[ $1 == 64 ]]; then
    WINE=$(command -v wine64 || true)
    [[ -n $WINE ]] || for candidate in /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
      [[ -x $candidate ]] && WINE=$candidate && break
    done
    [[ -n $WINE ]] || { echo "SKIPPED: wine64 is not installed"; exit 77; }
  else
    WINE=$(command -v wine || true)
    [[ -n $WINE ]] || { echo "SKIPPED: wine is not installed"; exit 77; }
  fi
  local probe
  # The 32-bit loader is a 32-bit program: on a machine whose kernel cannot
  # execute those the check cannot run, and says so.
  if ! probe=$("$WINE" --version 2>&1); then
    if [[ $1 == 32 ]] && grep -q "Exec format error" <<<"$probe"; then
      echo "SKIPPED: this machine cannot execute 32-bit programs ($probe)"
      exit 77
    fi
    echo "wine does not start: $probe"
    exit 1
  fi
  # The server that belongs to this loader, not another installation's.
  local dir
  dir=$(dirname "$(readlink -f "$WINE")")
  if [[ $1 == 64 && -x $dir/wineserver64 ]]; then
    WINESERVER=$dir/wineserver64
  elif [[ -x $dir/wineserver ]]; then
    WINESERVER=$dir/wineserver
  else
    WINESERVER=$(command -v wineserver)
  fi
  export WINESERVER
  # The 64-bit loader starts Wine's own programs with itself; the 32-bit
  # command is a script that chooses its loader anew.
  if [[ $1 == 64 ]]; then export WINELOADER=$WINE; fi
}

wine_start_device() {
  local dir=$1
  shift
  [[ -x $satemu ]] || { echo "satemu not found at $satemu: build the default preset first"; exit 1; }
  mkdir -p "$dir"
  "$satemu" --dir "$dir" "$@" >"$dir/ready" 2>"$dir/errors" &
  pids+=($!)
  for _ in $(seq 200); do
    grep -q KOVRAD_DEV_DIR "$dir/ready" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "satemu did not start in $dir"
  cat "$dir/errors"
  exit 1
}

wine_port() {
  ln -sfn "$(readlink -f "$2/dev/ttyACM0")" "$work/ports/com$1"
}

wine_prefix() {
  export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$work/ports"
  if ! timeout "$wine_boot_limit" "$WINE" wineboot -i >"$work/wineboot.log" 2>&1; then
    echo "wineboot did not finish within ${wine_boot_limit} s:"
    cat "$work/wineboot.log"
    exit 1
  fi
  # Wine's mount manager makes dosdevices/comN at each session's start and
  # takes the devices from this key before the ones it detects: COM1 and COM2
  # lead to links in $work/ports, pointed at the devices as they start.
  local n
  for n in 1 2; do
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$work/ports/com$n" /f >/dev/null
  done
  "$WINESERVER" -k >/dev/null 2>&1 || true
  # One session for the whole check, kept a little after its last program.
  "$WINESERVER" -p20 >>"$work/wineserver.log" 2>&1
  "$WINE" reg query 'HKLM\Software\Wine\Ports' >/dev/null
  for _ in $(seq 200); do
    [[ $(readlink "$WINEPREFIX/dosdevices/com1") == "$work/ports/com1" &&
      $(readlink "$WINEPREFIX/dosdevices/com2") == "$work/ports/com2" ]] && return 0
    sleep 0.05
  done
  echo "Wine did not map COM1 and COM2 to $work/ports:"
  ls -l "$WINEPREFIX/dosdevices"
  exit 1
}

wine_kit_and_silent() {
  wine_start_device "$work/kit" --kit
  wine_start_device "$work/silent" --fault silent
  wine_prefix
  wine_port 1 "$work/kit"
  wine_port 2 "$work/silent"
}
