#!/usr/bin/env bash
# Installs the build into a temporary prefix with cmake --install, as an
# integrator without packages does, then builds and runs every example
# exactly as its README says (the README's sh block, in a copy of its
# folder) against a satemu of its own, with only the environment a prefix
# install needs. Also checks the development files: a section-3 page for
# every function of kovrad.h and the function reference.
#   examples_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/kovrad-examples.XXXXXX")
trap 'rm -rf "$work"' EXIT
pids=()

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; exit 1; }
libdir=$(dirname "$(find "$prefix" -name libkovrad.so.2 -print -quit)")
export KOVRAD_PREFIX=$prefix KOVRAD_SOURCE=$source
export LD_LIBRARY_PATH=$libdir PATH=$prefix/bin:$PATH PKG_CONFIG_PATH=$libdir/pkgconfig

failures=0
check() {
  if "${@:2}"; then echo "ok    $1"; else echo "FAIL  $1"; failures=$((failures + 1)); fi
}

every_function_has_a_page() {
  local name missing=0
  for name in $(grep -oE 'KOVRAD_CALL +[A-Za-z0-9]+\(' "$source/library/include/kovrad.h" |
    sed -E 's/KOVRAD_CALL +//; s/\($//'); do
    local page=$prefix/share/man/man3/$name.3.gz
    [[ -f $page ]] || { echo "no page for $name"; missing=1; continue; }
    # groff's warnings, but for a long word it cannot break: the page renders cleanly.
    if zcat "$page" | groff -man -Tutf8 -ww -Wbreak -z 2>&1 | grep .; then missing=1; fi
  done
  ((missing == 0))
}
check "a section-3 page for every function of kovrad.h" every_function_has_a_page
check "the function reference goes with the development files" \
  cmp -s "$source/docs/functions.md" "$prefix/share/doc/libkovrad-dev/functions.md"

# A satemu in its own directory; its two variables in the environment.
start_device() {
  local dir=$1
  shift
  rm -f "$dir/ready"
  mkfifo "$dir/ready"
  satemu --dir "$dir" "$@" >"$dir/ready" 2>"$dir/satemu.log" &
  pids+=($!)
  local variables
  read -r -t 20 variables <"$dir/ready" || { cat "$dir/satemu.log"; return 1; }
  eval "export $variables"
}

# kovrad-hub, its ledger made first, on a free loopback port for the devices found;
# KOVRAD_HUB_URL.
start_hub() {
  local dir=$1
  printf 'porta = 0\nbanco = "%s/hub.db"\ncodigo_ativacao = "12345678"\n' "$dir" >"$dir/hub.toml"
  kovrad-hub --config "$dir/hub.toml" preparar >"$dir/hub.log" 2>&1 || { cat "$dir/hub.log"; return 1; }
  mkfifo "$dir/hub.out"
  kovrad-hub --config "$dir/hub.toml" >"$dir/hub.out" 2>"$dir/hub.log" &
  pids+=($!)
  exec {hub_out}<"$dir/hub.out"
  local line
  read -r -t 30 line <&"$hub_out" || { cat "$dir/hub.log"; return 1; }
  export "${line?}"
}

# The commands of the README's first sh block.
readme_commands() {
  awk '/^```sh$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' "$1/README.md"
}

run_example() {
  local name=$1
  shift
  local dir=$work/$name
  mkdir -p "$dir/device"
  cp -r "$source/examples/$name" "$dir/example"
  (
    # What this run starts ends with it.
    trap 'for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done' EXIT
    start_device "$dir/device" "$@"
    [[ $name != web-till ]] || start_hub "$dir/device"
    cd "$dir/example"
    bash -euo pipefail <(readme_commands .)
  ) >"$dir/run.log" 2>&1 || { cat "$dir/run.log"; return 1; }
}

# The session numbers a till run printed, one a line.
sessions_of() { grep -oE '^sessao [0-9]{6}' "$1" | cut -d' ' -f2 | sort -u; }
# The coupon number in an access key: 6 digits after the serial.
coupon_number() { sed -nE "s/^$1: chave CFe[0-9]{31}([0-9]{6}).*/\1/p" "$2"; }

# The C++ till, built both ways as its README says, sells once on a working
# device; then, on the same device restarted to make the sale but never
# answer it, sells once more and finds that sale made instead of repeating it.
client_till() {
  local dir=$work/cpp-client
  mkdir -p "$dir/device"
  cp -r "$source/examples/cpp-client" "$dir/example"
  (
    trap 'for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done' EXIT
    start_device "$dir/device" --kit --unique-sessions || exit 1
    cd "$dir/example"
    bash -euo pipefail <(readme_commands .) >"$dir/run1.log" || { cat "$dir/run1.log"; exit 1; }
    kill -TERM "${pids[-1]}" && wait "${pids[-1]}" || true
    unset 'pids[-1]'
    start_device "$dir/device" --kit --unique-sessions --fault silent --fault-only EnviarDadosVenda ||
      exit 1
    ./till-pc 12345678 "$source/emulator/samples/venda.xml" sessoes >"$dir/run2.log" ||
      { cat "$dir/run2.log"; exit 1; }
    cat "$dir/run1.log" "$dir/run2.log"
    local first second last
    first=$(coupon_number "venda feita" "$dir/run1.log")
    second=$(coupon_number "recuperada: venda feita" "$dir/run2.log")
    last=$(sed -nE 's/^ultimo cupom do SAT: [^0-9]*([0-9]{44})$/\1/p' "$dir/run2.log")
    [[ $(grep -c '^sessao .*: EnviarDadosVenda$' "$dir/run2.log") == 1 ]] || { echo "the lost sale was sent again"; exit 1; }
    [[ -n $first && -n $second ]] || { echo "a run made no sale"; exit 1; }
    ((10#$second == 10#$first + 1)) || { echo "coupons $first then $second: not one sale per run"; exit 1; }
    [[ ${last:31:6} == "$second" ]] || { echo "the device's last coupon is $last, not $second"; exit 1; }
    [[ -z $(comm -12 <(sessions_of "$dir/run1.log") <(sessions_of "$dir/run2.log")) ]] ||
      { echo "run 2 repeated a session number of run 1"; exit 1; }
  ) >"$dir/test.log" 2>&1 || { cat "$dir/test.log"; return 1; }
}

check "C with pkg-config, on a device fresh from the factory" run_example c-pkg-config
check "the C++ till sells, recovers a lost sale and repeats no session number" client_till
for name in cpp-cmake python-ctypes shell-satcli web-till; do
  check "$name, on a development kit" run_example "$name" --kit
done

((failures == 0))
