#!/usr/bin/env bash
# The executable starts, prints its banner and ends with status 0.
set -u
out=$("$QOR" 2>&1 </dev/null); status=$?
[[ $status -eq 0 ]] || { echo "exit status $status"; exit 1; }
[[ $(printf '%s' "$out" | tr -d '\r') == *"Qor 0.6.6"* ]] || { echo "unexpected output: $out"; exit 1; }
echo ok
