#!/usr/bin/env bash
# Faults around the configuration files: a file size limit below the file's size (what a full
# disk looks like to a program), read-only folders and files, a folder where the file should be,
# an unreadable file, and garbage in both files. Each run ends the same way: the window shows,
# the program keeps running and exits with status 0 on SIGTERM, what it could not do is said in a
# line on stderr, no sanitizer speaks, no temporary file is left, and neither file loses what it
# held: a file the program may not or could not replace keeps its bytes exactly.
#
# Run as root, the program runs without the capabilities that let root write anything, so that
# permissions mean to it what they mean to a user.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

command -v prlimit >/dev/null || skip "'prlimit' is not installed"
BASE_PREFIX=()
if [[ $(id -u) == 0 ]]; then
    command -v setpriv >/dev/null || skip "'setpriv' is not installed"
    BASE_PREFIX=(setpriv --bounding-set "-dac_override,-dac_read_search" --)
fi
LIMIT=1048576 # bytes: half the configuration file

# ---------------------------------------------------------------------------------------------
# The contents the cases start from

# A configuration and a backup that differ, both written by the program: the backup is the file
# the first start wrote, the configuration the one a second run saved after a move.
create_default_config
start_app_and_wait
move_window "$APP_WIN" 150 160
stop_app TERM
GOOD="$KV_TMP/contents.good"
OLD="$KV_TMP/contents.old"
cp "$KV_APPDIR/$KV_CONFIG" "$GOOD"
cp "$KV_APPDIR/$KV_CONFIG_OLD" "$OLD"
# They differ near the start of the file too, not only in the window's place near its end: a
# save cut short by the limit must not pass for one that kept the old bytes.
set_link "$GOOD" 0 1 "$KV_LINK_TYPE_FOLDER" "Second folder" /tmp

# Garbage, the same on every run: random bytes with a version no program wrote, random bytes
# with this program's own version (read as a whole file, every field as it lies), a short file,
# every bit set, and nothing at all.
/usr/bin/python3 - "$KV_TMP" "$KV_CONFIG_SIZE" <<'EOF'
import random, struct, sys
folder, size = sys.argv[1], int(sys.argv[2])
rng = random.Random(20240611)
full = bytearray(rng.randbytes(size))
full[400:404] = struct.pack("<f", -3.5e7)
open(f"{folder}/contents.garbage", "wb").write(full)
full[400:404] = struct.pack("<f", 118.0)
open(f"{folder}/contents.garbage118", "wb").write(full)
open(f"{folder}/contents.short", "wb").write(rng.randbytes(1000))
open(f"{folder}/contents.ff", "wb").write(b"\xff" * size)
open(f"{folder}/contents.empty", "wb").write(b"")
EOF

# The main window is named after the title the file holds, garbage included: it is found as the
# program's one window instead.
KV_MAIN_TITLE='^'

# ---------------------------------------------------------------------------------------------
# One case

# place SHAPE PATH: makes PATH what SHAPE says: "none", "folder", or CONTENTS[:MODE], CONTENTS
# naming one of the $KV_TMP/contents.* files.
place() {
    local shape=$1 path=$2
    case $shape in
        none) ;;
        folder)
            mkdir "$path"
            echo "not the program's" >"$path/inside"
            ;;
        *)
            cp "$KV_TMP/contents.${shape%%:*}" "$path"
            [[ $shape != *:* ]] || chmod "${shape#*:}" "$path"
            ;;
    esac
}

# check_file WHAT PATH BEFORE EXPECT: the file after the run, against its copy BEFORE the start.
# EXPECT: kept (the same bytes), copy (the bytes the configuration had before the start), moved
# (a whole file holding the window where the test moved it), whole (a whole file of this
# version), none (still nothing there), folder (still the folder, as it was).
check_file() {
    local what=$1 path=$2 before=$3 expect=$4
    case $expect in
        kept)
            [[ -f "$path" ]] || fail "$name: $what is gone"
            cmp -s "$path" "$before" || fail "$name: $what changed"
            ;;
        copy)
            cmp -s "$path" "$dir.before/$KV_CONFIG" ||
                fail "$name: $what is not a copy of the configuration as it was before the start"
            ;;
        moved | whole)
            [[ -f "$path" && $(file_size "$path") == "$KV_CONFIG_SIZE" ]] ||
                fail "$name: $what is not a whole file ($(stat -c '%F, %s bytes' "$path" 2>&1))"
            /usr/bin/python3 -c 'import struct, sys; f = open(sys.argv[1], "rb"); f.seek(400)
sys.exit(struct.unpack("<f", f.read(4))[0] != 118.0)' "$path" || fail "$name: $what does not hold version 118"
            if [[ $expect == moved ]]; then
                local at
                at="$(read_i32 "$path" "$KV_OFF_LEFT") $(read_i32 "$path" "$KV_OFF_TOP")"
                [[ $at == "$moved_to" ]] || fail "$name: $what holds the window at $at, expected $moved_to"
            fi
            ;;
        none) [[ ! -e "$path" ]] || fail "$name: $what was created" ;;
        folder)
            [[ -d "$path" && $(ls -A "$path") == inside && $(cat "$path/inside") == "not the program's" ]] ||
                fail "$name: the folder at $what was changed"
            ;;
        *) fail "check_file: no expectation '$expect'" ;;
    esac
}

said() { grep -Eq -- "$1" "$APP_LOG"; }

