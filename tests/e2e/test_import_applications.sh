#!/usr/bin/env bash
# "Import Applications..." in the main window's menu proposes categories from the applications a
# private XDG data folder holds: the user's own folder and one system folder, with entries that
# are not shown (NoDisplay, Hidden, OnlyShowIn another desktop, NotShowIn this one, a system entry
# the user's own hides) left out. Escape in the dialog saves nothing; OK (Return, the default
# button) adds the proposed categories after the two a first start writes, each an
# "Applications" category whose links, sorted by name, point at the .desktop files, and saves
# them at once.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

IMPORT_TITLE='^Import Applications$'
CATEGORY_OFF_NAME=103000 # 50 bytes of text
CATEGORY_OFF_TYPE=103300 # int32
category_at() { echo $((KV_OFF_CATEGORIES + $1 * KV_CATEGORY_SIZE)); }

use_private_applications
export XDG_CURRENT_DESKTOP=KVTest
HOME_APPS="$XDG_DATA_HOME/applications"
SYSTEM_APPS="$XDG_DATA_DIRS/applications"
mkdir -p "$SYSTEM_APPS"

# entry FOLDER ID LINE...: an application entry FOLDER/ID.desktop with LINEs after its Type.
entry() {
    local folder=$1 id=$2; shift 2
    { printf '[Desktop Entry]\nType=Application\nExec=true\n'; printf '%s\n' "$@"; } >"$folder/$id.desktop"
}
entry "$HOME_APPS" writer 'Name=Writer' 'Categories=Office;WordProcessor;'
entry "$SYSTEM_APPS" browser 'Name=Browser' 'Categories=Network;WebBrowser;'
entry "$HOME_APPS" mail 'Name=mail' 'Categories=GTK;Network;Email;'
entry "$SYSTEM_APPS" editor 'Name=Text Editor' 'Categories=Utility;TextEditor;'
entry "$HOME_APPS" here 'Name=Here Only' 'OnlyShowIn=KVTest;' 'Categories=Utility;'
entry "$HOME_APPS" helper 'Name=Helper' 'NoDisplay=true' 'Categories=Utility;'
entry "$HOME_APPS" removed 'Name=Removed' 'Hidden=true' 'Categories=Office;'
entry "$SYSTEM_APPS" elsewhere 'Name=Elsewhere' 'OnlyShowIn=SomethingElse;' 'Categories=Network;'
entry "$SYSTEM_APPS" nothere 'Name=Not Here' 'NotShowIn=KVTest;' 'Categories=Office;'
entry "$SYSTEM_APPS" game 'Name=Game' 'Categories=Game;'
entry "$HOME_APPS" game 'Name=Game' 'Hidden=true'

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0

# read_text FILE OFFSET SIZE: the text of a fixed text field, up to its first NUL.
read_text() {
    /usr/bin/python3 - "$@" <<'EOF'
import sys
path, offset, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, "rb") as f:
    f.seek(offset)
    sys.stdout.write(f.read(size).split(b"\0")[0].decode(errors="replace"))
EOF
}

# category_text C: "Name (type): link=path/type ..." of category C as saved.
category_text() {
    local at n l link
    at=$(category_at "$1")
    n="$(read_text "$cfg" $((at + CATEGORY_OFF_NAME)) 50) ($(read_i32 "$cfg" $((at + CATEGORY_OFF_TYPE)))):"
    for ((l = 0; l < 50; l++)); do
        link=$((at + l * KV_LINK_SIZE))
        [[ "$(read_i32 "$cfg" $((link + 2056)))" == 1 ]] || break
        n+=" $(read_text "$cfg" "$link" 50)=$(read_text "$cfg" $((link + 50)) 2000)/$(read_i32 "$cfg" $((link + 2052)))"
    done
    echo "$n"
}

start_app_and_wait

# import_dialog: the right button on an empty part of the main window, then the 4th item of its
# menu ("Auto Mode", "Settings...", "Category Editor...", "Import Applications..."); leaves the
# dialog's id in DIALOG.
DIALOG=
import_dialog() {
    main_menu_item 4 "$1"
    DIALOG=$(wait_for_window "$IMPORT_TITLE" 10) || fail "$1: no window titled 'Import Applications' within 10 s"
    local owner
    owner=$(xprop -id "$DIALOG" WM_TRANSIENT_FOR | grep -o '0x[0-9a-fA-F]*' || true)
    [[ -n "$owner" && $((owner)) == "$APP_WIN" ]] ||
        fail "$1: the dialog is transient for '${owner:-no window}', expected the main window ($APP_WIN)"
}
dialog_gone() { [[ -z "$(find_windows "$IMPORT_TITLE")" ]]; }

# 1. Escape: nothing is added, nothing saved.
cp "$cfg" "$KV_TMP/start.dat"
start_mtime=$(stat -c %y "$cfg")
import_dialog Escape
xdotool windowactivate --sync "$DIALOG"
xdotool key Escape
poll_until 10 dialog_gone || fail "Escape did not close the dialog within 10 s"
sleep 1 # longer than the program waits before it saves what changed
cmp -s "$KV_TMP/start.dat" "$cfg" || fail "Escape in the dialog changed $KV_CONFIG"
[[ "$(stat -c %y "$cfg")" == "$start_mtime" ]] || fail "Escape in the dialog wrote $KV_CONFIG again"

# 2. Return: OK adds every proposal, checked as they start, and saves.
import_dialog OK
xdotool windowactivate --sync "$DIALOG"
xdotool key Return
poll_until 10 dialog_gone || fail "Return did not close the dialog within 10 s (OK is its default button)"
imported() { [[ "$(read_i32 "$cfg" $(($(category_at 4) + CATEGORY_OFF_TYPE)))" == 0 ]]; }
poll_until 10 imported || fail "after OK no third imported category was saved in slot 4"

expected=(
    "Internet (0): Browser=$SYSTEM_APPS/browser.desktop/0 mail=$HOME_APPS/mail.desktop/0"
    "Office (0): Writer=$HOME_APPS/writer.desktop/0"
    "Utilities (0): Here Only=$HOME_APPS/here.desktop/0 Text Editor=$SYSTEM_APPS/editor.desktop/0"
)
for i in 0 1 2; do
    got=$(category_text $((i + 2)))
    [[ "$got" == "${expected[i]}" ]] || fail "category $((i + 2)) is saved as '$got', expected '${expected[i]}'"
done
[[ "$(read_i32 "$cfg" $(($(category_at 5) + CATEGORY_OFF_TYPE)))" == -1 ]] ||
    fail "slot 5 is in use after the import: '$(category_text 5)'; only three categories were proposed"
for c in 0 1; do
    [[ "$(category_text "$c")" == "$(cfg=$KV_TMP/start.dat category_text "$c")" ]] ||
        fail "the import changed category $c: '$(category_text "$c")'"
done

# The window still runs, and saves the same at exit.
pid_alive "$APP_PID" || fail "the program exited after the import"
stop_app TERM
got=$(category_text 4)
[[ "$got" == "${expected[2]}" ]] || fail "at exit category 4 is saved as '$got', expected '${expected[2]}'"
pass
