#!/usr/bin/env python3
"""Plays URLs with `vorlo-decode URL OUT.wav` against an HTTP server of this
script's own on 127.0.0.1 (a free port, started and stopped here; no other
address is ever contacted), natively and with the Windows tool under Wine:

- a stream decodes to exactly the bytes the same file gives from disk
  (plain, chunked, behind a 301 and a 302), and the request carries the
  player's user agent and Accept header;
- a server that hangs up mid-body, or ends a body of unannounced length
  early, ends the track normally with what arrived: the same output as the
  received prefix decoded from disk (the hang-up is reported once, the
  body that simply ends is not);
- a 404 answer fails the open with the server's status text;
- a refused connection shows the Internet error box and the open fails;
- with a tool that offers --save-dir DIR (DownloadOption 1 with
  InternetDLDir DIR), the saved copy is the body byte for byte, a second
  save of the same name goes beside the first ("name (2).ext"), and a URL
  ending in "/" or naming a device (NUL) shows the save-file warning and
  still plays;
- hostile servers (HOSTILE below) end in bounded time with their message:
  a head trickling in a byte at a time meets the open's one deadline,
  endless "100 Continue" heads meet their limit, a Location with a CR is
  refused; "Transfer-Encoding: Chunked", a Location with spaces and a
  relative Location from a URL with a query and no path play as they should.

Usage: http_check.py [--no-wine]. Tools: build/native/bin/vorlo-decode and
build/win32/bin/vorlo-decode.exe, or $VORLO_DECODE_NATIVE and
$VORLO_DECODE_WIN32. Prints "N passed, N failed[, N skipped]" last."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

from checks import NATIVE, VECTORS, WIN32, check, finish, skip
from test_server import OPEN_BOUND, Handler, cut_size, listen

STREAMS = ["l2-fl10.bit", "l3-he_44khz.bit"]  # the second is larger than the pipe

USER_AGENT = "VorMP3 v0.90"
ACCEPT = "audio/x-mpeg, audio/x-mpegurl, */*"
SAVE_WARNING = "ERROR!: URL Save file could NOT be created,\nData will NOT be saved..."

# The hostile servers (test_server.HOSTILE): KIND -> (the URL the tool opens,
# BASE and NAME replaced; the message expected, or None: plays as the file).
HOSTILE = {
    "trickle": ("BASE/trickle/NAME", "The server did not answer in time"),
    "continue": ("BASE/continue/NAME", "The server sent informational answers without end"),
    "chunkedcap": ("BASE/chunkedcap/NAME", None),
    "spaces": ("BASE/spaces/NAME", None),
    "cr": ("BASE/cr/NAME", "The server of BASE/cr/NAME redirects to an address with control characters"),
    "": ("BASE?NAME", None),
}


def refused_port():
    """A port on 127.0.0.1 where nobody listens any more."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


# ------------------------------------------------------------ the tools

