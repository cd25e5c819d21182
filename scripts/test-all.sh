#!/usr/bin/env bash
# Builds both builds and runs every test:
#   native 32-bit Linux under ASan/UBSan (and again under the collector's
#   stress mode), the plain debug build under valgrind, the optimised build
#   (tools/qor and the benchmarks), and qor.exe with its tests under wine;
#   first the check that no include runs up the layers (tools/check-layers.py).
# Ends with one line "N passed, N failed" over all of them.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)
log=$(mktemp -d)
# ccache hits across checkouts in other folders (CI clones afresh)
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
passed=0 failed=0 skipped=0 status=0
VALGRIND_FILTER=${VALGRIND_FILTER:-'-*DeathTest*:DeepEvaluation.AnUncaughtErrorIsReportedAndEndsTheProcess'}

# On a kernel that runs no 32-bit x86 program itself, install-deps.sh has these run through
# qemu's user-mode emulator: the -m32 tests run there, but valgrind and wine do not.
i386_emulated() {
  [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && grep -q '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386
}
skip() { printf 'skipped: %s\n' "$1"; skipped=$((skipped + 1)); }

stage() { printf '\n=== %s (%s)\n' "$1" "$(date +%T)"; }

# Adds a ctest summary to the totals ("100% tests passed, 0 tests failed out of 7").
count() {
  local line p f n
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
  if [[ -z $line ]]; then failed=$((failed + 1)); status=1; return; fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  n=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  p=$((n - f)); passed=$((passed + p)); failed=$((failed + f))
  [[ $f -eq 0 ]] || status=1
}

run_ctest() {  # name, ctest args...
  local name=$1; shift
  ctest "$@" 2>&1 | tee "$log/$name.txt" | grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true
  count "$log/$name.txt"
}

build() {  # preset [targets...]
  local preset=$1; shift
  cmake --preset "$preset" "${configure_args[@]}" >"$log/configure-$preset.txt" 2>&1 || { cat "$log/configure-$preset.txt"; return 1; }
  if [[ $# -gt 0 ]]; then
    cmake --build --preset "$preset" -j "$jobs" --target "$@"
  else
    cmake --build --preset "$preset" -j "$jobs"
  fi
}

stage "install"
bash scripts/install-deps.sh || exit 1

configure_args=()
stress_every=7
if i386_emulated; then
  # Under emulation every test takes several times as long: so do their limits.
  configure_args=(-DQOR_TEST_TIME_SCALE=4)
  export QOR_TEST_TIME_SCALE=4
  # A collection at every 7th allocation costs a unit test about 14 s of
  # emulated time (its start-up alone), the stage nearly an hour: collect at
  # every 61st there.
  stress_every=61
fi

stage "include layers"
if python3 tools/check-layers.py; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); status=1
fi

stage "native build, ASan+UBSan"
if build linux-asan; then
  stage "native tests, ASan+UBSan"
  run_ctest asan --preset linux-asan -j "$jobs"
  stage "native tests, ASan+UBSan, collector stress mode"
  # The reruns through the interpreter's general path check the shortcuts,
  # which the stress mode does not change, and the paired runs stress
  # themselves: it skips them.
  QOR_GC_STRESS=${QOR_GC_STRESS:-$stress_every} run_ctest stress --preset linux-asan -j "$jobs" \
    -E '^(qor-reference\.|reference\.|eval\.both-paths)'
else
  failed=$((failed + 1)); status=1
fi

stage "native optimised build"
release_ok=1
build linux-release || { failed=$((failed + 1)); status=1; release_ok=0; }

# valgrind runs the whole suite but the death tests (whose child processes
# it would trace too), on the optimised build (the linux-debug preset serves
# for runs by hand).
stage "valgrind"
if i386_emulated; then
  skip "valgrind does not run under qemu's user-mode emulator, and 32-bit programs run only there on this machine"
elif [[ $release_ok -eq 1 ]]; then
  if valgrind -q --error-exitcode=9 --leak-check=full build/linux-release/qor_tests --gtest_brief=1 \
       --gtest_filter="$VALGRIND_FILTER" >"$log/valgrind.txt" 2>&1; then
    passed=$((passed + 1)); tail -3 "$log/valgrind.txt"
  else
    failed=$((failed + 1)); status=1; tail -40 "$log/valgrind.txt"
  fi
fi

stage "Windows build (qor.exe)"
if ! build win32; then
  failed=$((failed + 1)); status=1
elif i386_emulated; then
  passed=$((passed + 1))
  skip "the Windows tests: wine does not run under qemu's user-mode emulator, and 32-bit programs run only there on this machine"
else
  stage "Windows tests under wine"
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  # The Xvfb and wineserver started here (none that ran before) are stopped
  # here, also when the run is interrupted.
  trap 'wine_env_stop; exit 130' INT TERM HUP
  # A test that crashes under wine is run once more: a freshly made prefix has
  # been seen to kill a process now and then; a real fault fails twice.
  run_ctest win32 --preset win32 -j "$jobs" --repeat until-pass:2
  wine_env_stop
  trap - INT TERM HUP
fi

stage "lexer fuzzing (${QOR_FUZZ_SECONDS:-30} s)"
if FUZZ_NO_MERGE=1 bash tools/fuzz-lexer.sh "${QOR_FUZZ_SECONDS:-30}" >"$log/fuzz.txt" 2>&1; then
  passed=$((passed + 1)); grep -E 'stat::number_of_executed_units|fuzz-lexer:' "$log/fuzz.txt" || true
elif i386_emulated; then
  # Under qemu, ASan sees faults at stack addresses that do not recur when the input runs alone.
  tail -15 "$log/fuzz.txt"; skip "the lexer fuzz fault above: under emulation such faults are not trusted"
else
  failed=$((failed + 1)); status=1; tail -40 "$log/fuzz.txt"
fi

stage "Qorbin reader fuzzing (${QOR_FUZZ_SECONDS:-30} s)"
if FUZZ_NO_MERGE=1 bash tools/fuzz-qorbin.sh "${QOR_FUZZ_SECONDS:-30}" >"$log/fuzz-qorbin.txt" 2>&1; then
  passed=$((passed + 1)); grep -E 'stat::number_of_executed_units|fuzz-qorbin:' "$log/fuzz-qorbin.txt" || true
elif i386_emulated; then
  # Under qemu, ASan sees faults at stack addresses that do not recur when the input runs alone.
  tail -15 "$log/fuzz-qorbin.txt"; skip "the qorbin fuzz fault above: under emulation such faults are not trusted"
else
  failed=$((failed + 1)); status=1; tail -40 "$log/fuzz-qorbin.txt"
fi

rm -rf "$log"
echo
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
