#!/usr/bin/env bash
# One instance per user: a second start exits 0 at once and the first instance shows, restores
# and raises its main window, however it was put out of sight. Without a runtime folder (no
# XDG_RUNTIME_DIR), and with the temp folder's kestrava-<uid> made first by another user, two
# starts in the same folder still make one instance.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

command -v xmessage >/dev/null || skip "'xmessage' is not installed"

not_viewable() { ! window_visible "$APP_WIN"; }
on_top() { [[ "$(stacking_order | tail -n 1)" == "$APP_WIN" ]]; }

hide_unmapped() { xdotool windowunmap "$APP_WIN"; poll_until 5 not_viewable || fail "windowunmap left the window viewable"; }
hide_minimised() { xdotool windowminimize "$APP_WIN"; poll_until 5 not_viewable || fail "windowminimize left the window viewable"; }
hide_covered() {
    local cover
    read -r x y w h < <(client_rect "$APP_WIN")
    xmessage -name Cover -title Cover -geometry "$((w + 40))x$((h + 40))+$((x - 20))+$((y - 20))" cover \
        </dev/null >"$KV_TMP/cover.log" 2>&1 &
    session_track $!
    cover=$(wait_for_window '^Cover$' 10) || fail "the covering window did not show"
    xdotool windowraise "$cover"
    # An always-on-top main window cannot be covered; then it only has to stay on top.
    if [[ "$(window_states "$APP_WIN")" != *_NET_WM_STATE_ABOVE* ]]; then
        is_cover_on_top() { [[ "$(stacking_order | tail -n 1)" == "$cover" ]]; }
        poll_until 5 is_cover_on_top || fail "could not stack the covering window above the main window"
    fi
}

# Makes the temp folder of the starts to come hold a kestrava-<uid> that is not the user's to trust:
# open to everybody and, when this runs as root, another user's.
foreign_temp_folder() {
    local own="$KV_TMP/tmp/kestrava-$(id -u)"
    mkdir -p "$own"
    chmod 0777 "$own"
    [[ $(id -u) != 0 ]] || chown 65534:65534 "$own"
    KV_APP_PREFIX=(env -u XDG_RUNTIME_DIR "TMPDIR=$KV_TMP/tmp")
}

# place|how the starts are set up (a function, or - for the session as it is)|how the window is hidden
places=(
    "private runtime folder|-|unmapped minimised covered"
    "no runtime folder, a foreign kestrava-<uid> in the temp folder|foreign_temp_folder|unmapped"
)

for p in "${places[@]}"; do
    IFS='|' read -r place setup hides <<<"$p"
    KV_APP_PREFIX=()
    [[ $setup == - ]] || "$setup"
    start_app_and_wait
    first_pid=$APP_PID

    for how in $hides; do
        "hide_$how"

        start_app
        second_pid=$APP_PID
        wait_exit "$second_pid" 1 || fail "$place, window $how: the second start was still running after 1 s"
        [[ "$EXIT_STATUS" == 0 ]] || fail "$place, window $how: the second start exited with status $EXIT_STATUS, expected 0"

        win=$(wait_for_window "$KV_MAIN_TITLE" 5) || fail "$place, window $how: the second start did not bring the main window back"
        APP_WIN=$win
        [[ "$(window_states "$APP_WIN")" != *_NET_WM_STATE_HIDDEN* ]] || fail "$place, window $how: the main window is still minimised"
        poll_until 5 on_top || fail "$place, window $how: the main window was not raised (stacking, bottom to top: $(stacking_order | tr '\n' ' '))"
        count=$(find_windows "$KV_MAIN_TITLE" | wc -l)
        [[ $count == 1 ]] || fail "$place, window $how: $count main windows after the second start, expected 1"
        pid_alive "$first_pid" || fail "$place, window $how: the first instance is no longer running"
    done

    stop_app TERM "$first_pid"
done
pass
