#!/usr/bin/env bash
# Every test tier: unit, widgets, end to end, then each fuzzer for a bounded time.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${KESTRAVA_FUZZ_SECONDS:-60}
status=0

cd "$root/build-test" || exit 1
ctest --output-on-failure -j 1 2>&1 | tee "$root/build-test/ctest.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$root/build-test/ctest.log" | tail -n 1)
ctest_total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
ctest_failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")

cd "$root/build-fuzz" || exit 1
fuzz_passed=0
fuzz_failed=0
for fuzzer in tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="$root/build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    if [ "$name" = fuzz_config_loader ] && [ -z "$(ls -A "$corpus")" ]; then
        # Seeds at the sizes the loader distinguishes: full files of a few
        # versions and one cut inside the header.
        python3 - "$corpus" <<'PY'
import struct, sys
for name, version, size in [("v118", 118.0, 2067380), ("v96", 96.5, 2067380), ("v115", 115.0, 2067379), ("short", 118.0, 405)]:
    data = bytearray(size)
    data[400:404] = struct.pack("<f", version)
    open(f"{sys.argv[1]}/{name}", "wb").write(data)
PY
    fi
    seeds="$root/tests/fuzz/seeds/$name"
    echo "== $name for ${fuzz_seconds}s"
    if "$fuzzer" -max_total_time="$fuzz_seconds" -max_len=2100000 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$root/build-fuzz/" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) \
        >"$root/build-fuzz/$name.log" 2>&1; then
        fuzz_passed=$((fuzz_passed + 1))
        tail -n 1 "$root/build-fuzz/$name.log"
    else
        fuzz_failed=$((fuzz_failed + 1))
        tail -n 40 "$root/build-fuzz/$name.log"
        status=1
    fi
done
echo "fuzz: $fuzz_passed passed, $fuzz_failed failed"
passed=$(( ${ctest_total:-0} - ${ctest_failed:-0} + fuzz_passed ))
failed=$(( ${ctest_failed:-0} + fuzz_failed ))
[ -n "$summary" ] || { echo "ctest printed no summary"; status=1; }
echo "all: $passed passed, $failed failed"
exit $status
