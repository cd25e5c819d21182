#!/bin/sh
# Writes boot/payload.qorbin again from boot/natives.qor (run from the tree's
# top; uses the native build of the given preset, linux-asan by default).
set -e
preset=${1:-linux-asan}
cmake --build --preset "$preset" -j3 --target make-boot-payload
"build/$preset/make-boot-payload" boot/payload.qorbin
