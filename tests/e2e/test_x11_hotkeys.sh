#!/usr/bin/env bash
# The hot key manager and its X11 grabs against the session's X server, with grab_key as the other
# client: the gtest binary x11_hotkey_tests ($KV_X11_HOTKEY_TESTS) run inside the session.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

for kv_var in KV_X11_HOTKEY_TESTS KV_GRAB_KEY; do
    kv_path=${!kv_var:-}
    [[ "$kv_path" == /* && -x "$kv_path" && -f "$kv_path" ]] ||
        fail "$kv_var must name an executable file by its absolute path, got '$kv_path'"
done

# Logged beside the session's logs, so that a failure shows its last lines.
"$KV_X11_HOTKEY_TESTS" --gtest_brief=1 </dev/null >"$KV_TMP/x11_hotkey_tests.log" 2>&1 &
tests_pid=$!
session_track "$tests_pid"
# Within ctest's limit for the script, so that a hang is reported here.
wait_exit "$tests_pid" 50 || fail "x11_hotkey_tests did not finish within 50 s"
if [[ "$EXIT_STATUS" != 0 ]]; then
    failed=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$KV_TMP/x11_hotkey_tests.log" | sort -u | tr '\n' ' ')
    fail "x11_hotkey_tests failed with status $EXIT_STATUS${failed:+: $failed}(its log follows)"
fi
pass
