#!/usr/bin/env bash
# Integration check of internet radio in vorlo.exe under Wine on a virtual X
# display, against a station of tests/conformance/test_server.py on 127.0.0.1:
# the LED shows the station's icy-name until the first title, then each
# StreamTitle (read through the test driver, and in screenshots); the
# editor's line and the IRC announcement follow the title; the sound played
# is exactly the decode of the stream without its metadata; a station that
# drops the connection is reported once and the list goes on to its next
# entry; while a station list is slow to come the window answers, the list's
# entries appear once it is in, and quitting with one in flight ends at once.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-editor,
# vorlo-tool-ddeserver}.exe and build/native/bin/vorlo-decode
# (VORLO_WIN32_BIN / VORLO_NATIVE_BIN override). Work files and screenshots
# in build/wine-radio/. Last line: "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd) && cd "$root"
win=${VORLO_WIN32_BIN:-$root/build/win32/bin} native=${VORLO_NATIVE_BIN:-$root/build/native/bin}
work=$root/build/wine-radio
app=$work/app data=$work/data shots=$work/shots cap=$work/cap/cap.raw check=$root/tests/wine/pcm_check.py

. "$root/tests/wine/wine_env.sh"

need "$win/vorlo.exe" "$win/vorlo-testdriver.exe" "$win/vorlo-tool-editor.exe" "$win/vorlo-tool-ddeserver.exe" \
    "$native/vorlo-decode" Xvfb wine wineserver python3 ffmpeg import

wine_session "$work"
mkdir -p "$app" "$data" "$shots"
cp "$win/vorlo.exe" "$win/vorlo-testdriver.exe" "$win/vorlo-tool-editor.exe" "$win/vorlo-tool-ddeserver.exe" "$app/"

