#!/usr/bin/env bash
# The model's unit tests built for Windows with MinGW-w64 and run under Wine.
#
#   scripts/windows-tests.sh         build into build-win (if needed) and run
#   scripts/windows-tests.sh build   build only
#
# Wine gets a prefix of its own inside build-win, no display and no stdin; the
# last line is "windows: N passed, M failed", and the exit status is non-zero
# when a test failed or the run did not finish. KESTRAVA_WIN_BUILD names
# another build folder, WINE another wine64 loader.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRAVA_WIN_BUILD:-$root/build-win}
jobs=${JOBS:-2}

cmake -S "$root/tests/windows" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null || exit 1
cmake --build "$build" -j "$jobs" || exit 1
[ "${1:-}" = build ] && exit 0

wine=${WINE:-}
if [ -z "$wine" ]; then
    for candidate in wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine; do
        if command -v "$candidate" >/dev/null 2>&1; then
            wine=$(command -v "$candidate")
            break
        fi
    done
fi
[ -n "$wine" ] || { echo "windows: no wine64 found"; echo "windows: 0 passed, 1 failed"; exit 1; }

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine turns Windows names into Unix ones in the locale's character set: under the C locale a
# name outside ASCII cannot be made, whatever the caller's environment.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    started=$(date +%s)
    timeout 600 "$wine" wineboot --init </dev/null >"$build/wineboot.log" 2>&1
    echo "windows: Wine prefix made in $(($(date +%s) - started)) s"
fi

log="$build/model_tests_win.log"
started=$(date +%s)
(cd "$build" && timeout 900 "$wine" ./model_tests_win.exe --gtest_color=no </dev/null 2>&1) | tr -d '\r' |
    tee "$log"
status=${PIPESTATUS[0]}
# Wine's server lingers a few seconds after the last program; it goes before
# the next tier starts.
[ -n "$wineserver" ] && "$wineserver" -w

ran=$(sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' "$log" | tail -n 1)
passed=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -n 1)
skipped=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?,.*/\1/p' "$log" | tail -n 1)
passed=${passed:-0}
failed=$((${ran:-0} - passed - ${skipped:-0}))
# A run that ended before its summary, or failed without saying which test
# did, counts as one failure.
if [ "$failed" -eq 0 ] && { [ -z "$ran" ] || [ "$status" -ne 0 ]; }; then
    failed=1
fi
echo "windows: ran under Wine in $(($(date +%s) - started)) s"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
