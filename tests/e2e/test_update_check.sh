#!/usr/bin/env bash
# "Check for updates..." in the main window's menu fetches uilv.bin from the home page address
# (a local web server here) and says what it found: up to date for version 118, a question for a
# newer one whose Yes (not the default) opens the installer's address, percent-encoded, in the
# default web browser, and "Update error." for an error status, a short answer, an installer
# name that leaves the folder, or a redirect away from the web. Only the first 34 bytes of a
# long answer count. The file is gone from the program's folder once a box shows. Qt Network is
# not loaded until the first check.
#
# A server that never answers takes 10 s to give up on; test_update_check_slow.sh runs that case
# alone through this script with UPDATE_CHECK_CASES=slow.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

PART=${UPDATE_CHECK_CASES:-fast}
UPDATE_TITLE='^Check for updates$'
ERROR_TITLE='^Update error\.$'

# The check first asks NetworkManager to go online; a stand-in that is online already lets it
# go on without a box of its own.
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
session_start_system_bus || fail "$SESSION_ERROR"
session_start_mock networkmanager || fail "$SESSION_ERROR"

use_private_applications
add_handler web x-scheme-handler/http x-scheme-handler/https

start_update_server

create_default_config
write_u8 "$KV_APPDIR/$KV_CONFIG" "$KV_OFF_AUTO_MODE" 0
start_app_and_wait

network_loaded() { grep -q 'libQt6Network' "/proc/$APP_PID/maps"; }
! network_loaded || fail "Qt Network is loaded before any update check"

read -r _ _ MAIN_W MAIN_H < <(client_rect "$APP_WIN")
start_check() { main_menu_item 8 "$name"; }

requests_for() { grep -c "^$1 " "$SRV/requests" || true; }
no_update_file() {
    [[ ! -e "$KV_APPDIR/uilv.bin" ]] || fail "$name: uilv.bin is still in the program's folder $1"
}
box_gone() { [[ -z "$(find_windows "$1")" ]]; }

# press_in BOX KEY: activates BOX and presses KEY in it.
press_in() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    xdotool key "$2"
}

# A box with only OK: Alt+Y and Alt+N are no answer to it; Return is.
answer_ok_box() {
    local title=$1 box=$2 key
    for key in alt+y alt+n; do
        press_in "$box" "$key"
    done
    sleep 0.5
    [[ -n "$(find_windows "$title")" ]] || fail "$name: Alt+Y or Alt+N closed the box '${title//[\\^$]/}', which should have only OK"
    press_in "$box" Return
    poll_until 10 box_gone "$title" || fail "$name: Return did not close the box '${title//[\\^$]/}'"
}

# While the download waits, the main window still paints: its clock's seconds move on.
shoot_main() {
    local x y
    read -r x y _ _ < <(client_rect "$APP_WIN")
    import -window root -crop "${MAIN_W}x${MAIN_H}+$x+$y" +repage "$1"
}
still_painting() {
    if ! command -v import >/dev/null; then
        echo "note: ImageMagick's 'import' is missing; not checking that the window paints" >&2
        return 0
    fi
    sleep 2
    shoot_main "$KV_TMP/waiting.1.ppm"
    sleep 1.5
    shoot_main "$KV_TMP/waiting.2.ppm"
    [[ -z "$(find_windows "$ERROR_TITLE")" ]] || fail "$name: the error box came within 4 s, expected about 10 s"
    ! cmp -s "$KV_TMP/waiting.1.ppm" "$KV_TMP/waiting.2.ppm" ||
        fail "$name: the main window did not paint (its clock stood still) while the download waited"
}

OPENED=() # the addresses the web handler should have been given so far
# case|answer expected (up-to-date, error, question:KEY)|address opened, relative to HOME_URL
fast_cases=(
    "current|up-to-date|"
    "newer|question:alt+y|setup.exe"
    "newer|question:alt+n|"
    "newer|question:Return|"
    "newer-spaced|question:alt+y|Kestrava%20Setup%201.19.exe"
    "missing|error|"
    "short|error|"
    "long|question:alt+y|setup.exe"
    "parent|error|"
    "to-file|error|"
)
slow_cases=("silent|error|")

run_case() {
    local case=$1 expect=$2 opens=$3 box title started elapsed
    name="$case ($expect)"
    echo "$case" >"$SRV/case"
    local before
    before=$(requests_for "$case")
    started=$(now_ms)
    start_check
    [[ $case != silent ]] || still_painting
    [[ $expect == error ]] && title=$ERROR_TITLE || title=$UPDATE_TITLE
    box=$(wait_for_window "$title" 15) || fail "$name: no box titled '${title//[\\^$]/}' within 15 s"
    elapsed=$(($(now_ms) - started))
    no_update_file "while its box shows"
    [[ $(requests_for "$case") == $((before + 1)) ]] ||
        fail "$name: the server saw $(($(requests_for "$case") - before)) requests, expected 1 ($(tail -n 3 "$SRV/requests" | tr '\n' ';'))"
    grep -qx "$case /updates/uilv.bin" "$SRV/requests" || fail "$name: the program asked for '$(tail -n 1 "$SRV/requests")'"
    if [[ $case == silent ]]; then
        ((elapsed >= 9000 && elapsed <= 14000)) ||
            fail "$name: the error box came after $elapsed ms, expected about 10 s (the download's limit)"
    elif ((elapsed > 8000)); then
        fail "$name: the box took $elapsed ms to show"
    fi
    case $expect in
    up-to-date | error) answer_ok_box "$title" "$box" ;;
    question:*)
        press_in "$box" "${expect#question:}"
        poll_until 10 box_gone "$title" ||
            fail "$name: ${expect#question:} did not close the question (a box with only OK ignores Alt+Y/Alt+N)"
        ;;
    esac
    pid_alive "$APP_PID" || fail "$name: the program exited"
    [[ -z "$opens" ]] || OPENED+=("$HOME_URL$opens")
    _opened_all() { [[ $(call_count web) == "${#OPENED[@]}" ]]; }
    poll_until 10 _opened_all ||
        fail "$name: the web browser was started $(call_count web) times in all, expected ${#OPENED[@]}"
    no_update_file "after its box closed"
}

[[ $PART == slow ]] && cases=("${slow_cases[@]}") || cases=("${fast_cases[@]}")
for c in "${cases[@]}"; do
    IFS='|' read -r case expect opens <<<"$c"
    run_case "$case" "$expect" "$opens"
    if [[ $c == "${cases[0]}" ]]; then
        network_loaded || fail "Qt Network is not loaded after an update check"
    fi
done

# A No that opened something late would show up here.
sleep 1
expected=$(printf '%s\n' "${OPENED[@]}" | sed '/^$/d' | sort)
got=$(call_lines web | sort)
[[ "$got" == "$expected" ]] || fail "the web browser was given '${got//$'\n'/ }', expected '${expected//$'\n'/ }'"

stop_app TERM
pass
