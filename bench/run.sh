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
#
# Exit status: 0 when every figure meets its target, 1 when one misses it, 2 when a figure
# could not be measured.

set -Eeuo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(realpath "${KESTRAVA_BUILD_DIR:-$repo/build}")
runs=${KESTRAVA_BENCH_RUNS:-15}
idle_ms=2000
# How long a window's pixels are read back after it mapped, to find its first full frame.
frame_settle_ms=1500

# Targets.
max_window_ratio=1.2
max_frame_ratio=1.2
max_save_ratio=1.5
max_rss_mib=40
max_settings_ms=50
max_game_step_ms=0.005
max_rest_cpu_percent=0.2
max_rest_wakeups=2
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

# measure CASE RUN: one start of CASE in a fresh folder; appends "map_ms frame_ms rss_kb pss_kb"
# to $work/CASE.txt unless RUN is "warmup".
measure() {
    local name=$1 run=$2 dir out log=$work/logs/$1.log
    dir=$(mktemp -d "$work/runs/$name.XXXXXX")
    local program=("$kestrava")
    case $name in
        minimal) program=("$minimal") ;;
        label) program=("$minimal" --label) ;;
        rofi) program=("$rofi" -show run) ;;
        first) ;;
        default) cp "$default_config" "$dir/" ;;
        full) cp "$full_config" "$dir/" ;;
        icons) cp "$full_config" "$dir/" && printf '[Preferences]\nLinkIcons=1\n' >"$dir/Kestrava.ini" ;;
    esac
    echo "== $name run $run" >>"$log"
    if ! out=$(cd "$dir" && "$mapwait" -t 30000 -f "$frame_settle_ms" -m "$idle_ms" "${program[@]}" 2>>"$log"); then
        tail -n 20 "$log" >&2
        die "$name: no window (run $run); log above"
    fi
    if [[ $name == first && ! -s "$dir/KVUI_Config.dat" ]]; then
        die "first start wrote no configuration"
    fi
    # The default configuration, as a first start writes it, for the case that starts with it.
    [[ $name != first || -e "$default_config" ]] || cp "$dir/KVUI_Config.dat" "$default_config"
    [[ $run == warmup ]] || echo "$out" >>"$work/$name.txt"
    rm -rf "$dir"
}

default_config=$work/default-KVUI_Config.dat
cases=(minimal label rofi first default full icons)
echo "Startup: ${#cases[@]} cases x $runs runs, each idling ${idle_ms} ms after its window mapped..." >&2
# One start each to bring the libraries into the page cache, then the runs round-robin, so
# that drift on the machine spreads over every case alike.
for c in "${cases[@]}"; do measure "$c" warmup; done
for (( r = 1; r <= runs; r++ )); do
    for c in "${cases[@]}"; do measure "$c" "$r"; done
done

# stat FILE COLUMN: "median min" of a column.
stat_of() {
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1] }'
}

declare -A med mn
for c in "${cases[@]}"; do
    for col in 1 2 3 4; do
        read -r a b < <(stat_of "$work/$c.txt" "$col")
        med[$c,$col]=$a
        mn[$c,$col]=$b
    done
done

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

# True when a window of process PID sits, mapped, inside the windows of the session's panel: the
# XEmbed tray reparents an icon into windows of its own.
icon_docked() {
    local w up line
    for w in $(xdotool search --pid "$1" 2>/dev/null || true); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
        up=$w
        while line=$(xwininfo -children -id "$up" 2>/dev/null | grep 'Parent window id:'); do
            [[ "$line" != *"(the root window)"* ]] || break
            line=${line#*: } up=${line%% *}
            [[ "$(xprop -id "$up" -notype _NET_WM_PID 2>/dev/null)" != "_NET_WM_PID = $SESSION_TRAY_PID" ]] ||
                return 0
        done
    done
    return 1
}

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

# rest CASE PROGRAM...: starts PROGRAM in a fresh folder (with CASE's configuration), moves the
# pointer away, lets it settle and prints "cpu_percent wakeups_per_second" over rest_s.
rest() {
    local name=$1 dir pid c0 w0 c1 w1
    shift
    dir=$(mktemp -d "$work/runs/rest-$name.XXXXXX")
    case $name in
        full | auto | desktop | icons) cp "$full_config" "$dir/" ;;
    esac
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
    [[ $name != desktop ]] || check_desktop before "$pid"
    read -r c0 w0 < <(task_counters "$pid")
    sleep "$rest_s"
    read -r c1 w1 < <(task_counters "$pid")
    [[ $name != desktop ]] || check_desktop after "$pid"
    kill -TERM "$pid"
    wait_exit "$pid" 10 || die "$name did not end after the rest"
    awk -v c=$((c1 - c0)) -v w=$((w1 - w0)) -v s="$rest_s" \
        'BEGIN { printf "%.3f %.1f\n", c / (s * 1e9) * 100, w / s }'
}

echo "At rest: ${settle_s} s to settle, then ${rest_s} s watched per case..." >&2
read -r tick_cpu tick_wake < <(rest tick "$minimal" --tick)
read -r rest_cpu rest_wake < <(rest full "$kestrava")
read -r auto_cpu auto_wake < <(rest auto "$kestrava")
read -r icons_cpu icons_wake < <(rest icons "$kestrava")
# The whole desktop as a user has it: a window manager, and a panel whose tray holds the icon.
session_stop
mkdir "$work/desktop-session"
session_start --tray ${KESTRAVA_BENCH_KEEP:+--keep} "$work/desktop-session" || die "$SESSION_ERROR"
read -r desktop_cpu desktop_wake < <(rest desktop "$kestrava")

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
    [minimal]="minimal Qt window" [label]="minimal Qt window, one label" [rofi]="rofi -show run"
    [first]="kestrava, first start" [default]="kestrava, default configuration"
    [full]="kestrava, 20 x 50 links" [icons]="kestrava, 20 x 50 links, icons")

