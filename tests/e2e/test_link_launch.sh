#!/usr/bin/env bash
# Clicking a link label launches it: a program runs as itself, in its own folder, without
# arguments, and leaves no zombie behind; a folder and a web address go to the desktop's default
# applications (test handlers here). A link whose program or folder is missing says so in a
# message box, and the launcher keeps running.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
use_private_applications
add_handler web x-scheme-handler/https x-scheme-handler/http
add_handler folder inode/directory

# Spaces in the folder and in the name: nothing may split the path.
programs="$KV_TMP/test programs"
mkdir -p "$programs" "$KV_TMP/target folder"
programs=$(cd "$programs" && pwd -P)
{ echo '#!/bin/bash'; record_call app '"$(pwd -P)"' '"$#"'; } >"$programs/write cwd"
chmod +x "$programs/write cwd"

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0

# category|link|type|name|target|expected outcome (what happens, and with what)
cases=(
    "0|0|$KV_LINK_TYPE_APPLICATION|Write the folder|$programs/write cwd|program"
    "0|1|$KV_LINK_TYPE_FOLDER|Target folder here|$KV_TMP/target folder|handler|folder|$KV_TMP/target folder"
    "1|0|$KV_LINK_TYPE_WEBSITE|Web page somewhere|https://example.invalid/page|handler|web|https://example.invalid/page"
    "1|1|$KV_LINK_TYPE_APPLICATION|Missing program|$KV_TMP/no such program|box|Execute File"
    "1|2|$KV_LINK_TYPE_FOLDER|Missing folder here|$KV_TMP/no such folder|box|Open Folder"
)
counts=(0 0)
for c in "${cases[@]}"; do
    IFS='|' read -r cat link type name target _ <<<"$c"
    set_link "$cfg" "$cat" "$link" "$type" "$name" "$target"
    counts[cat]=$(( counts[cat] + 1 ))
done
# Open panels, so every label can be clicked.
for cat in 0 1; do
    write_u8 "$cfg" $(( KV_OFF_CATEGORIES + cat * KV_CATEGORY_SIZE + KV_CATEGORY_OFF_EXPANDED )) 1
done

start_app_and_wait

no_zombie_children() {
    local stats
    stats=$(ps --ppid "$APP_PID" -o stat= || true)
    ! grep -q '^ *Z' <<<"$stats"
}

expect_program() {
    wait_for_call app 10 || fail "$name: the program did not run within 10 s"
    local got
    got=$(call_lines app)
    [[ "$got" == "$programs"$'\n0' ]] ||
        fail "$name: the program ran in '$(head -n 1 <<<"$got")' with $(tail -n 1 <<<"$got") arguments, expected '$programs' and 0"
    poll_until 10 no_zombie_children || fail "$name: zombie children remain: $(ps --ppid "$APP_PID" -o pid=,stat=,args=)"
}

expect_handler() {
    local handler=$1 argument=$2
    wait_for_call "$handler" 10 || fail "$name: the default application for '$target' was not started within 10 s"
    [[ "$(call_lines "$handler")" == "$argument" ]] ||
        fail "$name: the default application was given '$(call_lines "$handler")', expected '$argument'"
    poll_until 10 no_zombie_children || fail "$name: zombie children remain: $(ps --ppid "$APP_PID" -o pid=,stat=,args=)"
}

expect_box() {
    local title=$1 box
    box=$(wait_for_window "^$title\$" 10) || fail "$name: no message box '$title' within 10 s"
    pid_alive "$APP_PID" || fail "$name: the launcher exited"
    xdotool windowactivate --sync "$box"
    xdotool key Return
    box_gone() { [[ -z "$(find_windows "^$title\$")" ]]; }
    poll_until 10 box_gone || fail "$name: Return did not close the message box '$title'"
    pid_alive "$APP_PID" || fail "$name: the launcher exited after its message box closed"
    window_visible "$APP_WIN" || fail "$name: the main window is gone after the message box closed"
}

for c in "${cases[@]}"; do
    IFS='|' read -r cat link type name target kind with <<<"$c"
    read -r px py < <(link_label_point "$cat" "$link" "${counts[@]}")
    click_in_window "$APP_WIN" "$px" "$py"
    IFS='|' read -r -a with <<<"$with"
    "expect_$kind" "${with[@]}"
done

# Each click launched exactly once.
for handler in app web folder; do
    [[ $(call_count "$handler") == 1 ]] || fail "'$handler' was started $(call_count "$handler") times, expected once"
done

stop_app TERM
pass
