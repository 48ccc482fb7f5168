#!/usr/bin/env bash
# Integration check of the tray icon and the mini controller: vorlo.exe under
# Wine on a virtual X display, with MinimizeLocation=1. Minimising hides the
# window and adds icon 12345 with the tip "Vor - TITLE - 007%" (read back from
# the shell's tooltip control in explorer), a long title keeps the tip within
# 63 characters (whole ones, in a Cyrillic title too), the press-and-hold notice opens the controller, its keys
# drive the player, its slider seeks, a click elsewhere closes it, a double
# click on the icon brings the window back; the LED, the dial and the visual
# feed do no work while the window is in the tray, and draw again once it is
# back; the exe's icon indices 13 and 14
# are the document icons 131 and 132. Screenshots land in $work/shots.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-tray}.exe
# (VORLO_WIN32_BIN overrides). Last line: "N passed, N failed"; exit status
# non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "${VORLO_TRAY_WORK:-$root/build/wine-tray}" vorlo.exe vorlo-testdriver.exe vorlo-tool-tray.exe -- ffmpeg

tone() {  # tone FILE FREQ SECONDS
    [ -s "$1" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi \
        -i "sine=frequency=$2:duration=$3" -ac 2 -ar 44100 -c:a mp2 -b:a 192k "$1"
}
# Long entries: the null device behind the capture takes sound faster than
# real time, and the position must still be low when it is looked at.
tone "$data/first.mp2" 440 600
long="$data/A title far too long for the tip of the tray icon, which holds sixty-three.mp2"
tone "$data/second.mp2" 660 600
[ -s "$long" ] || cp "$data/second.mp2" "$long"
# A title of 60 Cyrillic letters: the tip keeps 57 of them, whole.
cyr=$(printf 'Пісня%.0s' 1 2 3 4 5 6 7 8 9 10 11 12)
cyr57=${cyr:0:57}
[ -s "$data/$cyr.mp2" ] || cp "$data/second.mp2" "$data/$cyr.mp2"

tray() { app_tool vorlo-tool-tray "$@"; }
icon_is() { [ "$(tray present)" = "icon $1" ]; }
mini_closed() { [ "$(tray mini)" = "mini none" ]; }
test_out() { local want=$1; shift; [ "$("$@")" = "$want" ]; }  # test_out TEXT CMD...: CMD prints TEXT
# The percentage of the tray tip of our icon, or nothing.
tip_line() { tray tips | grep '^tip \[Vor - ' | head -1; }
tip_percent() { tip_line | sed -n 's/.* - \([0-9][0-9][0-9]\)%\] .*/\1/p' | sed 's/^0*\([0-9]\)/\1/'; }
shot() { timeout 20 import -display "$DISPLAY" -window root "$shots/$1.png" 2>/dev/null && echo "  screenshot $shots/$1.png"; }

ini MinimizeLocation=1 EqVolume=15 WindowX=100 WindowY=80
start_player "Z:$data/first.mp2" "Z:$long" "Z:$data/$cyr.mp2"
expect "start: the player window is up" grep -q '^window VORLO' <<<"$found"

step "icons of the exe"
out=$(tray icons "$(winepath -w "$app/vorlo.exe" 2>/dev/null)" | paste -sd' ')
echo "  $out"
expect "icons: 15 icon groups; index 12 is 124, 13 is 131, 14 is 132 (same pixels)" \
    test "$out" = "groups 15 index 12 is 124 index 13 is 131 index 14 is 132"

# The display threads' work so far: "frames LED DIAL FEED" (driver counts).
frames() { read -r _ led dial feed <<<"$(drv frames)"; }
led_moves() { frames; local l0=$led; sleep 0.5; frames; [ -n "$l0" ] && [ "${led:-0}" -gt "$l0" ]; }
expect "shown: the LED draws" wait_for 20 led_moves

step "minimise into the tray"
tray minimize
hidden() { st=$(tray state); grep -q '^visible 0' <<<"$st"; }
expect "minimise: the window is hidden" wait_for 20 hidden
echo "  $st"
expect "minimise: the shell has icon 12345 of the window" wait_for 20 icon_is 1
tip_first() { t=$(tip_line); grep -Eq '^tip \[Vor - first(\.mp2)? - [0-9]{3}%\] (18|22)$' <<<"$t"; }
expect "tip: \"Vor - first.mp2 - NNN%\" (the file title, three-digit percentage)" wait_for 20 tip_first
echo "  $t"
p1=$(tip_percent)
tip_moved() { p2=$(tip_percent); [ -n "$p1" ] && [ -n "$p2" ] && [ "$p2" -gt "$p1" ]; }
expect "tip: the percentage follows the playing position" wait_for 30 tip_moved
echo "  tip percent $p1 then $p2"
shot tray-minimised
# Asleep in the tray: not one frame, arc or feed pass in a second and a
# half (the LED alone draws twelve when shown).
frames; asleep="$led $dial $feed"; sleep 1.5; frames
expect "minimised: the LED, the dial and the feed do no work ($asleep, then $led $dial $feed)" \
    test -n "$led" -a "$asleep" = "$led $dial $feed"

step "the mini controller: held left button"
tray notify down
mini_open() { m=$(tray mini); grep -Eq '^mini [0-9a-fA-Fx]+ ' <<<"$m"; }
expect "hold: the mini controller opens after 500 ms" wait_for 20 mini_open
echo "  $m"
shot mini-controller
[ -s "$shots/mini-controller.png" ] && read -r _ _ mx my mw mh <<<"$m" &&
    timeout 20 convert "$shots/mini-controller.png" -crop "$((mw + 16))x$((mh + 16))+$((mx - 8))+$((my - 8))" \
        -scale 400% "$shots/mini-controller-x4.png" 2>/dev/null
tray notify up
tray outside >/dev/null
wait_for 20 mini_closed
# Down and up posted together: released long before the 500 ms.
tray notify tap; sleep 1
expect "click: a press released before 500 ms opens nothing" test "$(tray mini)" = "mini none"

step "the mini controller's keys"
tray notify down
wait_for 20 mini_open
tray notify up
tray click 1374
expect "controller Stop (40011): the sound stops" wait_for 20 still 1
tray click 1372
expect "controller Play (40010): the sound starts again" wait_for 20 grows 0.5
tray click 1373
expect "controller Pause (40012): the sound stops" wait_for 20 still 1
tray click 1372
expect "controller Play after Pause: the sound goes on" wait_for 20 grows 0.5
tray click 1375
current_has() { c=$(tray current); grep -q "$1" <<<"$c"; }
expect "controller Next (40013): the second entry plays" wait_for 20 current_has 'A title far too long'
echo "  $c"
tip_cut() { t=$(tip_line); grep -Eq '^tip \[Vor - A title far too long for the tip of the tray icon, which \] 63$' <<<"$t"; }
expect "tip: a long title is cut, the tip has 63 characters" wait_for 20 tip_cut
echo "  $t"
tray click 1375
expect "controller Next: the third entry, a Cyrillic name, plays" wait_for 20 current_has "$cyr57"
tip_cyr() { t=$(tip_line); [ "$t" = "tip [Vor - $cyr57] $((6 + 2 * 57))" ]; }
expect "tip: a Cyrillic title is cut to 63 whole characters" wait_for 20 tip_cyr
echo "  $t"
tray click 1371
wait_for 20 current_has 'A title far too long'
tray click 1371
expect "controller Prev (40014): the first entry plays again" wait_for 20 current_has 'first.mp2'
echo "  $c"

step "the mini controller's slider"
p0=$(tip_percent)
tray seek 40
at_seek() { p1=$(tip_percent); [ -n "$p1" ] && [ "$p1" -ge 40 ] && [ "$p1" -le 50 ]; }
wait_for 20 at_seek
echo "  percent before $p0, after the seek $p1"
expect "slider: dragged to 40 and released, the player moves to 40 %" \
    test -n "$p1" -a "${p0:-99}" -lt 30 -a "${p1:-0}" -ge 40 -a "${p1:-0}" -le 50
# The slider takes the position on the controller's own timer, after the tip.
slider_follows() { s=$(tray slider); v=${s#slider }; [ "${v:-0}" -ge 40 ] 2>/dev/null && [ "$v" -le 55 ]; }
expect "slider: follows the position again after the drag" wait_for 10 slider_follows
echo "  $s"

r=$(tray outside); echo "  $r"
expect "a click elsewhere closes the controller" test "$r" = "mini closed"

step "right button: the context menu"
tray notify rdown
expect "right button: the context menu opens" wait_for 20 test_out "menu 1" tray menu
shot context-menu
timeout 20 xdotool key --clearmodifiers Escape 2>/dev/null
drv command 0 >/dev/null 2>&1
wait_for 10 test_out "menu 0" tray menu

step "double click on the icon restores"
tray notify dblclk
shown() { st=$(tray state); [ "$st" = "visible 1 iconic 0" ]; }
expect "double click: the window is shown and not minimised" wait_for 20 shown
echo "  $st"
expect "double click: the icon is gone" wait_for 20 icon_is 0
read -r _ l0 d0 _ <<<"$asleep"
redrawn() { frames; [ "${led:-0}" -gt "$l0" ] && [ "${dial:-0}" -gt "$d0" ]; }
expect "restored: the LED draws again and the dial is redrawn" wait_for 20 redrawn

step "minimise again, restore by ShowWindow"
tray minimize
expect "minimise again: icon back" wait_for 20 icon_is 1
tray restore
expect "restore: window shown" wait_for 20 shown
expect "restore: icon gone" wait_for 20 icon_is 0
shot restored

close_player
finish
