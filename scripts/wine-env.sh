#!/usr/bin/env bash
# Safe to source from scripts that run with "set -euo pipefail".
# Source this (". wine-env.sh") before running Windows test executables under wine.
# Starts Xvfb (if no DISPLAY), creates/updates a 32-bit wine prefix, fixes fonts for DirectWrite,
# turns off the crash dialog, and starts a persistent wineserver with its services already running,
# so that later wine runs take ~0.1 s and do not keep ctest's output pipes open.
# What this shell started is remembered: wine_env_stop stops that (the Xvfb and wineserver it
# started, none that ran before); wine_env_stop --all stops this environment's server and Xvfb
# whoever started them.
: "${WINE_ENV_DIR:=/tmp/wine-env}"
export WINEPREFIX="${WINEPREFIX:-$WINE_ENV_DIR/prefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# no Mono / Gecko download prompts (not packaged for Debian 12 anyway)
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Where 32-bit x86 programs run only through qemu's user-mode emulator (see install-deps.sh), wine
# spins in signal faults: say so at once instead of hanging.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -q '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  echo "wine-env: this machine runs 32-bit x86 programs only through qemu's user-mode emulator, where wine does not run" >&2
  return 1 2>/dev/null || exit 1
fi
mkdir -p "$WINE_ENV_DIR"
# Wine maps Windows file names to Unix ones through the locale's charset: without a UTF-8 locale
# (a bare machine has none set) names outside ASCII cannot be created or opened.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8*|*utf8*|*UTF8*|*utf-8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
# Kept across a second sourcing in the same shell; not exported, so child processes own nothing.
wine_env_started_xvfb=${wine_env_started_xvfb:-}
wine_env_started_server=${wine_env_started_server:-0}

if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY="${WINE_ENV_DISPLAY:-:99}"
  if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$WINE_ENV_DIR/xvfb.log" 2>&1 </dev/null &
    wine_env_started_xvfb=$!
    echo "$wine_env_started_xvfb" >"$WINE_ENV_DIR/xvfb.pid"
    for _ in $(seq 1 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
fi

# The first wine process of a wineserver session fixes its display: start the server after DISPLAY is set,
# persistent (-p) so later runs skip start-up, with output to /dev/null (the services it spawns inherit these fds,
# and would otherwise keep ctest's output pipe open until the server exits).
# "wineserver -p" fails (status 2) when this prefix's server is already running.  A new session makes what
# tools/qor-win noted about an earlier one (a run killed before it could stop its server) stale.
mkdir -p "$WINEPREFIX"
wine_env_new_session=0
if wineserver -p >/dev/null 2>&1 </dev/null; then
  wine_env_new_session=1 wine_env_started_server=1
  rm -f "$WINE_ENV_DIR/qor-win.owned"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # -u (update) makes the prefix once.  -i (init) on a prefix still being made runs the first-boot steps a second
  # time: two services.exe then share the session, RpcSs never starts, and every process that opens a window
  # (or calls CoInitializeEx, which registers a window class) waits 10 s for explorer's desktop.
  wineboot -u >/dev/null 2>&1 </dev/null
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
  # The session that made the prefix ends here: the registry is written out, and later runs get a session
  # that starts like every other one.
  wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine_env_new_session=1 wine_env_started_server=1
fi
# Boots a new session with nothing of the caller's open: its services live as long as the server.  A session that
# was running already has its services.
if [ "$wine_env_new_session" = 1 ]; then wine cmd /c exit >/dev/null 2>&1 </dev/null || true; fi

# wine_env_stop [--all]: stops the wineserver (and with it every wine process of this prefix) and the Xvfb
# that this shell started; with --all, this prefix's server and the Xvfb of this environment in any case.
wine_env_stop() {
  local xvfb=$wine_env_started_xvfb
  if [ "${1:-}" = --all ] || [ "$wine_env_started_server" = 1 ]; then
    wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true
  fi
  if [ "${1:-}" = --all ] && [ -z "$xvfb" ] && [ -f "$WINE_ENV_DIR/xvfb.pid" ]; then
    xvfb=$(cat "$WINE_ENV_DIR/xvfb.pid")
  fi
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null && { wait "$xvfb" 2>/dev/null || true; }
    [ "$(cat "$WINE_ENV_DIR/xvfb.pid" 2>/dev/null)" = "$xvfb" ] && rm -f "$WINE_ENV_DIR/xvfb.pid"
  fi
  wine_env_started_server=0 wine_env_started_xvfb=
  return 0
}
