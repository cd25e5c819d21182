#!/usr/bin/env bash
# Safe to source from scripts that run with "set -euo pipefail".
# Source this (". wine-env.sh") before running Windows test executables under wine.
# Starts Xvfb (if no DISPLAY), creates/updates a 32-bit wine prefix, fixes fonts for DirectWrite,
# turns off the crash dialog, and starts a persistent wineserver with its services already running,
# so that later wine runs take ~0.1 s and do not keep ctest's output pipes open.
# Stop everything with: wine_env_stop
: "${WINE_ENV_DIR:=/tmp/wine-env}"
export WINEPREFIX="${WINEPREFIX:-$WINE_ENV_DIR/prefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# no Mono / Gecko download prompts (not packaged for Debian 12 anyway)
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINE_ENV_DIR"
# Wine maps Windows file names to Unix ones through the locale's charset: without a UTF-8 locale
# (a bare machine has none set) names outside ASCII cannot be created or opened.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8*|*utf8*|*UTF8*|*utf-8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac

if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY="${WINE_ENV_DISPLAY:-:99}"
  if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$WINE_ENV_DIR/xvfb.log" 2>&1 </dev/null &
    echo $! >"$WINE_ENV_DIR/xvfb.pid"
    for _ in $(seq 1 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
fi

# The first wine process of a wineserver session fixes its display: start the server after DISPLAY is set,
# persistent (-p) so later runs skip start-up, with output to /dev/null (the services it spawns inherit these fds,
# and would otherwise keep ctest's output pipe open until the server exits).
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null || true   # fails when one is already running
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null
  # Debian's wine 8 does not load its own fonts (Tahoma, Marlett, ...) from /usr/share/wine/fonts;
  # put them into C:\windows\Fonts and register Tahoma so DirectWrite's system collection has it.
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # A crash must not open winedbg's dialog (it waits for a click forever under Xvfb).
  cat >"$WINE_ENV_DIR/setup.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]
"Tahoma (TrueType)"="tahoma.ttf"
"Tahoma Bold (TrueType)"="tahomabd.ttf"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
  wine regedit /S "$(winepath -w "$WINE_ENV_DIR/setup.reg")" >/dev/null 2>&1 </dev/null
fi
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

wine_env_stop() {
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  if [ -f "$WINE_ENV_DIR/xvfb.pid" ]; then kill "$(cat "$WINE_ENV_DIR/xvfb.pid")" 2>/dev/null; rm -f "$WINE_ENV_DIR/xvfb.pid"; fi
}
