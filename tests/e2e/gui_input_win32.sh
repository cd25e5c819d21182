#!/usr/bin/env bash
# qor.exe under wine: keys typed and a click made on the X display reach the
# window's actors as key, down and up events, and Alt+F4 closes the window
# through a close event.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=gui/common.sh
source "$here/gui/common.sh"

run_script input.qor
wait_line '^READY' 30 || { echo "FAIL: no window shown: $(output)"; exit 1; }
id=$(find_window QorInputProbe) || { echo "FAIL: no X window titled QorInputProbe"; exit 1; }
timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null
timeout 5 xdotool type --delay 50 hi
wait_line '^key #"i"' 10 || echo "FAIL: the typed keys did not arrive: $(output)"
timeout 5 xdotool mousemove --window "$id" 40 30 click 1
wait_line '^up ' 10 || echo "FAIL: the click did not arrive: $(output)"
timeout 5 xdotool key alt+F4
wait_line '^close' 10 || echo "FAIL: Alt+F4 gave no close event: $(output)"
finish || { echo "FAIL: exit status $?: $(output)"; exit 1; }

out=$(output)
failures=0
for line in 'backend: win32' 'key #"h"' 'key #"i"' 'close' 'windows left: 0' 'DONE'; do
  printf '%s\n' "$out" | grep -qxF -- "$line" || { echo "FAIL: no line '$line'"; failures=$((failures + 1)); }
done
printf '%s\n' "$out" | grep -q '^down ' || { echo "FAIL: no down event"; failures=$((failures + 1)); }
[[ $failures -eq 0 ]] || { echo "output:"; printf '%s\n' "$out"; exit 1; }
echo ok
