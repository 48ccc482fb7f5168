#!/usr/bin/env python3
"""Internet radio through `vorlo-decode`, natively and with the Windows tool
under Wine, against a station server of this script's own on 127.0.0.1 (a
free port; no other address is ever contacted):

- a station answering "ICY 200 OK" and one answering with Icecast's HTTP
  head, with metadata every 8192 and every 16000 bytes (a new title in
  most blocks, blocks of length 0, titles in UTF-8 and in Latin-1), decode
  to exactly the decode of the same audio from disk, the request asks for
  the metadata, and each new title is printed once, in UTF-8;
- --info prints the station's name and first title, --list one entry with
  the station's name, or its first title when it has no name;
- a chain of five redirects plays, six or a loop fail with a message;
- a 500 answer shows the server's status text;
- a station that drops the connection: one message, and the list goes on
  to its next entry;
- station lists by URL (by extension and by Content-Type) list their
  entries with their titles, and a list by Content-Type plays its first
  stream.

Usage: icy_check.py [--no-wine]. Prints "N passed, N failed[, N skipped]" last."""
import os
import shutil
import sys
import tempfile

from checks import VECTORS, check
from http_check import read, serve_and_check
from test_server import STATION, TITLES, Handler, cut_size, interleave, title_of

STREAM = "l3-he_44khz.bit"
ICY_OPT = "Icy-MetaData"


def shown_titles(metaint, audio):
    """The titles a player prints: each change once, in UTF-8."""
    _, blocks = interleave(audio, metaint, title_of)
    out = []
    for k in range(blocks):
        t = TITLES[k % len(TITLES)]
        if t is None:
            continue
        try:
            s = t.decode("utf-8")
        except UnicodeDecodeError:
            s = t.decode("latin-1")
        if not out or out[-1] != s:
            out.append(s)
    return out


def decode_lines(err):
    return [l[len("Stream title: "):] for l in err.split("\n") if l.startswith("Stream title: ")]


def run(tool, *args):
    """(exit status, stdout text, stderr text): the tool's output read as UTF-8."""
    import subprocess
    argv = [tool.path(a[1]) if isinstance(a, tuple) else a for a in args]
    env = dict(os.environ)
    cmd = [tool.exe] + argv
    if tool.wine:
        env["HOME"] = os.environ.get("VORLO_WINE_HOME", env.get("HOME", "/tmp"))
        env.setdefault("WINEDEBUG", "-all")
        cmd = ["wine"] + cmd
    try:
        p = subprocess.run(cmd, capture_output=True, env=env, timeout=300)
    except subprocess.TimeoutExpired:
        return None, "", "timed out"
    def text(b):
        return b.decode("utf-8", "replace").replace("\r\n", "\n")
    return p.returncode, text(p.stdout), text(p.stderr)


