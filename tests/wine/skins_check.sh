#!/usr/bin/env bash
# Integration check of user skins under Wine on a virtual X display: the
# shipped skin "Ember" chosen in vor.ini is what the window shows at start;
# chosen on the preferences sheet's Skins page it is shown at once, without a
# restart, from its folder or from a .zip of it; a skin with one missing and
# one wrong-sized bitmap shows the built-in ones for those and names them in
# one message; a skin of hostile BMP files (truncated, 60000 x 60000,
# broken RLE) is refused bitmap by bitmap, named, and the player lives on.
#
# Self-contained: its own Xvfb, Wine prefix and HOME below
# build/skins-wine-check/ (wine_env.sh); everything it starts is ended on
# exit. Screenshots land in build/skins-wine-check/shots/.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-prefs}.exe and
# the Skins folder beside them (VORLO_WIN32_BIN overrides). Last line:
# "N passed, N failed"; exit status non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
rm -rf "$root/build/skins-wine-check/app"
wine_check "$root/build/skins-wine-check" vorlo.exe vorlo-testdriver.exe vorlo-tool-prefs.exe -- \
    python3 import convert identify xdotool
pix=$root/tests/wine/skin_shot.py
ember=$root/resources/skins/Ember
builtin=$root/resources/skin102.bmp
cp -r "$win/Skins" "$app/"

