#!/usr/bin/env bash
# The Debian packages as an integrator gets them: checked for their files,
# relations and documents, unpacked into a scratch root with dpkg -x, and a C
# program compiled against the unpacked library through pkg-config and
# through find_package(kovrad), then run against the packaged emulator. satcli
# from the package answers too.
#
# usage: package_test.sh DEBS_DIR C_COMPILER C_FLAGS LINKER_FLAGS
set -euo pipefail

debs=$1
cc=$2
read -r -a cflags <<<"$3"
read -r -a ldflags <<<"$4"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kovrad-packages.XXXXXX")
emulator_pid=
cleanup() {
  if [[ -n $emulator_pid ]]; then
    kill -TERM "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

passed=0
failures=0
check() {
  local what=$1
  shift
  if "$@" >"$scratch/check.log" 2>&1; then
    echo "ok    $what"
    passed=$((passed + 1))
  else
    echo "FAIL  $what"
    sed 's/^/      /' "$scratch/check.log"
    failures=$((failures + 1))
  fi
}
# Texts are searched whole: "cmd | grep -q" fails under pipefail when grep
# stops reading early and the command gets SIGPIPE.
contains() { grep -qF -- "$2" <<<"$1" || { echo "missing: $2"; echo "in: $1"; return 1; }; }
lacks() { ! grep -qF -- "$2" <<<"$1" || { echo "unexpected: $2"; return 1; }; }

# --- The packages ---------------------------------------------------------------
packages=(libkovrad2 kovrad-udev libkovrad-dev libkovrad-client-dev kovrad-tools kovrad-emulator
  kovrad-hub libkovrad-extrato1 libkovrad-extrato-dev)
deb() { ls "$debs/$1"_*.deb; }
for package in "${packages[@]}"; do
  check "$package is built" deb "$package"
done
((failures == 0)) || exit 1

# --- What each package holds and needs ------------------------------------------
library=$(deb libkovrad2)
udev=$(deb kovrad-udev)
dev=$(deb libkovrad-dev)
client_dev=$(deb libkovrad-client-dev)
tools=$(deb kovrad-tools)
emulator=$(deb kovrad-emulator)
hub=$(deb kovrad-hub)
extrato=$(deb libkovrad-extrato1)
extrato_dev=$(deb libkovrad-extrato-dev)
version=$(dpkg-deb -f "$library" Version)
upstream=${version%-*}
files() { dpkg-deb -c "$1" | awk '{ print $6 }'; }
control() { dpkg-deb --ctrl-tarfile "$1" | tar -t | sed 's|^\./||' | sort | xargs; }

check "libkovrad2 depends on zlib and libc, and recommends the udev rule" \
  eval 'contains "$(dpkg-deb -f "$library" Depends)" zlib1g &&
        contains "$(dpkg-deb -f "$library" Depends)" libc6 &&
        [[ $(dpkg-deb -f "$library" Recommends) == kovrad-udev ]]'
# A file whose name stays when the SONAME changes would clash between
# libkovrad2 and its successor.
check "libkovrad2 holds the library and its SONAME link, nothing else" \
  eval 'contains "$(files "$library")" "/libkovrad.so.$upstream" &&
        contains "$(files "$library")" "/libkovrad.so.2" &&
        [[ -z $(files "$library" | grep -v -e "/$" -e /usr/share/doc/libkovrad2/ \
                  -e /usr/share/lintian/overrides/libkovrad2 -e "/libkovrad\.so\.2") ]]'
check "libkovrad2 declares its shared library; ldconfig runs from a trigger" \
  eval 'contains "$(dpkg-deb --ctrl-tarfile "$library" | tar -xO ./shlibs)" "libkovrad 2 libkovrad2" &&
        [[ $(dpkg-deb --ctrl-tarfile "$library" | tar -xO ./triggers) == "activate-noawait ldconfig" ]] &&
        [[ $(control "$library") == "control md5sums shlibs triggers" ]]'
check "kovrad-udev holds the udev rule, for every architecture" \
  eval 'contains "$(files "$udev")" ./usr/lib/udev/rules.d/60-kovrad.rules &&
        [[ $(dpkg-deb -f "$udev" Architecture) == all ]]'
check "libkovrad-dev depends on exactly this libkovrad2" \
  contains "$(dpkg-deb -f "$dev" Depends)" "libkovrad2 (= $version)"
check "libkovrad-dev holds the header, the link, pkg-config and CMake files" \
  eval 'contains "$(files "$dev")" ./usr/include/kovrad.h &&
        contains "$(files "$dev")" "/libkovrad.so" &&
        contains "$(files "$dev")" /pkgconfig/kovrad.pc &&
        contains "$(files "$dev")" /cmake/kovrad/kovradConfig.cmake &&
        contains "$(files "$dev")" /cmake/kovrad/kovradConfigVersion.cmake'
check "libkovrad-client-dev holds the static library, its headers, pkg-config and CMake files" \
  eval 'contains "$(dpkg-deb -f "$client_dev" Depends)" "libkovrad-dev (= $version)" &&
        for f in /libkovrad_client.a ./usr/include/kovrad/client/replies.h \
           ./usr/include/kovrad/client/recovery.h /pkgconfig/kovrad-client.pc \
           /cmake/KovradClient/KovradClientConfig.cmake \
           /cmake/KovradClient/KovradClientConfigVersion.cmake; do
          contains "$(files "$client_dev")" "$f" || exit 1
        done'
check "kovrad-tools depends on the library it loads, Qt and libxml2" \
  eval 'contains "$(dpkg-deb -f "$tools" Depends)" "libkovrad2 (= $version)" &&
        contains "$(dpkg-deb -f "$tools" Depends)" qt6-qpa-plugins &&
        contains "$(dpkg-deb -f "$tools" Depends)" libqt6widgets6 &&
        contains "$(dpkg-deb -f "$tools" Depends)" libxml2'
check "kovrad-tools holds the programs, desktop entry, icon and manual pages, not satemu" \
  eval 'for f in ./usr/bin/Ativacao ./usr/bin/satcli \
           ./usr/share/applications/kovrad-ativacao.desktop \
           ./usr/share/icons/hicolor/scalable/apps/kovrad-ativacao.svg \
           ./usr/share/man/man1/Ativacao.1.gz ./usr/share/man/man1/satcli.1.gz \
           ./usr/share/man/pt_BR/man1/satcli.1.gz ./usr/share/locale/pt_BR/LC_MESSAGES/satcli.mo; do
          contains "$(files "$tools")" "$f" || exit 1
        done
        lacks "$(files "$tools")" satemu'
# A till gets the tools without the emulator and what only it needs.
check "kovrad-emulator holds satemu and its manual page, without Qt" \
  eval 'contains "$(files "$emulator")" ./usr/bin/satemu &&
        contains "$(files "$emulator")" ./usr/share/man/man1/satemu.1.gz &&
        contains "$(files "$emulator")" ./usr/share/man/pt_BR/man1/satemu.1.gz &&
        contains "$(files "$emulator")" ./usr/share/locale/pt_BR/LC_MESSAGES/satemu.mo &&
        contains "$(dpkg-deb -f "$emulator" Depends)" libssl3 &&
        lacks "$(dpkg-deb -f "$emulator" Depends)" qt6'

check "kovrad-hub holds the program, its unit, its configuration, manual page and alert rules" \
  eval 'for f in ./usr/bin/kovrad-hub ./usr/lib/systemd/system/kovrad-hub.service \
           ./etc/kovrad/kovrad-hub.toml ./usr/share/man/man1/kovrad-hub.1.gz \
           ./usr/share/man/pt_BR/man1/kovrad-hub.1.gz \
           ./usr/share/locale/pt_BR/LC_MESSAGES/kovrad-hub.mo \
           ./usr/share/doc/kovrad-hub/hub.md ./usr/share/doc/kovrad-hub/chain.md \
           ./usr/share/kovrad-hub/prometheus/kovrad-hub.rules.yml; do
          contains "$(files "$hub")" "$f" || exit 1
        done
        contains "$(dpkg-deb -f "$hub" Depends)" "libkovrad2 (= $version)" &&
        contains "$(dpkg-deb -f "$hub" Depends)" libmicrohttpd12 &&
        contains "$(dpkg-deb -f "$hub" Depends)" libpq5 &&
        [[ $(dpkg-deb --ctrl-tarfile "$hub" | tar -xO ./conffiles) == /etc/kovrad/kovrad-hub.toml ]]'

check "libkovrad-extrato1 holds its library only, needs the font, and declares it" \
  eval 'contains "$(files "$extrato")" "/libkovrad-extrato.so.1" &&
        [[ -z $(files "$extrato" | grep -v -e "/$" -e /usr/share/doc/libkovrad-extrato1/ \
                  -e /usr/share/lintian/overrides/libkovrad-extrato1 -e "/libkovrad-extrato\.so\.1") ]] &&
        contains "$(dpkg-deb -f "$extrato" Depends)" fonts-dejavu-core &&
        contains "$(dpkg-deb -f "$extrato" Depends)" libcairo2 &&
        contains "$(dpkg-deb --ctrl-tarfile "$extrato" | tar -xO ./shlibs)" "libkovrad-extrato 1 libkovrad-extrato1" &&
        [[ $(control "$extrato") == "control md5sums shlibs triggers" ]]'
check "libkovrad-extrato-dev holds the header, the link and pkg-config, for this library" \
  eval 'contains "$(files "$extrato_dev")" ./usr/include/kovrad-extrato.h &&
        contains "$(files "$extrato_dev")" "/libkovrad-extrato.so" &&
        contains "$(files "$extrato_dev")" /pkgconfig/kovrad-extrato.pc &&
        contains "$(dpkg-deb -f "$extrato_dev" Depends)" "libkovrad-extrato1 (= $version)"'

# --- Unpacked into a scratch root -------------------------------------------------
root=$scratch/root
for package in "${packages[@]}"; do dpkg -x "$(deb "$package")" "$root"; done
pc=$(find "$root" -name kovrad.pc)
libdir=$(dirname "$(dirname "$pc")")
check "the library's SONAME is libkovrad.so.2" \
  eval 'contains "$(readelf -d "$libdir/libkovrad.so.$upstream")" "[libkovrad.so.2]"'
check "the desktop entry is valid" \
  desktop-file-validate "$root/usr/share/applications/kovrad-ativacao.desktop"
check "the manual pages format without warnings" \
  eval 'for page in Ativacao satcli satemu kovrad-hub; do
          zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1 | (! grep .) || exit 1
        done
        for page in satcli satemu kovrad-hub; do
          zcat "$root/usr/share/man/pt_BR/man1/$page.1.gz" | groff -man -ww -z -K utf8 2>&1 |
            (! grep .) || exit 1
        done'
check "every package has a DEP-5 copyright file with the licence, and this changelog" \
  eval 'for package in "${packages[@]}"; do
          doc=$root/usr/share/doc/$package
          contains "$(head -1 "$doc/copyright")" copyright-format/1.0 &&
            contains "$(cat "$doc/copyright")" "License: Expat" &&
            [[ $(zcat "$doc/changelog.Debian.gz" | head -1) == "kovrad ($version) "* ]] || exit 1
        done'

# The packaged emulator, ready for the programs below.
mkfifo "$scratch/ready"
"$root/usr/bin/satemu" --dir "$scratch/device" --kit >"$scratch/ready" 2>"$scratch/satemu.log" &
emulator_pid=$!
if ! read -r -t 30 variables <"$scratch/ready"; then
  echo "FAIL  the packaged satemu did not start"
  cat "$scratch/satemu.log"
  exit 1
fi
eval "export $variables"

mkdir -p "$scratch/consumer"
cat >"$scratch/consumer/check.c" <<'C'
#include <kovrad.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  const char* reply = ConsultarStatusOperacional(GeraNumeroSessao(), "12345678");
  COMM_ERROR link = CodigoErro();
  printf("%s\n", reply);
  return link.code == __NOERROR__ && strstr(reply, "|10000|") != NULL ? 0 : 1;
}
C
# A consumer's build: the program of one source file, linked with an imported target.
#   consumer_project DIR LANGUAGE PACKAGE TARGET SOURCE
consumer_project() {
  local program=${5%.*}
  cat >"$1/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer $2)
find_package($3 2 REQUIRED)
add_executable($program $5)
target_compile_options($program PRIVATE -Wall -Wextra -Werror)
target_link_libraries($program PRIVATE $4)
CMAKE
}
consumer_project "$scratch/consumer" C kovrad kovrad::kovrad check.c

