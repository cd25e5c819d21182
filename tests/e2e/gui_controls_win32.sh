#!/usr/bin/env bash
# qor.exe under wine: a click on a button reaches its on-click actor, three
# clicks on a tri-state check box step it through true, none and false, and
# typing in a field gives change events with the field's new text.  The
# faces are tall enough that the clicks land on them with or without a
# caption above the client area.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=gui/common.sh
source "$here/gui/common.sh"

run_script controls.qor
wait_line '^READY' 30 || { echo "FAIL: no window shown: $(output)"; exit 1; }
id=$(find_window QorControlsProbe) || { echo "FAIL: no X window titled QorControlsProbe"; exit 1; }
timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null
timeout 5 xdotool mousemove --window "$id" 150 45 click 1
wait_line '^click$' 10 || echo "FAIL: the button click did not arrive: $(output)"
for _ in 1 2 3; do
  timeout 5 xdotool mousemove --window "$id" 150 115 click 1
  sleep 0.7   # apart enough not to be a double click
done
wait_line '^check false$' 10 || echo "FAIL: the check box did not come round: $(output)"
timeout 5 xdotool mousemove --window "$id" 150 175 click 1
timeout 5 xdotool type --delay 50 ok
wait_line '^text "ok"$' 10 || echo "FAIL: typing gave no change: $(output)"
timeout 5 xdotool key alt+F4
wait_line '^close' 10 || echo "FAIL: Alt+F4 gave no close event: $(output)"
finish || { echo "FAIL: exit status $?: $(output)"; exit 1; }

out=$(output)
failures=0
for line in 'backend: win32' 'click' 'check true' 'check none' 'check false' 'text "o"' 'text "ok"' 'DONE'; do
  printf '%s\n' "$out" | grep -qxF -- "$line" || { echo "FAIL: no line '$line'"; failures=$((failures + 1)); }
done
# The cycle in order: checked, indeterminate, unchecked.
order=$(printf '%s\n' "$out" | grep '^check ' | tr '\n' ' ')
[[ $order == 'check true check none check false ' ]] || { echo "FAIL: check order: $order"; failures=$((failures + 1)); }
[[ $failures -eq 0 ]] || { echo "output:"; printf '%s\n' "$out"; exit 1; }
echo ok
