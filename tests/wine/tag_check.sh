#!/usr/bin/env bash
# Integration check under Wine on a virtual X display: the tag editor of
# vorlo.exe on a real file (read, Save, Wipe Tag, genre, a write-protected
# file, the toggle, a file with only an ID3v2 tag, Latin-1 texts and what
# Latin-1 cannot hold), and the announcement of a starting track to a
# stand-in IRC client (vorlo-tool-ddeserver, DDE service "mIrc", topic
# "command").
#
# Self-contained like gui_check.sh: its own Xvfb, Wine prefix and HOME below
# build/tagirc-wine-check/; screenshots in build/tagirc-wine-check/shots/.
# Uses build/win32/bin/{vorlo,vorlo-testdriver,vorlo-tool-tag,
# vorlo-tool-ddeserver}.exe (VORLO_WIN32_BIN overrides).
# Last line: "N passed, N failed"; exit status non-zero when anything failed.
set -uo pipefail
. "$(dirname "$0")/wine_env.sh"
wine_check "$root/build/tagirc-wine-check" vorlo.exe vorlo-testdriver.exe vorlo-tool-tag.exe \
    vorlo-tool-ddeserver.exe -- python3 ffmpeg import
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    wine_cleanup
}
trap cleanup EXIT

# An MP3 without any tag, and a copy of it with an ID3v1 tag.
plain=$data/plain.mp3
[ -s "$plain" ] || ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:duration=3" \
    -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_id3v1 0 "$plain"
python3 - "$plain" "$data/tagged.mp3" <<'PY'
import sys
def field(s, n): return s.encode().ljust(n, b' ')
tag = b'TAG' + field('Tagged Title', 30) + field('Some Artist', 30) + field('', 30) \
    + b'2001' + field('', 30) + bytes([8])
open(sys.argv[2], 'wb').write(open(sys.argv[1], 'rb').read() + tag)
PY
# A copy with only an ID3v2.3 tag in front.
python3 - "$plain" "$data/id3v2.mp3" <<'PY'
import sys
def frame(fid, text):
    data = b'\x00' + text.encode('latin-1')
    return fid.encode() + len(data).to_bytes(4, 'big') + b'\x00\x00' + data
body = frame('TIT2', 'An ID3v2 title longer than thirty bytes') + frame('TPE1', 'V2 Artist') \
    + frame('TYER', '2019') + frame('TCON', '(17)')
n = len(body)
tag = b'ID3\x03\x00\x00' + bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127]) + body
open(sys.argv[2], 'wb').write(tag + open(sys.argv[1], 'rb').read())
PY

# ---- helpers
tag() { app_tool vorlo-tool-tag "$@"; }
# The tags at the end of FILE: "size N tags K" and, with one, its fields.
tags() {
    python3 - "$1" <<'PY'
import sys
b = open(sys.argv[1], 'rb').read()
k, end = 0, len(b)
while end >= 128 and b[end - 128:end - 125] == b'TAG':
    k, end = k + 1, end - 128
out = 'size %d tags %d' % (len(b), k)
if k:
    t = b[-128:]
    out += ' title=[%s] artist=[%s] year=[%s] genre=%d' % (
        t[3:33].decode('latin-1'), t[33:63].decode('latin-1').rstrip(),
        t[93:97].decode('latin-1'), t[127])
print(out)
PY
}
field() { sed -n "s/^$1 //p" <<<"$2"; }

# ================================================= tag editor
step "tag editor"
ini ReadFileInfo=1 IRCEnabled=0 WindowX=40 WindowY=40
work_file=$data/edit.mp3
cp "$plain" "$work_file"
chmod u+w "$work_file"
size0=$(stat -c %s "$work_file")
start_player "Z:$work_file"
out=$(tag command 40008 editor 5000 fields)
echo "$out" | sed 's/^/  /'
expect "editor: an untagged file shows \"Edit Me!\" in the four fields and year 1998" \
    test "$(field artist "$out")|$(field title "$out")|$(field album "$out")|$(field comment "$out")|$(field year "$out")" \
    = "Edit Me!|Edit Me!|Edit Me!|Edit Me!|1998"
