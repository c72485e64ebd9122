#!/usr/bin/env bash
# Runs each fuzzer of the fuzzing build for a bounded time, two at a time (one
# a core of these machines).
#
#   KESTRAVA_FUZZ_SECONDS  seconds per fuzzer (60 when unset)
#   KESTRAVA_FUZZ_BUILD    the fuzzing build folder (build-fuzz when unset)
#   KESTRAVA_FUZZ_JOBS     fuzzers run at once (2 when unset)
#
# Each fuzzer starts from the corpus it grew in earlier runs (in the build
# folder) and the seeds of tests/fuzz/seeds/<name>, and reads
# tests/fuzz/<name>.dict when there is one. A crash is kept in the build folder
# as <name>-crash-...; the log of each run is <name>.log there. The last line
# says "fuzz: N passed, M failed"; the exit status is 1 when one failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${KESTRAVA_FUZZ_SECONDS:-60}
build=${KESTRAVA_FUZZ_BUILD:-build-fuzz}
jobs=${KESTRAVA_FUZZ_JOBS:-2}
case $build in /*) ;; *) build=$root/$build ;; esac

cd "$build" 2>/dev/null || { echo "no fuzzing build in $build"; echo "fuzz: 0 passed, 1 failed"; exit 1; }

# Seeds at the sizes the configuration loader distinguishes: full files of a
# few versions and one cut inside the header.
config_loader_seeds() {
    python3 - "$1" <<'PY'
import struct, sys
for name, version, size in [("v118", 118.0, 2067380), ("v96", 96.5, 2067380), ("v115", 115.0, 2067379), ("short", 118.0, 405)]:
    data = bytearray(size)
    data[400:404] = struct.pack("<f", version)
    open(f"{sys.argv[1]}/{name}", "wb").write(data)
PY
}

# run_fuzzer NAME: one fuzzer's run, its log in the build folder; the exit
# status says whether it found nothing.
run_fuzzer() {
    local name=$1 fuzzer=tests/fuzz/$1
    local corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    if [ "$name" = fuzz_config_loader ] && [ -z "$(ls -A "$corpus")" ]; then
        config_loader_seeds "$corpus"
    fi
    local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/$name-")
    # The readers of whole files take inputs of a full configuration file's
    # size; the others the default, a few kilobytes, which keeps them fast.
    case $name in
        fuzz_config_loader | fuzz_ini | fuzz_update_file) options+=(-max_len=2100000) ;;
    esac
    [ -f "$root/tests/fuzz/$name.dict" ] && options+=(-dict="$root/tests/fuzz/$name.dict")
    local seeds="$root/tests/fuzz/seeds/$name"
    local dirs=("$corpus")
    [ -d "$seeds" ] && dirs+=("$seeds")
    "$fuzzer" "${options[@]}" "${dirs[@]}" >"$build/$name.log" 2>&1
}

# report NAME STATUS: what one run found, in the order the fuzzers are listed.
report() {
    echo "== $1 for ${seconds}s"
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
        grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$1.log" | tail -n 1
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb):' "$build/$1.log" |
            tr '\n' ' '
        echo
    else
        failed=$((failed + 1))
        tail -n 40 "$build/$1.log"
    fi
}

names=()
for fuzzer in tests/fuzz/fuzz_*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] && names+=("$(basename "$fuzzer")")
done
passed=0
failed=0
# A batch of fuzzers at a time, each for the whole time given.
for ((first = 0; first < ${#names[@]}; first += jobs)); do
    batch=("${names[@]:first:jobs}")
    pids=()
    for name in "${batch[@]}"; do
        run_fuzzer "$name" &
        pids+=($!)
    done
    for i in "${!batch[@]}"; do
        wait "${pids[i]}"
        report "${batch[i]}" $?
    done
done
[ "${#names[@]}" -gt 0 ] || { echo "no fuzzers in $build/tests/fuzz"; failed=$((failed + 1)); }
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
