#!/usr/bin/env bash
# Checks the bash completion of ondrel-export against the program and a
# database: each case sets the words of a command line as bash would, calls
# the completion function, and compares what it offers with what is wanted.
#
#   check-completion.sh COMPLETION_FILE PROGRAM DATABASE_DIR
#
# DATABASE_DIR must hold the ISPEC CUSTOMER with the profile BYNAME (the demo
# database does).  Exits 1 when a case fails.
set -euo pipefail

completion=$1 program=$2 database=$3
# shellcheck source=/dev/null
source "$completion"
complete -p ondrel-export >/dev/null || { echo "FAIL: the file does not register a completion" >&2; exit 1; }

failures=0

# offers WANTED WORD...: completes the command line "PROGRAM WORD..." whose
# last word is the one being completed; WANTED is the sorted offers, one
# blank between them.
offers() {
  local wanted=$1
  shift
  COMP_WORDS=("$program" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _ondrel_export
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | paste -sd ' ')
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: ondrel-export $* <TAB> offers '$got', not '$wanted'" >&2
    failures=$((failures + 1))
  fi
}

ispecs=$("$program" "$database" | LC_ALL=C sort | paste -sd ' ')
profiles=$("$program" "$database" CUSTOMER | LC_ALL=C sort | paste -sd ' ')
every_option=$("$program" --help | grep -o -- '^  --[a-z0-9][a-z0-9-]*' | sed 's/^ *//' | LC_ALL=C sort -u |
  paste -sd ' ')
[ -n "$ispecs" ] && [ -n "$profiles" ] && [ -n "$every_option" ] ||
  { echo "FAIL: $program lists nothing for $database" >&2; exit 1; }

# Options, from the program's --help, and the choices of --format.
offers "$every_option" --
offers "--format" --form
offers "$(printf '%s\n' $every_option | grep -- '^--f' | paste -sd ' ')" --f
offers "$profiles" --window --seek X "$database" CUSTOMER ""
offers "csv json text" --format ""
offers "text" --format t
offers "csv json text" --format = ""
offers "" --from ""
# Arguments: a value given to an option is not an argument.
offers "$ispecs" "$database" ""
offers "$ispecs" --count 5 "$database" ""
offers "$ispecs" --count = 5 "$database" ""
offers "CUSTOMER" "$database" CU
offers "$profiles" --window 3 "$database" CUSTOMER ""
offers "BYNAME" "$database" CUSTOMER BY
offers "" "$database" CUSTOMER BYNAME ""
offers "" "$database" NOSUCH ""
# After --, a word that begins with a hyphen is an argument.
offers "" -- --f
# The directory, relative to the current one.
parent=$(dirname "$database") base=$(basename "$database")
(cd "$parent" && offers "$base" "${base%?}") || failures=$((failures + 1))
# The file --sqlite writes: file names (directories among them, to go down
# into), in either form of the option; the file is no argument, so DIR comes
# after it.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/dumps"
touch "$scratch/demo.db" "$scratch/demo.txt" "$scratch/other.db"
(
  cd "$scratch"
  offers "demo.db demo.txt" --sqlite dem
  offers "demo.db" --sqlite = demo.d
  offers "demo.db demo.txt dumps other.db" --force --sqlite ""
  offers "dumps" --sqlite demo.db d
  [ $failures -eq 0 ]
) || failures=$((failures + 1))

[ $failures -eq 0 ] || exit 1
echo "the completion offers the options, the choices of --format, file names for --sqlite, the ISPECs and the profiles"