expect "editor: the file name shows the full path" test "$(field file "$out")" = "Z:$work_file"
expect "editor: the genre list offers the 45 genres" test "$(field genres "$out")" = 45

tag click 1093 >/dev/null
t=$(tags "$work_file"); echo "  $t"
expect "Save: one 128-byte tag appended" grep -q "^size $((size0 + 128)) tags 1 title=\[Edit Me!  *\]" <<<"$t"
tag click 1093 >/dev/null
t=$(tags "$work_file"); echo "  $t"
expect "Save twice: still exactly one tag" grep -q "^size $((size0 + 128)) tags 1 " <<<"$t"

title30=ABCDEFGHIJKLMNOPQRSTUVWXYZ1234
tag set 1094 "$title30" set 1092 "New Artist" set 1099 2024 genre 17 click 1093 >/dev/null
t=$(tags "$work_file"); echo "  $t"
expect "Save: a 30-character title is written whole" grep -q "title=\[$title30\] artist=\[New Artist\] year=\[2024\]" <<<"$t"
expect "Save: the genre chosen in the list (17, Rock) is written" grep -q " genre=17$" <<<"$t"
geo=$(tag rect)
[ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/tag-editor.png" 2>/dev/null &&
    echo "  screenshot $shots/tag-editor.png"

out=$(tag command 40008 noeditor 3000)
expect "editor command again: the editor closes" test "$out" = "editor closed"
out=$(tag command 40008 editor 5000 fields)
expect "reopened: the written tag shows (title, artist, year, genre)" \
    test "$(field title "$out")|$(field artist "$out")|$(field year "$out")|$(field genre "$out")" \
    = "$title30|New Artist|2024|17"

tag click 1097 >/dev/null
expect "Wipe Tag: the file is as it was before the first Save" cmp -s "$work_file" "$plain"
tag click 1093 >/dev/null
# A file another program holds open without sharing writes (as root, file
# permissions would not stop Wine from writing).
before=$(md5sum <"$work_file")
out=$(tag lock "Z:$work_file" set 1094 "Must not land" click 1093 box 5000 | grep '^box')
echo "  $out"
expect "unwritable file: \"Error Opening: \`%s\` for writing\" with caption \"Error...\"" \
    test "$out" = "box Error...|Error Opening: \`Z:$work_file\` for writing"
expect "unwritable file: the file is unchanged" test "$(md5sum <"$work_file")" = "$before"
out=$(tag click 2 noeditor 3000)
expect "Close: the editor goes" grep -q "editor closed" <<<"$out"
close_player

step "tag editor on a file with only an ID3v2 tag"
cp "$data/id3v2.mp3" "$work_file"
start_player "Z:$work_file"
out=$(tag command 40008 editor 5000 fields)
echo "$out" | sed 's/^/  /'
v2title="An ID3v2 title longer than thi"
expect "ID3v2 only: the editor starts from the ID3v2 texts, cut to 30 bytes" \
    test "$(field title "$out")|$(field artist "$out")|$(field year "$out")|$(field genre "$out")" \
    = "$v2title|V2 Artist|2019|17"
tag click 1093 >/dev/null
t=$(tags "$work_file"); echo "  $t"
expect "ID3v2 only: Save writes them as the ID3v1 tag" \
    grep -q "title=\[$v2title\] artist=\[V2 Artist\] year=\[2019\] genre=17$" <<<"$t"
tag click 2 noeditor 3000 >/dev/null
close_player

# ================================================= Latin-1 texts
step "Latin-1 texts"
# The tag's bytes are Latin-1: "Café Señor" by "Müller".
latin1=$data/latin1.mp3
python3 - "$plain" "$latin1" <<'PY'
import sys
def field(s, n): return s.encode('latin-1').ljust(n, b' ')
tag = b'TAG' + field('Caf\u00e9 Se\u00f1or', 30) + field('M\u00fcller', 30) + field('', 30) \
    + b'1999' + field('', 30) + bytes([13])
open(sys.argv[2], 'wb').write(open(sys.argv[1], 'rb').read() + tag)
PY
cp "$latin1" "$data/latin1.orig"
ini ReadFileInfo=1 IRCEnabled=0 WindowX=40 WindowY=40
start_player "Z:$latin1"
out=$(tag command 40008 editor 5000 fields)
expect "Latin-1: the editor shows \"Café Señor\" by \"Müller\"" \
    test "$(field title "$out")|$(field artist "$out")" = "Café Señor|Müller"
tag click 1093 >/dev/null
expect "Latin-1: Save writes the same Latin-1 bytes back" cmp -s "$latin1" "$data/latin1.orig"
out=$(tag set 1094 "Пісня Café" click 1093 boxcancel 5000 | grep '^box')
expect "beyond Latin-1: Save asks first (\"$out\")" \
    test "$out" = "box Save Tag|Some characters cannot be stored in an ID3v1 tag and will be saved as '?'."
expect "beyond Latin-1: Cancel leaves the file alone" cmp -s "$latin1" "$data/latin1.orig"
tag click 1093 box 5000 >/dev/null
# The save goes on once the question is answered.
marked() { t=$(tags "$latin1"); grep -q "title=\[????? Café  *\] artist=\[Müller\]" <<<"$t"; }
expect "beyond Latin-1: OK saves them as '?'" wait_for 10 marked
echo "  $t"
geo=$(tag rect)
[ -n "$geo" ] && timeout 20 import -window root -crop "$geo" "$shots/tag-editor-latin1.png" 2>/dev/null &&
    echo "  screenshot $shots/tag-editor-latin1.png"
tag click 2 noeditor 3000 >/dev/null
close_player

# ================================================= IRC announcement
step "IRC announcement"
# serve SECONDS: the stand-in IRC client, its pokes in $pokes.
pokes=$work/pokes.txt
serve() {
    rm -f "$pokes" "$work/server.out"
    timeout $(($1 + 20)) wine "$app/vorlo-tool-ddeserver.exe" "Z:$pokes" "$1" >"$work/server.out" 2>/dev/null &
    server_pid=$!
    for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done
}
unserve() { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=; }
wait_pokes() {  # wait_pokes N: up to 10 s for N lines
    for _ in $(seq 100); do [ "$(wc -l <"$pokes" 2>/dev/null || echo 0)" -ge "$1" ] && break; sleep 0.1; done
    tr -d '\r' <"$pokes" 2>/dev/null
}
# announce INI... : starts the player with these settings on FILE, prints the poke.
announce() {
    local file=$1; shift
    ini IRCEnabled=1 ReadFileInfo=1 "$@"
    serve 60
    start_player "Z:$file"
    got=$(wait_pokes 1)
    echo "  poked: $got"
    close_player
    unserve
}
announce "$plain"
expect "IRC: default command pokes \"/me is listening to TITLE in VORLO v1.00\"" \
    test "$got" = "/me is listening to plain.mp3 in VORLO v1.00"
# The template is the user's text, not a format: "%d" stays as it stands.
announce "$plain" "IRCCommand=np: %s (%s) 100%% %d"
expect "IRC: a template with two %s repeats the song; other % sequences stay" \
    test "$got" = "np: plain.mp3 (plain.mp3) 100% %d"
announce "$data/tagged.mp3" IRCUseTag=1
expect "IRC: IRCUseTag 1 and a tagged file: \"Title / Artist\"" \
    test "$got" = "/me is listening to Tagged Title / Some Artist in VORLO v1.00"
announce "$data/id3v2.mp3" IRCUseTag=1
expect "IRC: IRCUseTag 1 and a file with an ID3v2 tag: its title and artist" \
    test "$got" = "/me is listening to An ID3v2 title longer than thirty bytes / V2 Artist in VORLO v1.00"

ini IRCEnabled=1
rm -f "$work/cap/cap.raw"*
start_player "Z:$data/tagged.mp3"
out=$(drv nobox 4000)
expect "IRC: no client running: no message box" test -z "$out"
cap=$(stat -c %s "$work/cap/cap.raw"* 2>/dev/null | awk '{n += $1} END {print n + 0}')
expect "IRC: no client running: playback goes on ($cap bytes played)" test "$cap" -gt 400000
close_player

echo "screenshots: $shots"
finish