def check_tool(tool, base, work):
    t = tool.label
    src = os.path.join(work, STREAM)
    ref = os.path.join(work, f"{t}-disk.wav")
    rc, err = tool.run(("path", src), ("path", ref))
    want = read(ref)
    check(f"{t} {STREAM} decodes from disk", rc == 0 and want, f"rc={rc} {err}")

    for path, metaint in (("/icy8192", 8192), ("/ice16000", 16000)):
        out = os.path.join(work, f"{t}{path.replace('/', '-')}.wav")
        del Handler.requests[:]
        rc, _, err = run(tool, base + path, ("path", out))
        got = read(out)
        check(f"{t} {path} plays", rc == 0, f"rc={rc} {err}")
        check(f"{t} {path} equals the decode of the stream without metadata",
              got is not None and got == want, f"{len(got or b'')} bytes vs {len(want or b'')}")
        asked = [(p, h.get(ICY_OPT)) for p, h in Handler.requests]
        check(f"{t} {path} asks for the metadata", asked == [(path, "1")], repr(asked))
        titles = decode_lines(err)
        check(f"{t} {path} prints each new title once, in UTF-8", titles == shown_titles(metaint, Handler.audio),
              repr(titles))
        check(f"{t} {path} says once that the station's stream ended",
              err.count("VOR Internet Error Message...: The connection to the server was lost") == 1, err)

    rc, out, err = run(tool, "--info", base + "/icy8192")
    check(f"{t} --info names the station and its first title",
          rc == 0 and f"stream_name={STATION}\n" in out and "stream_title=Artist - First\n" in out
          and "layer=3\n" in out, f"rc={rc} {out} {err}")
    rc, out, err = run(tool, "--info", base + "/forged")
    check(f"{t} --info of a station whose texts hold control characters: one line each, blanked",
          rc == 0 and "stream_name=Evil  Name\n" in out and "stream_title=x seconds=999  id3v2_title=forged \n" in out
          and "\nseconds=999" not in out and "\nid3v2_title=" not in out, f"rc={rc} {out!r} {err}")
    for path, title in (("/icy8192", STATION), ("/ice-noname", "Artist - First")):
        rc, out, err = run(tool, "--list", base + path)
        check(f"{t} --list {path}: one entry titled {title!r}", rc == 0 and out == f"{base}{path}\t?\t{title}\t\n",
              f"rc={rc} {out!r} {err}")

    # Redirects.
    out = os.path.join(work, f"{t}-hops.wav")
    rc, _, err = run(tool, base + "/hop/4", ("path", out))
    check(f"{t} five redirects are followed", rc == 0 and read(out) == want, f"rc={rc} {err}")
    for path, text in (("/hop/5", f"Too many redirects from {base}/hop/5 (more than 5)"),
                       ("/loop-a", f"The redirects of {base}/loop-a go round in a loop (back to {base}/loop-a)"),
                       ("/fails", "500 Internal Server Error")):
        rc, _, err = run(tool, base + path, ("path", out))
        check(f"{t} {path} fails with a clear message",
              rc == 1 and f"VOR Internet Error Message...: {text}\n" in err, f"rc={rc} {err}")

    # A dropped station, then the next entry of the list.
    prefix = os.path.join(work, "drop-prefix.mp3")
    with open(prefix, "wb") as f:
        stream = interleave(Handler.audio, 8192, title_of)[0][:cut_size(Handler.audio)]
        # The audio that arrived: the interleaved prefix without its blocks.
        demuxed = bytearray()
        at = 0
        while at < len(stream):
            demuxed += stream[at:at + 8192]
            at += 8192
            if at < len(stream):
                at += 1 + stream[at] * 16
        f.write(bytes(demuxed))
    lst = os.path.join(work, f"{t}-drop.m3u")
    with open(lst, "w") as f:
        f.write(f"{base}/drop\n{tool.path(src)}\n")
    both = os.path.join(work, f"{t}-drop-both.m3u")
    with open(both, "w") as f:
        f.write(f"{tool.path(prefix)}\n{tool.path(src)}\n")
    ref_both = os.path.join(work, f"{t}-drop-ref.wav")
    tool.run(("path", both), ("path", ref_both))
    out = os.path.join(work, f"{t}-drop.wav")
    rc, _, err = run(tool, ("path", lst), ("path", out))
    check(f"{t} a dropped station says so once and the list goes on",
          rc == 0 and err.count("The connection to the server was lost") == 1 and read(out) == read(ref_both),
          f"rc={rc} {len(read(out) or b'')} vs {len(read(ref_both) or b'')} {err}")

    # Station lists by URL.
    rc, out, err = run(tool, "--list", base + "/stations.pls")
    want_list = f"{base}/icy8192\t?\tFirst station\t\n{base}/ice16000\t?\tZweite Stati\u00f6n\t\n"
    check(f"{t} --list of a PLS by URL gives its streams with their titles", rc == 0 and out == want_list,
          f"rc={rc} {out!r} {err}")
    rc, out, err = run(tool, "--list", base + "/stations")
    check(f"{t} --list of an M3U by Content-Type", rc == 0 and out == f"{base}/ice16000\t?\tListed by type\t\n",
          f"rc={rc} {out!r} {err}")
    out = os.path.join(work, f"{t}-bytype.wav")
    rc, _, err = run(tool, base + "/stations", ("path", out))
    check(f"{t} a list by Content-Type plays its first stream", rc == 0 and read(out) == want, f"rc={rc} {err}")


def main():
    work = tempfile.mkdtemp(prefix="vorlo-icy-")
    shutil.copy(os.path.join(VECTORS, STREAM), work)
    Handler.audio = read(os.path.join(work, STREAM))
    return serve_and_check(check_tool, work)


if __name__ == "__main__":
    sys.exit(main())
