#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing, in one apt-get
# call.
#
#   install-deps.sh               every missing package
#   install-deps.sh --build       only those of the list's "build" section: enough to compile
#   install-deps.sh --start-rest  the others, in the background, while the build runs
#   install-deps.sh --wait-rest   waits for the background install to end
#
# `make test` on a fresh machine compiles while the test tools download and unpack; the plain
# call after --wait-rest installs whatever that left missing, and fails as usual if it cannot.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$here/../build-deps
mode=${1:-all}

# The list's packages, one a line; with "build", only its first section's.
listed() {
    if [ "$1" = build ]; then
        sed -n '/^# build/,/^#/{/^#/d;/^[[:space:]]*$/d;p}' "$here/packages.txt"
    else
        sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$here/packages.txt"
    fi
}

missing_of() {
    local p
    for p in $(listed "$1"); do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

install() {
    local missing
    mapfile -t missing < <(missing_of "$1")
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # One update a run: the background half uses the list the build half fetched.
    mkdir -p "$state"
    if [ ! -e "$state/updated" ] || [ -n "$(find "$state/updated" -mmin +30)" ]; then
        $sudo apt-get update -qq
        touch "$state/updated"
    fi
    $sudo apt-get install -y -qq "${missing[@]}" </dev/null
}

case $mode in
    all) install all ;;
    --build) install build ;;
    --start-rest)
        [ -z "$(missing_of all)" ] && exit 0
        mkdir -p "$state"
        # Its own session, so that an interrupted make leaves apt to finish its work.
        setsid "$0" all </dev/null >"$state/rest.log" 2>&1 &
        echo $! >"$state/rest.pid"
        ;;
    --wait-rest)
        [ -f "$state/rest.pid" ] || exit 0
        pid=$(cat "$state/rest.pid")
        while kill -0 "$pid" 2>/dev/null; do sleep 1; done
        rm -f "$state/rest.pid"
        cat "$state/rest.log"
        ;;
    *)
        echo "usage: install-deps.sh [--build | --start-rest | --wait-rest]" >&2
        exit 2
        ;;
esac
