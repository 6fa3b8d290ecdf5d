#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
#   1. the release build and every test;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. ondrel-export built as WebAssembly, against the native one under Node.js,
#      and the page in headless Chromium against the native tool;
#   4. a clang build that runs each fuzz target for a short while;
#   5. the Windows build, cross-compiled, its unit tests and its comparison
#      with the Linux build run under Wine.
# Set ONDREL_TEST_STAGES to a subset of "main asan web fuzz windows" to run fewer
# (or more).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

stages=${ONDREL_TEST_STAGES:-main asan web fuzz windows}
jobs=$(nproc)

for stage in $stages; do
  echo "=== $stage"
  case $stage in
    main)
      cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_BUILD_TESTS=ON -DONDREL_BUILD_SCREENS=ON \
        -DONDREL_WEB_EXPORT_JS= -DONDREL_WINDOWS_DIR=
      cmake --build build -j"$jobs"
      ctest --test-dir build --output-on-failure -j"$jobs" --timeout 900
      ;;
    web)
      # The native tool of the main build, and the WebAssembly one beside it;
      # the page in headless Chromium.
      bash scripts/build-web.sh build-web/out
      source scripts/install-packages.sh
      install_missing chromium chromium-driver python3-selenium
      cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_BUILD_TESTS=ON -DONDREL_BUILD_SCREENS=ON \
        -DONDREL_WEB_EXPORT_JS="$root/build-web/out/ondrel-export.js"
      cmake --build build -j"$jobs" --target web_parity_tests ondrel-page-fixture
      ctest --test-dir build --output-on-failure -j"$jobs" --timeout 900 -R '^(WebParityTest\.|web_page$)'
      ;;
    asan)
      # Without -fno-sanitize-recover a UBSan finding would still exit 0.
      flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
      cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DONDREL_BUILD_TESTS=ON -DONDREL_BUILD_SCREENS=ON \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
      cmake --build build-asan -j"$jobs"
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
      LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 1800
      ;;
    fuzz)
      CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DONDREL_FUZZ=ON -DONDREL_BUILD_SCREENS=OFF \
        -DONDREL_FUZZ_SECONDS="${ONDREL_FUZZ_SECONDS:-60}" \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
      cmake --build build-fuzz -j"$jobs"
      ctest --test-dir build-fuzz --output-on-failure --timeout 900
      ;;
    windows)
      # The Windows programs, then the Linux pieces of the main build they
      # are compared with (the main stage, run again, leaves these tests out).
      ONDREL_WINDOWS_TESTS=1 bash scripts/build-windows.sh build-windows
      cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_BUILD_TESTS=ON -DONDREL_BUILD_SCREENS=ON \
        -DONDREL_WINDOWS_DIR="$root/build-windows"
      cmake --build build -j"$jobs" \
        --target ondrel-export ondrel ondrel-sql-testdb ondrel-damage-corpus ondrel-make-demo
      ctest --test-dir build -R '^windows_' --output-on-failure --timeout 900
      ;;
    *)
      echo "unknown stage: $stage" >&2
      exit 2
      ;;
  esac
done
