#!/usr/bin/env bash
# tools/qor-win started where nothing runs (no display, no wineserver for its
# prefix) starts Xvfb and a wineserver, gives the program's output and exit
# status, and when the last of overlapping runs ends, none of what they
# started is left running.  A server and display that ran before it are left
# alone.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
qor_win="$root/tools/qor-win"
[[ -n ${QOR_EXE:-} ]] || { echo "QOR_EXE is not set"; exit 1; }
tmp=$(mktemp -d /tmp/qor-e2e-wine.XXXXXX)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A prefix of its own, so that its wineserver is its own.  Made from the
# current one (hard links where wine only reads: the Windows directory's
# programs and libraries), or by qor-win itself when there is none.
template=${WINEPREFIX:-${WINE_ENV_DIR:-/tmp/wine-env}/prefix}
if [[ -f $template/system.reg ]]; then
  mkdir -p "$tmp/prefix/drive_c"
  for entry in "$template"/* "$template"/.[!.]*; do
    [[ -e $entry && ${entry##*/} != drive_c ]] && cp -a "$entry" "$tmp/prefix/"
  done
  for entry in "$template"/drive_c/*; do
    [[ ${entry##*/} == windows ]] && continue
    cp -a "$entry" "$tmp/prefix/drive_c/"
  done
  cp -al "$template/drive_c/windows" "$tmp/prefix/drive_c/"
  for ini in "$tmp/prefix/drive_c/windows"/*.ini; do
    [[ -e $ini ]] && cp --remove-destination "$template/drive_c/windows/${ini##*/}" "$ini"
  done
fi

# A display number that nobody uses.
display=
for _ in $(seq 1 50); do
  n=$((150 + RANDOM % 250))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] || { display=:$n; break; }
done
[[ -n $display ]] || { echo "no free display"; exit 1; }

run_env=(env -u DISPLAY -u WINEPREFIX "WINE_ENV_DIR=$tmp" "WINE_ENV_DISPLAY=$display" "QOR_EXE=$QOR_EXE")

# Live (not zombie) processes of this prefix or this display.
survivors() {
  local dir stat state args
  for dir in /proc/[0-9]*; do
    read -r stat 2>/dev/null <"$dir/stat" || continue
    state=${stat##*) }; state=${state%% *}
    [[ $state != Z ]] || continue
    args=()
    mapfile -d '' args 2>/dev/null <"$dir/cmdline"
    if [[ ${args[0]:-} == Xvfb && ${args[1]:-} == "$display" ]] ||
       grep -qzxF "WINEPREFIX=$tmp/prefix" "$dir/environ" 2>/dev/null; then
      echo "${dir#/proc/}: ${args[*]}"
    fi
  done
}
# Processes killed a moment ago may not have died yet.
expect_none_left() {
  local left
  for _ in $(seq 1 50); do left=$(survivors); [[ -z $left ]] && return; sleep 0.1; done
  fail "$1: still running:"$'\n'"$left"
}

cleanup() {
  # Whatever a failed check left: only this test's prefix and display.
  local pid
  for pid in $(survivors | cut -d: -f1); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# Run A: the console over a pipe kept open, so that it is still running
# while run B starts and ends.
mkfifo "$tmp/in"
"${run_env[@]}" "$qor_win" <"$tmp/in" >"$tmp/a.out" 2>&1 &
a=$!
exec 3>"$tmp/in"
echo 'print 40 + 2' >&3
for _ in $(seq 1 600); do grep -q '^42' "$tmp/a.out" && break; kill -0 $a 2>/dev/null || break; sleep 0.1; done
grep -q '^42' "$tmp/a.out" || fail "run A did not answer: $(cat "$tmp/a.out")"

# Run B: a script, while A runs; it must not stop what A uses.
printf 'Qor []\nprint "from the script"\nquit/return 3\n' >"$tmp/status.qor"
out=$(timeout 60 "${run_env[@]}" "$qor_win" "$tmp/status.qor" 2>&1 </dev/null); status=$?
[[ $status -eq 3 ]] || fail "run B: exit status $status"
[[ $(printf '%s' "$out" | tr -d '\r') == "from the script" ]] || fail "run B: output: $out"

printf 'print "still here"\nquit/return 5\n' >&3
exec 3>&-
wait $a; status=$?
[[ $status -eq 5 ]] || fail "run A: exit status $status"
grep -q '^still here' "$tmp/a.out" || fail "run A after run B: $(cat "$tmp/a.out")"
expect_none_left "after the runs"

# A server and a display that ran before are left running.
prepared_run() {
  local bad=0 out status
  unset DISPLAY WINEPREFIX
  export WINE_ENV_DIR=$tmp WINE_ENV_DISPLAY=$display
  # shellcheck source=../../scripts/wine-env.sh
  source "$root/scripts/wine-env.sh" >/dev/null 2>&1 </dev/null
  out=$("${run_env[@]}" "$qor_win" "$tmp/status.qor" 2>&1 </dev/null); status=$?
  [[ $status -eq 3 && $(printf '%s' "$out" | tr -d '\r') == "from the script" ]] ||
    { echo "FAIL: run in a prepared environment: status $status, output: $out"; bad=1; }
  xdpyinfo -display "$display" >/dev/null 2>&1 ||
    { echo "FAIL: qor-win stopped a display it had not started"; bad=1; }
  wineserver -k 2>/dev/null </dev/null ||
    { echo "FAIL: qor-win stopped a server it had not started"; bad=1; }
  wine_env_stop --all
  return $bad
}
( prepared_run ) || failures=$((failures + 1))
expect_none_left "after the prepared environment was stopped"

if [[ $failures -eq 0 ]]; then echo ok; else exit 1; fi
