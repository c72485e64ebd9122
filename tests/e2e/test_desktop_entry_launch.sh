#!/usr/bin/env bash
# An application link whose target is a desktop entry starts the entry's application the way the
# desktop's menu would: its Exec line, file field codes dropped, in the entry's Path (not the
# folder of the entry or of the program), and leaves no zombie behind. An entry whose program is
# missing says so in the launch error box, and the launcher keeps running.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

use_private_applications

# Three different folders, spaces and all: the program's, the entry's and the one it runs in.
programs="$KV_TMP/test programs"
entries="$KV_TMP/desktop entries"
workdir="$KV_TMP/entry work folder"
mkdir -p "$programs" "$entries" "$workdir"
programs=$(cd "$programs" && pwd -P)
entries=$(cd "$entries" && pwd -P)
workdir=$(cd "$workdir" && pwd -P)
{ echo '#!/bin/bash'; record_call app '"$(pwd -P)"' '"$#"' '"$@"'; } >"$programs/write cwd"
chmod +x "$programs/write cwd"

cat >"$entries/write cwd.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Write the folder
Exec="$programs/write cwd" %U "one word" 50%%
Path=$workdir
EOF
cat >"$entries/broken.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Broken entry
Exec="$KV_TMP/no such program" %f
EOF

# Outside the applications folders an entry starts only when the user has made it executable.
chmod +x "$entries/write cwd.desktop" "$entries/broken.desktop"

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0

set_link "$cfg" 0 0 "$KV_LINK_TYPE_APPLICATION" "Desktop entry here" "$entries/write cwd.desktop"
set_link "$cfg" 0 1 "$KV_LINK_TYPE_APPLICATION" "Broken entry here" "$entries/broken.desktop"
write_u8 "$cfg" $(( KV_OFF_CATEGORIES + KV_CATEGORY_OFF_EXPANDED )) 1

start_app_and_wait

no_zombie_children() {
    local stats
    stats=$(ps --ppid "$APP_PID" -o stat= || true)
    ! grep -q '^ *Z' <<<"$stats"
}

# The working entry: its program runs in the entry's Path with the arguments of its Exec line.
read -r px py < <(link_label_point 0 0 2)
click_in_window "$APP_WIN" "$px" "$py"
wait_for_call app 10 || fail "the entry's program did not run within 10 s"
got=$(call_lines app)
expected="$workdir"$'\n2\none word\n50%'
[[ "$got" == "$expected" ]] ||
    fail "the entry's program ran as '${got//$'\n'/|}', expected '${expected//$'\n'/|}' (folder, count, arguments)"
poll_until 10 no_zombie_children || fail "zombie children remain: $(ps --ppid "$APP_PID" -o pid=,stat=,args=)"

# The broken entry: the launch error box, and the launcher carries on.
read -r px py < <(link_label_point 0 1 2)
click_in_window "$APP_WIN" "$px" "$py"
title="Error executing command"
box=$(wait_for_window "^$title\$" 10) || fail "no message box '$title' within 10 s"
pid_alive "$APP_PID" || fail "the launcher exited"
xdotool windowactivate --sync "$box"
xdotool key Return
box_gone() { [[ -z "$(find_windows "^$title\$")" ]]; }
poll_until 10 box_gone || fail "Return did not close the message box '$title'"
pid_alive "$APP_PID" || fail "the launcher exited after its message box closed"
window_visible "$APP_WIN" || fail "the main window is gone after the message box closed"

[[ $(call_count app) == 1 ]] || fail "the entry's program was started $(call_count app) times, expected once"

stop_app TERM
pass
