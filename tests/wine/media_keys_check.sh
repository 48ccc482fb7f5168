#!/usr/bin/env bash
# The media keys of vorlo.exe under Wine, the focus on another program's
# window (Notepad): keys (SendInput) and WM_APPCOMMAND messages move the
# playlist (the shared section's current file) and start and stop the sound
# (the capture); a key held by another program is left to it silently;
# "Global Media Keys" turned off leaves the keys alone at once, but for the
# player's own window when it has the focus.
# Last line: "N passed, N failed"; exit status non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "$root/build/wine-keys" vorlo.exe vorlo-testdriver.exe vorlo-tool-tray.exe vorlo-tool-prefs.exe -- ffmpeg
for n in 1 2 3; do  # long: the device behind the capture takes sound faster than real time
    [ -s "$data/t$n.mp2" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "sine=frequency=$((220 * (n + 1))):duration=600" -ac 2 -ar 44100 -c:a mp2 -b:a 64k "$data/t$n.mp2"
done
PLAY_PAUSE=0xB3 STOP=0xB2 NEXT=0xB0 PREV=0xB1

at() { grep -q "t$1\.mp2\]" <<<"$(app_tool vorlo-tool-tray current)"; }  # at N: entry N is current
focus_away() { drv focus Notepad 10000 >/dev/null; }
prefs() { app_tool vorlo-tool-prefs command 40009 sheet "VOR Preferences" 5000 page 4 "$@" ok >/dev/null; }
act() {  # act HOW CODE SAYS COND...: the key or application command, then COND until it holds
    drv "$1" "$2" >/dev/null
    expect "$1 $2: $3" wait_for 20 "${@:4}"
}

step "a key held by another program"
ini GlobalMediaKeys=1 EqVolume=15
drv holdkeys 30000 $NEXT >"$work/held.txt" &
holder=$!
wait_for 10 grep -q held "$work/held.txt"
start_player "Z:$data/t1.mp2" "Z:$data/t2.mp2" "Z:$data/t3.mp2"
expect "start: the first entry plays" wait_for 20 at 1
out=$(drv nobox 1000)
expect "start: no message box for the key held elsewhere ${out:+($out)}" test -z "$out"
(cd "$app" && exec wine notepad >/dev/null 2>&1) &
expect "the focus goes to another program's window" focus_away
drv key $NEXT >/dev/null
expect "the held key reaches its holder" wait_for 10 grep -q "hotkey 0xB0" "$work/held.txt"
expect "the held key leaves the player at its entry" at 1
wait "$holder"
prefs  # OK applies the setting again: the key, free now, is taken
focus_away

step "keys and application commands"
act key $NEXT "Next: the second entry" at 2
act key $PREV "Previous: the first entry again" at 1
act key $PLAY_PAUSE "Play/Pause while playing: the sound stops" still 1
act key $PLAY_PAUSE "Play/Pause while paused: the sound goes on" grows 0.5
act key $STOP "Stop: the sound stops" still 1
act appcommand 11 "Next track: the second entry" at 2
act appcommand 12 "Previous track: the first entry" at 1
act appcommand 47 "Pause: the sound stops" still 1
act appcommand 46 "Play: the sound goes on" grows 0.5
act appcommand 13 "Stop: the sound stops" still 1

step "global keys turned off"
prefs click 1508  # IDC_UI_GLOBAL_MEDIA_KEYS
focus_away
drv key $NEXT >/dev/null
sleep 1.5
expect "GlobalMediaKeys 0: Next as a key leaves the player at its entry" at 1
act appcommand 11 "GlobalMediaKeys 0: Next as an application command still acts" at 2
drv focus VorMainWindow 5000 >/dev/null  # the key reaches the player as a key press
act key $NEXT "GlobalMediaKeys 0, the player focused: Next as a key acts" at 3
close_player
expect "close: vor.ini keeps GlobalMediaKeys=0 ($closed)" test "$(ini_get GlobalMediaKeys)/$closed" = "0/exit 0"
finish
