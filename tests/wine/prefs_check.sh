#!/usr/bin/env bash
# Integration check of the preferences sheet ("VOR Preferences") and the
# about sheet ("About VOR...") of vorlo.exe under Wine on a virtual X
# display: the sheet opens once; each page's controls set their keys (read
# back from vor.ini, which is saved when the sheet closes); Cancel restores
# what each page keeps (the ReplayGain page's mode, preamp, untagged gain
# and clipping switch among them); stored values the pages do not offer; the priority
# slider's changed state; AlwaysOnTop applied at close; "Register
# Filetypes"; the about text, the links and "Browse To"; screenshots.
#
# Self-contained: its own Xvfb, Wine prefix and HOME below
# build/prefs-wine-check/ (wine_env.sh); everything it starts is ended on
# exit. Screenshots land in build/prefs-wine-check/shots/.
#
# Uses build/win32/bin/{vorlo,vorlo-tool-prefs}.exe (VORLO_WIN32_BIN
# overrides). Last line: "N passed, N failed"; exit status non-zero when
# anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
rm -rf "$root/build/prefs-wine-check/app"
wine_check "$root/build/prefs-wine-check" vorlo.exe vorlo-tool-prefs.exe -- import
cp "$root/README.md" "$root/LICENSE" "$app/"
winapp="Z:${app//\//\\}"   # the app folder as the player sees it

