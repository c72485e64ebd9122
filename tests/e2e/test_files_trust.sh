#!/usr/bin/env bash
# Nothing the launcher reads can hold it, and a file left somewhere cannot pose as a program.
#  - With icons on, links to desktop entries that are FIFOs (one in the downloads, one in the
#    applications folder) and a FIFO named like an icon of the theme in use: the window is drawn,
#    and keeps painting.
#  - A click on a FIFO link says what it is; the launcher carries on.
#  - "Invoice.pdf.desktop", mode 0644 in the downloads, names a document and runs a command: a
#    click does not run it and says how to trust it; once made executable, a click runs it.
#  - Import Applications lists the applications with a FIFO among them.
#  - SIGTERM still saves and ends the program.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

use_private_applications
APPS="$XDG_DATA_HOME/applications"
downloads="$KV_TMP/Downloads"
mkdir -p "$downloads" "$KV_TMP/bin"

mkfifo "$downloads/app.desktop" "$APPS/trap.desktop"
{ echo '#!/bin/bash'; record_call posing '"$@"'; } >"$KV_TMP/bin/posing"
chmod +x "$KV_TMP/bin/posing"
printf '[Desktop Entry]\nType=Application\nName=Invoice.pdf\nIcon=application-pdf\nExec=%s\n' \
    "$KV_TMP/bin/posing" >"$downloads/Invoice.pdf.desktop"
chmod 0644 "$downloads/Invoice.pdf.desktop"
printf '[Desktop Entry]\nType=Application\nName=Writer\nExec=true\nCategories=Office;\n' >"$APPS/writer.desktop"
# The user's own icons, in the theme every other one falls back on: the program's is a FIFO.
mkdir -p "$XDG_DATA_HOME/icons/hicolor/16x16/apps"
mkfifo "$XDG_DATA_HOME/icons/hicolor/16x16/apps/trap-tool.png"

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
printf '[Preferences]\nLinkIcons=1\n' >"$KV_APPDIR/Kestrava.ini"
set_link "$cfg" 0 0 "$KV_LINK_TYPE_APPLICATION" "Pipe entry" "$downloads/app.desktop"
set_link "$cfg" 0 1 "$KV_LINK_TYPE_APPLICATION" "Invoice" "$downloads/Invoice.pdf.desktop"
set_link "$cfg" 0 2 "$KV_LINK_TYPE_APPLICATION" "Trap entry" "$APPS/trap.desktop"
set_link "$cfg" 0 3 "$KV_LINK_TYPE_APPLICATION" "Trap tool" "/opt/trap-tool"
write_u8 "$cfg" $((KV_OFF_CATEGORIES + KV_CATEGORY_OFF_EXPANDED)) 1

start_app_and_wait
window_paints "a start with FIFOs among the links and the icons"

# answer_box TITLE WHAT: a message box TITLE comes, and Return closes it.
answer_box() {
    local box
    box=$(wait_for_window "^$1\$" 10) || fail "$2: no message box '$1' within 10 s"
    pid_alive "$APP_PID" || fail "$2: the launcher exited"
    xdotool windowactivate --sync "$box" key Return
    _kv_box_gone() { [[ -z "$(find_windows "^$1\$")" ]]; }
    poll_until 10 _kv_box_gone "$1" || fail "$2: Return did not close the box '$1'"
}

# With icons on, the labels of the first panel are 16 pixels high (see link_label_point).
icon_label_point() { echo 28 $((32 + 20 + ($1 + 1) * 2 + $1 * 16 + 8)); }

for link in 0 2; do
    read -r px py < <(icon_label_point "$link")
    click_in_window "$APP_WIN" "$px" "$py"
    answer_box "Execute File" "a click on the FIFO entry of link $link"
    window_paints "after the box of FIFO link $link"
done

read -r px py < <(icon_label_point 1)
click_in_window "$APP_WIN" "$px" "$py"
answer_box "Untrusted Desktop Entry" "a click on the entry posing as a document"
sleep 1
[[ $(call_count posing) == 0 ]] || fail "the untrusted entry's command ran"

chmod +x "$downloads/Invoice.pdf.desktop"
click_in_window "$APP_WIN" "$px" "$py"
wait_for_call posing 10 || fail "the entry made executable did not run within 10 s of a click"

main_menu_item 4 "Import Applications"
dialog=$(wait_for_window '^Import Applications$' 10) ||
    fail "no Import Applications dialog within 10 s with a FIFO among the applications"
xdotool windowactivate --sync "$dialog" key Escape
window_paints "after Import Applications"

stop_app TERM
pass
