#!/usr/bin/env bash
# The main window keeps painting after every dialog, menu and message box it opens has closed:
# the time label's seconds move on within 1.2 s, as the screen shows them, and none of the
# window's children has been given an X window of its own. Covered: the add-link dialog, the
# settings form (Cancel and OK), the context menu, Import Applications, Run, the update check's
# boxes (up to date, a newer version answered No, an error) and the three system questions
# answered No.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
session_start_system_bus || fail "$SESSION_ERROR"
session_start_mock networkmanager || fail "$SESSION_ERROR"

use_private_applications
add_handler web x-scheme-handler/http x-scheme-handler/https
printf '[Desktop Entry]\nType=Application\nName=Writer\nExec=true\nCategories=Office;\n' \
    >"$XDG_DATA_HOME/applications/writer.desktop"

start_update_server

create_default_config
write_u8 "$KV_APPDIR/$KV_CONFIG" "$KV_OFF_AUTO_MODE" 0 # the window stays put and opaque
start_app_and_wait
window_paints "at the start"

# close_window TITLE KEY WHAT: waits for the window TITLE, presses KEY in it and waits until it
# is gone.
close_window() {
    local title=$1 key=$2 what=$3 win
    win=$(wait_for_window "$title" 15) || fail "$what: no window '${title//[\\^$]/}' within 15 s"
    xdotool windowactivate --sync "$win" 2>/dev/null || true
    xdotool key "$key"
    _kv_closed() { [[ -z "$(find_windows "$title")" ]]; }
    poll_until 10 _kv_closed || fail "$what: '$key' did not close the window '${title//[\\^$]/}'"
    pid_alive "$APP_PID" || fail "$what: the launcher exited"
}

# The first category's add button: the third of the small buttons at its header's right end.
add_link_button() {
    local w
    read -r _ _ w _ < <(client_rect "$APP_WIN")
    click_in_window "$APP_WIN" $((w - 38)) 42
}
# The "Add..." label, left under the category area.
add_label() {
    local h
    read -r _ _ _ h < <(client_rect "$APP_WIN")
    click_in_window "$APP_WIN" 36 $((h - 49))
}
update_check() {
    echo "$1" >"$SRV/case"
    main_menu_item 8 "update check ($1)"
}

# how it opens|window title|key that closes it|what is checked
cases=(
    "add_link_button|^Add link to section: |Escape|the add-link dialog, Escape"
    "add_label|^Kestrava Configuration\$|Escape|the settings form, Cancel"
    "add_label|^Kestrava Configuration\$|Return|the settings form, OK"
    "main_menu_item 4 import|^Import Applications\$|Escape|Import Applications, Escape"
    "click_button run|^Run\$|Escape|the Run dialog, Escape"
    "update_check current|^Check for updates\$|Return|the update check's up-to-date box"
    "update_check newer|^Check for updates\$|Return|the update check's question, No"
    "update_check missing|^Update error\\.\$|Return|the update check's error box"
    "click_button logoff|^Log Off\$|Return|the log off question, No"
    "click_button restart|^Restart\$|Return|the restart question, No"
    "click_button shutdown|^Shut Down\$|Return|the shut down question, No"
)
for c in "${cases[@]}"; do
    IFS='|' read -r opener title key what <<<"$c"
    $opener
    close_window "$title" "$key" "$what"
    window_paints "after $what"
done

# The context menu, shut with Escape.
xdotool windowactivate --sync "$APP_WIN"
read -r wx wy ww wh < <(client_rect "$APP_WIN")
pointer_to $((wx + ww / 2)) $((wy + wh - 70))
xdotool click 3
poll_until 5 menu_open || fail "the right button on the main window opened no menu within 5 s"
xdotool key Escape
poll_until 5 menu_closed || fail "Escape did not shut the context menu"
window_paints "after the context menu"

pass
