#!/usr/bin/env bash
# The settings form opens from the main window's "Add..." label and from its config button as a
# modal dialog of the main window, 520x344. Escape throws away what was edited in it: the
# configuration file keeps its bytes and its time, and the edit is not saved at exit either. A
# new Program Name confirmed with Return (OK is the default button) is saved, changes nothing
# else in the file, and becomes the main window's title. A category's add button opens the
# add-link dialog for that category, and the link typed into it is saved in the category's next
# slot.
#
# With KV_E2E_SHOTS naming a folder, the open form is photographed there on each of its tabs.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/

SHOTS=${KV_E2E_SHOTS:-}
if [[ -n "$SHOTS" ]]; then
    for tool in import compare; do
        command -v "$tool" >/dev/null || fail "KV_E2E_SHOTS is set, but ImageMagick's '$tool' is not installed"
    done
    mkdir -p "$SHOTS"
fi

FORM_TITLE='^Kestrava Configuration$'
CATEGORY_OFF_NAME=103000 # 50 bytes of text
CATEGORY_OFF_TYPE=103300 # int32
category_at() { echo $((KV_OFF_CATEGORIES + $1 * KV_CATEGORY_SIZE)); }

# A first start's two categories of one link each, and a third like them; all open, so that every
# header sits where header_middle says.
create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
write_i32 "$cfg" "$KV_OFF_LEFT" 300
write_i32 "$cfg" "$KV_OFF_TOP" 200
write_text "$cfg" $(($(category_at 2) + CATEGORY_OFF_NAME)) 50 "Third"
write_i32 "$cfg" $(($(category_at 2) + CATEGORY_OFF_TYPE)) "$KV_LINK_TYPE_WEBSITE"
set_link "$cfg" 2 0 "$KV_LINK_TYPE_WEBSITE" "Some page" https://example.invalid/some
for c in 0 1 2; do
    write_u8 "$cfg" $(($(category_at "$c") + KV_CATEGORY_OFF_EXPANDED)) 1
done

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

# changed_outside OLD NEW FROM TO: prints the first offset outside [FROM, TO) at which the files
# differ, or nothing when they differ at most inside it.
changed_outside() {
    [[ "$(file_size "$1")" == "$(file_size "$2")" ]] || { echo "size $(file_size "$2")"; return; }
    { cmp -l "$1" "$2" || true; } | awk -v from="$3" -v to="$4" \
        '$1 - 1 < from || $1 - 1 >= to { print $1 - 1; exit }'
}

# The middle of category C's header: panels start at y 32, a header is 20 pixels high and an open
# panel of one link is 38 pixels with the line that parts it from the next.
header_middle() { echo $((32 + $1 * 38 + 10)); }

# open_form X Y: a click at (X,Y) of the main window opens the form; leaves its id in FORM.
FORM=
open_form() {
    click_in_window "$APP_WIN" "$1" "$2"
    FORM=$(wait_for_window "$FORM_TITLE" 10) ||
        fail "a click at $1,$2 of the main window did not open a window titled 'Kestrava Configuration' within 10 s"
}

form_gone() { [[ -z "$(find_windows "$FORM_TITLE")" ]]; }

# The pages of the form start below its row of tabs, (2,29) into the dialog; the Settings page
# has its Program Name edit at (6,198) and the Category Editor its Category Name edit at (4,51).
PAGE_X=2
PAGE_Y=29
click_on_page() { click_in_window "$FORM" $((PAGE_X + $1)) $((PAGE_Y + $2)); }

# Photographs of the form, its frame included.
shoot() {
    local x y w h left right top bottom
    read -r x y w h < <(client_rect "$FORM")
    read -r left right top bottom < <(frame_extents "$FORM")
    import -window root -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" +repage "$1"
}

# The row of tabs as it is drawn now, to tell when another tab has come forward. Only the row:
# the text cursor blinks on the page.
TAB_ROW="$KV_TMP/tabs.png"
shoot_tab_row() {
    local x y
    read -r x y _ _ < <(client_rect "$FORM")
    import -window root -crop "520x$PAGE_Y+$x+$y" +repage "$1"
}
tab_row_changed() {
    shoot_tab_row "$KV_TMP/tabs.now.png"
    local rc=0
    compare -metric AE "$TAB_ROW" "$KV_TMP/tabs.now.png" null: 2>/dev/null || rc=$?
    [[ $rc == 1 ]]
}

# With the keyboard in a page, Ctrl+Tab brings the next tab forward; after the last, the first.
shoot_every_tab() {
    local tab
    shoot_tab_row "$TAB_ROW"
    cp "$TAB_ROW" "$KV_TMP/tabs.first.png"
    for tab in 1-settings 2-category-editor 3-appearance 4-about; do
        shoot "$SHOTS/settings-form-$tab.png"
        xdotool key ctrl+Tab
        poll_until 5 tab_row_changed || fail "Ctrl+Tab on the $tab tab did not bring another tab forward"
        mv "$KV_TMP/tabs.now.png" "$TAB_ROW"
    done
    compare -metric AE "$KV_TMP/tabs.first.png" "$TAB_ROW" null: 2>/dev/null ||
        fail "Ctrl+Tab on the last tab did not bring the Settings tab back"
}

start_app_and_wait
read -r _ _ main_w main_h < <(client_rect "$APP_WIN")
cp "$cfg" "$KV_TMP/start.dat"
start_mtime=$(stat -c %y "$cfg")

