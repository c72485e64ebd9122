#!/usr/bin/env bash
# A new user's first minutes, through the forms alone: from an empty folder, the category editor
# makes a category of each single type and a "Multiple" one, each with a link typed into the row
# that a new category starts with. After OK and a restart every link is still there, the add-link
# dialog adds one more, and a click on each starts its program, page, folder or file.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
use_private_applications
add_handler web x-scheme-handler/http x-scheme-handler/https
add_handler folder inode/directory
add_handler text text/plain

# program NAME: a program that leaves the call NAME; prints its path.
program() {
    mkdir -p "$KV_TMP/bin"
    { echo '#!/bin/sh'; record_call "$1"; } >"$KV_TMP/bin/$1"
    chmod +x "$KV_TMP/bin/$1"
    echo "$KV_TMP/bin/$1"
}
mkdir -p "$KV_TMP/Some Folder"
echo notes >"$KV_TMP/notes.txt"

FORM_TITLE='^Kestrava Configuration$'
start_app_and_wait
wait_config_written "$KV_APPDIR/$KV_CONFIG" 10 || fail "the first start did not write $KV_CONFIG"
xdotool windowactivate --sync "$APP_WIN"

# In the form, on its Category Editor page (coordinates in the form's client area).
NEXT_CATEGORY="121 40"
CATEGORY_NAME="69 86"
CATEGORY_TYPE="69 124"
ROW_NAME="218 88"
ROW_TYPE="325 88"
ROW_PATH="310 130"

# in_form "X Y": a click there.
in_form() { click_in_window "$FORM" $1; }
# type_into "X Y" TEXT: replaces the text of the edit at X Y.
type_into() {
    in_form "$1"
    xdotool key ctrl+a
    xdotool type --delay 5 "$2"
}
# choose "X Y" N: the Nth item (from 0) of the drop-down at X Y.
choose() {
    in_form "$1"
    sleep 0.3
    # The click opens its list; shut, the drop-down keeps the focus and Home and Down choose.
    xdotool key Escape
    sleep 0.2
    local keys=(Home) i
    for ((i = 0; i < $2; i++)); do keys+=(Down); done
    xdotool key "${keys[@]}"
    sleep 0.2
}

# The "Add..." label opens the form on its Category Editor page.
h=$(read -r _ _ _ hh < <(client_rect "$APP_WIN"); echo "$hh")
click_in_window "$APP_WIN" 36 $((h - 49))
FORM=$(wait_for_window "$FORM_TITLE" 10) || fail "the 'Add...' label opened no settings form within 10 s"
xdotool windowactivate --sync "$FORM"

# type|name|link name|link target; the first two slots hold the first start's categories.
cases=(
    "0|Tools|Tool|$(program kvtool)"
    "1|Pages|A page|https://example.invalid/page"
    "2|Places|A folder|$KV_TMP/Some Folder"
    "3|Papers|Notes|$KV_TMP/notes.txt"
    "4|Play|A game|$(program kvgame)"
    "5|Mixed|Mixed tool|$(program kvmixed)"
)
in_form "$NEXT_CATEGORY"
for c in "${cases[@]}"; do
    IFS='|' read -r type name link target <<<"$c"
    in_form "$NEXT_CATEGORY"
    type_into "$CATEGORY_NAME" "$name"
    choose "$CATEGORY_TYPE" "$type"
    type_into "$ROW_NAME" "$link"
    type_into "$ROW_PATH" "$target"
    [[ "$type" != 5 ]] || choose "$ROW_TYPE" 0
done
xdotool key Return # OK, the default button
_kv_form_gone() { [[ -z "$(find_windows "$FORM_TITLE")" ]]; }
poll_until 10 _kv_form_gone || fail "Return did not close the settings form"

# A restart, with every panel open in a window tall enough to show them.
sleep 1
stop_app TERM
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
write_i32 "$cfg" "$KV_OFF_TOP" 10
write_i32 "$cfg" "$KV_OFF_HEIGHT" 700
for c in 0 1 2 3 4 5 6 7; do
    write_u8 "$cfg" $((KV_OFF_CATEGORIES + c * KV_CATEGORY_SIZE + KV_CATEGORY_OFF_EXPANDED)) 1
done
start_app_and_wait

# The add-link dialog adds a second link to "Tools", the third category: the third of the small
# buttons at its header's right end (the header 20 pixels high, each open panel of one link 38
# with the line that parts it from the next).
read -r _ _ w _ < <(client_rect "$APP_WIN")
click_in_window "$APP_WIN" $((w - 38)) $((32 + 2 * 38 + 10))
dialog=$(wait_for_window '^Add link to section: ' 10) || fail "the add button opened no add-link dialog"
xdotool windowactivate --sync "$dialog"
xdotool type --delay 5 "Other tool" # the name has the focus
xdotool key Tab
xdotool type --delay 5 "$(program kvother)"
xdotool key Return
_kv_dialog_gone() { [[ -z "$(find_windows '^Add link to section: ')" ]]; }
poll_until 10 _kv_dialog_gone || fail "Return did not close the add-link dialog"

# category|link|call or handler it starts|the argument it gets (none for a program)
counts=(1 1 2 1 1 1 1 1)
clicks=(
    "2|0|kvtool|"
    "2|1|kvother|"
    "3|0|web|https://example.invalid/page"
    "4|0|folder|$KV_TMP/Some Folder"
    "5|0|text|$KV_TMP/notes.txt"
    "7|0|kvmixed|"
    "6|0|kvgame|"
)
for c in "${clicks[@]}"; do
    IFS='|' read -r cat link call arg <<<"$c"
    read -r x y < <(link_label_point "$cat" "$link" "${counts[@]}")
    click_in_window "$APP_WIN" "$x" "$y"
    wait_for_call "$call" 10 || fail "a click on link $link of category $cat did not start $call within 10 s"
    if [[ -n "$arg" ]]; then
        got=$(call_lines "$call")
        [[ "$got" == "$arg" || "$got" == "file://$arg" || "$got" == "file://${arg// /%20}" ]] ||
            fail "$call was given '$got', expected '$arg'"
    fi
done
pass
