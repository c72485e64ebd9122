#!/usr/bin/env bash
# The Debian package as a user gets it. kestrava_$KESTRAVA_VERSION_*.deb from
# $KESTRAVA_PACKAGE_DIR (`make package` builds it) is checked for its fields and its file list,
# unpacked into a scratch root, and its desktop entry, AppStream file, manual page and icons are
# validated. The launcher is tried alone with a stand-in program, then the installed launcher
# runs the installed program on a private Xvfb session: it must create the configuration folder
# and write KVUI_Config.dat there, and find the network module inside the scratch root. At the
# end the scratch root is removed with nothing of the program left running, and nothing was
# written outside the test's own folder (HOME and the XDG folders are in it).
#
# Exits 0 on success, 1 on failure and 77 when a tool is missing (which the set-up scripts should
# have installed, so it counts as a failure too).
set -Eeuo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_root=$(cd "$here/../.." && pwd)

fail() {
    echo "FAIL [package]: $*" >&2
    exit 1
}
trap 'echo "FAIL [package]: command failed (status $?) at line $LINENO: $BASH_COMMAND" >&2' ERR

for tool in dpkg-deb dpkg Xvfb openbox xdotool xprop dbus-daemon desktop-file-validate appstreamcli man groff \
    rsvg-convert identify compare; do
    command -v "$tool" >/dev/null || {
        echo "SKIP [package]: '$tool' is not installed" >&2
        exit 77
    }
done
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || {
    echo "SKIP [package]: python3-dbusmock is not installed" >&2
    exit 77
}

[[ -n "${KESTRAVA_PACKAGE_DIR:-}" && -n "${KESTRAVA_VERSION:-}" ]] ||
    fail "KESTRAVA_PACKAGE_DIR and KESTRAVA_VERSION must name the folder of the package and its version"
