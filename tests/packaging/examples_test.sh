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
export KOVRAD_PREFIX=$prefix
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

check "C with pkg-config, on a device fresh from the factory" run_example c-pkg-config
for name in cpp-cmake python-ctypes shell-satcli web-till; do
  check "$name, on a development kit" run_example "$name" --kit
done

((failures == 0))
