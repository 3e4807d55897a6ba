#!/usr/bin/env bash
# Sets up and runs every test: the portable core on the host, again with AddressSanitizer and
# UndefinedBehaviorSanitizer and with ThreadSanitizer (both with the standard library's checks), and
# the Windows programs under Wine in an Xvfb of its own.
# Prints one summary line at the end; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
source scripts/wine-lib.sh

started=$(date +%s)
logs=$root/build/logs
mkdir -p "$logs"
summary=()
failed=0

# Runs a step, logging to a file; on failure shows the log's tail.
step() {
  local name=$1; shift
  if ! "$@" >>"$logs/$name.log" 2>&1; then
    echo "--- $name failed; last lines of $logs/$name.log:" >&2
    tail -n 60 "$logs/$name.log" >&2
    return 1
  fi
}

# "passed/total" from a ctest log.
ctest_counts() {
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1)
  [ -n "$line" ] || { echo "0/0"; return; }
  local total bad
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  echo "$((total - bad))/$total"
}

host_suite() {
  local preset=$1
  rm -f "$logs/$preset.log"
  echo "== $preset"
  if step "$preset" cmake --preset "$preset" && step "$preset" cmake --build --preset "$preset" &&
     step "$preset" ctest --preset "$preset"; then
    summary+=("$preset $(ctest_counts "$logs/$preset.log")")
  else
    summary+=("$preset FAILED $(ctest_counts "$logs/$preset.log")")
    failed=1
  fi
}

windows_suite() {
  rm -f "$logs/windows.log"
  echo "== windows (under Wine)"
  local results=$root/build/windows/test-results
  rm -rf "$results"; mkdir -p "$results"
  if ! step windows cmake --preset windows || ! step windows cmake --build --preset windows; then
    summary+=("windows BUILD FAILED"); failed=1; return
  fi
  ostinel_wine_env
  ostinel_ensure_display || { summary+=("windows NO DISPLAY"); failed=1; return; }
  export OSTINEL_WINE_TEMPLATE=$root/build/windows/wine-template
  ostinel_wine_template "$OSTINEL_WINE_TEMPLATE"
  export GTEST_OUTPUT="xml:$(ostinel_winpath "$results")\\"
  local ok=1
  step windows ctest --preset windows || ok=0
  ostinel_stop_display
  # Test cases, counted from the programs' own reports.
  local cases=0 bad=0 f
  for f in "$results"/*.xml; do
    [ -f "$f" ] || continue
    cases=$((cases + $(grep -o '<testcase ' "$f" | wc -l)))
    bad=$((bad + $(grep -c '<failure' "$f")))
  done
  local programs
  programs=$(ctest_counts "$logs/windows.log")
  if [ $ok = 1 ]; then
    summary+=("windows programs $programs, cases $((cases - bad))/$cases")
  else
    summary+=("windows FAILED programs $programs, cases $((cases - bad))/$cases")
    failed=1
  fi
}

host_suite host
host_suite host-sanitize
host_suite host-tsan
windows_suite

elapsed=$(( $(date +%s) - started ))
IFS=';'
if [ $failed = 0 ]; then
  echo "ALL TESTS PASSED: ${summary[*]}; ${elapsed}s"
else
  echo "TESTS FAILED: ${summary[*]}; ${elapsed}s"
fi
exit $failed
