#!/usr/bin/env bash
# Every test tier: unit, widgets, end to end, each fuzzer for a bounded time,
# then the model's unit tests built for Windows and run under Wine.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rm -f "$root/build-test/ctest.log"
started=$SECONDS
# took WHAT: how long the stage just ended took, for the breakdown of a run.
took() {
    echo "time: $1 took $((SECONDS - started)) s"
    started=$SECONDS
}
fuzz_seconds=${KESTRAVA_FUZZ_SECONDS:-25}
status=0

# The unit, widget and package tiers two at a time, then the end-to-end tier
# KESTRAVA_E2E_JOBS at a time (3 when unset): each of its tests has a display,
# a bus and a home of its own, and spends most of its time waiting on the
# program, so three of them keep two cores busy without crowding them.
cd "$root/build-test" || exit 1
e2e_jobs=${KESTRAVA_E2E_JOBS:-3}
ctest_total=0
ctest_failed=0
summary=ok
for tier in "-LE e2e -j 2" "-L e2e -j $e2e_jobs"; do
    # shellcheck disable=SC2086 # the options are words
    ctest --output-on-failure $tier 2>&1 | tee -a "$root/build-test/ctest.log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$root/build-test/ctest.log" | tail -n 1)
    [ -n "$line" ] || summary=
    ctest_total=$((ctest_total + $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")))
    ctest_failed=$((ctest_failed + $(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")))
    took "ctest $tier"
done

# 25 s for each of the six fuzzers keeps this stage under three minutes;
# `make fuzz` runs them for longer.
KESTRAVA_FUZZ_SECONDS=$fuzz_seconds KESTRAVA_FUZZ_BUILD=build-fuzz "$root/scripts/fuzz.sh" 2>&1 |
    tee "$root/build-test/fuzz.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
fuzz_summary=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed$' "$root/build-test/fuzz.log" | tail -n 1)
fuzz_passed=$(sed -E 's/fuzz: ([0-9]+) passed.*/\1/' <<<"$fuzz_summary")
fuzz_failed=$(sed -E 's/.* ([0-9]+) failed/\1/' <<<"$fuzz_summary")
[ -n "$fuzz_summary" ] || { fuzz_failed=1; status=1; }
took fuzzers

# Under a minute once build-win is built (`make build-win`).
"$root/scripts/windows-tests.sh" 2>&1 | tee "$root/build-test/windows.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
windows_summary=$(grep -E '^windows: [0-9]+ passed, [0-9]+ failed$' "$root/build-test/windows.log" | tail -n 1)
windows_passed=$(sed -E 's/windows: ([0-9]+) passed.*/\1/' <<<"$windows_summary")
windows_failed=$(sed -E 's/.* ([0-9]+) failed/\1/' <<<"$windows_summary")
[ -n "$windows_summary" ] || { windows_failed=1; status=1; }
took windows

passed=$(( ${ctest_total:-0} - ${ctest_failed:-0} + ${fuzz_passed:-0} + ${windows_passed:-0} ))
failed=$(( ${ctest_failed:-0} + ${fuzz_failed:-0} + ${windows_failed:-0} ))
[ -n "$summary" ] || { echo "ctest printed no summary"; status=1; }
echo "all: $passed passed, $failed failed"
exit $status
