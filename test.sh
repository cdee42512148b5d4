#!/bin/sh
# Builds and runs every test: the normal build (unit and end-to-end tests), the unit tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer, and short libFuzzer smoke runs.
set -eu
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

if [ "$(id -u)" = 0 ]; then ./.ci/install-packages; fi

# The tests must leave the machine as they found it: nothing new in /dev afterwards.
dev_before=$(ls -A /dev | sort)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" -L 'unit|e2e')

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORVANTO_SANITIZE=ON -DORVANTO_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j"$jobs" -L unit)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTO_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
(cd build-fuzz && ctest --output-on-failure -j"$jobs" -L fuzz)
dev_after=$(ls -A /dev | sort)
dev_new=$(printf '%s\n' "$dev_after" | grep -vxF -e "$dev_before" || true)
if [ -n "$dev_new" ]; then
  echo "the tests left new entries in /dev: $dev_new" >&2
  exit 1
fi
echo "all tests passed"