# run_case NAME CONFIG BACKUP HOW MOVE CONFIG_AFTER BACKUP_AFTER SAID
run_case() {
    name=$1
    local cfg_shape=$2 old_shape=$3 how=$4 move=$5 cfg_after=$6 old_after=$7 expected=$8
    dir="$KV_TMP/case.$((++case_number))"
    mkdir -p "$dir" "$dir.before"
    place "$cfg_shape" "$dir/$KV_CONFIG"
    place "$old_shape" "$dir/$KV_CONFIG_OLD"
    local f
    for f in "$KV_CONFIG" "$KV_CONFIG_OLD"; do
        [[ ! -f "$dir/$f" ]] || cp "$dir/$f" "$dir.before/$f"
    done

    KV_APP_PREFIX=("${BASE_PREFIX[@]}")
    local way
    IFS='+' read -r -a ways <<<"$how"
    for way in "${ways[@]}"; do
        case $way in
            plain | limit-later) ;;
            limit) KV_APP_PREFIX+=(prlimit "--fsize=$LIMIT" --) ;;
            read-only-folder) chmod a-w "$dir" ;;
            *) fail "run_case: no way '$way'" ;;
        esac
    done
    start_app_and_wait "$dir"

    if [[ "+$how+" == *+limit-later+* ]]; then
        # After the backup, which the start takes whatever the limit.
        poll_until 10 cmp -s "$dir/$KV_CONFIG_OLD" "$dir.before/$KV_CONFIG" ||
            fail "$name: the start made no backup"
        prlimit --pid "$APP_PID" "--fsize=$LIMIT"
    fi
    # A move is saved while the program runs, and again as it exits.
    moved_to=
    if [[ $move == move ]]; then
        move_window "$APP_WIN" $((300 + case_number * 7)) $((200 + case_number * 5))
        read -r cx cy _ _ < <(client_rect "$APP_WIN")
        moved_to="$cx $cy"
        _saved_or_said() {
            if [[ $cfg_after == moved ]]; then
                [[ "$(read_i32 "$dir/$KV_CONFIG" "$KV_OFF_LEFT") $(read_i32 "$dir/$KV_CONFIG" "$KV_OFF_TOP")" == "$moved_to" ]]
            else
                said 'not saved'
            fi
        }
        poll_until 10 _saved_or_said || fail "$name: the move was neither saved nor said to be unsaved within 10 s"
    fi
    sleep 0.5 # time for anything else the run would do
    pid_alive "$APP_PID" || { wait_exit "$APP_PID" 1; fail "$name: the program ended by itself (status $EXIT_STATUS)"; }
    stop_app TERM
    chmod -R u+rwX "$dir"

    check_file "$KV_CONFIG" "$dir/$KV_CONFIG" "$dir.before/$KV_CONFIG" "$cfg_after"
    check_file "$KV_CONFIG_OLD" "$dir/$KV_CONFIG_OLD" "$dir.before/$KV_CONFIG_OLD" "$old_after"
    local left
    left=$(cd "$dir" && { compgen -G '*.tmp*' || true; })
    [[ -z "$left" ]] || fail "$name: temporary files were left: $left"
    ! said 'Sanitizer|runtime error' || fail "$name: a sanitizer reported: $(grep -E -m1 'Sanitizer|runtime error' "$APP_LOG")"
    if [[ $expected == - ]]; then
        ! said '^Kestrava:' || fail "$name: the program reported: $(grep -m1 '^Kestrava:' "$APP_LOG")"
    else
        local line
        IFS=';' read -r -a lines <<<"$expected"
        for line in "${lines[@]}"; do
            said "^Kestrava: .*$line" ||
                fail "$name: stderr has no line saying '$line'; it has:"$'\n'"$(cat "$APP_LOG")"
        done
    fi
}

# name|configuration|backup|how the program runs ("+" between ways)|move the window?|configuration
# after|backup after|lines on stderr (regular expressions, ";" between them; "-": none at all).
# Where a move is not saved, the save at exit fails as well: the model then differs from the file.
cases=(
    "size limit set while running|good|old|limit-later|move|kept|copy|not saved: .*File too large"
    "size limit from the start|good|old|limit|move|kept|kept|no backup was made: .*File too large;not saved: .*File too large"
    "size limit in a read-only folder|good|old|limit+read-only-folder|move|kept|kept|not saved: .*File too large"
    "read-only folder, writable files|good|old|read-only-folder|move|moved|copy|-"
    "read-only folder and files|good:444|old:444|read-only-folder|move|kept|kept|no backup was made: .*read-only;not saved: .*read-only"
    "read-only files, writable folder|good:444|old:444|plain|move|kept|copy|not saved: .*read-only"
    "read-only empty folder|none|none|read-only-folder|move|none|none|not saved: .*Permission denied"
    "configuration path a folder|folder|old|plain|move|folder|kept|no backup was made: .*not whole;not saved: .*not a regular file"
    "configuration path a folder, no backup|folder|none|plain|move|folder|none|not saved: .*not a regular file"
    "unreadable configuration|good:000|old|plain|move|kept|kept|not saved: .*could not be read"
    "garbage in both|garbage|garbage|plain|still|whole|kept|no backup was made: .*not whole"
    "garbage in both, version 118|garbage118|garbage|plain|still|whole|copy|-"
    "short garbage in both|short|short|plain|still|whole|kept|no backup was made: .*not whole"
    "every bit set in both|ff|ff|plain|still|whole|kept|no backup was made: .*not whole"
    "both empty|empty|empty|plain|still|whole|kept|no backup was made: .*not whole"
    "garbage, whole backup|garbage|old|plain|move|moved|kept|no backup was made: .*not whole"
    "garbage, no backup|garbage|none|plain|still|whole|none|no backup was made: .*not whole"
)
case_number=0
for c in "${cases[@]}"; do
    IFS='|' read -r -a fields <<<"$c"
    run_case "${fields[@]}"
done

pass
