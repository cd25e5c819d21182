#!/usr/bin/env bash
# tests/unit/every-suite-runs.sh QOR_TESTS SUITES
# ctest runs the unit tests by the suites that cmake read from the sources
# (SUITES, separated by ';'): fails when the binary holds a suite that list
# lacks (a test macro the reading does not know), whose tests would not run.
set -u
listing=$("$1" --gtest_list_tests) || { echo "listing the tests failed"; exit 1; }
listed=$(grep -E '^[A-Za-z_]' <<<"$listing" | grep -v '^Running main' | sed 's/\.$//' | sort -u)
[[ -n $listed ]] || { echo "the binary lists no suite"; exit 1; }
known=$(tr ';' '\n' <<<"$2" | sort -u)
missing=$(comm -23 <(echo "$listed") <(echo "$known"))
if [[ -n $missing ]]; then
  echo "suites that ctest does not run:"; echo "$missing"; exit 1
fi
echo "every suite of $(wc -l <<<"$listed") runs"