export PKG_CONFIG_PATH=$(dirname "$pc")
pkgconfig=(pkg-config --define-variable=prefix="$root/usr")
check "pkg-config knows kovrad $upstream" \
  eval '[[ $("${pkgconfig[@]}" --modversion kovrad) == "$upstream" ]]'
check "a C program builds through pkg-config and runs against the device" \
  eval '"$cc" "${cflags[@]}" -Wall -Wextra -Werror "$scratch/consumer/check.c" -o "$scratch/check-pc" \
          $("${pkgconfig[@]}" --cflags --libs kovrad) "${ldflags[@]}" &&
        contains "$(LD_LIBRARY_PATH="$libdir" ldd "$scratch/check-pc")" "$libdir/libkovrad.so.2" &&
        LD_LIBRARY_PATH="$libdir" "$scratch/check-pc"'
check "a C program builds through find_package(kovrad) and runs against the device" \
  eval 'cmake -S "$scratch/consumer" -B "$scratch/consumer/build" -G Ninja \
          -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_C_COMPILER="$cc" \
          -DCMAKE_C_FLAGS="${cflags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${ldflags[*]}" &&
        cmake --build "$scratch/consumer/build" &&
        "$scratch/consumer/build/check"'
cat >"$scratch/consumer/extrato.c" <<'C'
#include <kovrad-extrato.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  FILE* in = fopen(argv[argc - 1], "rb");
  static char coupon[1 << 20];
  size_t length = in ? fread(coupon, 1, sizeof coupon, in) : 0;
  size_t size = 0;
  char message[256];
  if (kovrad_extrato_gerar(coupon, length, KOVRAD_EXTRATO_TEXTO, 0, NULL, 0, &size, message,
                           sizeof message) != KOVRAD_EXTRATO_OK) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  char* text = malloc(size);
  int code = kovrad_extrato_gerar(coupon, length, KOVRAD_EXTRATO_TEXTO, 0, text, size, &size,
                                  message, sizeof message);
  fwrite(text, 1, size, stdout);
  free(text);
  return code;
}
C
check "pkg-config knows kovrad-extrato" \
  eval '[[ -n $("${pkgconfig[@]}" --modversion kovrad-extrato) ]]'