debs=("$KESTRAVA_PACKAGE_DIR/kestrava_${KESTRAVA_VERSION}_"*.deb)
[[ ${#debs[@]} == 1 && -f "${debs[0]}" ]] ||
    fail "expected one kestrava_${KESTRAVA_VERSION}_*.deb in $KESTRAVA_PACKAGE_DIR (make package builds it)"
DEB=${debs[0]}
APP_ID=io.github.kestrava.Kestrava
CONFIG_SIZE=2067380
OFF_AUTO_MODE=2067072 # a byte of KVUI_Config.dat: the window shrinks and fades while it is set

# shellcheck source=SCRIPTDIR/../../scripts/session.sh
source "$source_root/scripts/session.sh"

cleanup() {
    local rc=$? log
    trap - ERR EXIT INT TERM HUP
    set +e
    if [[ $rc != 0 && $rc != 77 && -d "${TMP:-}" ]]; then
        for log in "$TMP"/*.log; do
            [[ -s "$log" ]] || continue
            echo "----- $(basename "$log") (last lines) -----" >&2
            tail -n 25 "$log" >&2
        done
    fi
    session_stop
    [[ -z "${TMP:-}" ]] || rm -rf "$TMP"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Everything the program and the tools may write goes into TMP.
REAL_HOME=${HOME:-/nonexistent}
had_real_config=
[[ ! -e "$REAL_HOME/.config/kestrava" ]] || had_real_config=1
TMP=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/kestrava-package.XXXXXXXX")")
export HOME="$TMP/home" XDG_DATA_HOME="$TMP/home/.local/share" XDG_CACHE_HOME="$TMP/home/.cache"
export XDG_STATE_HOME="$TMP/home/.local/state" TMPDIR="$TMP/tmp" NO_AT_BRIDGE=1
export XDG_CONFIG_HOME="$TMP/config" # not HOME/.config: the launcher must follow it
mkdir -p "$HOME" "$TMPDIR"
ROOT="$TMP/root"
START="$TMP/start" # the folder the launcher is started from, which must stay empty
mkdir -p "$START"

# ---------------------------------------------------------------------------------------------
# The package's fields and files

field() { dpkg-deb --field "$DEB" "$1"; }
[[ "$(field Package)" == kestrava ]] || fail "the package is named '$(field Package)', expected kestrava"
[[ "$(field Version)" == "$KESTRAVA_VERSION" ]] || fail "the package's version is '$(field Version)', expected $KESTRAVA_VERSION"
[[ "$(field Maintainer)" == "Kestrava developers" ]] || fail "the maintainer is '$(field Maintainer)'"
[[ "$(field Architecture)" == "$(dpkg --print-architecture)" ]] || fail "the package is for '$(field Architecture)'"
# Computed from the program (Qt Widgets) and from the module, the only one that uses Qt Network;
# a build with sanitizers has no place in a package.
depends=" $(field Depends | tr ',' ' ') "
for dep in libqt6widgets6 libqt6network6 libc6; do
    [[ "$depends" == *" $dep "* ]] || fail "Depends lacks $dep: $(field Depends)"
done
[[ "$depends" != *" libasan"* && "$depends" != *" libubsan"* ]] || fail "the package depends on a sanitizer runtime: $(field Depends)"

mapfile -t listing < <(dpkg-deb --contents "$DEB" | awk '{ print $1, $2, $6 }')
declare -A entries=()
for line in "${listing[@]}"; do
    read -r mode owner path <<<"$line"
    [[ "$path" != ./ ]] || continue
    [[ "$path" == ./usr/* ]] || fail "the package holds $path, outside /usr"
    [[ "$owner" == root/root ]] || fail "$path belongs to $owner, expected root/root"
    entries[${path#./}]=$mode
done
icons=usr/share/icons/hicolor
expected=(
    "usr/bin/kestrava -rwxr-xr-x"
    "usr/libexec/kestrava -rwxr-xr-x"
    "usr/lib/kestrava/kestrava-network.so -rw-r--r--"
    "usr/share/applications/$APP_ID.desktop -rw-r--r--"
    "usr/share/metainfo/$APP_ID.metainfo.xml -rw-r--r--"
    "usr/share/man/man1/kestrava.1.gz -rw-r--r--"
    "$icons/scalable/apps/$APP_ID.svg -rw-r--r--"
)
SIZES=(16 32 48 64 128 256)
for size in "${SIZES[@]}"; do expected+=("$icons/${size}x$size/apps/$APP_ID.png -rw-r--r--"); done
for line in "${expected[@]}"; do
    read -r path mode <<<"$line"
    [[ -n "${entries[$path]:-}" ]] || fail "the package lacks /$path"
    [[ "${entries[$path]}" == "$mode" ]] || fail "/$path has mode ${entries[$path]}, expected $mode"
done

dpkg-deb --extract "$DEB" "$ROOT"

# ---------------------------------------------------------------------------------------------
# What the desktop reads: the entry, the AppStream file, the manual page, the icons

desktop="$ROOT/usr/share/applications/$APP_ID.desktop"
metainfo="$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[[ -z "$out" ]] || fail "desktop-file-validate: $out"
# --no-net: the addresses in it are not fetched here. Pedantic remarks (the capitals in the id)
# do not fail it.
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
zcat "$ROOT/usr/share/man/man1/kestrava.1.gz" >"$TMP/kestrava.1"
out=$(groff -man -ww -z "$TMP/kestrava.1" 2>&1) || fail "groff: $out"
[[ -z "$out" ]] || fail "groff: $out"
out=$(MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/kestrava.1.gz" 2>&1 >"$TMP/man.txt") || fail "man: $out"
[[ -z "$out" ]] || fail "man: $out"
grep -q "Kestrava $KESTRAVA_VERSION" "$TMP/man.txt" || fail "the manual page does not name version $KESTRAVA_VERSION"

entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_word=$(entry Exec)
exec_word=${exec_word%% *}
[[ -x "$ROOT/usr/bin/$exec_word" ]] || fail "the desktop entry starts '$exec_word', which is not in /usr/bin"
[[ "$(entry Icon)" == "$APP_ID" ]] || fail "the desktop entry's icon is '$(entry Icon)', expected $APP_ID"
grep -q "<id>$APP_ID</id>" "$metainfo" || fail "the AppStream file's id is not $APP_ID"
grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$metainfo" ||
    fail "the AppStream file does not name $APP_ID.desktop as its launchable"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1)
[[ "$newest" == "<release version=\"$KESTRAVA_VERSION\"" ]] ||
    fail "the AppStream file's newest release is '$newest', expected $KESTRAVA_VERSION"

# Each PNG is as big as its folder says and still a picture of the SVG (drawn anew, allowing for
# the smoothing of edges).
for size in "${SIZES[@]}"; do
    png="$ROOT/$icons/${size}x$size/apps/$APP_ID.png"
    [[ "$(identify -format '%w %h' "$png")" == "$size $size" ]] ||
        fail "the ${size}x$size icon is $(identify -format '%wx%h' "$png")"
    rsvg-convert --width "$size" --height "$size" --output "$TMP/icon.png" "$ROOT/$icons/scalable/apps/$APP_ID.svg"
    error=$(compare -metric RMSE "$png" "$TMP/icon.png" null: 2>&1 | sed -n 's/.*(\(.*\))/\1/p') || true
    awk -v e="$error" 'BEGIN { exit !(e != "" && e < 0.03) }' ||
        fail "the ${size}x$size icon differs from the SVG (RMSE ${error:-unknown}); packaging/make-icons.sh draws them anew"
done

# ---------------------------------------------------------------------------------------------
# The launcher alone, with a stand-in program that reports where and how it was started

fake="$TMP/fake"
mkdir -p "$fake/usr/bin" "$fake/usr/libexec" "$TMP/links"
cp "$ROOT/usr/bin/kestrava" "$fake/usr/bin/kestrava"
cat >"$fake/usr/libexec/kestrava" <<'EOF'
#!/bin/sh
{ pwd; umask; printf '[%s]\n' "$@"; } >"$REPORT"
EOF
chmod +x "$fake/usr/libexec/kestrava"
ln -s "$fake/usr/bin/kestrava" "$TMP/links/kestrava"

# shellcheck disable=SC2016 # the words are to arrive unexpanded
ARGS=("two words" '*' '$(touch injected)' '' '-x' "semi;colon")
expected_args=$(printf '[%s]\n' "${ARGS[@]}")
# name | XDG_CONFIG_HOME ("-" unset) | mode of an existing folder ("-" none) | folder expected | mode expected | launcher
launcher_cases=(
    "new under XDG_CONFIG_HOME|$TMP/l1/xdg|-|$TMP/l1/xdg/kestrava|700|$fake/usr/bin/kestrava"
    "unset XDG_CONFIG_HOME|-|-|$TMP/l2/home/.config/kestrava|700|$fake/usr/bin/kestrava"
    "relative XDG_CONFIG_HOME|relative|-|$TMP/l3/home/.config/kestrava|700|$fake/usr/bin/kestrava"
    "existing folder|$TMP/l4/xdg|750|$TMP/l4/xdg/kestrava|750|$fake/usr/bin/kestrava"
    "through a link|$TMP/l5/xdg|-|$TMP/l5/xdg/kestrava|700|$TMP/links/kestrava"
)
n=0
for c in "${launcher_cases[@]}"; do
    IFS='|' read -r name xdg existing want_dir want_mode launcher <<<"$c"
    n=$((n + 1))
    case_home="$TMP/l$n/home"
    mkdir -p "$case_home"
    if [[ "$existing" != - ]]; then
        mkdir -p "$want_dir"
        chmod "$existing" "$want_dir"
    fi
    env_args=(HOME="$case_home" REPORT="$TMP/report" PATH="$PATH")
    [[ "$xdg" == - ]] || env_args+=(XDG_CONFIG_HOME="$xdg")
    (cd "$START" && umask 022 && exec env -i "${env_args[@]}" "$launcher" "${ARGS[@]}") ||
        fail "launcher, $name: it exited with status $?"
    [[ -d "$want_dir" ]] || fail "launcher, $name: $want_dir was not created"
    [[ "$(stat -c %a "$want_dir")" == "$want_mode" ]] ||
        fail "launcher, $name: $want_dir has mode $(stat -c %a "$want_dir"), expected $want_mode"
    mapfile -t report <"$TMP/report"
    [[ "${report[0]}" == "$want_dir" ]] || fail "launcher, $name: the program ran in ${report[0]}, expected $want_dir"
    [[ "${report[1]}" == 0022 ]] || fail "launcher, $name: the program got umask ${report[1]}, expected the caller's 0022"
    got_args=$(printf '%s\n' "${report[@]:2}")
    [[ "$got_args" == "$expected_args" ]] ||
        fail "launcher, $name: the program got the arguments ${got_args//$'\n'/ }, expected ${expected_args//$'\n'/ }"
    [[ -z "$(ls -A "$START")" ]] || fail "launcher, $name: it left $(ls -A "$START") in the folder it was started from"
    rm -f "$TMP/report"
done

# ---------------------------------------------------------------------------------------------
# The installed program, started as the desktop starts it

mkdir "$TMP/session"
session_start --system-bus "$TMP/session" || fail "$SESSION_ERROR"
# The update check first asks NetworkManager to go online; a stand-in that is online lets it on.
session_start_mock networkmanager || fail "$SESSION_ERROR"
export PATH="$ROOT/usr/bin:$PATH"
# A port nothing listens on: the update check fails at once, after loading the module.
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export KESTRAVA_HOME_URL="http://127.0.0.1:$port/"
CONFIG_DIR="$XDG_CONFIG_HOME/kestrava"

managed() { xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-fA-F]*' | while read -r w; do echo $((w)); done; }
# The visible managed window named NAME (a regular expression) of process PID.
window_of() {
    local w list
    list=" $(managed | tr '\n' ' ') "
    for w in $(xdotool search --onlyvisible --pid "$1" --name "$2" 2>/dev/null || true); do
        [[ "$list" == *" $w "* ]] && echo "$w" && return 0
    done
    return 1
}

# Starts `kestrava` from PATH in $START, as a desktop entry would, and waits for its window;
# leaves APP_PID and APP_WIN.
run=0
start_installed() {
    run=$((run + 1))
    (cd "$START" && exec kestrava) </dev/null >"$TMP/app.$run.log" 2>&1 &
    APP_PID=$!
    session_track "$APP_PID"
    shown() { ! pid_alive "$APP_PID" || APP_WIN=$(window_of "$APP_PID" '^Kestrava$'); }
    poll_until 20 shown || fail "start $run: the main window did not map within 20 s"
    pid_alive "$APP_PID" || fail "start $run: the program exited before its window mapped"
    [[ "$(readlink "/proc/$APP_PID/exe")" == "$ROOT/usr/libexec/kestrava" ]] ||
        fail "start $run: the launcher ran $(readlink "/proc/$APP_PID/exe"), expected the installed program"
    [[ "$(readlink "/proc/$APP_PID/cwd")" == "$CONFIG_DIR" ]] ||
        fail "start $run: the program runs in $(readlink "/proc/$APP_PID/cwd"), expected $CONFIG_DIR"
}

stop_installed() {
    kill -TERM "$APP_PID"
    wait_exit "$APP_PID" 15 || fail "the program did not exit within 15 s of SIGTERM"
    [[ "$EXIT_STATUS" == 0 ]] || fail "the program exited with status $EXIT_STATUS after SIGTERM"
}

full_size() { [[ -f "$1" && "$(stat -c %s "$1")" == "$CONFIG_SIZE" ]]; }

[[ ! -e "$XDG_CONFIG_HOME" ]] || fail "$XDG_CONFIG_HOME exists before the first start"
start_installed
[[ "$(stat -c %a "$CONFIG_DIR")" == 700 ]] || fail "$CONFIG_DIR has mode $(stat -c %a "$CONFIG_DIR"), expected 700"
poll_until 10 full_size "$CONFIG_DIR/KVUI_Config.dat" || fail "the first start wrote no full KVUI_Config.dat in $CONFIG_DIR"
stop_installed

# Again on the folder the first start left, with the window kept still, to check for updates.
printf '\0' | dd of="$CONFIG_DIR/KVUI_Config.dat" bs=1 seek="$OFF_AUTO_MODE" conv=notrunc status=none
start_installed
poll_until 10 full_size "$CONFIG_DIR/KVUI_Config_OLD.dat" || fail "the second start made no backup KVUI_Config_OLD.dat"

popup() {
    local w
    for w in $(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null || true); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' && return 0
    done
    return 1
}
no_popup() { ! popup; }
# The right button on an empty part of the window, then the menu's 8th item, "Check for updates...".
read -r x y w h < <(xwininfo -id "$APP_WIN" | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }')
xdotool windowactivate --sync "$APP_WIN"
# xdotool's own --sync waits for motion, which never comes when the pointer is there already.
xdotool mousemove $((x + w / 2)) $((y + h - 70))
pointer_there() { [[ "$(xdotool getmouselocation)" == "x:$((x + w / 2)) y:$((y + h - 70)) "* ]]; }
poll_until 5 pointer_there || fail "the pointer did not reach the main window"
xdotool click 3
poll_until 5 popup || fail "the right button on the main window opened no menu"
xdotool key Down Down Down Down Down Down Down Down Return
poll_until 5 no_popup || fail "the menu stayed open after 'Check for updates...'"
error_box() { ERROR_BOX=$(window_of "$APP_PID" '^Update error\.$'); }
poll_until 15 error_box || fail "the update check showed no 'Update error.' box within 15 s"
module=$(grep -o '/[^ ]*/kestrava-network\.so' "/proc/$APP_PID/maps" | head -n 1 || true)
[[ "$module" == "$ROOT/usr/lib/kestrava/kestrava-network.so" ]] ||
    fail "the program loaded the network module from '${module:-nowhere}', expected the one in the scratch root"
xdotool windowactivate --sync "$ERROR_BOX" 2>/dev/null || true
xdotool key Return
stop_installed

# ---------------------------------------------------------------------------------------------
# Removal, and what is left

for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    [[ "$exe" != "$ROOT"/* ]] || fail "${proc#/proc/} still runs $exe from the scratch root"
done
rm -rf "$ROOT"
[[ ! -e "$ROOT" ]] || fail "the scratch root could not be removed"
[[ -z "$(ls -A "$START")" ]] || fail "the program left $(ls -A "$START") in the folder it was started from"
[[ ! -e "$HOME/.config/kestrava" ]] || fail "the program wrote into HOME/.config although XDG_CONFIG_HOME was set"
[[ -n "$had_real_config" || ! -e "$REAL_HOME/.config/kestrava" ]] ||
    fail "$REAL_HOME/.config/kestrava was created outside the test's folder"
full_size "$CONFIG_DIR/KVUI_Config.dat" || fail "the configuration is gone or cut after the program ended"

session_stop
rm -rf "$TMP"
[[ ! -e "$TMP" ]] || fail "the test's folder $TMP could not be removed"
echo "PASS [package]"
