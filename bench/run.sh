#!/usr/bin/env bash
# Every speed and memory figure of Kestrava in one run, each next to an anchor measured in the
# same run: time to the first mapped window and to the first full frame, resident memory, CPU
# and wake-ups at rest, save and load, click to exec, the settings form and the game. Ends with
# one table: our figure, the anchor's, the ratio and the verdict.
#
# Runs in a private virtual session (scripts/session.sh) without a window manager, so the
# MapNotify comes straight from the client, and with private XDG folders; needs no display of its
# own and leaves nothing running. The last case at rest has a session of its own, with a window
# manager and a panel whose system tray holds the program's icon. Every run starts in a fresh
# folder, as Kestrava keeps its configuration in its working directory.
#
#   bench/run.sh                 uses ./build (as `make bench` leaves it)
#   KESTRAVA_BUILD_DIR=DIR       another build folder (configured with -DKESTRAVA_BENCH=ON)
#   KESTRAVA_BENCH_RUNS=N        runs per case (15)
#   KESTRAVA_BENCH_KEEP=1        keep the work folder (logs) for a look
#   KESTRAVA_BENCH_COLD=1        also start each case from an empty page cache, as at login (needs
#                                root: it empties the whole machine's page cache before each start)
#   KESTRAVA_BENCH_COLD_RUNS=N   starts per case from an empty page cache (7)
#
# Exit status: 0 when every figure meets its target, 1 when one misses it, 2 when a figure
# could not be measured.

set -Eeuo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(realpath "${KESTRAVA_BUILD_DIR:-$repo/build}")
runs=${KESTRAVA_BENCH_RUNS:-15}
cold=${KESTRAVA_BENCH_COLD:-}
cold_runs=${KESTRAVA_BENCH_COLD_RUNS:-7}
idle_ms=2000
# How long a window's pixels are read back after it mapped, to find its first full frame.
frame_settle_ms=1500

# Targets.
max_window_ratio=1.2
max_frame_ratio=1.2
# On a desktop (a window manager, a panel, a session bus): against rofi as above, and against a
# Qt window of labels, whose map is the same as the minimal one's.
max_desktop_window_ratio=1.1
max_labels_frame_ratio=1.1
max_save_ratio=1.5
max_rss_mib=40
max_settings_ms=50
max_game_step_ms=0.005
max_rest_cpu_percent=0.2
max_rest_wakeups=2
# Hidden, minimised or covered: no timer of the program's runs. A stray event from the window
# manager or the panel may still wake it once in the watch.
max_hidden_wakeups=0.05
# At rest: how long a program settles with the pointer away from it, and how long it is watched.
settle_s=3
rest_s=20

kestrava=$build/app/kestrava
minimal=$build/bench/minimal_window
mapwait=$build/bench/mapwait
make_full=$build/bench/make_full_config
bench_config=$build/bench/bench_config
bench_settings=$build/bench/bench_settings
bench_game=$build/bench/bench_game
bench_launch=$build/bench/bench_launch
rofi=$(command -v rofi || true)

die() {
    echo "bench/run.sh: $*" >&2
    exit 2
}

[[ -n "$rofi" ]] || die "rofi is missing (the anchor for the first full frame); install it with: make deps"
for bin in "$kestrava" "$minimal" "$mapwait" "$make_full" "$bench_config" "$bench_settings" "$bench_game" \
    "$bench_launch"; do
    [[ -x "$bin" ]] || die "$bin is missing; build with: make bench"
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || die "KESTRAVA_BENCH_RUNS must be a positive number"
[[ "$cold_runs" =~ ^[1-9][0-9]*$ ]] || die "KESTRAVA_BENCH_COLD_RUNS must be a positive number"
if [[ -n "$cold" ]]; then
    [[ $(id -u) == 0 && -w /proc/sys/vm/drop_caches ]] ||
        die "KESTRAVA_BENCH_COLD=1 empties the page cache, which takes root"