tone() {  # tone FILE FREQ SECONDS CODEC
    [ -s "$1" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "sine=frequency=$2:duration=$3" -ac 2 -ar 44100 -c:a "$4" -b:a 128k "$1"
}
tone "$data/station.mp3" 440 8 libmp3lame
tone "$data/next.mp2" 660 3 mp2
for f in station.mp3 next.mp2; do
    "$native/vorlo-decode" "$data/$f" - >"$data/$f.pcm" 2>/dev/null
done

# ---- the station
station_pid= server_pid=
stop_servers() {
    [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    station_pid= server_pid=
    wine_cleanup
}
trap stop_servers EXIT
rm -f "$work/port"
python3 "$root/tests/conformance/test_server.py" "$data/station.mp3" "$work/port" &
station_pid=$!
wait_for 20 test -s "$work/port" || { echo "station server did not start"; echo "0 passed, 1 failed"; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")"
station() { python3 -c "import urllib.request,sys; urllib.request.urlopen(sys.argv[1], timeout=20).read()" "$url/$1"; }

# ---- helpers
drv() { timeout 60 wine "$app/vorlo-testdriver.exe" "$@" 2>/dev/null | tr -d '\r'; }
ed() { timeout 60 wine "$app/vorlo-tool-editor.exe" "$@" 2>/dev/null | tr -d '\r'; }
ini() { { echo "[vor]"; for kv in "$@"; do echo "$kv"; done; } >"$app/vor.ini"; }
cap_size() { stat -c %s "$cap" "$cap".[0-9]* 2>/dev/null | awk '{n += $1} END {print n + 0}'; }
led() { drv ledname | sed -n 's/^led //p'; }
led_is() { [ "$(led)" = "$1" ]; }
line_is() { ed lines | grep -qxF "line 1 * 1> $1"; }
pokes=$work/pokes.txt
poked() { tr -d '\r' <"$pokes" 2>/dev/null | grep -qxF "/me is listening to $1 in VORLO v1.00"; }
playing() {
    local got
    got=$(python3 "$check" freq 0 "$cap" -- 2>/dev/null)
    [ -n "$got" ] && [ "$got" -ge $(($1 * 94 / 100)) ] && [ "$got" -le $(($1 * 106 / 100)) ]
}
shot() {
    local geo
    geo=$(drv find 5000 | sed -n 's/^window .* \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\) pid.*/\1+\2+\3/p')
    [ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/$1.png" 2>/dev/null \
        && echo "  screenshot $shots/$1.png"
}
# Waits until the capture has sound and stops growing for 2 s (at most 60 s).
wait_quiet() {
    local last now same=0 t=0
    last=$(cap_size)
    while [ "$t" -lt 600 ]; do
        sleep 0.5; t=$((t + 5))
        now=$(cap_size)
        if [ "$now" = "$last" ] && [ "$now" -gt 0 ]; then
            same=$((same + 5)); [ "$same" -ge 20 ] && return 0
        else
            same=0; last=$now
        fi
    done
    return 1
}

# ================================================= the station plays
step "start the player, the IRC stand-in and the list"
ini StartupExpanded=1 WindowX=100 WindowY=80 EqVolume=15 RepeatPlay=0 IRCEnabled=1 LEDAutoScrollSongName=0
rm -f "$pokes" "$work/dde.out" "$cap" "$cap".[0-9]*
timeout 200 wine "$app/vorlo-tool-ddeserver.exe" "Z:$pokes" 180 >"$work/dde.out" 2>/dev/null &
server_pid=$!
wait_for 30 grep -q ready "$work/dde.out" || fail "the IRC stand-in did not start"
(cd "$app" && exec wine "$app/vorlo.exe" >/dev/null 2>&1) &
player_pid=$!
drv find 20000 >/dev/null
ed open 10000 place 400 80 300 300 >/dev/null  # beside the main window
drv copydata 0 copydata 1 "$url/station" copydata 1 "Z:$data/next.mp2" copydata 4 >/dev/null

step "the station's name before the first title"
expect "LED: the station's icy-name \"Radio Test\" before any title ($(led))" wait_for 30 led_is "Radio Test"
shot radio-name
expect "IRC: the station's name is announced" wait_for 20 poked "Radio Test"

step "the titles"
station go
last="Last Song - Café"
expect "LED: the latest StreamTitle \"$last\" ($(led))" wait_for 60 led_is "$last"
shot radio-title
expect "editor: the station's line shows the title" wait_for 20 line_is "$last"
# (Titles that follow each other faster than the window takes its notices
# are passed over: the window shows the latest.)
expect "IRC: the latest title is announced" wait_for 20 poked "$last"
ed sysclose gone 10000 >/dev/null  # the editor is a dialog: out of the box checks' way

step "the station drops the connection"
station release
out=$(drv box 30000)
echo "  $out"
expect "drop: one box \"The connection to the server was lost\"" \
    test "$out" = "box VOR Internet Error Message...|The connection to the server was lost"
expect "drop: the next entry plays" wait_for 30 playing 660
out=$(drv nobox 1000)
echo "  $out"
expect "drop: no second box" test -z "$out"

# The sound, from a station alone: its audio without the metadata, then
# silence (the device runs dry while the box is up).
step "the sound of a station"
wait_quiet
rm -f "$cap" "$cap".[0-9]*
drv copydata 0 copydata 1 "$url/station" copydata 4 >/dev/null
wait_for 30 led_is "Radio Test"
station go
station release
out=$(drv box 60000)
expect "sound: the station's end is reported ($out)" \
    test "$out" = "box VOR Internet Error Message...|The connection to the server was lost"
if wait_quiet; then
    r=$(python3 "$check" contains $((15 * 4 * 1024)) "$cap" -- "$data/station.mp3.pcm"); rc=$?
    echo "  $r"
    expect "sound: exactly the decode of the station's audio without its metadata" test "$rc" = 0
else
    fail "sound: playback did not come to its end"
fi

# ================================================= a station list served slowly
listed() { local l; l=$(ed lines); for t in "$@"; do grep -qF "$t" <<<"$l" || return 1; done; }
step "a station list served slowly"
ed open 10000 place 400 80 300 300 >/dev/null
out=$(drv copydata 0 copydata 1 "$url/slow.pls" | tr '\n' ' ')
expect "slow list: the hand-over is answered while the list is in flight ($out)" test "$out" = "result 1 result 1 "
out=$(drv answer 1000)
expect "slow list: the window answers within 1 s ($out)" test "${out#answer }" != "$out"
expect "slow list: no entry before the list is in" test -z "$(ed lines | grep '^line ')"
station golist
expect "slow list: its entries appear once it is in" wait_for 30 listed "Slow One" "Slow Two"
ed sysclose gone 10000 >/dev/null

step "close while a list is in flight"
drv copydata 1 "$url/slow.pls" answer 1000 >/dev/null
start=$(date +%s)
out=$(drv close 10000)
expect "close: the player ends with 0 in $(($(date +%s) - start)) s ($out)" test "$out" = "exit 0"
wait "$player_pid" 2>/dev/null
player_pid=
station quit 2>/dev/null
echo "screenshots: $shots"
finish
