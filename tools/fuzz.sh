#!/usr/bin/env bash
# Fuzzes one target (lexer: the lexer; qorbin: the Qorbin reader) for a
# bounded time (default 60 s) with libFuzzer, 32-bit, under ASan and UBSan,
# starting from tests/fuzz/TARGET-corpus/; inputs that reach new code are
# merged back into that corpus (kept small).  Exits non-zero when the fuzzer
# finds a failure; the failing input is left in build/fuzz/ (crash-*,
# timeout-*, leak-*).
#
#   tools/fuzz.sh lexer|qorbin [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:?usage: tools/fuzz.sh lexer|qorbin [seconds]}"
seconds="${2:-60}"
case $target in
  lexer)  max_len=512  keep_len=128 ;;
  qorbin) max_len=4096 keep_len=512 ;;
  *) echo "fuzz: no target $target" >&2; exit 2 ;;
esac
me="fuzz-$target"
build=build/fuzz
corpus=tests/fuzz/$target-corpus

# clang and its 32-bit libFuzzer runtime (Debian: clang, libclang-rt-14-dev).
runtime_ok() {
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-i386.a" >/dev/null
}
if ! command -v clang++ >/dev/null || ! runtime_ok; then
  if [ "$(id -u)" = 0 ]; then
    apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null; }
  fi
  if ! command -v clang++ >/dev/null || ! runtime_ok; then
    echo "$me: clang with a 32-bit libFuzzer runtime is not available" >&2
    exit 1
  fi
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/linux-m32.cmake \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQOR_FUZZ=ON -DQOR_SANITIZE=ON -DQOR_TESTS=OFF >/dev/null
cmake --build "$build" --target "fuzz_$target"

work="$build/run-$target"
rm -rf "$work"
mkdir -p "$work/new" "$corpus"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:detect_stack_use_after_return=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
(cd "$build" && ./"fuzz_$target" -max_total_time="$seconds" -max_len=$max_len -timeout=10 -rss_limit_mb=2048 \
   -print_final_stats=1 "../../$work/new" "../../$corpus") 2>&1 | tail -25 || status=$?
# Keep a minimal set of small inputs that covers what the old corpus and
# the new inputs reach (not when the test suite runs this: FUZZ_NO_MERGE=1).
mkdir -p "$work/min"
if [[ -z ${FUZZ_NO_MERGE:-} ]] && ./"$build/fuzz_$target" -merge=1 -use_counters=0 -max_len=$keep_len "$work/min" "$corpus" "$work/new" >/dev/null 2>&1; then
  rm -f "$corpus"/*
  cp "$work/min"/* "$corpus"/ 2>/dev/null || true
fi
[[ $status -eq 0 ]] || { echo "$me: the fuzzer found a failure (see $build)" >&2; exit "$status"; }
echo "$me: corpus has $(ls "$corpus" | wc -l) inputs"
exit "$status"
