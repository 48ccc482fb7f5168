#!/usr/bin/env bash
# Integration check of the playlist editor under Wine on a virtual X display:
# its list lines (tag title first, else the file name), the play time of a
# selection, Up/Dn/Del/Sort/Shuffle/Clear, Save List and Load List through
# the real file dialogs, a drop of ten files rebuilt once, Enter and
# double-click playing the line's entry, the smallest size, the layout and
# the placement kept across closing and in vor.ini.
#
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-editor}.exe
# (VORLO_WIN32_BIN overrides). Work files in build/editor-wine-check/.
# Last line: "N passed, N failed"; exit status non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "$root/build/editor-wine-check" vorlo.exe vorlo-testdriver.exe vorlo-tool-editor.exe -- ffmpeg

# ---- test files: small, made once. LSF Layer II at 8 kbit/s is 1 KB a
# second, so the hour-long entry is 3.6 MB.
mk() {  # mk FILE SECONDS [TITLE ARTIST]
    [ -s "$1" ] && return
    local tag=()
    [ $# -ge 4 ] && tag=(-write_id3v1 1 -metadata "title=$3" -metadata "artist=$4")
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:duration=$2" \
        -ac 1 -ar 24000 -b:a 8k "${tag[@]}" "$1"
}
mk "$data/a.mp3" 2 "Alpha Song" "Ann"
mk "$data/b.mp2" 2
mk "$data/c.mp3" 2 "Gamma" "Cid"
mk "$data/t61.mp2" 61
mk "$data/t3600.mp2" 3600
for i in 01 02 03 04 05 06 07 08 09 10; do mk "$data/d$i.mp2" 1; done
W="Z:${data//\//\\}"  # the data directory as the player sees it

add() { local f; for f in "$@"; do drv copydata 1 "$W\\$f" >/dev/null; done; }
# The list lines without the numbers' "N> " prefix and the play time line.
texts() { ed lines | sed -n 's/^line [0-9]* \(\* \)\{0,1\}[0-9]*> //p' | paste -sd'|'; }
selected() { ed lines | sed -n 's/^line \([0-9]*\) \* .*/\1/p' | paste -sd' '; }
playtime() { ed lines | sed -n 's/^playtime //p'; }
shot() {
    local geo
    geo=$(ed layout | sed -n 's/^window \([0-9]*x[0-9]*\) at \([-0-9]*\),\([-0-9]*\)/\1+\2+\3/p')
    [ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/$1.png" 2>/dev/null &&
        echo "  screenshot $shots/$1.png"
}

# ================================================= lines and play time
step "lines and play time"
ini ReadFileInfo=1 PlaylistX=380 PlaylistY=120 PlaylistW=420 PlaylistH=330 EqVolume=15
start_player
r=$(ed open 10000)
expect "open: the editor at PlaylistX/Y/W/H ($r)" test "$r" = "editor 420x330 at 380,120"
add a.mp3 b.mp2 c.mp3 t61.mp2 t3600.mp2
out=$(ed lines)
echo "$out" | sed 's/^/  /'
expect "lines: tagged entries show \"N> Title / Artist\"" \
    grep -qx 'line 1 \* 1> Alpha Song / Ann' <<<"$out"
expect "lines: the third, tagged, shows 3> Gamma / Cid" grep -qx 'line 3 3> Gamma / Cid' <<<"$out"
expect "lines: an untagged entry shows its file name" grep -Eqx 'line 2 2> b(\.mp2)?' <<<"$out"
shot editor-five
ed select 3 4 >/dev/null
r=$(playtime)
expect "play time: 61 s and 3600 s selected read \"Playtime: 01:01:01\" ($r)" test "$r" = "Playtime: 01:01:01"
printf 'not audio\n' >"$data/unread.mp3"
add unread.mp3
ed select 3 4 5 >/dev/null
r=$(playtime)
expect "play time: with an entry whose info is unread, \"Playtime: Unknown\" ($r)" test "$r" = "Playtime: Unknown"

# ================================================= Up, Dn, Del, Sort, Shuffle
step "Up, Dn, Del, Sort, Shuffle"
ed select 5 button 10 >/dev/null
r="$(texts) / $(selected)"
expect "Dn: the last selected line stays last and selected ($r)" \
    grep -Eq '^Alpha Song / Ann\|b(\.mp2)?\|Gamma / Cid\|t61(\.mp2)?\|t3600(\.mp2)?\|unread(\.mp3)? / 6$' <<<"$r"
ed select 0 2 button 10 >/dev/null
r="$(texts) / $(selected)"
expect "Dn: lines 1 and 3 move down one each and stay selected ($r)" \
    grep -Eq '^b(\.mp2)?\|Alpha Song / Ann\|t61(\.mp2)?\|Gamma / Cid\|t3600(\.mp2)?\|unread(\.mp3)? / 2 4$' <<<"$r"
ed select 1 3 button 9 >/dev/null
r="$(texts) / $(selected)"
expect "Up: moves them back, still selected ($r)" \
    grep -Eq '^Alpha Song / Ann\|b(\.mp2)?\|Gamma / Cid\|t61(\.mp2)?\|t3600(\.mp2)?\|unread(\.mp3)? / 1 3$' <<<"$r"
ed command 40039 >/dev/null
r=$(texts)
expect "Sort Decending: by path, last first ($r)" \
    grep -Eq '^unread(\.mp3)?\|t61(\.mp2)?\|t3600(\.mp2)?\|Gamma / Cid\|b(\.mp2)?\|Alpha Song / Ann$' <<<"$r"
ed command 40038 >/dev/null
sorted=$(texts)
expect "Sort Ascending: by path ($sorted)" \
    grep -Eq '^Alpha Song / Ann\|b(\.mp2)?\|Gamma / Cid\|t3600(\.mp2)?\|t61(\.mp2)?\|unread(\.mp3)?$' <<<"$sorted"
moved=0
for _ in 1 2 3; do
    ed button 7 >/dev/null
    r=$(texts)
    [ "$(tr '|' '\n' <<<"$r" | sort)" = "$(tr '|' '\n' <<<"$sorted" | sort)" ] || { moved=bad; break; }
    [ "$r" != "$sorted" ] && { moved=1; break; }
done
expect "Shuffle: the same six lines in another order" test "$moved" = 1
ed command 40038 >/dev/null
ed select 5 button 6 >/dev/null
r=$(texts)
expect "Del Item: the selected line is gone ($r)" \
    grep -Eq '^Alpha Song / Ann\|b(\.mp2)?\|Gamma / Cid\|t3600(\.mp2)?\|t61(\.mp2)?$' <<<"$r"

# ================================================= Save List, Clear, Load List
step "Save List, Clear, Load List"
five=$(texts)
rm -f "$data/saved.pls"
ed postbutton 3 filedialog "$W\\saved" 15000 >/dev/null
pls=$(tr -d '\r' <"$data/saved.pls" 2>/dev/null | paste -sd' ')
echo "  saved.pls: $pls"
expect "Save List: the dialog's name with .pls added, entries relative to it" \
    grep -q '^\[playlist\] File1=a.mp3 File2=b.mp2 File3=c.mp3 File4=t3600.mp2 File5=t61.mp2 NumberOfEntries=5$' <<<"$pls"
ed button 11 >/dev/null
r=$(ed lines | grep -c '^line ')
expect "Clear: the list box is empty ($r lines)" test "$r" = 0
ed postbutton 2 filedialog "$W\\saved.pls" 15000 >/dev/null
r=$(texts)
expect "Load List: the saved list loads back ($r)" test "$r" = "$five"

# ================================================= Enter and double-click play
step "Enter and double-click play"
ed select 3 key 13 >/dev/null
r=$(ed current 5000)
expect "Enter on line 4 plays t3600.mp2 ($r)" grep -q 't3600\.mp2$' <<<"$r"
r=$(ed open 1000)
expect "Enter does not press the default button: the editor stays ($r)" grep -q '^editor ' <<<"$r"
ed dblclick 4 >/dev/null
r=$(ed current 5000)
expect "double-click on line 5 plays t61.mp2 ($r)" grep -q 't61\.mp2$' <<<"$r"
drv command 40011 >/dev/null

# ================================================= drop of ten files
step "drop of ten files"
before=$(ed rebuilds | sed 's/rebuilds //')
names=(); for i in 01 02 03 04 05 06 07 08 09 10; do names+=("$W\\d$i.mp2"); done
ed drop "${names[@]}" >/dev/null
after=$(ed rebuilds | sed 's/rebuilds //')
r=$(texts)
expect "drop: the ten files follow in drop order" \
    grep -Eq '\|t61(\.mp2)?\|d01(\.mp2)?\|d02(\.mp2)?\|d03(\.mp2)?\|d04(\.mp2)?\|d05(\.mp2)?\|d06(\.mp2)?\|d07(\.mp2)?\|d08(\.mp2)?\|d09(\.mp2)?\|d10(\.mp2)?$' <<<"$r"
expect "drop: the list was rebuilt once ($before -> $after)" test "$after" = $((before + 1))
ed select 0 1 2 >/dev/null
shot editor-fifteen

# ================================================= size, layout, placement
step "size, layout, placement"
r=$(ed place 140 110 100 100 | sed -n 's/^window //p')
expect "size: 100x100 is refused, the window stays 280x255 ($r)" grep -q '^280x255 ' <<<"$r"
out=$(ed place 200 150 600 450)
cw=$(sed -n 's/^client \([0-9]*\)x.*/\1/p' <<<"$out"); ch=$(sed -n 's/^client [0-9]*x\([0-9]*\)/\1/p' <<<"$out")
ctl() { sed -n "s/^ctl $1 //p" <<<"$out"; }
read -r lx ly lw lh <<<"$(ctl 1012)"; read -r bx by bw bh <<<"$(ctl 2)"
read -r dx dy _ _ <<<"$(ctl 1)"; read -r ux uy _ _ <<<"$(ctl 9)"
echo "  client ${cw}x$ch list $lx,$ly ${lw}x$lh load $bx,$by ${bw}x$bh dismiss $dx,$dy up $ux,$uy"
expect "layout: the list grows with the window (3,3 and W-bw-10 x H-24)" \
    test "$lx,$ly,$lw,$lh" = "3,3,$((cw - bw - 10)),$((ch - 24))"
expect "layout: buttons at the right edge, Dismiss and Up at the bottom" \
    test "$bx,$by,$dx,$dy,$ux,$uy" = "$((cw - bw - 2)),3,$((cw - bw - 2)),$((ch - bh - 4)),3,$((ch - bh + 2))"
ed button 1 gone 5000 >/dev/null
expect "Dismiss: the editor window is destroyed" test $? = 0
r=$(ed open 10000)
expect "reopen: the last place and size come back ($r)" test "$r" = "editor 600x450 at 200,150"
close_player
r="$(ini_get PlaylistX),$(ini_get PlaylistY),$(ini_get PlaylistW),$(ini_get PlaylistH)"
expect "vor.ini: PlaylistX/Y/W/H kept at close ($r)" test "$r" = "200,150,600,450"

# ================================================= ReadFileInfo=0: nothing read
step "ReadFileInfo=0: nothing read"
ini ReadFileInfo=0 PlaylistX=150 PlaylistY=120 PlaylistW=150 PlaylistH=150
start_player
add a.mp3 t61.mp2
r=$(ed open 10000)
expect "open: a stored 150x150 is raised to the smallest size ($r)" test "$r" = "editor 280x255 at 150,120"
r="$(texts) / $(playtime)"
expect "ReadFileInfo=0: file names, play time unknown ($r)" \
    grep -Eq '^a(\.mp3)?\|t61(\.mp2)? / Playtime: Unknown$' <<<"$r"
ed select 0 1 >/dev/null
r=$(playtime)
expect "ReadFileInfo=0: a selection of unread entries reads \"Playtime: Unknown\" ($r)" test "$r" = "Playtime: Unknown"
ed select 0 key 46 >/dev/null
r=$(texts)
expect "Delete key: removes the selected line ($r)" grep -Eqx 't61(\.mp2)?' <<<"$r"
ed postcommand 40030 filedialog "http://127.0.0.1:9/stream.mp3" 10000 >/dev/null
r=$(texts)
expect "Add URL...: the address becomes the last line ($r)" \
    grep -Eqx 't61(\.mp2)?\|http://127.0.0.1:9/stream.mp3' <<<"$r"
# "Load List" has the dialog manager's cancel id: the close command must
# close the window, not open the file dialog.
ed sysclose gone 5000 >/dev/null
expect "close command: the editor closes" test $? = 0
expect "close command: no file dialog shows up" test -z "$(drv nobox 1500 | grep '^fail')"
close_player

finish
