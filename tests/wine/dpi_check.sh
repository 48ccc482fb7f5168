#!/usr/bin/env bash
# High-DPI check of vorlo.exe under Wine: with the prefix's LogPixels at 192
# the main window is 516x382, its picture is the 96-DPI one with every pixel
# doubled, and clicks and drags at doubled places reach the same controls;
# Double Size at 96 DPI gives the same, switched by the menu command and the
# preferences' check box. The mini controller at 192 DPI is twice as big and
# far from the pointer, its picture is the 96-DPI one doubled, and its keys
# answer at doubled places. Self-contained (tests/wine/wine_env.sh); last
# line "N passed, N failed".
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "$root/build/wine-dpi" vorlo.exe vorlo-testdriver.exe vorlo-tool-prefs.exe vorlo-tool-tray.exe -- \
    import convert compare ffmpeg
[ -s "$data/tone.mp2" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:duration=60 \
    -ac 2 -c:a mp2 "$data/tone.mp2"

dpi() {  # dpi N: the screen resolution of the Wine processes started next
    timeout 20 wineserver -k 2>/dev/null
    timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
start() {  # start KEY=VALUE...: the player with a fresh vor.ini
    ini StartupExpanded=1 WindowX=100 WindowY=80 EqVolume=3 RepeatPlay=0 LEDAutoScrollSongName=0 "$@"
    start_player
}
sized() { drv find 2000 | grep -q " $1 "; }  # sized WxH: the window's size now
# shot NAME [DOUBLED]: the window's picture, the LED's blinking symbol blacked
# out; with DOUBLED, true when it is that earlier shot with every pixel doubled.
shot() {
    local geo s n
    geo=$(drv find 5000 | sed -n 's/^window .* \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\) pid.*/\1+\2+\3/p')
    [ -n "$geo" ] && s=$((${geo%%x*} / 258)) && sleep 0.5 &&
        timeout 20 import -window root -crop "$geo" +repage "$shots/$1.png" 2>/dev/null &&
        convert "$shots/$1.png" -fill black -draw "rectangle $((89 * s)),$((51 * s)) $((97 * s - 1)),$((62 * s - 1))" \
            "$shots/$1.png" || return 1
    [ $# -lt 2 ] || doubled "$1" "$2"
}
doubled() {  # doubled NAME EARLIER: true when shot NAME is EARLIER with every pixel doubled
    local n
    convert "$shots/$2.png" -scale 200% "$shots/$2-x2.png" &&
        n=$(compare -metric AE "$shots/$2-x2.png" "$shots/$1.png" null: 2>&1)
    echo "  $2 doubled against $1: ${n:-?} pixels differ"
    [ "$n" = 0 ]
}
tray() { app_tool vorlo-tool-tray "$@"; }
# mini NAME: the mini controller opened as by the tray icon's held button,
# "X Y W H" of it in $mini and its picture in NAME.png.
mini() {
    tray notify down
    mini_open() { mini=$(tray mini | sed -n 's/^mini [^ ]* //p'); [ -n "$mini" ]; }
    wait_for 20 mini_open && sleep 0.5 && read -r mx my mw mh <<<"$mini" &&
        timeout 20 import -window root -crop "${mw}x$mh+$mx+$my" +repage "$shots/$1.png" 2>/dev/null
    tray notify up
}

step "96 DPI"
dpi 96
start
expect "96 DPI: 258x191" sized 258x191
shot one
mini mini-one
read -r x1 y1 w1 h1 <<<"$mini"
close_player

step "192 DPI"
dpi 192
start
expect "192 DPI: 516x382 at the same place" sized '516x382 at 100,80'
expect "192 DPI: the picture is the 96-DPI one doubled, pixel for pixel" shot two one
want="out 5,1|in 6,6|out 100,6|in 100,20|out 512,80|in 510,136|in 500,380|out 515,381"
got=$(drv region $(tr '|' '\n' <<<"$want" | awk '{print $2}') | paste -sd'|')
expect "192 DPI: the window's shape is doubled ($got)" test "$got" = "$want"
# Repeat switch, volume drag 3 -> 10, title drag by 20,15 skin pixels, expand.
drv click 360 152 down 82 322 move 82 252 up 82 252 down 300 20 move 340 50 up 340 50 click 508 140 >/dev/null
expect "192 DPI: the expand button collapses to 516x198, the drag moved it by 40,30" \
    wait_for 10 sized '516x198 at 140,110'
mini mini-two
expect "192 DPI: the mini controller is twice as big and twice as far from the pointer (${w1}x$h1 then $mini)" \
    test "$mw $mh $((x1 - mx)) $((y1 - my))" = "$((2 * w1)) $((2 * h1)) 80 33"
expect "192 DPI: the mini controller's picture is the 96-DPI one doubled" doubled mini-two mini-one
drv copydata 1 "Z:$data/tone.mp2" >/dev/null
k=$(tray press 94 28)
expect "192 DPI: the mini controller's Play key at doubled places ($k) starts the sound" wait_for 10 grows 0.5
k="$k, $(tray press 206 28)"
expect "192 DPI: its Stop key ($k) stops it" wait_for 10 still 1
expect "192 DPI: the keys hit were Play and Stop" test "$k" = "press 1372, press 1374"
close_player
r="$(ini_get RepeatPlay) $(ini_get EqVolume)"
expect "192 DPI: the Repeat switch and the volume drag took effect ($r)" test "$r" = "1 10"

step "Double Size at 96 DPI"
dpi 96
start DoubleSize=1
expect "Double Size: the same picture as at 192 DPI" shot double one
drv command 40105 >/dev/null
expect "Double Size: the menu command takes the window back to 258x191" wait_for 10 sized 258x191
app_tool vorlo-tool-prefs command 40009 sheet "VOR Preferences" 5000 page 4 click 1509 ok >/dev/null
expect "Double Size: the preferences' check box doubles it again" wait_for 10 sized 516x382
close_player
expect "Double Size: vor.ini keeps DoubleSize=1" test "$(ini_get DoubleSize)" = 1
finish
