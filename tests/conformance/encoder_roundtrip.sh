#!/usr/bin/env bash
# Round trip of vorlo-encode through ffmpeg: encodes generated sine sweeps at
# several layers, versions, modes and bitrates, then checks the stream with
# ffprobe (codec, rate, channels, bitrate), decodes it with ffmpeg (no errors,
# CRC checked where present), and compares the decoded PCM with the input:
# decoded length within one frame, exact CBR file size, SNR above a bound.
# Bad input must be refused with a clear message and must leave the output
# untouched.
#
#   tests/conformance/encoder_roundtrip.sh [BUILD_DIR]     (default build/native)
#
# Native only. Last line: "N passed, N failed"; exit status 1 on any failure.
set -u

. "$(dirname "$0")/check_env.sh" "$@"
ENC=$BUILD/bin/vorlo-encode
need_tools "$ENC" ffmpeg ffprobe python3 -- "build vorlo-encode first: ninja -C $BUILD vorlo-encode"

# --- helpers in Python -------------------------------------------------------
cat >"$WORK/util.py" <<'EOF'
import array, math, os, struct, sys, wave

def sweep(path, rate, channels, seconds, top, pan, raw=False):
    """Log sine sweep from 60 Hz to top*rate at half scale, after 50 ms of
    silence and with 20 ms fades. Channel 1 is the sweep a little detuned, or
    channel 0 times pan when pan is given (a panned source)."""
    n = int(rate * seconds)
    lead, fade = int(0.05 * rate), int(0.02 * rate)
    f0, f1 = 60.0, top * rate
    k = math.log(f1 / f0)
    body = n - lead
    out = array.array('h')
    for i in range(n):
        v = [0.0, 0.0]
        if i >= lead:
            t = (i - lead) / rate
            ph = 2 * math.pi * f0 * (body / rate) / k * (math.exp(t / (body / rate) * k) - 1)
            g = 0.5
            j = i - lead
            if j < fade: g *= 0.5 - 0.5 * math.cos(math.pi * j / fade)
            if n - 1 - i < fade: g *= 0.5 - 0.5 * math.cos(math.pi * (n - 1 - i) / fade)
            v[0] = g * math.sin(ph)
            v[1] = v[0] * pan if pan is not None else g * math.sin(1.003 * ph + 0.5)
        for c in range(channels):
            out.append(int(round(v[c] * 32767)))
    if raw:
        with open(path, 'wb') as f:
            f.write(out.tobytes())
    else:
        w = wave.open(path, 'wb')
        w.setnchannels(channels); w.setsampwidth(2); w.setframerate(rate)
        w.writeframes(out.tobytes()); w.close()

def read_input(path, channels):
    if path.endswith('.wav'):
        w = wave.open(path)
        return array.array('h', w.readframes(w.getnframes())), w.getnchannels()
    return array.array('h', open(path, 'rb').read()), channels

def compare(inp, in_channels, dec, dec_channels, frame_samples, stream, kbps, rate, bound):
    """Prints the problems found, one a line; nothing when all is well."""
    a, ch = read_input(inp, in_channels)
    b = array.array('h', open(dec, 'rb').read())
    n, m = len(a) // ch, len(b) // dec_channels
    if not 0 <= m - n < frame_samples:
        print(f"decoded {m} samples for {n} input samples (frame {frame_samples})")
    if m % frame_samples:
        print(f"decoded length {m} is not a whole number of frames")
    frames = m // frame_samples
    # Slots per frame: 144000 * kbps / rate bytes (Layer II) or 12000 * kbps /
    # rate words of 4 bytes (Layer I); the padded frames make up the fraction.
    whole, rem = divmod((144000 if frame_samples == 1152 else 12000) * kbps, rate)
    slot = 1 if frame_samples == 1152 else 4
    expect = slot * (frames * whole + frames * rem // rate)
    size = os.path.getsize(stream)
    if size != expect:
        print(f"stream is {size} bytes, CBR with padding gives {expect}")
    if dec_channels < ch:
        ref = [(a[2 * i] + a[2 * i + 1]) / 2 for i in range(n)]
    else:
        ref = a
    sig = err = 0.0
    for i in range(min(len(ref), len(b))):
        d = ref[i] - b[i]
        sig += ref[i] * ref[i]
        err += d * d
    snr = 10 * math.log10(sig / err) if err else 200.0
    if snr < bound:
        print(f"SNR {snr:.1f} dB below the bound {bound} dB")
    sys.stderr.write(f"SNR {snr:.1f} dB\n")

def wav_with(path, rate, channels, bits, fmt=1, frames=64, declared=None):
    data = bytes(frames * channels * bits // 8)
    size = len(data) if declared is None else declared
    fmtck = struct.pack('<HHIIHH', fmt, channels, rate, rate * channels * bits // 8, channels * bits // 8, bits)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 4 + 8 + len(fmtck) + 8 + len(data)) + b'WAVE')
        f.write(b'fmt ' + struct.pack('<I', len(fmtck)) + fmtck)
        f.write(b'data' + struct.pack('<I', size) + data)

if __name__ == '__main__':
    cmd = sys.argv[1]
    if cmd == 'sweep':
        path, rate, channels, seconds, top = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), float(sys.argv[6])
        pan = None if sys.argv[7] == '-' else float(sys.argv[7])
        sweep(path, rate, channels, seconds, top, pan, raw=path.endswith('.raw'))
    elif cmd == 'compare':
        compare(sys.argv[2], int(sys.argv[3]), sys.argv[4], int(sys.argv[5]), int(sys.argv[6]), sys.argv[7],
                int(sys.argv[8]), int(sys.argv[9]), float(sys.argv[10]))
    elif cmd == 'wav':
        declared = None if sys.argv[7] == '-' else int(sys.argv[7])
        wav_with(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]), declared=declared)
