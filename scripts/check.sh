#!/usr/bin/env bash
# The quick loop after a change: the unit and widget tiers from build-test,
# which `make check` has just brought up to date. The test binaries run side by
# side (the widget tests in four shards), each in one process, so the whole
# takes about as long as its longest part. The last line says
# "check: N passed, M failed"; the exit status is 1 when a test failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRAVA_CHECK_BUILD:-$root/build-test}
shards=${KESTRAVA_CHECK_SHARDS:-4}
logs=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-check.XXXXXXXX")
trap 'rm -rf "$logs"' EXIT
cd "$build/tests" || { echo "no test build in $build"; echo "check: 0 passed, 1 failed"; exit 1; }

names=()
pids=()
# run NAME [VAR=VALUE...] -- BINARY: one test process in the background.
run() {
    local name=$1; shift
    local vars=()
    while [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    env "${vars[@]}" "$@" >"$logs/$name.log" 2>&1 &
    names+=("$name")
    pids+=($!)
}

for ((i = 0; i < shards; i++)); do
    run "widget_tests-$i" QT_QPA_PLATFORM=offscreen GTEST_TOTAL_SHARDS="$shards" GTEST_SHARD_INDEX="$i" -- ./widget_tests
done
run monitor_tests "QT_QPA_PLATFORM=offscreen:configfile=$root/tests/widgets/two-screens.json" -- ./monitor_tests
run unit_tests -- ./unit_tests
run platform_tests -- ./platform_tests

passed=0
failed=0
for i in "${!names[@]}"; do
    wait "${pids[i]}"
    rc=$?
    log="$logs/${names[i]}.log"
    ok=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\.$/\1/p' "$log" | tail -n 1)
    bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:$/\1/p' "$log" | tail -n 1)
    passed=$((passed + ${ok:-0}))
    if [ "$rc" -ne 0 ] || [ -z "$ok" ]; then
        failed=$((failed + ${bad:-1}))
        echo "---- ${names[i]} (exit $rc)"
        grep -E '^\[  FAILED  \]|Failure$|ERROR: AddressSanitizer|runtime error' "$log" | head -n 40
    fi
    echo "${names[i]}: ${ok:-0} passed"
done
echo "check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
