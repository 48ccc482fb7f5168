#!/usr/bin/env bash
# The player's CPU while it plays: vorlo.exe under Wine on a virtual X
# display plays a stream into a wave device that takes the sound in real
# time (ALSA's file plugin piping it into a reader that paces itself at the
# stream's byte rate), and the CPU time (user + system, all threads: the
# decoder, LED, dial and feed threads together) that its process and the
# Wine server spend is read from /proc before and after. First SECONDS of
# playback with the window shown, then SECONDS with it minimised.
#
# A benchmark, not a test: it asserts nothing. Prints one line per phase:
#   player shown|minimised: S s, vorlo.exe P % of one core (U s user, Y s system), wineserver W %
#
# Usage: bench/player_cpu.sh STREAM RATE SECONDS   (RATE: bytes per second of its PCM)
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-tray}.exe.
set -uo pipefail
stream=$1 rate=$2 seconds=$3
. "$(dirname "$0")/../tests/wine/wine_env.sh"
wine_check "$root/build/bench-player" vorlo.exe vorlo-testdriver.exe vorlo-tool-tray.exe -- python3
ticks=$(getconf CLK_TCK)
# The real-time sink: the plugin writes into a pipe that its reader drains
# at the stream's rate, so the device takes no more than it plays.
cat >"$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" file "| exec python3 $root/bench/realtime_sink.py $rate" format "raw" }
ASOUND
cp "$stream" "$data/"
ini AutoPlayOnOpen=1
start_player "Z:$data/$(basename "$stream")"
grep -q '^window VORLO' <<<"$found" || { echo "player_cpu: the player did not start"; exit 1; }
# The Wine server of this prefix: the wineserver process whose WINEPREFIX is ours.
server=
for p in $(pgrep wineserver); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$p
done
# cpu PID: its user and system clock ticks so far (fields 14 and 15 of stat).
cpu() { [ -n "$1" ] && awk '{print $14, $15}' "/proc/$1/stat" 2>/dev/null || echo "0 0"; }
phase() {  # phase NAME: SECONDS of playback measured
    local u0 s0 w0 w1 u1 s1 t0 t1
    read -r u0 s0 < <(cpu "$player_pid")
    read -r w0 w1 < <(cpu "$server")
    t0=$(date +%s.%N)
    sleep "$seconds"
    t1=$(date +%s.%N)
    read -r u1 s1 < <(cpu "$player_pid")
    read -r w2 w3 < <(cpu "$server")
    awk -v n="$1" -v u=$((u1 - u0)) -v s=$((s1 - s0)) -v w=$((w2 + w3 - w0 - w1)) -v hz="$ticks" \
        -v t0="$t0" -v t1="$t1" 'BEGIN {
        t = t1 - t0
        printf "player %s: %.0f s, vorlo.exe %.2f %% of one core (%.2f s user, %.2f s system), wineserver %.2f %%\n",
               n, t, 100 * (u + s) / hz / t, u / hz, s / hz, 100 * w / hz / t }'
}
sleep 2  # past the start-up
phase shown
app_tool vorlo-tool-tray minimize >/dev/null
sleep 1
phase minimised
app_tool vorlo-tool-tray restore >/dev/null
close_player
