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
# Sets $root (the source tree) and $win (the Windows build's bin/,
# VORLO_WIN32_BIN overrides) unless the check has set them.
#
#   wine_check WORK EXE... [-- NEED...]
#                       the start of a check: $work, $app, $data, $shots
#                       and $cap (the capture) below WORK; ends the check
#                       when an EXE of $win or a NEED is missing; then
#                       wine_session WORK and the EXEs copied into $app
#
# The player of a check runs from $app with its vor.ini beside it:
#   ini KEY=VALUE...    a fresh vor.ini with these keys; ini_get KEY reads one
#   drv STEP...         vorlo-testdriver (tests/wine/driver.cpp) from $app;
#                       ed STEP... vorlo-tool-editor; app_tool NAME STEP...
#                       any other of $app
#   start_player ARG... vorlo.exe with these arguments, its pid in
#                       $player_pid; waits for its window (the driver's
#                       "window ..." line in $found, printed; a window
#                       that does not show is said)
#   close_player        closes it and waits for its process (the driver's
#                       line in $closed); $player_tool drives both
#                       (default drv; a tool with steps find and close)
#   cap_size, grows SECONDS, still SECONDS: the captured sound's size, and
#                       whether it grew during those seconds
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

root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
win=${win:-${VORLO_WIN32_BIN:-$root/build/win32/bin}}

wine_check() {
    local exe paths=() exes=()
    work=$1; shift
    app=$work/app data=$work/data shots=$work/shots cap=$work/cap/cap.raw
    while [ $# -gt 0 ] && [ "$1" != -- ]; do exes+=("$1"); paths+=("$win/$1"); shift; done
    [ $# -gt 0 ] && shift
    cd "$root" || exit 1
    need "${paths[@]}" Xvfb wine wineserver "$@"
    wine_session "$work"
    mkdir -p "$app" "$data" "$shots"
    for exe in "${exes[@]}"; do cp "$win/$exe" "$app/"; done
}

ini() { { echo "[vor]"; for kv in "$@"; do echo "$kv"; done; } >"$app/vor.ini"; }
ini_get() { tr -d '\r' <"$app/vor.ini" | sed -n "s/^$1=//p"; }
app_tool() {  # app_tool NAME STEP...: $app/NAME.exe, its output without CRs
    local exe=$1; shift
    timeout 60 wine "$app/$exe.exe" "$@" 2>/dev/null | tr -d '\r'
}
drv() { app_tool vorlo-testdriver "$@"; }
ed() { app_tool vorlo-tool-editor "$@"; }
player_tool=drv
found=
closed=
start_player() {
    (cd "$app" && exec wine "$app/vorlo.exe" "$@" >/dev/null 2>&1) &
    player_pid=$!
    if found=$("$player_tool" find 20000); then
        [ -z "$found" ] || echo "  $found"
    else
        echo "  the player's window did not show${found:+: $found}"
    fi
}
close_player() {
    local i
    closed=$("$player_tool" close 10000)
    for i in $(seq 100); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
    wait "$player_pid" 2>/dev/null
    player_pid=
}
cap_size() { stat -c %s "$cap" "$cap".[0-9]* 2>/dev/null | awk '{n += $1} END {print n + 0}'; }
grows() { local s0; s0=$(cap_size); sleep "$1"; [ "$(cap_size)" -gt "$s0" ]; }
still() { local s0; s0=$(cap_size); sleep "$1"; [ "$(cap_size)" = "$s0" ]; }

. "$root/scripts/wine_prefix.sh"
