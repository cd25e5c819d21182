#!/usr/bin/env bash
# Fuzzes the Qorbin reader: tools/fuzz-qorbin.sh [seconds] (see tools/fuzz.sh).
exec "$(dirname "$0")/fuzz.sh" qorbin "$@"
