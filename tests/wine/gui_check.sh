#!/usr/bin/env bash
# Integration check of vorlo.exe under Wine on a virtual X display: start-up
# and the window's shape, the hand-over to a running player, what the wave
# device plays (captured by ALSA's file plugin and compared with
# vorlo-decode's PCM), the transport commands through a playlist, clicks on
# the skin, the decoder's error box, the settings saved at close, and files
# named in Cyrillic, Greek and Japanese opened every way (command line,
# hand-over, drop, M3U8 and PLS lists), shown in the LED and the editor and
# saved in a list.
#
# Self-contained: its own Xvfb on a free display, its own Wine prefix and
# HOME below build/wine-gui/, Wine's audio driver set to ALSA with the
# default PCM captured into files there. Everything it starts is ended on
# exit, failure included. Artifacts (screenshots) land in build/wine-gui/shots/.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-editor}.exe and
# build/native/bin/vorlo-decode (VORLO_WIN32_BIN / VORLO_NATIVE_BIN override).
# Last line: "N passed, N failed"; exit status non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
native=${VORLO_NATIVE_BIN:-$root/build/native/bin}
check=$root/tests/wine/pcm_check.py
# vorlo.exe with its vor.ini in $app; the capture in $cap.NNNN (one file a
# device open).
wine_check "$root/build/wine-gui" vorlo.exe vorlo-testdriver.exe vorlo-tool-editor.exe -- \
    "$native/vorlo-decode" python3 ffmpeg import

