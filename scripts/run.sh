#!/usr/bin/env bash
# The system's main job: installs what is missing, builds qor.exe and starts
# it under wine (Xvfb is started when there is no display).  Arguments are
# passed to qor.exe.  Each step is announced on standard error, with the
# build's own output; standard output is the program's.  The Xvfb and
# wineserver this run starts are stopped when qor.exe ends (tools/qor-win).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/win32"
step() { printf '== run.sh: %s\n' "$*" >&2; }

step "checking the packages (installs what is missing)"
bash "$root/scripts/install-deps.sh" >&2
# ccache hits across checkouts in other folders
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
if [[ ! -f $build/build.ninja ]]; then
  step "configuring the Windows build"
  cmake --preset win32 -S "$root" >&2
fi
step "building qor.exe"
cmake --build "$build" --target qor >&2
prefix=${WINEPREFIX:-${WINE_ENV_DIR:-/tmp/wine-env}/prefix}
if [[ -f $prefix/system.reg ]]; then
  step "starting qor.exe under wine"
else
  step "making the wine prefix $prefix (once, about 15 s), then starting qor.exe under wine"
fi
QOR_EXE="$build/qor.exe" exec "$root/tools/qor-win" "$@"