EOF
PY="python3 $WORK/util.py"

# roundtrip NAME RATE IN_CHANNELS TOP PAN CODEC OUT_CHANNELS KBPS SNR_BOUND ENCODER_ARGS...
# The input is raw PCM when ENCODER_ARGS hold --rate.
roundtrip() {
    local name=$1 rate=$2 inch=$3 top=$4 pan=$5 codec=$6 outch=$7 kbps=$8 bound=$9
    shift 9
    local ext=wav frame=1152 crc=""
    [[ " $* " == *" --rate "* ]] && ext=raw
    [[ $codec == mp1 ]] && frame=384
    [[ " $* " == *" --crc "* ]] && crc="-err_detect crccheck+explode"
    local in=$WORK/$name.$ext out=$WORK/$name.mp$([[ $codec == mp1 ]] && echo 1 || echo 2)
    local problems=""
    $PY sweep "$in" "$rate" "$inch" 3 "$top" "$pan"
    if ! "$ENC" -q "$@" "$in" "$out" 2>"$WORK/enc.err"; then
        fail "$name" "encoder failed: $(cat "$WORK/enc.err")"
        return
    fi
    local probe
    probe=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,bit_rate \
        -of default=noprint_wrappers=1 "$out")
    for want in "codec_name=$codec" "sample_rate=$rate" "channels=$outch" "bit_rate=${kbps}000"; do
        grep -qx "$want" <<<"$probe" || problems+="ffprobe: expected $want, got: $(tr '\n' ' ' <<<"$probe"); "
    done
    # shellcheck disable=SC2086
    if ! ffmpeg -v error $crc -i "$out" -f s16le -acodec pcm_s16le - >"$WORK/$name.dec" 2>"$WORK/dec.err" ||
        [[ -s $WORK/dec.err ]]; then
        problems+="ffmpeg: $(head -3 "$WORK/dec.err" | tr '\n' ' '); "
    fi
    local cmp
    cmp=$($PY compare "$in" "$inch" "$WORK/$name.dec" "$outch" "$frame" "$out" "$kbps" "$rate" "$bound" \
        2>"$WORK/snr.txt")
    [[ -n $cmp ]] && problems+="$(tr '\n' ';' <<<"$cmp") "
    if [[ -z $problems ]]; then
        pass "$name ($(cat "$WORK/snr.txt"))"
    else
        fail "$name" "$problems"
    fi
}

#         name                      rate  ch top   pan codec och kbps bound  encoder arguments
roundtrip l2-44k1-stereo-192        44100 2  0.30  -   mp2   2   192  60     -b 192
roundtrip l2-48k-mono-64-crc        48000 1  0.30  -   mp2   1   64   55     -b 64 --crc
roundtrip l2-22k05-lsf-stereo-64    22050 2  0.15  -   mp2   2   64   40     -b 64
roundtrip l2-32k-dual-192           32000 2  0.30  -   mp2   2   192  60     -m dual -b 192
roundtrip l2-44k1-joint-128-crc     44100 2  0.30  0.3 mp2   2   128  40     -m joint -b 128 --crc
roundtrip l2-48k-downmix-mono-96    48000 2  0.30  0.4 mp2   1   96   60     -m mono -b 96
roundtrip l2-16k-lsf-mono-32        16000 1  0.30  -   mp2   1   32   20     -b 32
roundtrip l2-24k-lsf-raw-stereo-96  24000 2  0.15  -   mp2   2   96   40     --rate 24000 --channels 2 -b 96
roundtrip l1-44k1-stereo-384-crc    44100 2  0.30  -   mp1   2   384  60     -l 1 -b 384 --crc
roundtrip l1-32k-joint-256          32000 2  0.30  0.3 mp1   2   256  40     -l 1 -m joint -b 256
roundtrip l1-22k05-lsf-mono-64      22050 1  0.30  -   mp1   1   64   60     -l 1 -b 64