# 1. "Add..." (left under the sections) opens the form, modal for the main window, at its size.
open_form 25 $((main_h - 48))
read -r _ _ w h < <(client_rect "$FORM")
[[ "$w x $h" == "520 x 344" ]] || fail "the form is $w x $h, expected 520 x 344"
owner=$(xprop -id "$FORM" WM_TRANSIENT_FOR | grep -o '0x[0-9a-fA-F]*' || true)
[[ -n "$owner" && $((owner)) == "$APP_WIN" ]] ||
    fail "the form is transient for '${owner:-no window}', expected the main window ($APP_WIN)"
window_states "$FORM" | grep -qx _NET_WM_STATE_MODAL ||
    fail "the form is not modal: _NET_WM_STATE is '$(window_states "$FORM" | tr '\n' ' ')'"

# 2. It opened on the Category Editor: an edit of the category's name goes straight into the
# program's data, and Escape has to take it back.
click_on_page 60 61
xdotool key End
xdotool type --delay 20 ' edited'
xdotool key Escape
poll_until 10 form_gone || fail "Escape did not close the form within 10 s"
sleep 1 # longer than the program waits before it saves what changed
cmp -s "$KV_TMP/start.dat" "$cfg" ||
    fail "Escape changed $KV_CONFIG at offset $(changed_outside "$KV_TMP/start.dat" "$cfg" 0 0), expected it untouched"
[[ "$(stat -c %y "$cfg")" == "$start_mtime" ]] || fail "Escape wrote $KV_CONFIG again, expected it untouched"

# 3. The config button (top right) opens it on the Settings page; a new Program Name and Return.
open_form $((main_w - 19)) 15
click_on_page 96 208
[[ -z "$SHOTS" ]] || { shoot_every_tab; click_on_page 96 208; }
new_name='Renamed Launcher'
xdotool key ctrl+a
xdotool type --delay 20 "$new_name"
xdotool key Return
poll_until 10 form_gone || fail "Return did not close the form within 10 s (OK is its default button)"
saved_name() { [[ "$(read_text "$cfg" 0 50)" == "$new_name" ]]; }
poll_until 10 saved_name ||
    fail "after OK the saved program name is '$(read_text "$cfg" 0 50)', expected '$new_name' (typed into the Program Name edit of the Settings page)"
at=$(changed_outside "$KV_TMP/start.dat" "$cfg" 0 50)
[[ -z "$at" ]] || fail "OK with only a new Program Name also changed $KV_CONFIG at offset $at"
shows_name() { [[ "$(xdotool getwindowname "$APP_WIN")" == "$new_name" ]]; }
poll_until 10 shows_name ||
    fail "the main window is titled '$(xdotool getwindowname "$APP_WIN")', expected '$new_name'"

# 4. The third category's add button opens the add-link dialog for it; Tab passes the type, which
# the category fixes, and Return adds the link.
cp "$cfg" "$KV_TMP/renamed.dat"
click_in_window "$APP_WIN" $((main_w - 38)) "$(header_middle 2)"
add=$(wait_for_window '^Add link to section: ' 10) ||
    fail "the add button of category 'Third' did not open the add-link dialog within 10 s"
[[ "$(xdotool getwindowname "$add")" == "Add link to section: Third" ]] ||
    fail "the add-link dialog is titled '$(xdotool getwindowname "$add")', expected 'Add link to section: Third'"
owner=$(xprop -id "$add" WM_TRANSIENT_FOR | grep -o '0x[0-9a-fA-F]*' || true)
[[ -n "$owner" && $((owner)) == "$APP_WIN" ]] ||
    fail "the add-link dialog is transient for '${owner:-no window}', expected the main window ($APP_WIN)"
xdotool type --delay 20 'Added page'
xdotool key Tab
xdotool type --delay 20 'https://example.invalid/added'
xdotool key Return
add_gone() { [[ -z "$(find_windows '^Add link to section: ')" ]]; }
poll_until 10 add_gone || fail "Return did not close the add-link dialog within 10 s"
slot=$(($(category_at 2) + KV_LINK_SIZE))
link_saved() { [[ "$(read_i32 "$cfg" $((slot + 2056)))" == 1 ]]; }
poll_until 10 link_saved || fail "the new link was not saved as the second link of 'Third'"
got="$(read_text "$cfg" "$slot" 50)|$(read_text "$cfg" $((slot + 50)) 2000)|$(read_i32 "$cfg" $((slot + 2052)))"
[[ "$got" == "Added page|https://example.invalid/added|$KV_LINK_TYPE_WEBSITE" ]] ||
    fail "the new link was saved as '$got', expected 'Added page|https://example.invalid/added|$KV_LINK_TYPE_WEBSITE'"
at=$(changed_outside "$KV_TMP/renamed.dat" "$cfg" "$slot" $((slot + KV_LINK_SIZE)))
[[ -z "$at" ]] || fail "adding a link also changed $KV_CONFIG at offset $at"

# At exit the program saves what it holds: the name edited in the cancelled form is not in it.
stop_app TERM
name0=$(read_text "$cfg" $(($(category_at 0) + CATEGORY_OFF_NAME)) 50)
[[ "$name0" == Example ]] || fail "the first category is saved as '$name0' at exit, expected 'Example'"
pass