fi

source "$repo/scripts/session.sh"

# The work folder sits in the build folder, on the repository's disk: /tmp may be tmpfs, where
# fsync costs nothing.
work=$(mktemp -d "$build/bench-run.XXXXXX")

cleanup() {
    local rc=$?
    trap - EXIT INT TERM HUP ERR
    set +e
    # Ends the session that runs, then removes the work folder unless it is kept.
    session_stop
    if [[ -n "${KESTRAVA_BENCH_KEEP:-}" ]]; then
        echo "kept $work" >&2
    else
        rm -rf "$work"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
trap 'echo "bench/run.sh: command failed (status $?) at line $LINENO: $BASH_COMMAND" >&2; exit 2' ERR

# ---------------------------------------------------------------------------------------------
# Private world

export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$work/logs" "$work/runs"
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_DEBUG_PLUGINS QT_LOGGING_RULES

# Each session keeps its sockets and logs in a folder of its own in the work folder, which it
# removes when it stops, unless kept.
mkdir "$work/session"
session_start --no-wm ${KESTRAVA_BENCH_KEEP:+--keep} "$work/session" || die "$SESSION_ERROR"

"$make_full" "$work" >/dev/null
full_config=$work/KVUI_Config.dat
[[ $(stat -c %s "$full_config") == 2067380 ]] || die "make_full_config wrote a file of the wrong size"

# ---------------------------------------------------------------------------------------------
# Startup and memory

# The colour of each window's last designed element, by which its first full frame is judged
# (mapwait -c): Kestrava's red "Exit" in the default appearance, and the anchor's red label.
kestrava_marker=FF0000
labels_marker=FF0000

# measure SESSION CASE RUN: one start of CASE in a fresh folder; appends "map_ms frame_ms rss_kb
# pss_kb" to $work/SESSION-CASE.txt unless RUN is "warmup".
measure() {
    local session=$1 name=$2 run=$3 dir out log=$work/logs/$1-$2.log
    dir=$(mktemp -d "$work/runs/$name.XXXXXX")
    local program=("$kestrava") marker=(-c "$kestrava_marker")
    case $name in
        minimal) program=("$minimal") marker=() ;;
        labels) program=("$minimal" --labels) marker=(-c "$labels_marker") ;;
        rofi) program=("$rofi" -show run) marker=() ;;
        first) ;;
        default) cp "$default_config" "$dir/" ;;
        full) cp "$full_config" "$dir/" ;;
        icons) cp "$full_config" "$dir/" && printf '[Preferences]\nLinkIcons=1\n' >"$dir/Kestrava.ini" ;;
    esac
    echo "== $name run $run" >>"$log"
    if ! out=$(cd "$dir" && "$mapwait" -t 30000 -f "$frame_settle_ms" "${marker[@]}" -m "$idle_ms" \
        "${program[@]}" 2>>"$log"); then
        tail -n 20 "$log" >&2
        die "$session $name: no full frame (run $run); log above"
    fi
    if [[ $name == first && ! -s "$dir/KVUI_Config.dat" ]]; then
        die "first start wrote no configuration"
    fi
    # The default configuration, as a first start writes it, for the case that starts with it.
    [[ $name != first || -e "$default_config" ]] || cp "$dir/KVUI_Config.dat" "$default_config"
    [[ $run == warmup ]] || echo "$out" >>"$work/$session-$name.txt"
    rm -rf "$dir"
}

# startups SESSION CASE...: one start of each case to bring the libraries into the page cache,
# then the runs round-robin, so that drift on the machine spreads over every case alike.
startups() {
    local session=$1 c r
    shift
    echo "Startup, $session session: $# cases x $runs runs, each idling ${idle_ms} ms after its window mapped..." >&2
    for c in "$@"; do measure "$session" "$c" warmup; done
    for ((r = 1; r <= runs; r++)); do
        for c in "$@"; do measure "$session" "$c" "$r"; done
    done
}

