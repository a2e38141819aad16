#!/usr/bin/env bash
# translations_test.sh SOURCE_DIR SATCLI SATEMU KOVRAD_HUB
# Each program's marked messages, taken from its sources as they are now,
# against its pt_BR catalogue: none missing, none untranslated or fuzzy. Then
# each program under a pt_BR locale and under one that names no language.
set -euo pipefail
source_dir=$1
satcli=$2 satemu=$3 hub=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

check_catalogue() {
  local domain=$1
  shift
  local po=$source_dir/po/$domain/pt_BR.po
  xgettext --language=C++ --keyword=_ --keyword=N_ --from-code=UTF-8 \
    -o "$scratch/$domain.pot" "$@"
  if ! msgcmp "$po" "$scratch/$domain.pot" 2>"$scratch/$domain.missing"; then
    echo "$domain: messages without a pt_BR translation:"
    cat "$scratch/$domain.missing"
    failed=1
  fi
  local statistics
  statistics=$(msgfmt --check --statistics -o /dev/null "$po" 2>&1)
  if [[ $statistics == *fuzzy* || $statistics == *untranslated* || $statistics == *warning* ]]; then
    echo "$domain: $statistics"
    failed=1
  fi
}

check_catalogue satcli "$source_dir"/cli/src/*.cpp
check_catalogue satemu "$source_dir"/emulator/src/*.cpp
check_catalogue kovrad-hub "$source_dir"/hub/src/*.cpp

# C.UTF-8 is in every glibc; under the plain C locale gettext ignores LANGUAGE.
speaks() {
  local language=$1 expected=$2
  shift 2
  local said
  said=$(env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=C.UTF-8 ${language:+LANGUAGE=$language} "$@" 2>&1 || true)
  if [[ $said != *"$expected"* ]]; then
    echo "LANGUAGE=${language:-unset} $*: no \"$expected\" in:"
    echo "$said" | head -5
    failed=1
  fi
}

speaks pt_BR "Funções do SAT:" "$satcli" --help
speaks pt_BR "argumento inesperado: --nada" "$satcli" extrato cupom.xml --nada
speaks pt_BR "Serve os SAT deste computador" "$hub" --help
speaks pt_BR "uso: satemu" "$satemu" --help
speaks "" "SAT functions:" "$satcli" --help
speaks "" "Serves this computer's SAT devices" "$hub" --help
speaks "" "usage: satemu" "$satemu" --help
exit $failed
