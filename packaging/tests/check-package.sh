#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it as a user
# would meet it:
#   1. cpack makes ondrelview_VERSION_ARCH.deb; its contents are listed, and
#      they are exactly the files wanted;
#   2. its control fields: the version, a maintainer, the section, a
#      description, and dependencies that dpkg-shlibdeps found (Qt and the C
#      library) beside the fonts;
#   3. apt would install it on this machine (a simulation: nothing changes);
#   4. unpacked into a scratch root (dpkg -x), the installed programs run from
#      there: --version, a listing of the demo database, the viewer on the
#      offscreen platform, and the viewer on a virtual X server, started on
#      the demo database from another directory, whose file chooser lists the
#      demo's ISPECs;
#   5. the installed menu entry validates and names an installed icon and
#      program; the icons are PNG files of their sizes; the manual pages and
#      the completion are the project's own; the changelog's latest entry is
#      this version; the SQLite extension loads from its private folder;
#   6. lintian finds no error and no warning, and the package runs nothing
#      when installed (no ldconfig: nothing of it is a public library).
#
#   check-package.sh SOURCE_DIR BUILD_DIR VERSION DEMO_DIR [EXTRA_FILE...]
#
# EXTRA_FILE: further files the package must hold, as paths inside it
# (usr/lib/x86_64-linux-gnu/ondrelview/libondrel.so).  Every wait has a time limit; on a failure the
# script says what went wrong and ends with status 1.
set -euo pipefail
shopt -s inherit_errexit

source_dir=$1 build=$2 version=$3 demo=$4
shift 4
extra_files=("$@")

# The functions that drive the viewer on a virtual X server.
# shellcheck source=../../scripts/screenshot.sh
source "$source_dir/scripts/screenshot.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# 1. The package and its contents.
arch=$(dpkg --print-architecture)
deb_name="ondrelview_${version}_${arch}.deb"
started=$SECONDS
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  fail "cpack could not make the package"
}
deb="$scratch/package/$deb_name"
[ -f "$deb" ] || fail "cpack made $(cd "$scratch/package" && ls -- *.deb 2>/dev/null | paste -sd ' ') instead of $deb_name"
echo "$deb_name made in $((SECONDS - started)) s, $(stat -c %s "$deb") bytes; it holds:"
dpkg-deb -c "$deb" | tee "$scratch/contents" | sed 's/^/  /'

wanted=(
  usr/bin/ondrelview
  usr/bin/ondrel-export
  usr/share/applications/ondrelview.desktop
  usr/share/icons/hicolor/48x48/apps/ondrelview.png
  usr/share/icons/hicolor/256x256/apps/ondrelview.png
  usr/share/man/man1/ondrelview.1.gz
  usr/share/man/man1/ondrel-export.1.gz
  usr/share/bash-completion/completions/ondrel-export
  usr/share/doc/ondrelview/copyright
  usr/share/doc/ondrelview/changelog.gz
  "${extra_files[@]}"
)
# The files (not the folders) as paths inside the package.
awk '$1 !~ /^d/ { path = $6; sub(/^\.\//, "", path); print path }' "$scratch/contents" | sort >"$scratch/held"
printf '%s\n' "${wanted[@]}" | sed '/^$/d' | sort >"$scratch/wanted"
if ! cmp -s "$scratch/held" "$scratch/wanted"; then
  diff "$scratch/wanted" "$scratch/held" | sed -n 's/^< /  missing: /p; s/^> /  not wanted: /p' >&2
  fail "the package does not hold exactly the files wanted"
fi

# 2. Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ondrelview ] || fail "the package is named '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "the package's version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "the package's architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "the package names no maintainer"
[ -n "$(field Section)" ] || fail "the package names no section"
[ "$(field Description | wc -l)" -ge 3 ] || fail "the package has no extended description"
depends=$(field Depends)
echo "Depends: $depends"
# The packages' names, without the versions they need.
depends_names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 fonts-liberation; do
  grep -qxF -- "$needed" <<<"$depends_names" || fail "the dependencies do not name $needed"
done