# cold_startups SESSION CASE...: each start after the page cache was emptied, as at login; the
# cases take turns, so that each meets the disk in the same state.
cold_startups() {
    local session=$1 c r
    shift
    echo "Startup from an empty page cache, $session session: $# cases x $cold_runs runs..." >&2
    for ((r = 1; r <= cold_runs; r++)); do
        for c in "$@"; do
            sync
            echo 3 >/proc/sys/vm/drop_caches
            measure "$session" "$c" "$r"
        done
    done
}

# stat FILE COLUMN: "median min" of a column.
stat_of() {
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1] }'
}

declare -A med mn
# summarise SESSION CASE...: the medians and minima of each column into med and mn.
summarise() {
    local session=$1 c col a b
    shift
    for c in "$@"; do
        for col in 1 2 3 4; do
            read -r a b < <(stat_of "$work/$session-$c.txt" "$col")
            med[$session-$c,$col]=$a
            mn[$session-$c,$col]=$b
        done
    done
}

default_config=$work/default-KVUI_Config.dat
bare_cases=(minimal labels rofi first default full icons)
desktop_cases=(minimal labels rofi default full)
cold_cases=(minimal labels rofi default full)
startups bare "${bare_cases[@]}"
summarise bare "${bare_cases[@]}"

# ---------------------------------------------------------------------------------------------
# At rest

