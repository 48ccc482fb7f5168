# Sourced by the integration checks under Wine: a private Wine session on a
# virtual X display, ended again on exit (failure included).
#
#   wine_session WORK   WINEPREFIX, HOME below WORK, a UTF-8 locale; Xvfb on
#                       a free display (DISPLAY exported); the prefix copied on first use
#                       from one template prefix (wine_template); Wine's
#                       audio through ALSA into WORK/cap/cap.raw.NNNN
#   wine_cleanup        kills what wine_session started and the player whose
#                       pid the check keeps in $player_pid (the EXIT trap)
#
# Also defines pass/fail/skip/expect counting into $passed and $failed,
# step, which names the part of a check that runs now (a check that runs out
# of time is reported in its last step), wait_for, which retries a condition
# until it holds or its time bound ends, and finish, which prints the last
# line "N passed, N failed" and exits.

passed=0
failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
skip() { echo "SKIP: $*"; }
expect() {  # expect LABEL COND...
    local label=$1; shift
    if "$@"; then pass "$label"; else fail "$label"; fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
step() { echo "step: $*"; }
# wait_for SECONDS COND... : retries COND until it holds (status 0) or the
# seconds are over (status 1). The bound is generous: a slow machine only
# makes the wait longer, a fast one does not wait at all.
wait_for() {
    local bound=$1 end; shift
    end=$(($(date +%s) + bound))
    while :; do
        "$@" && return 0
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}
# need FILE|COMMAND... : ends the check with one failure when one is missing.
need() {
    local t
    for t in "$@"; do
        if [ -e "$t" ] || { [[ $t != */* ]] && command -v "$t" >/dev/null; }; then continue; fi
        echo "$(basename "$0"): $t missing (scripts/setup, scripts/build native win32)"
        echo "0 passed, 1 failed"
        exit 1
    done
}

xvfb_pid=
player_pid=
wine_cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null
    timeout 20 wineserver -k 2>/dev/null
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    xvfb_pid=
}

wine_session() {
    local work=$1 n
    export WINEPREFIX=$work/prefix HOME=$work/home WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine turns file names and arguments into Unix bytes by the locale's
    # character set: UTF-8, so that names in any script reach the files.
    export LC_ALL=C.UTF-8
    trap wine_cleanup EXIT
    trap 'exit 1' INT TERM
    # A free display: the first number whose server starts and stays up (two
    # scripts may race for the same number; the loser moves on).
    local display=
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        sleep 0.2
        if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=
    done
    if [ -z "$display" ]; then
        echo "$(basename "$0"): no free X display"; echo "0 passed, 1 failed"; exit 1
    fi
    export DISPLAY=":$display"
    mkdir -p "$HOME" "$work/cap"
    cat >"$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" file "$work/cap/cap.raw" format "raw" truncate 0 }
ASOUND
    # Every Wine process, set-up included, runs on the virtual display: the
    # desktop process that a wineserver session starts keeps the display it
    # was started with, and a session outlives its last process by seconds.
    timeout 20 wineserver -k 2>/dev/null
    wine_prefix_from_template || { echo "$(basename "$0"): no Wine prefix"; echo "0 passed, 1 failed"; exit 1; }
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1
}

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine_prefix.sh"
