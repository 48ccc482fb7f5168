#!/usr/bin/env bash
# Makes resources/demo.mp2, the demo track: synthesises the music
# (tools/demo_music.py), encodes it with our own vorlo-encode as MPEG-1
# Layer II, 44.1 kHz stereo, 192 kbit/s, and gives it its ID3v1 tag.
#
#   tools/make_demo.sh [BUILD_DIR]     (default build/native; needs bin/vorlo-encode)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build/native}
if [[ ! -d $BUILD && -d $ROOT/$BUILD ]]; then BUILD=$ROOT/$BUILD; fi
ENC=$BUILD/bin/vorlo-encode
if [[ ! -x $ENC ]]; then
    echo "make_demo.sh: $ENC not found; build it first (ninja -C $BUILD vorlo-encode)" >&2
    exit 1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

python3 "$ROOT/tools/demo_music.py" wav "$WORK/demo.wav"
"$ENC" --layer 2 --bitrate 192 --mode stereo "$WORK/demo.wav" "$WORK/demo.mp2"
python3 "$ROOT/tools/demo_music.py" id3v1 "$WORK/demo.mp2"
mkdir -p "$ROOT/resources"
mv "$WORK/demo.mp2" "$ROOT/resources/demo.mp2"
echo "make_demo.sh: wrote resources/demo.mp2 ($(stat -c %s "$ROOT/resources/demo.mp2") bytes)"