check "a C program builds against libkovrad-extrato through pkg-config and renders a coupon" \
  eval '"$cc" "${cflags[@]}" -Wall -Wextra -Werror "$scratch/consumer/extrato.c" -o "$scratch/extrato" \
          $("${pkgconfig[@]}" --cflags --libs kovrad-extrato) "${ldflags[@]}" &&
        contains "$(LD_LIBRARY_PATH="$libdir" "$scratch/extrato" "$RECEIPT_DATA/cfe-venda.xml")" "Extrato"'
# The client layer, as a C++ program links it: the status read into its typed reply.
mkdir -p "$scratch/consumer/cpp"
cat >"$scratch/consumer/cpp/status.cpp" <<'CPP'
#include <client/binding.h>
#include <client/replies.h>

#include <cstdio>

int main() {
  kovrad::client::Library library;
  const auto reply = KOVRAD_SAT(library, ConsultarStatusOperacional, 7, "12345678");
  const auto status = kovrad::client::ParseStatusReply(reply.text);
  std::printf("%s\n", reply.text.c_str());
  return status && status->head.EEEEE == "10000" && !status->NSERIE.empty() ? 0 : 1;
}
CPP
consumer_project "$scratch/consumer/cpp" CXX KovradClient Kovrad::client status.cpp
check "a C++ program builds through pkg-config kovrad-client and reads the device's status" \
  eval 'c++ -std=c++20 "${cflags[@]}" -Wall -Wextra -Werror "$scratch/consumer/cpp/status.cpp" \
          -o "$scratch/status-pc" $("${pkgconfig[@]}" --cflags --libs kovrad-client) "${ldflags[@]}" &&
        LD_LIBRARY_PATH="$libdir" "$scratch/status-pc"'
check "a C++ program builds through find_package(KovradClient) and reads the device's status" \
  eval 'cmake -S "$scratch/consumer/cpp" -B "$scratch/consumer/cpp/build" -G Ninja \
          -DCMAKE_PREFIX_PATH="$root/usr" \
          -DCMAKE_CXX_FLAGS="${cflags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${ldflags[*]}" &&
        cmake --build "$scratch/consumer/cpp/build" &&
        LD_LIBRARY_PATH="$libdir" "$scratch/consumer/cpp/build/status"'
check "the packaged satcli answers through the packaged library" \
  eval 'contains "$("$root/usr/bin/satcli" --lib "$libdir/libkovrad.so.2" ConsultarSAT)" "|08000|"'
# Unpacked away from /usr, it finds the library by the install layout alone.
check "the packaged satcli finds the packaged library without being told" \
  eval 'contains "$("$root/usr/bin/satcli" ConsultarSAT)" "|08000|"'

echo "$passed passed, $failures failed"
((failures == 0))
