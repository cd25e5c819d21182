#!/usr/bin/env bash
# qor.exe under wine with its output redirected: the GUI console is set up
# (native window, settings, terminal) but never shown, print reaches the
# standard output, and quit/return gives the process its status.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=gui/common.sh
source "$here/gui/common.sh"

run_script hidden-console.qor
wait_line '^READY' 30 || { echo "FAIL: the script did not start: $(output)"; exit 1; }
shown=$(timeout 5 xdotool search --onlyvisible --name '^Qor Console$' 2>/dev/null | head -1)
finish; status=$?
[[ -z $shown ]] || { echo "FAIL: the console window was shown"; exit 1; }
[[ $status -eq 3 ]] || { echo "FAIL: exit status $status, not 3: $(output)"; exit 1; }
out=$(output)
failures=0
for line in 'backend: win32' 'gui? false native window: true visible? false settings: true' \
            'buffer: "into the buffer" visible? false' 'DONE visible? false'; do
  printf '%s\n' "$out" | grep -qxF -- "$line" || { echo "FAIL: no line '$line'"; failures=$((failures + 1)); }
done
[[ $failures -eq 0 ]] || { echo "output:"; printf '%s\n' "$out"; exit 1; }
echo ok