echo
echo "Kestrava: $runs starts per case, round-robin, median (min); Xvfb 1280x1024x24, no window manager;"
echo "memory ${idle_ms} ms after the window mapped; MiB = 1024 x 1024 bytes"
echo
printf '%-34s %16s %16s %16s %16s\n' "case" "mapped (ms)" "full frame (ms)" "VmRSS (MiB)" "Pss (MiB)"
for c in "${cases[@]}"; do
    printf '%-34s %16s %16s %16s %16s\n' "${label[$c]}" \
        "${med[$c,1]} (${mn[$c,1]})" "${med[$c,2]} (${mn[$c,2]})" \
        "$(mib "${med[$c,3]}") ($(mib "${mn[$c,3]}"))" "$(mib "${med[$c,4]}") ($(mib "${mn[$c,4]}"))"
done

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
row "first full frame, default config (ms)" "${med[default,2]}" "rofi -show run, first row drawn" "${med[rofi,2]}" "$max_frame_ratio"
row "first full frame, 20 x 50 links (ms)" "${med[full,2]}" "rofi -show run, first row drawn" "${med[rofi,2]}" "$max_frame_ratio"
# With icons the text frame is the one above; the icons are drawn after it, by design, so the
# frame that holds them is measured against the same window without them.
row "first full frame, 20 x 50 links, icons (ms)" "${med[icons,2]}" "rofi -show run, first row drawn" "${med[rofi,2]}" -
row "first full frame, 20 x 50 links, icons (ms)" "${med[icons,2]}" "the same, icons off" "${med[full,2]}" -
row "first full frame, first start (ms)" "${med[first,2]}" "rofi -show run, first row drawn" "${med[rofi,2]}" -
row "first full frame, default config (ms)" "${med[default,2]}" "minimal Qt window, one label" "${med[label,2]}" -
row "first full frame, 20 x 50 links (ms)" "${med[full,2]}" "minimal Qt window, one label" "${med[label,2]}" -
row "first mapped window, default config (ms)" "${med[default,1]}" "minimal Qt window" "${med[minimal,1]}" "$max_window_ratio"
row "first mapped window, 20 x 50 links (ms)" "${med[full,1]}" "minimal Qt window" "${med[minimal,1]}" "$max_window_ratio"
row "first mapped window, 20 x 50 links, icons (ms)" "${med[icons,1]}" "minimal Qt window" "${med[minimal,1]}" "$max_window_ratio"
row "first mapped window, first start (ms)" "${med[first,1]}" "minimal Qt window" "${med[minimal,1]}" -
row "VmRSS, default config (MiB)" "$(mib "${med[default,3]}")" "minimal Qt window" "$(mib "${med[minimal,3]}")" -
row "VmRSS, 20 x 50 links (MiB)" "$(mib "${med[full,3]}")" "minimal Qt window" "$(mib "${med[minimal,3]}")" - "$max_rss_mib"
row "VmRSS, 20 x 50 links, icons (MiB)" "$(mib "${med[icons,3]}")" "the same, icons off" "$(mib "${med[full,3]}")" - "$max_rss_mib"
row "at rest, 20 x 50 links (% of a core)" "$rest_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, 20 x 50 links (wake-ups/s)" "$rest_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
row "at rest, 20 x 50 links, icons (% of a core)" "$icons_cpu" "the same, icons off" "$rest_cpu" - "$max_rest_cpu_percent"
row "at rest, 20 x 50 links, icons (wake-ups/s)" "$icons_wake" "the same, icons off" "$rest_wake" - "$max_rest_wakeups"
row "at rest, Auto Mode, docked (% of a core)" "$auto_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, Auto Mode, docked (wake-ups/s)" "$auto_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
row "at rest, tray and hot keys (% of a core)" "$desktop_cpu" "a plain 10 ms tick" "$tick_cpu" - "$max_rest_cpu_percent"
row "at rest, tray and hot keys (wake-ups/s)" "$desktop_wake" "a plain 10 ms tick" "$tick_wake" - "$max_rest_wakeups"
row "save, window moved (ms)" "$save_ms" "raw 2 MB write + fsync" "$raw_ms" "$max_save_ratio"
row "save, nothing changed (ms)" "$unchanged_ms" "raw 2 MB write + fsync" "$raw_ms" -
row "load (ms)" "$load_ms" "raw 2 MB write + fsync" "$raw_ms" -
row "save, window moved (ms)" "$save_ms" "raw atomic replace (write, fsync, rename)" "$atomic_ms" -
row "click to exec, application link (ms)" "$click_ms" "posix_spawn of the same program" "$spawn_ms" -
row "settings form, open on 50 links (ms)" "$open_ms" "the 50 rows as a plain Qt dialog" "$open_anchor_ms" - "$max_settings_ms"
row "settings form, switch full categories (ms)" "$switch_ms" "the 50 rows as a plain Qt dialog" "$open_anchor_ms" - "$max_settings_ms"
row "game step, eight balls (ms)" "$game_ms" "the 10 ms animation tick" 10 - "$max_game_step_ms"
echo
echo "At rest: ${settle_s} s to settle with the pointer away, then ${rest_s} s watched; the tray case runs"
echo "with openbox and a tint2 panel whose tray holds the icon."

[[ "$all_verdicts" != *FAIL* ]] || exit 1