# ---- test streams: distinct tones, so a stretch of sound names its file
tone() {  # tone FILE FREQ SECONDS CODEC
    [ -s "$1" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "sine=frequency=$2:duration=$3" -ac 2 -ar 44100 -c:a "$4" -b:a 192k "$1"
}
# The wave device here takes sound faster than real time (the null PCM
# behind the capture waits for nothing), so entries that must still be
# playing a few seconds after a command are long.
tone "$data/a-4s.mp3" 440 4 libmp3lame
tone "$data/b-4s.mp2" 660 4 mp2
tone "$data/la-180s.mp3" 440 180 libmp3lame
tone "$data/lb-180s.mp2" 660 180 mp2
tone "$data/sc-4s.mp3" 880 4 libmp3lame
tone "$data/long-120s.mp2" 550 120 mp2
long_name="$data/A very long song name that scrolls across the LED.mp2"
cmp -s "$data/long-120s.mp2" "$long_name" || cp "$data/long-120s.mp2" "$long_name"
for f in a-4s.mp3 b-4s.mp2 long-120s.mp2; do
    [ -s "$data/$f.pcm" ] && [ "$data/$f.pcm" -nt "$native/vorlo-decode" ] ||
        "$native/vorlo-decode" "$data/$f" - >"$data/$f.pcm" 2>/dev/null
done
A="Z:$data/la-180s.mp3" B="Z:$data/lb-180s.mp2" C="Z:$data/sc-4s.mp3" LONG="Z:$long_name"

# ---- helpers
kill_player() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null
    timeout 20 wineserver -k 2>/dev/null
    player_pid=
}
reset_capture() { rm -f "$cap" "$cap".[0-9]*; }
# Waits until the capture has sound and stops growing for STILL seconds
# (bounded by MAX).
wait_quiet() {
    local still=$1 max=$2 last now same=0 t=0
    last=$(cap_size)
    while [ "$t" -lt $((max * 10)) ]; do
        sleep 0.5; t=$((t + 5))
        now=$(cap_size)
        if [ "$now" = "$last" ] && [ "$now" -gt 0 ]; then
            same=$((same + 5)); [ "$same" -ge $((still * 10)) ] && return 0
        else
            same=0; last=$now
        fi
    done
    return 1
}
sounds() {  # sounds HZ: the capture grows, and with the tone of that frequency
    grows 0.5 && playing "$1"
}
vol=$((15 * 4 * 1024))  # wave volume of EqVolume 15
playing() {  # playing HZ: the latest sound is the tone of that frequency (+-6 %)
    local got
    got=$(python3 "$check" freq 0 "$cap" -- 2>/dev/null)
    echo "  latest sound ${got:-?} Hz (want $1)"
    [ -n "$got" ] && [ "$got" -ge $(($1 * 94 / 100)) ] && [ "$got" -le $(($1 * 106 / 100)) ]
}
shot() {  # shot NAME : screenshot of the player's window
    local geo
    geo=$(drv find 5000 | sed -n 's/^window .* \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\) pid.*/\1+\2+\3/p')
    [ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/$1.png" 2>/dev/null \
        && echo "  screenshot $shots/$1.png"
}

# ================================================= a. start-up and shape
step "start-up and shape"
reset_capture
ini StartupExpanded=1 WindowX=120 WindowY=90 EqVolume=15 RepeatPlay=0 MultipleInstances=0
start_player
out=$found
expect "start-up: one window of class VorMainWindow titled \"VORLO 1.00\", 258x191 at (WindowX, WindowY)" \
    grep -q '^window VORLO 1.00 258x191 at 120,90 ' <<<"$out"
n=$(drv count)
expect "start-up: exactly one VorMainWindow ($n)" test "$n" = "windows 1"
# Cut corners, the title notch, the right edge and the expand tab's rows.
want="out 0,0|out 2,0|in 3,3|in 5,5|out 1,80|in 18,80|in 20,180|out 16,70|in 17,70|in 32,6|out 50,3|in 50,10\
|out 50,15|in 100,3|out 253,0|out 255,10|out 256,40|in 254,40|in 255,68|in 256,66|in 257,67|out 257,70\
|out 257,64|in 128,100|in 250,190"
pts=$(tr '|' '\n' <<<"$want" | awk '{print $2}' | tr '\n' ' ')
got=$(drv region $pts | paste -sd'|')
[ "$got" = "$want" ] || echo "  region: got $got"
expect "start-up: window region holds and cuts the sampled pixels" test "$got" = "$want"
shot expanded-idle

# ================================================= b. hand-over
step "hand-over"
timeout 30 wine "$app/vorlo.exe" "Z:$data/a-4s.mp3" "Z:$data/b-4s.mp2" >/dev/null 2>&1
rc=$?
expect "hand-over: a second vorlo.exe a.mp3 b.mp2 exits with 0 (got $rc)" test "$rc" = 0
n=$(drv count)
expect "hand-over: still one window ($n)" test "$n" = "windows 1"

# ================================================= c. exact PCM of a handed-over list
step "exact PCM of a handed-over list"
if wait_quiet 2 25 && [ "$(cap_size)" -gt 0 ]; then
    r=$(python3 "$check" contains "$vol" "$cap" -- "$data/a-4s.mp3.pcm" "$data/b-4s.mp2.pcm"); rc=$?
    echo "  $r"
    expect "playback: the device got the Layer III then the Layer II file's decoded PCM exactly, then stopped" \
        test "$rc" = 0
else
    fail "playback: the handed-over files did not play to the end (capture $(cap_size) bytes)"
fi
# At the end of the list the player is stopped: the output stays silent.
expect "playback: after the last entry nothing more is played" still 1.5

# A three-entry list by hand-over records: clear, add, add, add, play first.
drv copydata 0 >/dev/null
drv copydata 1 "$A" copydata 1 "$B" copydata 1 "$C" >/dev/null
r=$(drv copydata 4 | paste -sd' ')
expect "hand-over records: play-first answers 1 ($r)" test "$r" = "result 1"
step "transport commands through a three-entry list"
expect "three entries: the first plays" wait_for 20 playing 440
drv command 40013 >/dev/null
expect "Next: the second entry plays" wait_for 20 playing 660
drv command 40013 >/dev/null
expect "Next: the third entry plays" wait_for 20 playing 880
drv command 40014 >/dev/null
expect "Previous: the second entry plays again" wait_for 20 playing 660
drv command 40012 >/dev/null
expect "Pause: the capture stops growing" wait_for 20 still 1
drv command 40012 >/dev/null
expect "Pause while paused: still silent (no toggle)" still 1.5
drv command 40010 >/dev/null
expect "Play after Pause: the capture grows again" wait_for 20 grows 0.5
expect "Play after Pause: the same entry resumes" playing 660
drv command 40011 >/dev/null
expect "Stop: the capture stops growing" wait_for 20 still 1
drv command 40010 >/dev/null
expect "Play after Stop: the entry plays again" wait_for 20 sounds 660
# Entry 3 of 3 by index, played to its end: the player stops.
drv copyindex 2 >/dev/null
if wait_for 20 playing 880 && wait_quiet 2 30; then
    expect "end of list: the last entry played to its end" playing 880
    expect "end of list: the player stays stopped" still 1.5
else
    fail "end of list: the last entry did not play to its end"
fi
# RepeatPlay 1 (the Repeat command) starts the list over.
drv command 40016 >/dev/null
drv copyindex 2 >/dev/null
expect "RepeatPlay 1: after the last entry the first plays" wait_for 30 playing 440

# ================================================= d. clicks on the skin
step "clicks on the skin"
drv click 180 76 >/dev/null  # Repeat switch: RepeatPlay back to 0
drv copydata 2 "$LONG" >/dev/null
wait_for 20 playing 550
drv down 80 80 move 80 130 up 80 130 >/dev/null
sleep 0.3
expect "click: Pause pressed, released outside: nothing happens" grows 1.5
drv down 80 80 move 85 85 up 85 85 >/dev/null
expect "click: Pause button pauses" wait_for 20 still 1
drv click 60 80 >/dev/null
expect "click: Play button resumes" wait_for 20 grows 0.5
drv click 100 80 >/dev/null
expect "click: Stop button stops" wait_for 20 still 1
drv click 60 80 >/dev/null
expect "click: Play button plays" wait_for 20 grows 0.5
# The dial at 3 o'clock: 25 % of the 20 s file.
# Where the sound behind the click lies in the file: under load Wine's
# mixer may put silence between blocks, so the run up to the end says less.
before=$(cap_size)
drv click 234 56 >/dev/null
dial_at_quarter() {
    r=$(python3 "$check" soundat "$vol" "$cap" "$before" -- "$data/long-120s.mp2.pcm")
    python3 -c "import sys; sys.exit(0 if 0.245 <= float('$r'.split()[0]) <= 0.27 else 1)" 2>/dev/null
}
expect "click: the dial at 3 o'clock seeks to 25 %" wait_for 20 dial_at_quarter
echo "  the sound behind the dial click starts at fraction $r of the file"
shot expanded-playing-long-name
# Volume drag 3 -> 10. Equaliser drag from band 2 row 5 to band 5 row 12.
drv down 41 161 move 41 126 up 41 126 >/dev/null
drv down 100 146 move 142 111 up 142 111 >/dev/null
sleep 0.5
drv command 40103 >/dev/null  # collapse
collapsed() { out=$(drv find 2000); grep -q ' 258x99 at 120,90 ' <<<"$out"; }
expect "collapse: the window is 258x99 at the same place" wait_for 20 collapsed
sleep 0.5   # the window just collapsed paints itself
shot collapsed-playing

# ================================================= e. a missing file
step "a missing file"
# An entry whose file went away after it was added.
cp "$data/sc-4s.mp3" "$data/gone.mp3"
drv copydata 0 copydata 1 "Z:$data/gone.mp3" >/dev/null
rm -f "$data/gone.mp3"
drv copydata 4 >/dev/null
out=$(drv box 10000)
echo "  $out"
expect "missing file: \"Could not open file: %s\" with caption \"Decoder Error Message...\"" \
    test "$out" = "box Decoder Error Message...|Could not open file: Z:$data/gone.mp3"
drv copydata 2 "$A" >/dev/null
expect "missing file: the player plays the next file afterwards" wait_for 20 playing 440
out=$(drv nobox 500)
expect "missing file: no further message box" test -z "$out"

# ================================================= f. close
step "close"
drv down 150 10 move 170 25 up 170 25 >/dev/null  # drag by the title strip: +20,+15
sleep 0.3
close_player
out=$closed
echo "  $out"
expect "close: the process ends with 0 within 10 s" test "$out" = "exit 0"
expect "close: vor.ini keeps the window position (140,105)" \
    test "$(ini_get WindowX),$(ini_get WindowY)" = "140,105"
expect "close: vor.ini keeps the collapsed state" test "$(ini_get StartupExpanded)" = 0
expect "click: Repeat switch flipped RepeatPlay back to 0" test "$(ini_get RepeatPlay)" = 0
expect "drag: EqVolume set to segment 10 ($(ini_get EqVolume))" test "$(ini_get EqVolume)" = 10
b2=$(ini_get EqBand02) b5=$(ini_get EqBand05) b0=$(ini_get EqBand00)
expect "drag: EqBand02 row 5, EqBand05 row 12, EqBand00 untouched ($b2 $b5 $b0)" \
    python3 -c "import sys; sys.exit(0 if abs($b2-5/7)<1e-6 and abs($b5-12/7)<1e-6 and abs($b0-1)<1e-9 else 1)"

# ================================================= a'. collapsed start, two instances
step "collapsed start, two instances"
reset_capture
ini StartupExpanded=0 WindowX=60 WindowY=40 EqVolume=15 MultipleInstances=1
start_player
out=$found
expect "start-up with StartupExpanded 0: 258x99" grep -q '^window VORLO 1.00 258x99 at 60,40 ' <<<"$out"
first_pid=$player_pid
(cd "$app" && exec wine "$app/vorlo.exe" >/dev/null 2>&1) &
second_pid=$!
n=
for _ in $(seq 100); do
    n=$(drv count); [ "$n" = "windows 2" ] && break; sleep 0.2
done
expect "MultipleInstances 1: a second window appears ($n)" test "$n" = "windows 2"
# Close both (the driver closes the one FindWindow gives, twice).
drv close 10000 >/dev/null; drv close 10000 >/dev/null
for _ in $(seq 100); do
    kill -0 "$first_pid" 2>/dev/null || kill -0 "$second_pid" 2>/dev/null || break; sleep 0.1
done
n=$(drv count)
expect "MultipleInstances 1: both windows closed ($n)" test "$n" = "windows 0"
player_pid=

# ================================================= a''. ReplayGain
step "ReplayGain"
# The Layer III tone with a TXXX track gain of -6 dB: with ReplayGainMode 1
# the device gets exactly vorlo-decode's PCM of it with --replaygain track.
rg="$data/rg-4s.mp3"
python3 -c "import sys; sys.path.insert(0, '$root/tests/conformance')
from checks import id3v2_tag; from replaygain_check import txxx
open('$rg', 'wb').write(id3v2_tag(3, txxx('REPLAYGAIN_TRACK_GAIN', '-6.00 dB')) + open('$data/a-4s.mp3', 'rb').read())"
"$native/vorlo-decode" --replaygain track "$rg" - >"$rg.pcm" 2>/dev/null
reset_capture
ini StartupExpanded=1 WindowX=120 WindowY=90 EqVolume=15 MultipleInstances=0 ReplayGainMode=1
start_player "Z:$rg"
wait_quiet 2 25
expect "ReplayGain: the device got vorlo-decode --replaygain track's PCM of the tagged file exactly" \
    python3 "$check" contains "$vol" "$cap" -- "$rg.pcm"
expect "ReplayGain: that PCM is not the untagged decode" test "$(cmp -s "$rg.pcm" "$data/a-4s.mp3.pcm"; echo $?)" = 1
close_player

# ================================================= g. names in any script
step "names in any script"
# Three long tones under names in three scripts: the sound tells which plays.
cyr="Пісня" gre="Τραγούδι" jap="歌"
cp "$data/la-180s.mp3" "$data/$cyr.mp3"
cp "$data/lb-180s.mp2" "$data/$gre.mp2"
cp "$data/long-120s.mp2" "$data/$jap.mp2"
reset_capture
ini StartupExpanded=1 WindowX=120 WindowY=90 EqVolume=15 MultipleInstances=0 LEDAutoScrollSongName=0 \
    ReadFileInfo=1 PlaylistX=420 PlaylistY=90 PlaylistW=420 PlaylistH=300
# led NAME SHOT: the LED reads the file title NAME (with or without its
# extension); the window's screenshot is kept as SHOT.
led() {
    shot "$2" >/dev/null && python3 "$root/tests/wine/led_check.py" "$shots/$2.png" \
        "$root/resources/skin118.bmp" "$1" "${1%.*}" >"$work/led.txt"
}
led_says() { echo "  LED: $(cat "$work/led.txt" 2>/dev/null)"; }
# The editor's lines without their numbers.
lines() { ed lines | sed -n 's/^line [0-9]* \(\* \)\{0,1\}[0-9]*> //p' | sed 's/\.mp[23]$//' | paste -sd'|'; }
start_player "Z:$data/$cyr.mp3"
expect "names: a Cyrillic name from the command line plays" wait_for 20 playing 440
expect "names: the LED shows the Cyrillic title" wait_for 20 led "$cyr.mp3" names-cmdline
led_says
timeout 30 wine "$app/vorlo.exe" "Z:$data/$gre.mp2" >/dev/null 2>&1
expect "names: a Greek name handed over to the running player plays" wait_for 20 playing 660
expect "names: the LED shows the Greek title" wait_for 20 led "$gre.mp2" names-handover
led_says
ed dropmain "Z:$data/$jap.mp2" >/dev/null
expect "names: a Japanese name dropped on the main window plays" wait_for 20 playing 550
expect "names: the LED shows the Japanese title (one placeholder per character)" \
    wait_for 20 led "$jap.mp2" names-drop
led_says
printf '#EXTM3U\n%s\n%s\n%s\n' "$cyr.mp3" "$gre.mp2" "$jap.mp2" >"$data/names.m3u8"
printf '[playlist]\r\nFile1=%s\r\nFile2=%s\r\nFile3=%s\r\nNumberOfEntries=3\r\n' \
    "$jap.mp2" "$cyr.mp3" "$gre.mp2" >"$data/names.pls"
drv copydata 2 "Z:$data/names.m3u8" >/dev/null
expect "names: an M3U8 list's first entry plays" wait_for 20 playing 440
r=$(ed open 10000 >/dev/null; lines)
expect "names: the editor lists the M3U8's three names ($r)" test "$r" = "$cyr|$gre|$jap"
ed select 1 >/dev/null
geo=$(ed layout | sed -n 's/^window \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\)/\1+\2+\3/p')
[ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/names-editor.png" 2>/dev/null &&
    echo "  screenshot $shots/names-editor.png"
drv command 40013 >/dev/null
expect "names: Next plays the M3U8's Greek entry" wait_for 20 playing 660
expect "names: the LED follows to the Greek title" wait_for 20 led "$gre.mp2" names-m3u8-next
# With the directory as Windows writes it, so the list saved below is relative.
W="Z:${data//\//\\}"
timeout 30 wine "$app/vorlo.exe" "$W\\names.pls" >/dev/null 2>&1
expect "names: a PLS list handed over plays its Japanese first entry" wait_for 20 playing 550
r=$(lines)
expect "names: the editor lists the PLS's three names ($r)" test "$r" = "$jap|$cyr|$gre"
rm -f "$data/saved.m3u8"
ed postbutton 3 filedialog "$W\\saved.m3u8" 15000 >/dev/null
printf '%s\r\n%s\r\n%s\r\n' "$jap.mp2" "$cyr.mp3" "$gre.mp2" >"$work/want.m3u8"
expect "names: Save List as .m3u8 writes the names in UTF-8, no byte-order mark" \
    cmp -s "$data/saved.m3u8" "$work/want.m3u8"
close_player

echo "screenshots: $shots"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
