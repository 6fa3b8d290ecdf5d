#!/usr/bin/env bash
# Checks manual pages against their programs:
#   1. each page renders with man, as ASCII and as UTF-8 at 80 columns,
#      with every warning of groff switched on and none given;
#   2. man-db can index it (its NAME line is read by lexgrog);
#   3. every option that the program's --help names has an item of its own
#      under OPTIONS in the page's source (a tag after .TP), so that an
#      option added to a program and not to its page is caught.
#
#   check-man-pages.sh PROGRAM PAGE [PROGRAM PAGE ...]
#
# PAGE may be compressed with gzip.  Prints what it checked; exits 1 with the
# problems found, 2 on a usage error.
set -euo pipefail

if [ $# -eq 0 ] || [ $(($# % 2)) -ne 0 ]; then
  echo "usage: check-man-pages.sh PROGRAM PAGE [PROGRAM PAGE ...]" >&2
  exit 2
fi

problems=0
problem() {
  echo "FAIL: $*" >&2
  problems=$((problems + 1))
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The option tags under OPTIONS, one a line: the line after each .TP, with
# its font macro, font escapes and \- undone.
option_tags() {
  awk '
    /^\.SH/ { in_options = ($0 ~ /^\.SH +"?OPTIONS"?[ \t]*$/); next }
    in_options && /^\.TP/ { tag = 1; next }
    in_options && tag {
      tag = 0
      line = $0
      sub(/^\.[A-Z]+[ \t]*/, "", line)
      gsub(/\\f(\[[^]]*\]|\(..|.)/, "", line)
      gsub(/\\-/, "-", line)
      gsub(/\\%/, "", line)
      gsub(/"/, " ", line)
      if (match(line, /^[ \t]*--[a-z0-9][a-z0-9-]*/)) {
        option = substr(line, RSTART, RLENGTH)
        gsub(/[ \t]/, "", option)
        print option
      }
    }'
}

while [ $# -gt 0 ]; do
  program=$1 page=$2
  shift 2
  name=$(basename "$page")
  before=$problems
  [ -x "$program" ] || { problem "$program is not a program"; continue; }
  [ -f "$page" ] || { problem "no manual page $page"; continue; }
  source_file="$scratch/$name.src"
  case $page in
    *.gz) gzip -dc "$page" >"$source_file" ;;
    *) cp "$page" "$source_file" ;;
  esac

  for encoding in ascii UTF-8; do
    if ! MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings=w -E "$encoding" -l "$page" >"$scratch/out" 2>"$scratch/err"; then
      problem "$name: man could not render it ($encoding)"
    fi
    if [ -s "$scratch/err" ]; then
      problem "$name: man gave warnings ($encoding):"
      sed 's/^/    /' "$scratch/err" >&2
    fi
    [ -s "$scratch/out" ] || problem "$name: man rendered nothing ($encoding)"
  done
  lexgrog "$page" >/dev/null 2>&1 || problem "$name: man-db cannot read its NAME line (lexgrog)"

  "$program" --help >"$scratch/help" 2>&1 || problem "$program --help ended with status $?"
  mapfile -t options < <(grep -o -- '--[a-z0-9][a-z0-9-]*' "$scratch/help" | sort -u)
  [ ${#options[@]} -gt 0 ] || problem "$program --help names no option"
  mapfile -t tags < <(option_tags <"$source_file" | sort -u)
  for option in "${options[@]}"; do
    printf '%s\n' "${tags[@]}" | grep -qxF -- "$option" ||
      problem "$name: $program --help names $option, but the page has no item for it under OPTIONS"
  done
  if [ $problems -eq $before ]; then
    echo "$name: renders without warnings; items under OPTIONS for ${options[*]}"
  fi
done

[ $problems -eq 0 ] || exit 1
