#!/usr/bin/env bash
# Installs every package on this machine with apt, removes them and purges
# them, as an administrator would: the ldconfig trigger runs both ways and
# nothing is left behind. The machine is left as it was found, also when a
# check fails. Skipped where that cannot be promised: not root, no apt, dpkg
# busy, some package of ours already installed (not ours to remove) or
# another package missing that apt would have to bring in.
#   install_test.sh DEBS_DIR
set -euo pipefail
shopt -s extglob
debs=("$1"/*.deb)

skip() {
  echo "SKIPPED: $*"
  exit 77
}
((EUID == 0)) || skip "installing packages needs root"
command -v apt-get >/dev/null && command -v dpkg-query >/dev/null ||
  skip "apt-get or dpkg-query is not available"

# Empty when dpkg knows nothing of the package, "un" when it was purged.
state() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | tr -d ' ' || true; }
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
for name in "${names[@]}"; do
  [[ $(state "$name") == @(|un) ]] || skip "dpkg already knows $name here"
done

# Packages apt would bring in besides ours would stay behind.
others=$(apt-get -s -q install --no-install-recommends "${debs[@]}" 2>/dev/null |
  awk '/^Inst / { print $2 }' | grep -vxF -f <(printf '%s\n' "${names[@]}") || true)
[[ -z $others ]] || skip "installing would also bring in ${others//$'\n'/ }"

export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
apt() { apt-get -q -y -o DPkg::Lock::Timeout=120 "$@" >"$log" 2>&1; }
# Purges what dpkg still knows of the packages.
purge() {
  local known=()
  for name in "${names[@]}"; do [[ $(state "$name") == @(|un) ]] || known+=("$name"); done
  ((${#known[@]} == 0)) || apt purge "${known[@]}" || cat "$log"
}
trap 'purge; rm -f "$log"' EXIT

failures=0
check() {
  "${@:2}" && echo "ok    $1" && return
  echo "FAIL  $1"
  failures=$((failures + 1))
}
# Every package's state matches the pattern.
all_in() {
  for name in "${names[@]}"; do
    [[ $(state "$name") == @($1) ]] || { echo "$name: $(state "$name")"; return 1; }
  done
}
in_cache() { ldconfig -p | grep -F libkovrad.so.2 >/dev/null; }
# What the packages hold apart from directories, and their own directories.
paths=$(for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done |
  awk '$1 !~ /^d/ || $6 ~ /kovrad[^\/]*\/$/ { sub(/^\./, "", $6); print $6 }' | sort -u)
# Configuration files stay until the purge, with the directories holding them.
conffiles=$(for deb in "${debs[@]}"; do dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null || true; done)
none_left() {
  local found=0 keep=${1:-}
  while read -r path; do
    [[ -n $keep && -n $conffiles ]] && grep -qF -- "$path" <<<"$conffiles" && continue
    [[ -e $path || -L $path ]] && { echo "left behind: $path"; found=1; }
  done <<<"$paths"
  ((found == 0))
}

# What the hub's package makes beside its files, taken away again at the end.
hub_user_was_here=$(getent passwd kovrad-hub >/dev/null && echo yes || true)
hub_state_was_here=$([[ -e /var/lib/kovrad-hub ]] && echo yes || true)
trap 'purge; rm -f "$log"
      [[ -n $hub_state_was_here ]] || rm -rf /var/lib/kovrad-hub
      [[ -n $hub_user_was_here ]] || ! getent passwd kovrad-hub >/dev/null || deluser --quiet --system kovrad-hub >/dev/null 2>&1 || true
      getent group kovrad-hub >/dev/null && [[ -z $hub_user_was_here ]] && delgroup --quiet --system kovrad-hub >/dev/null 2>&1 || true' EXIT
# Owner, group and mode of a path, as "user:group 0640".
owned() { [[ $(stat -c '%U:%G %#a' "$1") == "$2" ]] || { echo "$1: $(stat -c '%U:%G %#a' "$1"), not $2"; return 1; }; }
hub_files() {
  owned /etc/kovrad/kovrad-hub.toml "root:kovrad-hub 0640" &&
    owned /var/lib/kovrad-hub "kovrad-hub:kovrad-hub 0700" &&
    owned /var/lib/kovrad-hub/kovrad-hub.db "kovrad-hub:kovrad-hub 0600"
}
# Shipped without an activation code, the hub is neither enabled nor started.
hub_waits_for_its_code() {
  ! /usr/bin/kovrad-hub --config /etc/kovrad/kovrad-hub.toml verificar 2>/dev/null &&
    [[ ! -e /etc/systemd/system/multi-user.target.wants/kovrad-hub.service ]]
}

if ! apt install --no-install-recommends "${debs[@]}"; then
  grep -q "Could not get lock" "$log" && skip "dpkg is busy (another apt or dpkg holds its lock)"
  cat "$log"
  exit 1
fi
check "every package installs" all_in ii
check "the hub's configuration, state directory and ledger are its own" hub_files
check "the hub is not enabled before it has an activation code" hub_waits_for_its_code
check "the ldconfig trigger adds the library to the cache" in_cache
# Removed and purged at once: other programs on this machine must not pick the
# installed library up for longer than needed.
apt remove "${names[@]}" || cat "$log"
# A package with a postrm stays known to dpkg ("rc") until purged.
check "every package is removed" all_in "|un|rc"
check "the ldconfig trigger takes the library out of the cache" eval '! in_cache'
check "no file or directory of the packages is left but their configuration" none_left conffiles
purge
check "every package is purged" all_in "|un"
check "nothing of the packages is left after the purge" none_left

((failures == 0))
