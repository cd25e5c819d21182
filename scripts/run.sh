#!/usr/bin/env bash
# The system's main job: installs what is missing, builds qor.exe and starts
# it under wine (Xvfb is started when there is no display).  Arguments are
# passed to qor.exe.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh" >&2
exec "$root/tools/qor-win" "$@"