# ---- helpers
tool() { app_tool vorlo-tool-prefs "$@"; }
prefs() { tool sheet "VOR Preferences" 5000 "$@"; }
about() { tool sheet "About VOR..." 5000 "$@"; }
# ini_is "K=V ..." : every key has that value in vor.ini; the differences
# are printed.
ini_is() {
    local kv bad=0
    for kv in $1; do
        if [ "$(ini_get "${kv%%=*}")" != "${kv#*=}" ]; then
            echo "  ${kv%%=*}=$(ini_get "${kv%%=*}") (want ${kv#*=})"; bad=1
        fi
    done
    return $bad
}
has() { grep -qxF -- "$2" <<<"$1" || { echo "  got: $1" | head -5; false; }; }
player_tool=tool  # finds and closes the player
shot() {  # shot NAME CAPTION : screenshot of that sheet
    local geo
    sleep 0.5   # the page just selected paints itself
    geo=$(tool sheet "$2" 2000 rect | sed -n 's/^rect //p')
    [ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/$1.png" 2>/dev/null \
        && echo "  screenshot $shots/$1.png"
}

# ids (resources/preferences_ids.h)
GEN_CHECKS="1101 1102 1103 1104 1105 1106 1111 1112"
SYSTRAY=1108 REGISTER=1109 SERVER=1113 COMMAND=1114
FULL=1201 HALF=1202 STEREO=1204 MONO=1205 SLIDER=1206 LABEL=1207 OUTSYS=1208
DEVICE=1301 THREAD=1303 OUT_CHECKS="1305 1306 1307"
PLAYSAVE=1402 LOCATION=1405
CALC=1501 SCROLL=1502
RG_ALBUM=1703 RG_PREAMP=1705 RG_UNTAGGED=1706 RG_CLIP=1707
ABOUT_TEXT=1602 LINKS=1603 ADDRESS=1604 BROWSE=1605

# ================================================= a. opened once; Cancel
step "opened once; Cancel"
ini MinimizeLocation=0 DownSample=5 Channels=7 DecoderPriority=3 AudioOutputSystem=0 \
    WinMMCallback=0 DownloadOption=0 'InternetDLDir=C:\before\' AlwaysOnTop=0
start_player
tool command 40009 >/dev/null
out=$(prefs count "VOR Preferences" apply)
expect "sheet: \"VOR Preferences\" opens, Apply disabled at first" \
    test "$(tr '\n' '|' <<<"$out")" = "sheet VOR Preferences|count 1|apply 0|"
tool command 40009 sleep 500 >/dev/null
out=$(prefs count "VOR Preferences")
expect "sheet: a second request opens no second sheet" has "$out" "count 1"

prefs click $SYSTRAY page 1 >/dev/null
out=$(prefs check $FULL check $HALF check $STEREO check $MONO)
expect "Decoder: DownSample 5 shows \"Full\", Channels 7 shows \"Stereo\"" \
    test "$out" = "$(printf 'sheet VOR Preferences\ncheck %s 1\ncheck %s 0\ncheck %s 1\ncheck %s 0' $FULL $HALF $STEREO $MONO)"
prefs click $HALF slider $SLIDER 5 choose $OUTSYS ".wav file" page 2 click $THREAD \
    page 3 click $PLAYSAVE settext $LOCATION 'C:\after\' cancel >/dev/null
out=$(tool sheet "VOR Preferences" 300)
expect "Cancel: the sheet is gone" grep -q '^fail: no window' <<<"$out"
expect "Cancel: MinimizeLocation, DownSample, DecoderPriority, AudioOutputSystem, DownloadOption, InternetDLDir restored; WinMMCallback kept; Channels reset to -1" \
    ini_is 'MinimizeLocation=0 DownSample=5 DecoderPriority=3 AudioOutputSystem=0 DownloadOption=0 InternetDLDir=C:\before\ WinMMCallback=1 Channels=-1'

# ================================================= b. every page, then OK
step "every page, then OK"
tool command 40009 >/dev/null
out=$(prefs page 1 apply slider $SLIDER 3 apply text $LABEL slider $SLIDER 1 apply text $LABEL)
expect "Decoder: the slider back at its opening position marks nothing changed" \
    test "$(sed -n '2,3p' <<<"$out" | tr '\n' ' ')" = "apply 0 apply 0 "
expect "Decoder: position 3 reads \"Above Normal\", 1 \"Below Normal\" and marks the sheet changed" \
    test "$(sed -n '4,6p' <<<"$out" | tr '\n' ' ')" = "text $LABEL Above Normal apply 1 text $LABEL Below Normal "
shot prefs-decoder "VOR Preferences"
out=$(prefs items $OUTSYS choose $OUTSYS ".wav file" click $MONO)
expect "Decoder: output system list sorted, \"Windows Media\" selected for 0" \
    has "$out" "items $OUTSYS 1|.wav file|Windows Media"

prefs page 0 >/dev/null
shot prefs-general "VOR Preferences"
before=$(prefs $(for id in $GEN_CHECKS; do echo check $id; done) | sed -n 's/^check [0-9]* //p' | tr -d '\n')
prefs $(for id in $GEN_CHECKS; do echo click $id; done) click $SYSTRAY \
    settext $SERVER xchat settext $COMMAND "np: %s" >/dev/null

prefs page 2 >/dev/null
shot prefs-output "VOR Preferences"
devices=$(prefs items $DEVICE | sed -n "s/^items $DEVICE //p")
echo "  devices: $devices"
expect "Audio Output: device list ends with \"Wave Mapper\", selected for -1" \
    test "${devices##*|}" = "Wave Mapper" -a "${devices%%|*}" = "$(($(tr '|' '\n' <<<"$devices" | wc -l) - 2))"
first=$(cut -d'|' -f2 <<<"$devices")
prefs choose $DEVICE "$first" click $THREAD $(for id in $OUT_CHECKS; do echo click $id; done) >/dev/null

prefs page 3 >/dev/null
shot prefs-streaming "VOR Preferences"
prefs click $PLAYSAVE settext $LOCATION 'C:\downloads\' >/dev/null
prefs page 4 >/dev/null
shot prefs-interface "VOR Preferences"
prefs click $CALC click $SCROLL >/dev/null
prefs page 5 >/dev/null
shot prefs-replaygain "VOR Preferences"
prefs click $RG_ALBUM settext $RG_PREAMP "-3.5 dB" settext $RG_UNTAGGED "loud" click $RG_CLIP ok >/dev/null

flip() { [ "$1" = 1 ] && echo 0 || echo 1; }
want="" i=0
for key in ReadFileInfo MultipleInstances AlwaysOnTop AutoPlayOnOpen ShowSplashScreen EasyMove IRCEnabled IRCUseTag; do
    want="$want $key=$(flip "${before:$i:1}")"; i=$((i + 1))
done
expect "General: the eight check boxes flipped, Systray, Server and Command Text saved at OK" \
    ini_is "$want MinimizeLocation=1 IRCAppName=xchat"
expect "General: Command Text saved" test "$(ini_get IRCCommand)" = "np: %s"
expect "Decoder: DownSample 5 became 0, Mono, priority 1, \".wav file\"" \
    ini_is "DownSample=0 Channels=3 DecoderPriority=1 AudioOutputSystem=1"
expect "Audio Output: first device, Thread callback, the three check boxes" \
    ini_is "WinMMOutputDev=0 WinMMCallback=1 AudioOutput8Bit=1 AudioBypassACM=1 AudioAllowSyncDev=1"
expect "Streaming: Play and Save, download location" ini_is 'DownloadOption=1 InternetDLDir=C:\downloads\'
expect "User Interface: Calculate Visuals on, Auto Scroll Song Name off" \
    ini_is "LEDCalculateVisuals=1 LEDAutoScrollSongName=0"
expect "ReplayGain: Album, preamp -3.5, an untagged gain that is no number kept at 0.0, clipping prevention off" \
    ini_is "ReplayGainMode=2 ReplayGainPreamp=-3.5 ReplayGainUntagged=0.0 ReplayGainPreventClip=0"
aot=$(ini_get AlwaysOnTop)
out=$(tool topmost)
expect "close: the main window's topmost state follows AlwaysOnTop=$aot ($out)" test "$out" = "topmost $aot"

# ================================================= c. the Channels fallback, Register Filetypes
step "the Channels fallback, Register Filetypes"
close_player
ini Channels=7 WinMMOutputDev=4294967295
start_player
tool command 40009 >/dev/null
prefs page 1 >/dev/null
prefs page 2 >/dev/null
prefs page 0 post $REGISTER >/dev/null
out=$(tool box 5000)
if [ -z "$out" ] || grep -q '^fail' <<<"$out"; then
    skip "General: \"Register Filetypes\" showed no message box (file-type registration not built yet)"
else
    expect "General: \"Register Filetypes\" registers and reports ($out)" \
        test "$out" = "box FileType Registration...|Filetypes are now registered,
You may start a supported file by double clicking.
Icons may not be updated untill windows is restarted"
fi
prefs ok >/dev/null
expect "Decoder: Channels 7 became -1; the wave mapper kept" ini_is "Channels=-1 WinMMOutputDev=4294967295"

# ================================================= d. the about sheet
step "the about sheet"
tool command 40018 >/dev/null
out=$(about text $ABOUT_TEXT)
echo "$out" | sed 's/^/  /'
expect "About VOR: the text's first line, a credit line, an empty line and \"...\"" \
    test "$(sed -n '2p;4,5p' <<<"$out" | tr '\n' '|')" = "text $ABOUT_TEXT VORLO 1.00||...|"
expect "About VOR: the credit names the VORLO developers" grep -q "the VORLO developers" <<<"$(sed -n 3p <<<"$out")"
shot about "About VOR..."
about page 1 >/dev/null
out=$(about items $LINKS choose $LINKS "VORLO Licence" text $ADDRESS choose $LINKS "VORLO Homepage" text $ADDRESS)
expect "Cool Links: the two titles" has "$out" "items $LINKS -1|VORLO Homepage|VORLO Licence"
expect "Cool Links: choosing a title shows its address (README and LICENSE beside the exe)" \
    test "$(grep "^text $ADDRESS" <<<"$out" | tr '\n' '|')" = "text $ADDRESS $winapp\\LICENSE|text $ADDRESS $winapp\\README.md|"
shot about-links "About VOR..."

# "Browse To" asks the shell to open the address: a test file type whose
# opener is vorlo-tool-prefs itself records what it was given (no browser).
timeout 60 wine reg add 'HKCR\.vorlotest' /ve /d vorlotestfile /f >/dev/null 2>&1
timeout 60 wine reg add 'HKCR\vorlotestfile\shell\open\command' /ve /f \
    /d "\"$winapp\\vorlo-tool-prefs.exe\" mark \"$winapp\\opened.txt\" \"%1\"" >/dev/null 2>&1
# ".v" in the player's current folder would open too, were it sent.
timeout 60 wine reg add 'HKCR\.v' /ve /d vorlotestfile /f >/dev/null 2>&1
echo x >"$app/link.vorlotest"
echo x >"$app/.v"
rm -f "$app/opened.txt"
# The opener appends each name it gets: only the last request may arrive.
out=$(about settext $ADDRESS "" post $BROWSE responds settext $ADDRESS ".v" post $BROWSE responds \
    settext $ADDRESS "$winapp\\link.vorlotest" post $BROWSE responds)
for _ in $(seq 100); do [ -s "$app/opened.txt" ] && break; sleep 0.1; done
expect "Browse To: each call returns" test "$(grep -c '^responds 1' <<<"$out")" = 3
expect "Browse To: an empty or two-character address opens nothing, a longer one is opened by the shell" \
    test "$(tr -d '\r' <"$app/opened.txt" 2>/dev/null)" = "$winapp\\link.vorlotest"
about ok >/dev/null
out=$(tool sheet "About VOR..." 300)
expect "About: OK closes the sheet" grep -q '^fail: no window' <<<"$out"
close_player

echo "screenshots: $shots"
finish
