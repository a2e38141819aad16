#!/usr/bin/env bash
# man_pages_test.sh MAN_DIR SATCLI SATEMU KOVRAD_HUB
# Every command and option a program's help names appears in its manual page,
# the English one (MAN_DIR/<program>.1) and the Portuguese one
# (MAN_DIR/pt_BR/<program>.1), and both format without warnings.
set -euo pipefail
man_dir=$1
satcli=$2 satemu=$3 hub=$4
failed=0

# The words a help text names: its options, the commands its usage lines give
# after the program's name, and the commands it describes one a line.
named() {
  local program=$1 help
  help=$(cat)
  grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u
  grep -E "^ *(usage:|uso:)? *$program " <<<"$help" | grep -oE "$program( [a-z]+)+" |
    tr ' ' '\n' | grep -vx "$program" | sort -u || true
  grep -oE '^  [a-z]+  ' <<<"$help" | tr -d ' ' | sort -u || true
}

# The page's text as a reader sees the words: no font changes, "\-" as "-".
page_text() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\[&%]//g' "$1"
}

check_page() {
  local program=$1 words=$2
  for page in "$man_dir/$program.1" "$man_dir/pt_BR/$program.1"; do
    if [[ ! -f $page ]]; then
      echo "missing: $page"
      failed=1
      continue
    fi
    local text
    text=$(page_text "$page")
    while read -r word; do
      [[ -z $word ]] && continue
      if ! grep -qwF -- "$word" <<<"$text"; then
        echo "$page: no $word"
        failed=1
      fi
    done <<<"$words"
    if LC_ALL=C.UTF-8 groff -man -ww -z -K utf8 "$page" 2>&1 | grep .; then
      echo "$page: warnings"
      failed=1
    fi
  done
}

# English help texts: the words are the same in both languages.
english() { env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=C.UTF-8 "$@" 2>&1 || true; }

satcli_words=$({
  english "$satcli" --help
  english "$satcli" help extrato
  english "$satcli" arquivo --help
  english "$satcli" venda
} | named satcli)
check_page satcli "$satcli_words"
check_page satemu "$(english "$satemu" --help | named satemu)"
hub_words=$({
  english "$hub" --help
  english "$hub" central --help
} | named kovrad-hub)
check_page kovrad-hub "$hub_words"
exit $failed