# 3. apt would install it, with every dependency found.
apt-get install --simulate -o Debug::NoLocking=1 "$deb" >"$scratch/apt.log" 2>&1 || {
  cat "$scratch/apt.log" >&2
  fail "apt-get install --simulate $deb_name failed"
}
grep -Eq "^Inst ondrelview |ondrelview is already the newest version" "$scratch/apt.log" || {
  cat "$scratch/apt.log" >&2
  fail "apt-get would not install ondrelview"
}
echo "apt-get install --simulate: $(grep -c '^Inst ' "$scratch/apt.log") package(s) to install, ondrelview among them"

# 4. The installed programs, run from a scratch root.
root="$scratch/root"
dpkg -x "$deb" "$root"
for program in "$root"/usr/bin/*; do
  if readelf -d "$program" | grep -Eq '\((RPATH|RUNPATH)\)'; then
    fail "$(basename "$program") looks for libraries in a fixed folder: $(readelf -d "$program" | grep -E 'R(UN)?PATH')"
  fi
done
# The hardening dpkg-buildflags gives: read-only relocations, bound at start,
# and the stack protector.
for binary in "$root"/usr/bin/* "${extra_files[@]/#/$root/}"; do
  readelf -l "$binary" | grep GNU_RELRO >/dev/null || fail "${binary#"$root"} has no read-only relocations"
  readelf -d "$binary" | grep -E 'BIND_NOW|FLAGS.*\bNOW\b' >/dev/null || fail "${binary#"$root"} is not bound at start"
  nm -D "$binary" | grep __stack_chk_fail >/dev/null || fail "${binary#"$root"} is built without the stack protector"
done
echo "hardened: read-only relocations bound at start, the stack protector"
for program in ondrelview ondrel-export; do
  said=$("$root/usr/bin/$program" --version) || fail "$program --version ended with status $?"
  [ "$said" = "$program $version" ] || fail "$program --version says '$said', not '$program $version'"
done
echo "--version: ondrelview $version, ondrel-export $version"

# The ISPECs are the definition files other than the profiles', without
# their leading underscore and ".DFN", in character-code order.
expected=$(find "$demo" -maxdepth 1 -type f -name '_*.DFN' ! -name '*_P.DFN' -printf '%f\n' |
  sed 's/^_//; s/\.DFN$//' | LC_ALL=C sort)
listed=$("$root/usr/bin/ondrel-export" "$demo") || fail "ondrel-export $demo ended with status $?"
[ -n "$expected" ] && [ "$listed" = "$expected" ] ||
  fail "ondrel-export $demo lists '$(paste -sd ' ' <<<"$listed")', not '$(paste -sd ' ' <<<"$expected")'"
echo "ondrel-export lists the demo's ISPECs: $(paste -sd ' ' <<<"$listed")"

export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# On the offscreen platform the viewer shows its splash and waits for it to
# be answered: still running after 5 seconds, with nothing said, it started.
status=0
(cd / && QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/ondrelview" "$demo") >"$scratch/offscreen.log" 2>&1 ||
  status=$?
[ $status = 124 ] || { cat "$scratch/offscreen.log" >&2; fail "the viewer ended on the offscreen platform with status $status"; }
[ ! -s "$scratch/offscreen.log" ] || { cat "$scratch/offscreen.log" >&2; fail "the viewer wrote messages on the offscreen platform"; }
echo "the viewer runs on the offscreen platform"

# On a virtual X server: the splash, "&OK", the contents screen; "Choose
# File" opens the chooser, whose first ISPEC can be chosen only when it
# lists the demo database given on the command line (the viewer runs in /,
# which holds none); then "&Cancel" and "Exit".
start_x
trap 'cleanup; rm -rf "$scratch"' EXIT
launch_viewer / "$root/usr/bin/ondrelview" "$demo"
splash=$(wait_window "$SPLASH_TITLE" 20)
xdotool windowfocus --sync "$splash"
xdotool key --window "$splash" alt+o
wait_window_gone "$SPLASH_TITLE" 10
contents_window=$(wait_window "$CONTENTS_TITLE\$" 10)
click "$contents_window" $CHOOSE_FILE_AT
chooser=$(wait_window '^Choose Path and Ispec$' 10)
click "$chooser" $ISPEC_LIST_AT
title=$(wait_title_change "$chooser" 'Choose Path and Ispec' 20) ||
  fail "choosing the first ISPEC did not change the chooser's title: it does not list $demo"
[ "$title" = 'Choose Profile' ] || fail "after choosing the first ISPEC the chooser's title is '$title'"
xdotool windowfocus --sync "$chooser"
xdotool key --window "$chooser" alt+c
wait_window_gone '^Choose Profile$' 10
exit_viewer
echo "the viewer on X: splash, contents screen, the chooser listing $demo, Exit with status 0"

# 5. What else was installed.
share="$root/usr/share"
entry="$share/applications/ondrelview.desktop"
sh "$source_dir/packaging/tests/check-desktop-entry.sh" "$entry" >/dev/null || fail "the installed menu entry is not valid"
icon=$(sed -n 's/^Icon=//p' "$entry")
program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root/usr/bin/$program" ] || fail "the menu entry starts '$program', which the package does not install"
for size in 48 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/$icon.png"
  [ -f "$png" ] || fail "the menu entry's icon '$icon' is not installed at ${size}x${size}"
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png is $(file -b "$png")"
done
for page in ondrelview.1 ondrel-export.1; do
  gzip -dc "$share/man/man1/$page.gz" | cmp -s - "$source_dir/docs/man/$page" ||
    fail "the installed $page is not docs/man/$page"
done
cmp -s "$share/bash-completion/completions/ondrel-export" "$source_dir/packaging/ondrel-export.bash-completion" ||
  fail "the installed completion is not packaging/ondrel-export.bash-completion"
echo "the menu entry validates; its icon is installed at 48 and 256 pixels; manual pages and completion as written"

gzip -dc "$share/doc/ondrelview/changelog.gz" >"$scratch/changelog"
changelog_version=$(dpkg-parsechangelog -l "$scratch/changelog" --show-field Version) ||
  fail "the installed changelog cannot be read"
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is version '$changelog_version', not $version: packaging/changelog needs an entry"
cmp -s "$share/doc/ondrelview/copyright" "$source_dir/packaging/copyright" ||
  fail "the installed copyright is not packaging/copyright"
echo "the changelog's latest entry is $version; the copyright is packaging/copyright"

# The extension, where the package puts it, loaded by the sqlite3 shell by
# its path, lists the demo's ISPECs as ondrel-export does.
for extension in "${extra_files[@]}"; do
  [[ $extension == *.so ]] || continue
  command -v sqlite3 >/dev/null || fail "sqlite3 is not installed (scripts/install-deps.sh installs it)"
  from_sql=$(sqlite3 :memory: ".load $root/${extension%.so}" "SELECT * FROM ondrel_ispecs('$demo');" 2>&1) ||
    fail "sqlite3 could not load the installed extension: $from_sql"
  from_sql=$(cut -d '|' -f 1 <<<"$from_sql")  # the ISPEC's name is the first column
  [ "$(LC_ALL=C sort <<<"$from_sql")" = "$expected" ] ||
    fail "the installed extension lists '$(paste -sd ' ' <<<"$from_sql")', not '$(paste -sd ' ' <<<"$expected")'"
  echo "sqlite3 loads /${extension%.so} and lists the demo's ISPECs"
done

# 6. lintian, and what runs on installation.
dpkg-deb -e "$deb" "$scratch/control"
for script in preinst postinst prerm postrm triggers; do
  if [ -e "$scratch/control/$script" ]; then
    sed 's/^/  /' "$scratch/control/$script" >&2
    fail "the package has a $script: it runs something when installed or removed"
  fi
done
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
status=0
lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>"$scratch/lintian.err" || status=$?
if [ $status != 0 ] || grep -Eq '^[EW]: ' "$scratch/lintian.log"; then
  cat "$scratch/lintian.log" "$scratch/lintian.err" >&2
  fail "lintian finds errors or warnings in $deb_name (status $status)"
fi
echo "lintian: no error, no warning$( [ -s "$scratch/lintian.log" ] && printf '; also said:\n%s' "$(sed 's/^/  /' "$scratch/lintian.log")")"
