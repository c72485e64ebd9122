#!/usr/bin/env bash
# The tray icon. It docks in the panel's system tray, and docks again when the tray host restarts
# or only starts after the program. Its right button opens the menu "Settings...", "Hide",
# "Show", "Exit", in that order. A click or a double click on it brings the hidden main window
# back, to where it was, also from the showing-desktop mode and with a minimised settings form
# (Ctrl+Alt+M too). The main window never gets a task bar entry, however often it is shown again.
#
# With KV_E2E_SHOTS naming a folder, the panel with the icon (at start, after the tray's restart
# and in a tray started late) and the open menu are photographed there.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/

SHOTS=${KV_E2E_SHOTS:-}
if [[ -n "$SHOTS" ]]; then
    command -v import >/dev/null || fail "KV_E2E_SHOTS is set, but ImageMagick's 'import' is not installed"
    mkdir -p "$SHOTS"
fi
shot() { [[ -z "$SHOTS" ]] || screenshot "$SHOTS/$1.png"; }

# ---------------------------------------------------------------------------------------------
# The icon in the tray

# The parent of window W, in decimal; fails for a child of the root.
parent_of() {
    local line
    line=$(xwininfo -children -id "$1" 2>/dev/null | grep 'Parent window id:') || return 1
    [[ "$line" != *"(the root window)"* ]] || return 1
    line=${line#*: }
    echo $((${line%% *}))
}

# True when one of W's ancestors belongs to process PID: the XEmbed tray reparents an icon into
# windows of its own.
held_by() {
    local w=$1
    while w=$(parent_of "$w"); do
        [[ "$(xprop -id "$w" -notype _NET_WM_PID 2>/dev/null)" != "_NET_WM_PID = $2" ]] || return 0
    done
    return 1
}

# The program's windows that sit in the running panel, one id a line.
icons_in_panel() {
    local w
    for w in $(xdotool search --pid "$APP_PID" 2>/dev/null || true); do
        held_by "$w" "$PANEL_PID" && echo "$w"
    done
    return 0
}

# wait_docked WHEN: waits until exactly one window of the program sits in the panel, mapped;
# leaves it in ICON.
ICON=
wait_docked() {
    _docked() { icons=$(icons_in_panel) && [[ -n "$icons" && "$icons" != *$'\n'* ]] && window_visible "$icons"; }
    poll_until 10 _docked ||
        fail "$1: expected the program's icon mapped in the tray of the panel (pid $PANEL_PID) within 10 s, found [$(tr '\n' ' ' <<<"$icons")] there"
    ICON=$icons
}

# click_icon ARGS...: `xdotool click ARGS...` on the middle of the icon. Qt takes a press of the
# same button within the double-click time (400 ms where no XSETTINGS daemon says otherwise) for
# a double click, and a right double click opens no menu: presses on the icon keep 600 ms apart.
last_press_ms=0
click_icon() {
    local x y w h wait_ms=$((last_press_ms + 600 - $(now_ms)))
    ((wait_ms <= 0)) || sleep "0.$(printf '%03d' "$wait_ms")"
    read -r x y w h < <(client_rect "$ICON")
    pointer_to $((x + w / 2)) $((y + h / 2))
    xdotool click "$@"
    last_press_ms=$(now_ms)
}

# Somewhere neither on the icon, where its tooltip would show, nor on the main window.
pointer_away() { pointer_to 100 100; }

# ---------------------------------------------------------------------------------------------
# The menu

# The program's mapped pop-up windows other than the icon and tooltips, one id a line.
popups() {
    local w
    for w in $(xdotool search --pid "$APP_PID" 2>/dev/null || true); do
        [[ "$w" != "$ICON" ]] || continue
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
        window_visible "$w" || continue
        [[ "$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null)" != *_TOOLTIP* ]] || continue
        echo "$w"
    done
    return 0
}

menu_open() { [[ -n "$(popups)" ]]; }
menu_closed() { [[ -z "$(popups)" ]]; }

# open_menu WHY: the right button on the icon, and the menu must map.
open_menu() {
    click_icon 3
    poll_until 5 menu_open || fail "$1: the right button on the tray icon opened no menu within 5 s"
}

# choose N WHY: opens the menu and takes its Nth item by keyboard (separators are skipped).
choose() {
    local n=$1 keys=()
    open_menu "$2"
    while ((${#keys[@]} < n)); do keys+=(Down); done
    xdotool key "${keys[@]}" Return
    poll_until 5 menu_closed || fail "$2: the menu was still open 5 s after Return on its item $n"
    pointer_away
}

# ---------------------------------------------------------------------------------------------
# The main window

main_shown() { window_visible "$APP_WIN"; }
main_hidden() { ! window_visible "$APP_WIN"; }

# What the X server and the window manager say of the main window, for a failure message.
main_report() {
    local map wm_state
    map=$(xwininfo -id "$APP_WIN" 2>/dev/null | sed -n 's/^ *Map State: //p')
    wm_state=$(xprop -id "$APP_WIN" WM_STATE 2>/dev/null | sed -n 's/^.*window state: //p')
    echo "map state ${map:-unknown}, WM_STATE ${wm_state:-none}," \
        "_NET_WM_STATE [$(window_states "$APP_WIN" | tr '\n' ' ')];" \
        "managed windows titled Kestrava: [$(find_windows "$KV_MAIN_TITLE" | tr '\n' ' ')], was $APP_WIN"
}

# expect_shown HOW: the main window comes back, mapped and managed, and still without a task bar
# entry.
expect_shown() {
    poll_until 5 main_shown || fail "$1 did not show the hidden main window within 5 s ($(main_report))"
    [[ "$(window_of "$APP_PID" "$KV_MAIN_TITLE")" == "$APP_WIN" ]] ||
        fail "after $1 the main window is mapped but not managed by the window manager"
    window_states "$APP_WIN" | grep -qx _NET_WM_STATE_SKIP_TASKBAR ||
        fail "after $1 the main window's _NET_WM_STATE is [$(window_states "$APP_WIN" | tr '\n' ' ')], expected _NET_WM_STATE_SKIP_TASKBAR among it"
}

hide_through_menu() {
    choose 2 "$1: Hide"
    poll_until 5 main_hidden || fail "$1: the menu's Hide (its 2nd item) left the main window mapped ($(main_report))"
}

# ---------------------------------------------------------------------------------------------
# 1. The icon docks in a tray that runs when the program starts.

start_panel
start_app_and_wait
wait_docked "a tray running at start"
window_states "$APP_WIN" | grep -qx _NET_WM_STATE_SKIP_TASKBAR ||
    fail "the main window's _NET_WM_STATE is [$(window_states "$APP_WIN" | tr '\n' ' ')], expected _NET_WM_STATE_SKIP_TASKBAR among it"
shot tray

# 2. The menu: its items in order, each doing its own thing.
open_menu "the first right click"
shot menu
xdotool key Escape
poll_until 5 menu_closed || fail "Escape did not close the tray menu"

SETTINGS_TITLE='^Kestrava Configuration$'
choose 1 "Settings..."
wait_for_window "$SETTINGS_TITLE" 10 >/dev/null ||
    fail "the menu's Settings... (its 1st item) did not open the window 'Kestrava Configuration' within 10 s"
xdotool key Escape
settings_gone() { [[ -z "$(find_windows "$SETTINGS_TITLE")" ]]; }
poll_until 5 settings_gone || fail "Escape did not close the settings form opened from the tray menu"

# A first start leaves the window where the window manager placed it; Hide and Show bring it
# back to that place, not to wherever the manager would place it now.
read -r first_x first_y _ _ < <(client_rect "$APP_WIN")
hide_through_menu "the menu"
choose 3 "Show"
expect_shown "the menu's Show (its 3rd item)"
read -r shown_x shown_y _ _ < <(client_rect "$APP_WIN")
[[ "$shown_x,$shown_y" == "$first_x,$first_y" ]] ||
    fail "a first start's window came back at $shown_x,$shown_y after Hide and Show, expected $first_x,$first_y"

# 3. A double click on the icon shows the hidden window; so does a single one, as some trays
# report a double click as one activation.
for how in "a double click:--repeat 2 --delay 80 1" "a single click:1"; do
    hide_through_menu "before ${how%%:*}"
    # shellcheck disable=SC2086 # the click's arguments, split on purpose
    click_icon ${how#*:}
    expect_shown "${how%%:*} on the tray icon"
    pointer_away
done

# 3b. Every way back leaves the showing-desktop mode, which hides every window.
showing_desktop() { xprop -root _NET_SHOWING_DESKTOP 2>/dev/null | grep -q '= 1$'; }
for how in "Ctrl+Alt+M:xdotool key ctrl+alt+m" "the menu's Show:choose 3 Show" \
    "a double click on the tray icon:click_icon --repeat 2 --delay 80 1"; do
    click_button desktop
    poll_until 5 showing_desktop || fail "the show-desktop button did not enter the showing-desktop mode"
    poll_until 5 main_hidden || fail "the main window stayed mapped while the desktop is shown ($(main_report))"
    ${how#*:}
    expect_shown "${how%%:*} while the desktop is shown"
    ! showing_desktop || fail "${how%%:*} left the desktop in the showing-desktop mode"
    pointer_away
done

# 3c. The settings form minimised takes the main window with it; each way back brings both, the
# form in front.
for how in "Ctrl+Alt+M:xdotool key ctrl+alt+m" "the menu's Show:choose 3 Show"; do
    choose 1 "Settings... before ${how%%:*}"
    form=$(wait_for_window "$SETTINGS_TITLE" 10) || fail "Settings... opened no form before ${how%%:*}"
    xdotool windowminimize "$form"
    _form_hidden() { ! window_visible "$form"; }
    poll_until 5 _form_hidden || fail "the settings form did not minimise"
    poll_until 5 main_hidden || fail "the main window stayed mapped with its settings form minimised"
    ${how#*:}
    expect_shown "${how%%:*} with the settings form minimised"
    _form_shown() { window_visible "$form"; }
    poll_until 5 _form_shown || fail "${how%%:*} brought the main window back without its settings form"
    _form_in_front() { [[ "$(stacking_order | grep -xE "$form|$APP_WIN" | tail -n 1)" == "$form" ]]; }
    poll_until 5 _form_in_front || fail "${how%%:*}: the settings form is behind the main window"
    xdotool windowactivate --sync "$form" key Escape
    poll_until 5 settings_gone || fail "Escape did not close the settings form after ${how%%:*}"
    pointer_away
done

# 4. The icon comes back when the tray host restarts, and still works.
stop_panel
pid_alive "$APP_PID" || fail "the program ended with the tray host"
start_panel
wait_docked "a restarted tray"
shot tray-restarted
hide_through_menu "the menu of the icon in the restarted tray"
choose 3 "Show in the restarted tray"
expect_shown "the restarted tray's menu item Show"

# 5. Exit, the last item, ends the program normally, and the place of the first start's window
# is what was saved.
read -r last_x last_y _ _ < <(client_rect "$APP_WIN")
choose 4 "Exit"
wait_exit "$APP_PID" 15 || fail "the menu's Exit (its 4th item) did not end the program within 15 s"
[[ "$EXIT_STATUS" == 0 ]] || fail "the program exited with status $EXIT_STATUS after the menu's Exit, expected 0"
saved="$(read_i32 "$KV_APPDIR/$KV_CONFIG" "$KV_OFF_LEFT"),$(read_i32 "$KV_APPDIR/$KV_CONFIG" "$KV_OFF_TOP")"
[[ "$saved" == "$last_x,$last_y" ]] || fail "the window at $last_x,$last_y was saved at $saved"

# 6. With no tray at start, the icon docks once a tray host starts.
stop_panel
start_app_and_wait
start_panel
wait_docked "a tray started after the program's window showed"
shot tray-late
open_menu "the icon in the late tray"
xdotool key Escape
stop_app TERM

pass