# Same input, same bytes.
$PY sweep "$WORK/det.wav" 44100 2 1 0.3 -
if "$ENC" -q "$WORK/det.wav" "$WORK/det1.mp2" && "$ENC" -q "$WORK/det.wav" "$WORK/det2.mp2" &&
    cmp -s "$WORK/det1.mp2" "$WORK/det2.mp2"; then
    pass "deterministic output"
else
    fail "deterministic output" "two encodings of one input differ"
fi

# Standard input to standard output gives the same stream as files do.
if "$ENC" -q - - <"$WORK/det.wav" >"$WORK/det3.mp2" && cmp -s "$WORK/det1.mp2" "$WORK/det3.mp2"; then
    pass "pipes"
else
    fail "pipes" "encoding through stdin/stdout differs from the file encoding"
fi

# refused NAME EXPECTED_MESSAGE_PART INPUT ENCODER_ARGS...: exit status 1 (or
# 2 for usage errors), the message on stderr, and an existing output untouched.
refused() {
    local name=$1 message=$2 in=$3
    shift 3
    local out=$WORK/keep.mp2
    echo "keep me" >"$out"
    "$ENC" "$@" "$in" "$out" 2>"$WORK/err.txt"
    local status=$?
    if [[ $status -ne 1 && $status -ne 2 ]]; then
        fail "$name" "exit status $status"
    elif ! grep -qF -- "$message" "$WORK/err.txt"; then
        fail "$name" "expected \"$message\" on stderr, got: $(cat "$WORK/err.txt")"
    elif [[ $(cat "$out") != "keep me" ]] || compgen -G "$WORK/keep.mp2.*" >/dev/null; then
        fail "$name" "the output file was touched"
    else
        pass "$name"
    fi
}

echo "just some text, no RIFF header" >"$WORK/text.wav"
$PY wav "$WORK/pcm8.wav" 44100 2 8 1 -
$PY wav "$WORK/float.wav" 44100 2 32 3 -
$PY wav "$WORK/rate11k.wav" 11025 2 16 1 -
$PY wav "$WORK/quad.wav" 44100 4 16 1 -
$PY wav "$WORK/empty.wav" 44100 2 16 1 0
refused "not a WAV file"           "not a WAV file"                    "$WORK/text.wav"
refused "8-bit WAV"                "only 16-bit PCM"                   "$WORK/pcm8.wav"
refused "float WAV"                "only 16-bit PCM"                   "$WORK/float.wav"
refused "four channels"            "only mono and stereo"              "$WORK/quad.wav"
refused "11025 Hz"                 "not an MPEG-1 or MPEG-2 sample rate" "$WORK/rate11k.wav"
refused "empty data chunk"         "holds no samples"                  "$WORK/empty.wav"
refused "missing input"            "cannot open"                       "$WORK/absent.wav"
refused "bitrate not in table"     "not a bitrate of this layer"       "$WORK/det.wav" -b 100
refused "bitrate not for stereo"   "not allowed for MPEG-1 Layer II"   "$WORK/det.wav" -b 48
refused "bitrate not for mono"     "not allowed for MPEG-1 Layer II"   "$WORK/det.wav" -m mono -b 256
refused "LSF bitrate too high"     "not a bitrate of this layer"       "$WORK/l2-22k05-lsf-stereo-64.wav" -b 192
refused "dual from mono input"     "needs a two-channel input"         "$WORK/l2-48k-mono-64-crc.wav" -m dual
refused "unknown mode"             "--mode must be"                    "$WORK/det.wav" -m surround
refused "layer 3"                  "--layer must be 1 or 2"            "$WORK/det.wav" -l 3
refused "channels without rate"    "give --rate too"                   "$WORK/det.wav" --channels 2

# A data chunk that claims more than the file holds: what is there is
# encoded, with a warning.
$PY wav "$WORK/short.wav" 44100 2 16 1 1000000
if "$ENC" -q "$WORK/short.wav" "$WORK/short.mp2" 2>"$WORK/err.txt" && grep -q "warning" "$WORK/err.txt" &&
    [[ $(stat -c %s "$WORK/short.mp2") -gt 0 ]]; then
    pass "truncated data chunk"
else
    fail "truncated data chunk" "$(cat "$WORK/err.txt")"
fi

finish
