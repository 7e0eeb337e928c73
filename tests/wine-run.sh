#!/bin/bash
# Runs one Windows program under 64-bit Wine in a throw-away prefix and
# passes its exit code through.
#
#   tests/wine-run.sh [--seed FILE.reg]... [--keep-prefix DIR] PROGRAM.exe [ARGS...]
#
# --seed imports a .reg file into the fresh prefix before the program runs.
# --keep-prefix uses DIR as the prefix and leaves it in place (for the
# run command); without it a temporary prefix is made and removed.
# An own Xvfb display is started when DISPLAY is not set. Only the
# wineserver of our own prefix and the Xvfb we started are stopped.
set -u

seeds=()
keep_prefix=""
while [ $# -gt 0 ]; do
    case "$1" in
        --seed) seeds+=("$2"); shift 2 ;;
        --keep-prefix) keep_prefix="$2"; shift 2 ;;
        *) break ;;
    esac
done
if [ $# -lt 1 ]; then
    echo "usage: $0 [--seed FILE.reg]... [--keep-prefix DIR] PROGRAM.exe [ARGS...]" >&2
    exit 2
fi

wine_loader=/usr/lib/wine/wine64
[ -x "$wine_loader" ] || wine_loader=$(command -v wine64 || command -v wine)
wineserver_bin=/usr/lib/wine/wineserver64
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver)

if [ -n "$keep_prefix" ]; then
    prefix="$keep_prefix"
    mkdir -p "$prefix"
else
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/mp-wine.XXXXXX")
fi
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER="$wine_loader"
# A Western locale, whatever the caller's: Wine takes its ANSI code page
# (1252) from it, and the tests expect that code page. UTF-8 keeps host file
# names working; C.UTF-8 (always there) also gives Wine en-US.
if locale -a 2>/dev/null | grep -qix 'en_US\.utf-\?8'; then
    export LC_ALL=en_US.UTF-8
else
    export LC_ALL=C.UTF-8
fi
unset LANGUAGE

xvfb_pid=""
cleanup() {
    "$wineserver_bin" -k >/dev/null 2>&1
    "$wineserver_bin" -w >/dev/null 2>&1
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if [ -z "$keep_prefix" ]; then
        rm -rf "$prefix"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    # Pick a free display number; Xvfb tells us when it is ready through -displayfd.
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/mp-xvfb.XXXXXX")
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -t 20 display_number <"$fifo"
    rm -f "$fifo"
    if [ -z "${display_number:-}" ]; then
        echo "wine-run: Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=":$display_number"
fi

# Make the prefix first, so its start-up chatter stays out of the output.
"$wine_loader" wineboot -i >/dev/null 2>&1

for seed in "${seeds[@]}"; do
    # Z: is the Unix root in every prefix.
    seed_abs=$(readlink -f "$seed")
    "$wine_loader" regedit /S "Z:${seed_abs//\//\\}" >/dev/null 2>&1
done

"$wine_loader" "$@"
rc=$?
exit $rc
