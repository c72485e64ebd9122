#!/usr/bin/env bash
# Every start begins by copying the configuration file to the backup: the backup is a byte copy
# of the file as it was before that start, and stays so while the program runs and after it
# saves on exit.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

cfg="$KV_APPDIR/$KV_CONFIG"
old="$KV_APPDIR/$KV_CONFIG_OLD"

start_app_and_wait
wait_config_written "$cfg" 10 || fail "$KV_CONFIG was not written on the first start"
stop_app TERM
[[ ! -e "$old" ]] || fail "$KV_CONFIG_OLD exists after the first run"

# Before the second start, mark the file by hand so its copy cannot be something the program
# produced itself.
write_i32 "$cfg" "$KV_OFF_LEFT" 111
write_i32 "$cfg" "$KV_OFF_TOP" 122

# Each run also moves the window, so the file it saves differs from the one it started with and
# the next run's backup has to follow it.
for position in "341 203" "129 377"; do
    read -r x y <<<"$position"
    cp "$cfg" "$KV_TMP/before-start"

    start_app_and_wait
    # The window shows first; the copy follows at once, before anything can save.
    poll_until 10 cmp -s "$old" "$KV_TMP/before-start" ||
        fail "$KV_CONFIG_OLD is not a copy of $KV_CONFIG as it was before the start with the window at $position"

    move_window "$APP_WIN" "$x" "$y"
    stop_app TERM
    cmp "$old" "$KV_TMP/before-start" >&2 || fail "$KV_CONFIG_OLD changed while the program ran or exited"
    cmp -s "$cfg" "$KV_TMP/before-start" && fail "saving after the move to $position left $KV_CONFIG unchanged"
    [[ $(file_size "$cfg") == "$KV_CONFIG_SIZE" ]] || fail "$KV_CONFIG is $(file_size "$cfg") bytes after exit"
done

pass
