#!/usr/bin/env bash
# Shared by the GUI tests of qor.exe under wine (tests/e2e/gui_*_win32.sh):
# prepares the wine environment (Xvfb, prefix, server) so that xdotool and
# import see the display qor.exe draws on, runs a Qor script of this folder
# in the background, and waits for lines of its output.  Every wait has a
# time limit: a window that never appears ends the test, not the run.
set -u
gui_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
gui_root=$(cd "$gui_here/../../.." && pwd)
scale=${QOR_TEST_TIME_SCALE:-1}
[[ -n ${QOR:-} ]] || { echo "QOR is not set"; exit 1; }
for tool in xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
# shellcheck source=../../../scripts/wine-env.sh
source "$gui_root/scripts/wine-env.sh" >/dev/null 2>&1 </dev/null ||
  { echo "FAIL: the wine environment could not be prepared (scripts/wine-env.sh)"; exit 1; }
gui_tmp=$(mktemp -d /tmp/qor-e2e-gui.XXXXXX)
gui_pid=

gui_cleanup() {
  if [[ -n $gui_pid ]] && kill -0 "$gui_pid" 2>/dev/null; then
    kill "$gui_pid" 2>/dev/null
    wait "$gui_pid" 2>/dev/null
  fi
  wine_env_stop >/dev/null 2>&1
  rm -rf "$gui_tmp"
}
trap gui_cleanup EXIT

# run_script NAME.qor: starts it in the background (output in $gui_tmp/out),
# stopped after a minute at the latest (the scripts end by themselves in
# about ten seconds).
run_script() {
  timeout -k 5 $((60 * scale)) "$QOR" "$gui_here/$1" </dev/null >"$gui_tmp/out" 2>&1 &
  gui_pid=$!
}

# wait_line PATTERN SECONDS: until the output has a line matching PATTERN;
# fails when the script ended or the time is up first.
wait_line() {
  local tries=$(($2 * scale * 10))
  for ((i = 0; i < tries; i++)); do
    tr -d '\r' <"$gui_tmp/out" | grep -q -- "$1" && return 0
    kill -0 "$gui_pid" 2>/dev/null || { tr -d '\r' <"$gui_tmp/out" | grep -q -- "$1"; return; }
    sleep 0.1
  done
  return 1
}

# find_window TITLE: the X window id of the window with that title, or fails.
find_window() {
  local id
  for ((i = 0; i < 50 * scale; i++)); do
    id=$(timeout 5 xdotool search --name "^$1\$" 2>/dev/null | head -1)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# finish: waits for the script's own end (bounded) and gives its status.
finish() {
  local status
  wait "$gui_pid"; status=$?
  gui_pid=
  return $status
}

output() { tr -d '\r' <"$gui_tmp/out"; }
