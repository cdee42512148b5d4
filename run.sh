#!/bin/sh
# Builds the show and starts it with this terminal's standard input. Installs missing packages
# first when run as root. Without a reachable X display it starts a private Xvfb and says so.
set -eu
cd "$(dirname "$0")"
if [ "$(id -u)" = 0 ]; then ./.ci/install-packages; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target orvanto

xvfb_pid=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  n=40
  while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
  echo "No X display is reachable: starting a private Xvfb on :$n (24-bit, 800x600)."
  Xvfb :$n -nolisten tcp -screen 0 800x600x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:$n
  i=0
  while ! xdpyinfo >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
fi
status=0
./build/orvanto || status=$?
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
exit $status
