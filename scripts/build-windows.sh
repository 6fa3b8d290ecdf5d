#!/usr/bin/env bash
# Cross-builds ondrel-export and the SQLite extension for 64-bit Windows:
#
#   bash scripts/build-windows.sh OUTDIR
#
# writes OUTDIR/ondrel-export.exe, OUTDIR/ondrel.dll (the loadable extension,
# entry point sqlite3_ondrel_init), OUTDIR/sqlite3.exe (SQLite's own shell)
# and OUTDIR/ondrelview-windows.zip of the three with README.txt.  None needs a
# DLL beyond Windows' own.  SQLite comes from Debian's source package of the
# version the Linux build links, fetched through a private sources list so
# that the machine's apt setup is left as it is.  The build itself, with the
# core's unit tests (ONDREL_WINDOWS_TESTS=1), is kept in OUTDIR/build, the
# amalgamation in OUTDIR/sqlite and what it was made from in
# OUTDIR/sqlite-source.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: bash scripts/build-windows.sh OUTDIR" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
root=$(pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
work=$out/sqlite-source

bash scripts/install-windows-deps.sh

# SQLite's amalgamation, from the source package of the version installed.
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
[ -n "$version" ] || version=$(apt-cache policy libsqlite3-dev | awk '/Candidate:/ {print $2}')
amalgamation=$out/sqlite
if [ "$(cat "$amalgamation/.version" 2>/dev/null)" != "$version" ]; then
  apt_dir=$work/apt
  rm -rf "$work"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/source"
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  cat > "$apt_dir/sources.list" <<LIST
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename main
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $codename-security main
LIST
  apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
               -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
               -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update -qq
  rm -rf "$work/source" && mkdir -p "$work/source"
  (cd "$work/source" && apt-get "${apt_options[@]}" source --download-only -qq "sqlite3=$version" &&
     dpkg-source -x ./*.dsc tree > /dev/null)
  # The amalgamation is made by SQLite's own build from the patched tree.
  rm -rf "$work/sqlite-make" && mkdir -p "$work/sqlite-make"
  (cd "$work/sqlite-make" && "$work/source/tree/configure" --disable-tcl > configure.log &&
     make -j"$(nproc)" sqlite3.c shell.c > make.log)
  rm -rf "$amalgamation" && mkdir -p "$amalgamation"
  cp "$work/sqlite-make"/{sqlite3.c,sqlite3.h,sqlite3ext.h,shell.c} "$amalgamation/"
  echo "$version" > "$amalgamation/.version"
fi

# Hardening flags are dpkg-buildflags' for ELF programs: not for this build.
cmake -S . -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$root/windows/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_BUILD_SCREENS=OFF -DONDREL_HARDENING=OFF \
  -DONDREL_BUILD_TESTS="$([ "${ONDREL_WINDOWS_TESTS:-0}" = 1 ] && echo ON || echo OFF)" \
  -DONDREL_SQLITE_AMALGAMATION="$amalgamation" \
  $(command -v ccache > /dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache) \
  > "$out/build.log"
targets=(ondrel-export ondrel sqlite3)
[ "${ONDREL_WINDOWS_TESTS:-0}" = 1 ] && targets+=(database_tests viewer_tests check_tests ondrel-hold-open)
cmake --build "$out/build" -j"$(nproc)" --target "${targets[@]}"

# The debugging information stays in the build; the copies handed out are
# stripped.
for file in tools/export/ondrel-export.exe sql/ondrel.dll windows/sqlite3.exe; do
  x86_64-w64-mingw32-strip -o "$out/$(basename "$file")" "$out/build/$file"
done

# The tests' helper goes beside the programs, though not into the zip.
if [ "${ONDREL_WINDOWS_TESTS:-0}" = 1 ]; then
  cp "$out/build/windows/ondrel-hold-open.exe" "$out/"
fi

# Nothing may need a DLL that Windows does not bring.
for file in ondrel-export.exe ondrel.dll sqlite3.exe; do
  foreign=$(x86_64-w64-mingw32-objdump -p "$out/$file" | awk '/DLL Name:/ {print $3}' |
            grep -viE '^(kernel32|msvcrt|user32|advapi32|shell32|ws2_32|ole32|oleaut32|shlwapi|bcrypt)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "$file needs DLLs Windows does not have: $foreign" >&2
    exit 1
  fi
done

rm -f "$out/ondrelview-windows.zip"
(cd "$out" && cp "$root/windows/README.txt" README.txt &&
   zip -q -X ondrelview-windows.zip ondrel-export.exe ondrel.dll sqlite3.exe README.txt && rm README.txt)
echo "Written: $out/ondrel-export.exe $out/ondrel.dll $out/sqlite3.exe $out/ondrelview-windows.zip"
