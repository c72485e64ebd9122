#!/usr/bin/env bash
# First start in an empty folder: the configuration file is created at its full size, no backup
# is made, and the borderless main window comes up (with a tray host running beside it).
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

start_panel
[[ -z "$(ls -A "$KV_APPDIR")" ]] || fail "the program's folder is not empty before the start"

start_app_and_wait

if ! wait_config_written "$KV_APPDIR/$KV_CONFIG" 10; then
    [[ -e "$KV_APPDIR/$KV_CONFIG" ]] || fail "$KV_CONFIG was not created"
    fail "$KV_CONFIG has $(file_size "$KV_APPDIR/$KV_CONFIG") bytes, expected $KV_CONFIG_SIZE"
fi
[[ ! -e "$KV_APPDIR/$KV_CONFIG_OLD" ]] || fail "$KV_CONFIG_OLD was created on the first start"

window_visible "$APP_WIN" || fail "the main window is not viewable"
count=$(find_windows "$KV_MAIN_TITLE" | wc -l)
[[ $count == 1 ]] || fail "expected one main window, found $count"

read -r _ _ w h < <(client_rect "$APP_WIN")
(( w >= 225 && w <= 241 && h >= 281 && h <= 297 )) || fail "main window is ${w}x${h}, expected about 233x289"

# Borderless: the window manager adds no title bar, so its frame is the same on every side.
read -r fl fr ft fb < <(frame_extents "$APP_WIN")
[[ $fl == "$fr" && $ft == "$fb" && $ft == "$fl" ]] ||
    fail "the window manager decorated the main window (frame extents left $fl right $fr top $ft bottom $fb)"

pass