# CPU time (ns) and wake-ups of every thread of PID: a voluntary context switch is a thread going
# to sleep, and each sleep ends in a wake-up.
task_counters() {
    local ns=0 wakeups=0 t run v
    for t in /proc/"$1"/task/*; do
        read -r run _ <"$t/schedstat" || continue
        v=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")
        ns=$((ns + run)) wakeups=$((wakeups + v))
    done
    echo "$ns $wakeups"
}

# The program's icon window in the panel's tray, or nothing.
tray_icon() {
    local w up line
    for w in $(xdotool search --pid "$1" 2>/dev/null || true); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
        up=$w
        while line=$(xwininfo -children -id "$up" 2>/dev/null | grep 'Parent window id:'); do
            [[ "$line" != *"(the root window)"* ]] || break
            line=${line#*: } up=${line%% *}
            if [[ "$(xprop -id "$up" -notype _NET_WM_PID 2>/dev/null)" == "_NET_WM_PID = $SESSION_TRAY_PID" ]]; then
                echo "$w"
                return 0
            fi
        done
    done
    return 1
}

# True when a window of process PID sits, mapped, inside the windows of the session's panel: the
# XEmbed tray reparents an icon into windows of its own.
icon_docked() { tray_icon "$1" >/dev/null; }

# In the desktop case the window manager and the panel must still run and the icon sit in the
# panel's tray, on both sides of the watch. The X server answers these queries without the
# program.
check_desktop() {
    local wm
    pid_alive "$SESSION_TRAY_PID" || die "desktop: the panel ended $1 the watch"
    ps -o pid=,args= -p "$SESSION_TRAY_PID" >>"$work/logs/rest-desktop.log"
    wm=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-fA-F]*' || true)
    [[ -n "$wm" ]] && xwininfo -id "$wm" >/dev/null 2>&1 || die "desktop: the window manager was gone $1 the watch"
    icon_docked "$2" || die "desktop: the program's icon was not docked in the panel's tray $1 the watch"
    echo "$1 the watch: the icon is docked" >>"$work/logs/rest-desktop.log"
}

# The program's main window (titled Kestrava), mapped or not.
main_window() { xdotool search --all --pid "$1" --name '^Kestrava$' 2>/dev/null | head -n 1; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
hidden() { ! viewable "$1"; }

# out_of_sight HOW PID: takes the program's window out of sight the way a user does: "hidden"
# through the tray menu's Hide, "minimised" by the window manager, "covered" under a window as
# large as the screen.
cover_pid=
out_of_sight() {
    local how=$1 pid=$2 win icon x y w h
    win=$(main_window "$pid")
    [[ -n "$win" ]] || die "$how: no main window"
    case $how in
        hidden)
            icon=$(tray_icon "$pid") || die "hidden: the program's icon is not in the tray"
            eval "$(xdotool getwindowgeometry --shell "$icon")"
            x=$((X + WIDTH / 2)) y=$((Y + HEIGHT / 2))
            xdotool mousemove "$x" "$y" click 3
            sleep 0.5
            xdotool key Down Down Return mousemove 640 10
            poll_until 5 hidden "$win" || die "hidden: the tray menu's Hide left the window mapped"
            ;;
        minimised)
            xdotool windowminimize "$win"
            poll_until 5 hidden "$win" || die "minimised: the window stayed mapped"
            ;;
        covered)
            "$minimal" >>"$work/logs/cover.log" 2>&1 &
            cover_pid=$!
            session_track "$cover_pid"
            poll_until 20 xdotool search --all --pid "$cover_pid" --onlyvisible --name '^Minimal$' >/dev/null ||
                die "covered: the covering window did not show"
            w=$(xdotool search --all --pid "$cover_pid" --onlyvisible --name '^Minimal$' | head -n 1)
            xdotool windowmove "$w" 0 0 windowsize "$w" "$SESSION_SCREEN_WIDTH" "$SESSION_SCREEN_HEIGHT" \
                windowraise "$w" mousemove 640 10
            ;;
    esac
}

# back_in_sight HOW PID: undoes out_of_sight.
back_in_sight() {
    local how=$1 pid=$2 win
    win=$(main_window "$pid")
    case $how in
        hidden | minimised)
            xdotool key ctrl+alt+m
            poll_until 5 viewable "$win" || die "$how: Ctrl+Alt+M did not bring the window back"
            ;;
        covered)
            kill -TERM "$cover_pid"
            wait_exit "$cover_pid" 10 || die "covered: the covering window did not end"
            ;;
    esac
    xdotool mousemove 640 10
}

# watch PID: "cpu_percent wakeups_per_second" of PID over rest_s.
watch() {
    local c0 w0 c1 w1
    read -r c0 w0 < <(task_counters "$1")
    sleep "$rest_s"
    read -r c1 w1 < <(task_counters "$1")
    awk -v c=$((c1 - c0)) -v w=$((w1 - w0)) -v s="$rest_s" \
        'BEGIN { printf "%.3f %.2f\n", c / (s * 1e9) * 100, w / s }'
}

# rest CASE PROGRAM...: starts PROGRAM in a fresh folder (with CASE's configuration), moves the
# pointer away, lets it settle and prints "cpu_percent wakeups_per_second" over rest_s. In the
# cases "hidden", "minimised" and "covered" the window is then taken out of sight, watched, and
# brought back, and a second line gives the same figures for the watch after its return.
rest() {
    local name=$1 dir pid sight=
    shift
    dir=$(mktemp -d "$work/runs/rest-$name.XXXXXX")
    case $name in
        full | auto | desktop | icons | hidden | minimised | covered) cp "$full_config" "$dir/" ;;
    esac
    case $name in hidden | minimised | covered) sight=$name ;; esac
    [[ $name != icons ]] || printf '[Preferences]\nLinkIcons=1\n' >"$dir/Kestrava.ini"
    if [[ $name == auto ]]; then
        # Auto Mode with all four switches, docked at the bottom right.
        local settings=2067044
        printf '\x08' | dd of="$dir/KVUI_Config.dat" bs=1 seek=$((settings + 16)) conv=notrunc status=none
        printf '\x01\x01\x01\x01\x01' |
            dd of="$dir/KVUI_Config.dat" bs=1 seek=$((settings + 24)) conv=notrunc status=none
    fi
    xdotool mousemove 1 1 2>/dev/null
    (cd "$dir" && exec "$@") >>"$work/logs/rest-$name.log" 2>&1 &
    pid=$!
    session_track "$pid"
    poll_until 20 xdotool search --all --pid "$pid" --onlyvisible --name . >/dev/null || die "$name: no window at rest"
    # Through the window and out of it again, as a user passes by, then away from both the
    # top-left corner and the bottom-right dock.
    xdotool mousemove 1100 900 mousemove 640 10 2>/dev/null
    sleep "$settle_s"
    if [[ -n "$SESSION_TRAY_PID" ]]; then
        check_desktop before "$pid"
    fi
    if [[ -n "$sight" ]]; then
        out_of_sight "$sight" "$pid"
        sleep "$settle_s"
    fi
    local figures
    figures=$(watch "$pid")
    if [[ -n "$sight" ]]; then
        back_in_sight "$sight" "$pid"
        sleep "$settle_s"
        figures+=$'\n'$(watch "$pid")
    fi
    if [[ -n "$SESSION_TRAY_PID" ]]; then
        check_desktop after "$pid"
    fi
    kill -TERM "$pid"
    # The figures only once the program has ended: the caller starts the next case on reading
    # them, and a second instance would only show the first one's window.
    wait_exit "$pid" 10 || die "$name did not end after the rest"
    echo "$figures"
}

echo "At rest: ${settle_s} s to settle, then ${rest_s} s watched per case..." >&2
read -r tick_cpu tick_wake < <(rest tick "$minimal" --tick)
read -r rest_cpu rest_wake < <(rest full "$kestrava")
read -r auto_cpu auto_wake < <(rest auto "$kestrava")
read -r icons_cpu icons_wake < <(rest icons "$kestrava")

# ---------------------------------------------------------------------------------------------
# The desktop as a user has it: a window manager, a panel whose tray holds the icon, a session
# bus.
session_stop
mkdir "$work/desktop-session"
session_start --tray ${KESTRAVA_BENCH_KEEP:+--keep} "$work/desktop-session" || die "$SESSION_ERROR"
startups desktop "${desktop_cases[@]}"
summarise desktop "${desktop_cases[@]}"
if [[ -n "$cold" ]]; then
    cold_startups cold "${cold_cases[@]}"
    summarise cold "${cold_cases[@]}"
fi

read -r desktop_cpu desktop_wake < <(rest desktop "$kestrava")
declare -A sight_cpu sight_wake back_cpu back_wake
for how in hidden minimised covered; do
    { read -r a b; read -r c d; } < <(rest "$how" "$kestrava")
    sight_cpu[$how]=$a sight_wake[$how]=$b back_cpu[$how]=$c back_wake[$how]=$d
done

# ---------------------------------------------------------------------------------------------
# Configuration file micro-benchmarks

mkdir -p "$work/io"
echo "Configuration file benchmarks in $work/io ($(stat -f -c %T "$work/io"))..." >&2
(cd "$work/io" && KESTRAVA_BENCH_DIR=$work/io "$bench_config" \
    --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_display_aggregates_only=true \
    --benchmark_out="$work/bench.json" --benchmark_out_format=json) >&2

# The median aggregate's real time (ms) of a benchmark, from the JSON report (one field a line).
bench_median_ms() {
    awk -v want="$1" '
        function value(line) { sub(/^[^:]*: *"?/, "", line); sub(/"?,?$/, "", line); return line }
        /"run_name":/ { run = value($0); agg = ""; t = "" }
        /"aggregate_name":/ { agg = value($0) }
        /"real_time":/ { t = value($0) }
        /"time_unit":/ && agg == "median" && (run == want || index(run, want "/") == 1) {
            u = value($0)
            f = u == "ns" ? 1e-6 : u == "us" ? 1e-3 : u == "s" ? 1e3 : 1
            printf "%.4g\n", t * f; exit }' "${2:-$work/bench.json}"
}
# micro NAME PROGRAM: five repetitions of a Google Benchmark program, reported to $work/NAME.json.
micro() {
    "$2" --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
        --benchmark_out="$work/$1.json" --benchmark_out_format=json >&2
}
echo "Settings form benchmarks (off screen)..." >&2
micro settings "$bench_settings"
open_ms=$(bench_median_ms BM_OpenSettingsFormOnFullCategory "$work/settings.json")
switch_ms=$(bench_median_ms BM_SwitchBetweenFullCategories "$work/settings.json")
[[ -n "$open_ms" && -n "$switch_ms" ]] || die "no medians in the settings form report"

echo "Game step benchmark..." >&2
micro game "$bench_game"
game_ms=$(bench_median_ms BM_GameStepEightBalls "$work/game.json")
[[ -n "$game_ms" ]] || die "no median in the game report"

echo "Click to exec (off screen, the real launcher)..." >&2
micro launch "$bench_launch"
click_ms=$(bench_median_ms BM_ClickToExec "$work/launch.json")
spawn_ms=$(bench_median_ms BM_SpawnDirect "$work/launch.json")
[[ -n "$click_ms" && -n "$spawn_ms" ]] || die "no medians in the launch report"

save_ms=$(bench_median_ms BM_SaveConfiguration)
raw_ms=$(bench_median_ms BM_RawWriteFsync)
atomic_ms=$(bench_median_ms BM_RawAtomicReplace)
load_ms=$(bench_median_ms BM_LoadConfiguration)
unchanged_ms=$(bench_median_ms BM_SaveConfigurationUnchanged)
[[ -n "$save_ms" && -n "$raw_ms" && -n "$atomic_ms" && -n "$load_ms" && -n "$unchanged_ms" ]] ||
    die "no medians in the benchmark report"
open_anchor_ms=$(bench_median_ms BM_OpenPlainDialog "$work/settings.json")
[[ -n "$open_anchor_ms" ]] || die "no median for the plain dialog in the settings form report"

# ---------------------------------------------------------------------------------------------
# Summary

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v v="$1" -v max="$2" 'BEGIN { print (v <= max ? "PASS" : "FAIL") }'; }

declare -A label=(
    [minimal]="minimal Qt window" [labels]="Qt window, 20 labels and a red one" [rofi]="rofi -show run"
    [first]="kestrava, first start" [default]="kestrava, default configuration"
    [full]="kestrava, 20 x 50 links" [icons]="kestrava, 20 x 50 links, icons")
declare -A session_title=(
    [bare]="Xvfb 1280x1024x24 and a session bus, no window manager"
    [desktop]="Xvfb 1280x1024x24, openbox, a tint2 panel with a tray, a session bus"
    [cold]="the desktop session, each start after the page cache was emptied")

# startup_table SESSION CASE...: the medians (minima) of one session's starts.
startup_table() {
    local session=$1 c n=$runs
    shift
    [[ $session != cold ]] || n=$cold_runs
    echo
    echo "Startup, ${session_title[$session]}: $n starts per case, median (min);"
    echo "memory ${idle_ms} ms after the window mapped; MiB = 1024 x 1024 bytes"
    echo
    printf '%-36s %16s %16s %16s %16s\n' "case" "mapped (ms)" "full frame (ms)" "VmRSS (MiB)" "Pss (MiB)"
    for c in "$@"; do
        local k=$session-$c
        printf '%-36s %16s %16s %16s %16s\n' "${label[$c]}" \
            "${med[$k,1]} (${mn[$k,1]})" "${med[$k,2]} (${mn[$k,2]})" \
            "$(mib "${med[$k,3]}") ($(mib "${mn[$k,3]}"))" "$(mib "${med[$k,4]}") ($(mib "${mn[$k,4]}"))"
    done
}
startup_table bare "${bare_cases[@]}"
startup_table desktop "${desktop_cases[@]}"
[[ -z "$cold" ]] || startup_table cold "${cold_cases[@]}"

# row FIGURE OURS ANCHOR_NAME ANCHOR MAX_RATIO|- [MAX_VALUE]: one line of the table. The verdict
# holds the ratio to MAX_RATIO, or our figure to MAX_VALUE when one is given.
all_verdicts=""
row() {
    local figure=$1 ours=$2 anchor_name=$3 anchor=$4 max_ratio=$5 max_value=${6:-} r v target
    r=$(ratio "$ours" "$anchor")
    if [[ -n "$max_value" ]]; then
        v=$(verdict "$ours" "$max_value") target="<= $max_value"
    elif [[ "$max_ratio" != - ]]; then
        v=$(verdict "$r" "$max_ratio") target="ratio <= $max_ratio"
    else
        v="" target=""
    fi
    all_verdicts+=" $v"
    printf '%-44s %10s  %-42s %10s %8s  %-14s %s\n' "$figure" "$ours" "$anchor_name" "$anchor" "$r" "$target" "$v"
}

echo
printf '%-44s %10s  %-42s %10s %8s  %-14s %s\n' "figure" "ours" "anchor" "anchor's" "ratio" "target" ""
# Warm starts on a desktop: what a user feels every time after the first start of the day.
for c in default full; do
    row "desktop: first full frame, ${c/full/20 x 50 links} (ms)" "${med[desktop-$c,2]}" \
        "rofi -show run" "${med[desktop-rofi,2]}" "$max_frame_ratio"
    row "desktop: first full frame, ${c/full/20 x 50 links} (ms)" "${med[desktop-$c,2]}" \
        "Qt window, 20 labels and a red one" "${med[desktop-labels,2]}" "$max_labels_frame_ratio"
    row "desktop: first mapped window, ${c/full/20 x 50 links} (ms)" "${med[desktop-$c,1]}" \
        "minimal Qt window" "${med[desktop-minimal,1]}" "$max_desktop_window_ratio"
done
# Cold starts: what a user feels at login.
if [[ -n "$cold" ]]; then
    for c in default full; do
        row "cold: first full frame, ${c/full/20 x 50 links} (ms)" "${med[cold-$c,2]}" \
            "rofi -show run, cold" "${med[cold-rofi,2]}" "$max_frame_ratio"
        row "cold: first full frame, ${c/full/20 x 50 links} (ms)" "${med[cold-$c,2]}" \
            "Qt window of labels, cold" "${med[cold-labels,2]}" -
        row "cold: first mapped window, ${c/full/20 x 50 links} (ms)" "${med[cold-$c,1]}" \
            "minimal Qt window, cold" "${med[cold-minimal,1]}" -
    done
fi
# Without a window manager.
row "bare: first full frame, default config (ms)" "${med[bare-default,2]}" "rofi -show run" "${med[bare-rofi,2]}" "$max_frame_ratio"
row "bare: first full frame, 20 x 50 links (ms)" "${med[bare-full,2]}" "rofi -show run" "${med[bare-rofi,2]}" "$max_frame_ratio"
row "bare: first full frame, default config (ms)" "${med[bare-default,2]}" "Qt window, 20 labels and a red one" "${med[bare-labels,2]}" -
# With icons the text frame is the one above; the icons are drawn after it, by design, so the
# frame that holds them is measured against the same window without them.
row "bare: first full frame, 20 x 50 links, icons (ms)" "${med[bare-icons,2]}" "the same, icons off" "${med[bare-full,2]}" -
row "bare: first full frame, first start (ms)" "${med[bare-first,2]}" "rofi -show run" "${med[bare-rofi,2]}" -
row "bare: first mapped window, default config (ms)" "${med[bare-default,1]}" "minimal Qt window" "${med[bare-minimal,1]}" "$max_window_ratio"
row "bare: first mapped window, 20 x 50 links (ms)" "${med[bare-full,1]}" "minimal Qt window" "${med[bare-minimal,1]}" "$max_window_ratio"
row "bare: first mapped window, first start (ms)" "${med[bare-first,1]}" "minimal Qt window" "${med[bare-minimal,1]}" -
row "VmRSS, default config (MiB)" "$(mib "${med[bare-default,3]}")" "minimal Qt window" "$(mib "${med[bare-minimal,3]}")" -
row "VmRSS, 20 x 50 links (MiB)" "$(mib "${med[bare-full,3]}")" "minimal Qt window" "$(mib "${med[bare-minimal,3]}")" - "$max_rss_mib"
row "VmRSS, 20 x 50 links, icons (MiB)" "$(mib "${med[bare-icons,3]}")" "the same, icons off" "$(mib "${med[bare-full,3]}")" - "$max_rss_mib"
row "desktop: VmRSS, 20 x 50 links (MiB)" "$(mib "${med[desktop-full,3]}")" "minimal Qt window" "$(mib "${med[desktop-minimal,3]}")" - "$max_rss_mib"
row "at rest, 20 x 50 links (% of a core)" "$rest_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, 20 x 50 links (wake-ups/s)" "$rest_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
row "at rest, 20 x 50 links, icons (% of a core)" "$icons_cpu" "the same, icons off" "$rest_cpu" - "$max_rest_cpu_percent"
row "at rest, 20 x 50 links, icons (wake-ups/s)" "$icons_wake" "the same, icons off" "$rest_wake" - "$max_rest_wakeups"
row "at rest, Auto Mode, docked (% of a core)" "$auto_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, Auto Mode, docked (wake-ups/s)" "$auto_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
row "at rest, tray and hot keys (% of a core)" "$desktop_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, tray and hot keys (wake-ups/s)" "$desktop_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
# Out of sight nothing the program draws can be seen: it must not wake at all. Back in sight, the
# clock's second is the floor again.
for how in hidden minimised covered; do
    row "at rest, $how (wake-ups/s)" "${sight_wake[$how]}" "the same, in sight" "$desktop_wake" - "$max_hidden_wakeups"
    row "at rest, $how (% of a core)" "${sight_cpu[$how]}" "the same, in sight" "$desktop_cpu" - "$max_rest_cpu_percent"
    row "at rest, back from $how (wake-ups/s)" "${back_wake[$how]}" "the same, never away" "$desktop_wake" - "$max_rest_wakeups"
done
row "save, window moved (ms)" "$save_ms" "raw 2 MB write + fsync" "$raw_ms" "$max_save_ratio"
row "save, nothing changed (ms)" "$unchanged_ms" "raw 2 MB write + fsync" "$raw_ms" -
row "load (ms)" "$load_ms" "raw 2 MB write + fsync" "$raw_ms" -
row "save, window moved (ms)" "$save_ms" "raw atomic replace (write, fsync, rename)" "$atomic_ms" -
row "click to exec, application link (ms)" "$click_ms" "posix_spawn of the same program" "$spawn_ms" -
row "settings form, open on 50 links (ms)" "$open_ms" "the 50 rows as a plain Qt dialog" "$open_anchor_ms" - "$max_settings_ms"
row "settings form, switch full categories (ms)" "$switch_ms" "the 50 rows as a plain Qt dialog" "$open_anchor_ms" - "$max_settings_ms"
row "game step, eight balls (ms)" "$game_ms" "the 10 ms animation tick" 10 - "$max_game_step_ms"
echo
echo "At rest: ${settle_s} s to settle with the pointer away, then ${rest_s} s watched; the tray, hidden,"
echo "minimised and covered cases run with openbox and a tint2 panel whose tray holds the icon."

[[ "$all_verdicts" != *FAIL* ]] || exit 1
