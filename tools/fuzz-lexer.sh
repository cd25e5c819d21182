#!/usr/bin/env bash
# Fuzzes the lexer: tools/fuzz-lexer.sh [seconds] (see tools/fuzz.sh).
exec "$(dirname "$0")/fuzz.sh" lexer "$@"