# The test skins: Ember zipped (its folder inside), Broken (no LED glyphs,
# a transport bitmap of the wrong size), Hostile (three refused files).
python3 - "$app/Skins" <<'PY'
import os, shutil, struct, sys, zipfile
skins = sys.argv[1]
with zipfile.ZipFile(os.path.join(skins, "Zipped.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for f in sorted(os.listdir(os.path.join(skins, "Ember"))):
        z.write(os.path.join(skins, "Ember", f), "Ember/" + f)
broken = os.path.join(skins, "Broken")
shutil.copytree(os.path.join(skins, "Ember"), broken)
os.remove(os.path.join(broken, "skin118.bmp"))
shutil.copy(os.path.join(broken, "skin128.bmp"), os.path.join(broken, "skin121.bmp"))
hostile = os.path.join(skins, "Hostile")
shutil.copytree(os.path.join(skins, "Ember"), hostile)
def head(w, h, bits, comp, pixels, pal=b""):
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, comp, len(pixels), 0, 0, len(pal) // 4, 0)
    return struct.pack("<2sIHHI", b"BM", 54 + len(pal) + len(pixels), 0, 0, 54 + len(pal)) + info + pal + pixels
whole = open(os.path.join(hostile, "skin102.bmp"), "rb").read()
open(os.path.join(hostile, "skin102.bmp"), "wb").write(whole[:len(whole) // 2])
open(os.path.join(hostile, "skin108.bmp"), "wb").write(head(60000, 60000, 24, 0, b"\0" * 64))
open(os.path.join(hostile, "skin135.bmp"), "wb").write(head(146, 36, 8, 1, bytes([200, 1, 0, 1]), b"\0\0\0\0" * 2))
PY

# ---- helpers
prefs() { app_tool vorlo-tool-prefs sheet "VOR Preferences" 5000 "$@"; }
SKIN_LIST=1711
shot() {  # shot NAME: screenshot of the player's window
    local geo
    sleep 1   # the LED and dial threads draw their frames
    geo=$(drv find 5000 | sed -n 's/^window .* \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\) pid.*/\1+\2+\3/p')
    [ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/$1.png" 2>/dev/null \
        && echo "  screenshot $shots/$1.png"
}
# shows NAME BMP [ROW_BMP]: the window's screenshot NAME holds the BMP's
# background pixels (all but a few: the cut corners show the desktop), the
# transport keys' row those of ROW_BMP when given.
shows() {
    local r n m
    shot "$1" || return 1
    r=$(python3 "$pix" match "$shots/$1.png" "$2" ${3:+"$3"}); echo "  $r"
    read -r _ n _ m <<<"$r"
    [ -n "$m" ] && [ "$m" -gt 20000 ] && [ "$n" -ge $((m * 98 / 100)) ]
}
# Opens the preferences on the Skins page. The sheet opens centred on the
# window: it is moved off it for the screenshots.
open_skins_page() {
    drv command 40009 >/dev/null
    prefs page 6 >/dev/null
    timeout 20 xdotool search --name '^VOR Preferences$' windowmove 0 0 >/dev/null 2>&1
}
# led_is NAME R,G,B: a new screenshot NAME's LED name strip is mostly that
# colour (the LED thread draws its first frame a moment after the window).
led_is() {
    local c
    shot "$1" >/dev/null || return 1
    c=$(python3 "$pix" led "$shots/$1.png" | sed 's/^led //')
    [ "$c" = "$2" ] || { echo "  LED strip $c (want $2)"; false; }
}
LED_BUILTIN=7,16,21  # the LED panel colours of the two skins (tools/make_skin*.py)
LED_EMBER=23,18,7

# ================================================= a. Ember from vor.ini
step "Ember chosen in vor.ini"
ini StartupExpanded=1 WindowX=100 WindowY=80 Skin=Ember
start_player
expect "vor.ini Skin=Ember: the window shows Ember's background" shows ini-ember "$ember/skin102.bmp"
expect "vor.ini Skin=Ember: the LED draws Ember's glyph panel" wait_for 10 led_is ini-ember "$LED_EMBER"
expect "vor.ini Skin=Ember: no message (every bitmap is there)" drv nobox 1500
close_player

# ================================================= b. the sheet, no restart
step "the Skins page, applied at once"
ini StartupExpanded=1 WindowX=740 WindowY=560  # clear of the sheet, which opens at the top left
start_player
expect "no Skin: the built-in background" shows builtin "$builtin"
open_skins_page
out=$(prefs items $SKIN_LIST | tail -1)
expect "Skins page: Built-in, then the skins found, Built-in chosen" \
    test "$out" = "items $SKIN_LIST 0|Built-in|Broken|Ember|Hostile|Zipped.zip"
prefs choose $SKIN_LIST Ember >/dev/null
expect "choosing Ember: the window shows it at once" shows sheet-ember "$ember/skin102.bmp"
expect "choosing Ember: the LED too" wait_for 10 led_is sheet-ember "$LED_EMBER"
prefs choose $SKIN_LIST Built-in >/dev/null
expect "choosing Built-in: the built-in background again" shows sheet-builtin "$builtin"
prefs choose $SKIN_LIST Zipped.zip >/dev/null
expect "choosing Zipped.zip: Ember's pixels from the archive" shows sheet-zip "$ember/skin102.bmp"
prefs ok >/dev/null
expect "OK: vor.ini keeps Skin=Zipped.zip" test "$(ini_get Skin)" = "Zipped.zip"

# ================================================= c. fallbacks
step "a broken skin falls back and names the bitmaps once"
open_skins_page
prefs choose $SKIN_LIST Broken >/dev/null
out=$(app_tool vorlo-tool-prefs box 5000 | paste -sd" ")
echo "  $out"
expect "Broken: one message names the missing skin118.bmp and the wrong-sized skin121.bmp" \
    test "$out" = 'box Skin...|Skin "Broken" uses the built-in bitmap for: skin118.bmp: missing skin121.bmp: 18 x 79 instead of 162 x 80'
expect "Broken: no second message" app_tool vorlo-tool-prefs nobox 1500
expect "Broken: Ember's background, the built-in transport keys" shows broken "$ember/skin102.bmp" "$builtin"
expect "Broken: the LED glyphs are the built-in ones" wait_for 10 led_is broken "$LED_BUILTIN"
prefs choose $SKIN_LIST Hostile >/dev/null
out=$(app_tool vorlo-tool-prefs box 5000 | paste -sd" ")
echo "  $out"
expect "Hostile: the truncated, oversized and RLE-corrupt files are refused and named" test "$out" = \
    'box Skin...|Skin "Hostile" uses the built-in bitmap for: skin102.bmp: truncated pixel data skin108.bmp: 60000 x 60000 is too large skin135.bmp: RLE run past the end of a row'
expect "Hostile: the built-in background stands in, under Ember's transport keys" shows hostile "$builtin" "$ember/skin102.bmp"
prefs cancel >/dev/null
expect "Cancel: back to the skin of the sheet's opening" shows cancelled "$ember/skin102.bmp"
n=$(drv count)
expect "the player lives on ($n)" test "$n" = "windows 1"
close_player
expect "closed: vor.ini keeps Skin=Zipped.zip" test "$(ini_get Skin)" = "Zipped.zip"
finish