class Tool:
    def __init__(self, label, exe, wine):
        self.label, self.exe, self.wine = label, exe, wine

    def path(self, p):
        return "Z:" + p if self.wine else p

    def run(self, *args):
        """(exit status, stderr text) of the tool; paths in args are host paths
        (tuples ("path", p)) or plain text."""
        argv = [self.path(a[1]) if isinstance(a, tuple) else a for a in args]
        env = dict(os.environ)
        if self.wine:
            env["HOME"] = os.environ.get("VORLO_WINE_HOME", env.get("HOME", "/tmp"))
            env.setdefault("WINEDEBUG", "-all")
            cmd = ["wine", self.exe] + argv
        else:
            cmd = [self.exe] + argv
        try:
            p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, timeout=300)
        except subprocess.TimeoutExpired:
            return None, "timed out"
        err = p.stderr.decode("latin-1").replace("\r\n", "\n")
        return p.returncode, err

    def supports(self, option):
        _, err = self.run("--no-such-option")
        return option in err


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def check_tool(tool, base, work):
    t = tool.label
    save_dir = os.path.join(work, t + "-saved")
    os.makedirs(save_dir, exist_ok=True)
    for name in STREAMS:
        src = os.path.join(work, name)
        ref = os.path.join(work, f"{t}-{name}-disk.wav")
        rc, err = tool.run(("path", src), ("path", ref))
        check(f"{t} {name} decodes from disk", rc == 0 and read(ref), f"rc={rc} {err}")
        want = read(ref)

        for kind in ("v", "chunked", "r301", "r302"):
            out = os.path.join(work, f"{t}-{name}-{kind}.wav")
            del Handler.requests[:]
            rc, err = tool.run(f"{base}/{kind}/{name}", ("path", out))
            got = read(out)
            check(f"{t} {name} via /{kind}/ plays to its end", rc == 0, f"rc={rc} {err}")
            check(f"{t} {name} via /{kind}/ equals the file's decode", got is not None and got == want,
                  f"{len(got or b'')} bytes vs {len(want or b'')}")
            reqs = [(p, h.get("User-Agent"), h.get_all("Accept") or []) for p, h in Handler.requests]
            check(f"{t} {name} via /{kind}/ sends the player's request",
                  reqs and all(r[1] == USER_AGENT and ACCEPT in r[2] for r in reqs), repr(reqs))
            if kind.startswith("r"):
                check(f"{t} {name} redirect {kind[1:]} followed",
                      [r[0] for r in reqs] == [f"/{kind}/{name}", f"/v/{name}"], repr(reqs))

        # Cut bodies: the decode of what arrived, from disk.
        prefix = os.path.join(work, f"prefix-{name}")
        with open(prefix, "wb") as f:
            f.write(Handler.files[name][:cut_size(Handler.files[name])])
        pref_wav = os.path.join(work, f"{t}-{name}-prefix.wav")
        rc, err = tool.run(("path", prefix), ("path", pref_wav))
        want_cut = read(pref_wav)
        for kind in ("cut", "early"):
            out = os.path.join(work, f"{t}-{name}-{kind}.wav")
            rc, err = tool.run(f"{base}/{kind}/{name}", ("path", out))
            check(f"{t} {name} /{kind}/ ends the track normally", rc == 0, f"rc={rc} {err}")
            got = read(out)
            check(f"{t} {name} /{kind}/ gives what arrived", got is not None and got == want_cut,
                  f"{len(got or b'')} bytes vs {len(want_cut or b'')}")
            lost = err.count("VOR Internet Error Message...: The connection to the server was lost")
            check(f"{t} {name} /{kind}/ reports a hang-up once, a plain end not at all",
                  lost == (1 if kind == "cut" else 0), err)

    # A 404 answer says why.
    out = os.path.join(work, f"{t}-404.wav")
    rc, err = tool.run(f"{base}/v/no-such.mp3", ("path", out))
    check(f"{t} 404 answer shows the server's status text",
          rc == 1 and "VOR Internet Error Message...: 404 Not Found\n" in err
          and "This does not look like a valid MPEG Audio File" not in err, f"rc={rc} {err}")

    # A refused connection.
    rc, err = tool.run(f"http://127.0.0.1:{refused_port()}/v/{STREAMS[0]}", ("path", out))
    check(f"{t} refused connection fails the open with the Internet error box",
          rc == 1 and "VOR Internet Error Message...: " in err and "Could not open file: http://127.0.0.1:" in err,
          f"rc={rc} {err}")

    # Saving while playing.
    if not tool.supports("--save-dir"):
        skip(f"{t} save file", "the tool has no --save-dir option")
        return
    name = STREAMS[1]
    out = os.path.join(work, f"{t}-save.wav")
    rc, err = tool.run("--save-dir", ("path", save_dir), f"{base}/v/{name}", ("path", out))
    check(f"{t} saving stream plays", rc == 0 and SAVE_WARNING not in err, f"rc={rc} {err}")
    check(f"{t} saved copy is the body byte for byte",
          read(os.path.join(save_dir, name)) == Handler.files[name], "differs")
    rc, err = tool.run("--save-dir", ("path", save_dir), f"{base}/v/{name}", ("path", out))
    check(f"{t} a second save goes beside the first",
          rc == 0 and read(os.path.join(save_dir, name)) == Handler.files[name]
          and read(os.path.join(save_dir, name.replace(".bit", " (2).bit"))) == Handler.files[name], err)
    for url in (f"{base}/dir/{name}/", f"{base}/v/NUL"):
        Handler.files["NUL"] = Handler.files[name]
        rc, err = tool.run("--save-dir", ("path", save_dir), url, ("path", out))
        check(f"{t} save name of {url} warns and still plays", rc == 0 and SAVE_WARNING in err, f"rc={rc} {err}")


def check_hostile(tool, base, work):
    """Each hostile server in turn (the slow ones beside the others); each
    ends within the open's bound with its message, or plays as the file."""
    name = STREAMS[0]
    ref = os.path.join(work, f"{tool.label}-hostile-ref.wav")
    tool.run(("path", os.path.join(work, name)), ("path", ref))

    def one(kind):
        url = HOSTILE[kind][0].replace("BASE", base).replace("NAME", name)
        want = HOSTILE[kind][1] and HOSTILE[kind][1].replace("BASE", base).replace("NAME", name)
        out = os.path.join(work, f"{tool.label}-hostile-{kind or 'query'}.wav")
        start = time.time()
        rc, err = tool.run(url, ("path", out))
        took = time.time() - start
        what = f"{tool.label} hostile /{kind}/"
        check(f"{what} ends within the open's bound", rc is not None and took < OPEN_BOUND, f"{took:.0f} s")
        if want:
            check(f"{what} fails with its message",
                  rc == 1 and f"VOR Internet Error Message...: {want}\n" in err, f"rc={rc} {err}")
        else:
            check(f"{what} plays as the file", rc == 0 and read(out) == read(ref), f"rc={rc} {err}")

    slow = threading.Thread(target=one, args=("trickle",))
    slow.start()
    for kind in HOSTILE:
        if kind != "trickle":
            one(kind)
    slow.join()


def serve_and_check(check_tool, work, handler=Handler):
    """Serves handler (the test server's) on a free port of 127.0.0.1 and runs
    check_tool(tool, base URL, work) for the native tool and, unless
    --no-wine, the Windows one; removes work at the end. Returns finish()."""
    server, base = listen(handler=handler)
    try:
        tools = []
        if os.path.exists(NATIVE):
            tools.append(Tool("native", NATIVE, False))
        else:
            check("native tool built", False, NATIVE)
        if "--no-wine" not in sys.argv:
            if shutil.which("wine") and os.path.exists(WIN32):
                tools.append(Tool("wine", WIN32, True))
            else:
                check("Windows tool built and wine present", False, WIN32)
        for tool in tools:
            check_tool(tool, base, work)
    finally:
        server.shutdown()
        server.server_close()
        shutil.rmtree(work, ignore_errors=True)
    return finish()


def main():
    work = tempfile.mkdtemp(prefix="vorlo-http-")
    for name in STREAMS:
        shutil.copy(os.path.join(VECTORS, name), work)
        Handler.files[name] = read(os.path.join(work, name))
    return serve_and_check(lambda *a: (check_tool(*a), check_hostile(*a)), work)


if __name__ == "__main__":
    sys.exit(main())
