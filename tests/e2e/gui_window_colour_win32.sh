#!/usr/bin/env bash
# qor.exe under wine opens a red window with its own window system: a
# screenshot of the display shows red inside the window's client area.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=gui/common.sh
source "$here/gui/common.sh"

run_script colour.qor
wait_line '^READY' 30 || { echo "FAIL: no window shown: $(output)"; exit 1; }
output | grep -qx 'backend: win32' || { echo "FAIL: not the Windows window system: $(output)"; exit 1; }
id=$(find_window QorColourProbe) || { echo "FAIL: no X window titled QorColourProbe"; exit 1; }
sleep 1   # the first paint
timeout 10 import -display "$DISPLAY" -window root "$gui_tmp/shot.png" ||
  { echo "FAIL: no screenshot"; exit 1; }
# The client area lies at 500x100 plus the frame (less than 40 pixels), 200x150 big.
pixel=$(convert "$gui_tmp/shot.png" -format '%[fx:int(255*p{600,190}.r)],%[fx:int(255*p{600,190}.g)],%[fx:int(255*p{600,190}.b)]' info:)
timeout 5 xdotool windowfocus --sync "$id" key q 2>/dev/null
finish || { echo "FAIL: exit status $?: $(output)"; exit 1; }
[[ $pixel == 255,0,0 ]] || { echo "FAIL: the window's colour is $pixel, not 255,0,0"; cp "$gui_tmp/shot.png" /tmp/qor-gui-colour-failed.png; exit 1; }
output | grep -qx DONE || { echo "FAIL: the script did not end: $(output)"; exit 1; }
echo ok
