#!/usr/bin/env bash
# Integration check of the media keys of vorlo.exe under Wine on a virtual X
# display, with the focus on another program's window (Notepad): a key held
# by another program is left to it without a word; Play/Pause, Stop, Next
# and Previous sent as keys (SendInput) and as WM_APPCOMMAND messages move
# the playlist (the shared section's current file) and start and stop the
# sound (the capture); with "Global Media Keys" turned off on the
# preferences sheet the keys leave the player alone at once.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-tray,vorlo-tool-prefs}.exe
# (VORLO_WIN32_BIN overrides). Last line: "N passed, N failed"; exit status
# non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "$root/build/wine-keys" vorlo.exe vorlo-testdriver.exe vorlo-tool-tray.exe vorlo-tool-prefs.exe -- ffmpeg

for n in 1 2 3; do  # long entries: the device behind the capture takes sound faster than real time
    [ -s "$data/t$n.mp2" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "sine=frequency=$((220 * (n + 1))):duration=600" -ac 2 -ar 44100 -c:a mp2 -b:a 64k "$data/t$n.mp2"
done
PLAY_PAUSE=0xB3 STOP=0xB2 NEXT=0xB0 PREV=0xB1 GLOBAL_KEYS=1508 PREFERENCES=40009

at() { c=$(app_tool vorlo-tool-tray current); grep -q "t$1\.mp2\]" <<<"$c"; }  # at N: entry N plays
focus_away() { drv focus Notepad 10000 >/dev/null; }
prefs() { app_tool vorlo-tool-prefs command $PREFERENCES sheet "VOR Preferences" 5000 "$@" >/dev/null; }
# act HOW CODE SAYS COND...: the key or application command CODE, then COND
# until it holds; the label is SAYS.
act() {
    local how=$1 code=$2 says=$3; shift 3
    drv "$how" "$code" >/dev/null
    expect "$how $code: $says" wait_for 20 "$@"
}

step "a key held by another program"
ini GlobalMediaKeys=1 EqVolume=15 MultipleInstances=0
drv holdkeys 30000 $NEXT >"$work/held.txt" &
holder=$!
wait_for 10 grep -q "held" "$work/held.txt"
start_player "Z:$data/t1.mp2" "Z:$data/t2.mp2" "Z:$data/t3.mp2"
expect "start: the first entry plays" wait_for 20 at 1
out=$(drv nobox 1000)
expect "start: no message box for the key held elsewhere ${out:+($out)}" test -z "$out"
(cd "$app" && exec wine notepad >/dev/null 2>&1) &
notepad=$!
expect "the focus goes to another program's window" focus_away
drv key $NEXT >/dev/null
expect "the held key reaches its holder" wait_for 10 grep -q "hotkey 0xB0" "$work/held.txt"
expect "the held key leaves the player at its entry" at 1
wait "$holder"
# OK on the sheet applies the setting again: the key, free now, is taken.
prefs page 4 ok
focus_away

step "keys, with the focus elsewhere"
act key $NEXT "Next: the second entry" at 2
act key $PREV "Previous: the first entry again" at 1
act key $PLAY_PAUSE "Play/Pause while playing: the sound stops" still 1
act key $PLAY_PAUSE "Play/Pause while paused: the sound goes on" grows 0.5
act key $STOP "Stop: the sound stops" still 1
act key $PLAY_PAUSE "Play/Pause while stopped: the sound starts" grows 0.5

step "application commands"
act appcommand 11 "Next track: the second entry" at 2
act appcommand 12 "Previous track: the first entry" at 1
act appcommand 47 "Pause: the sound stops" still 1
act appcommand 46 "Play: the sound goes on" grows 0.5
act appcommand 13 "Stop: the sound stops" still 1
act appcommand 14 "Play/Pause while stopped: the sound starts" grows 0.5
act appcommand 14 "Play/Pause while playing: the sound stops" still 1
act appcommand 14 "Play/Pause while paused: the sound goes on" grows 0.5

step "global keys turned off"
prefs page 4 click $GLOBAL_KEYS ok
focus_away
drv key $NEXT >/dev/null
sleep 1.5
expect "GlobalMediaKeys 0: Next as a key leaves the player at its entry" at 1
expect "GlobalMediaKeys 0: the sound goes on" grows 0.5
act appcommand 11 "GlobalMediaKeys 0: Next as an application command still acts" at 2
close_player
expect "close: the process ends with 0 ($closed)" test "$closed" = "exit 0"
expect "close: vor.ini keeps GlobalMediaKeys=0" test "$(ini_get GlobalMediaKeys)" = 0
kill "$notepad" 2>/dev/null
finish
