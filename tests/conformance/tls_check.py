#!/usr/bin/env python3
"""https through `vorlo-decode`, natively (libcurl) and with the Windows tool
under Wine (Schannel), against icy_check.py's station server behind TLS
listeners on 127.0.0.1 (http_check.listen), with a certificate authority
and server certificates made here by `openssl` (tls_certs.py):

- the test authority is trusted only by the tools this check runs: natively
  through VORLO_CA_FILE, under Wine in a prefix of the check's own
  (build/wine-tls/prefix, from the template) whose root store it is put in;
- a station with metadata over https decodes to exactly the audio from
  disk and prints each new title once, and its end is reported once;
- a redirect from http to https and one from https to http play, and a
  station list by https lists its entries;
- a certificate that is self-signed, one signed by an authority nobody
  trusts, one that has expired and one for another name each fail the
  open with their message and write no audio.

Usage: tls_check.py [--no-wine]. Prints "N passed, N failed" last."""
import os
import shutil
import subprocess
import sys
import tempfile

import icy_check
from checks import ROOT, VECTORS, check, finish
from http_check import listen, read, tools_to_check
from tls_certs import authority, server_cert, server_context, trust_in_wine_prefix

HOST = "localhost"
LOST = "The connection to the server was lost"
# Server certificates: name -> (the signer: the test authority, one nobody
# trusts, or the certificate itself; the days valid; the name in it; the
# message a tool gives for it, None: it plays).
CERTS = {
    "good": ("ca", 30, HOST, None),
    "self": ("self", 30, HOST, "The server's certificate is not trusted"),
    "stranger": ("stranger", 30, HOST, "The server's certificate is not trusted"),
    "expired": ("ca", -1, HOST, "The server's certificate has expired"),
    "wrongname": ("ca", 30, "wrong.example", f"The server's certificate does not match the name {HOST}"),
}


class Handler(icy_check.Handler):
    """The station, and /to-tls/PATH and /to-plain/PATH: redirects to PATH
    on the good TLS listener, or on the plain one."""
    bases = {}

    def do_GET(self):
        kind, _, rest = self.path[1:].partition("/")
        if kind in Handler.bases:
            return self.raw(f"HTTP/1.1 302 Found\nLocation: {Handler.bases[kind]}/{rest}\nContent-Length: 0\n"
                            "Connection: close\n")
        super().do_GET()


def make_certs(work, keep):
    """The authority (kept in keep, so that the prefix that trusts it stays
    usable) and a listener's TLS context for each of CERTS: (ca, {name: context})."""
    signers = {"ca": authority(os.path.join(keep, "ca.pem"), os.path.join(keep, "ca.key"), "VORLO Test CA"),
               "stranger": authority(os.path.join(work, "stranger-ca.pem"), os.path.join(work, "stranger-ca.key"),
                                     "VORLO Stranger"), "self": None}
    return signers["ca"][0], {name: server_context(*server_cert(work, name, signers[signer], days, cn, n + 2))
                              for n, (name, (signer, days, cn, _)) in enumerate(CERTS.items())}


def wine_prefix_trusting(ca, keep):
    """A Wine prefix of this check's own, made from the template, whose root store has the authority."""
    prefix = os.path.join(keep, "prefix")
    subprocess.run(["bash", "-c", f". '{ROOT}/scripts/wine_prefix.sh' && wine_prefix_from_template"],
                   env=dict(os.environ, WINEPREFIX=prefix), check=True, timeout=600, capture_output=True)
    trust_in_wine_prefix(ca, prefix)
    return prefix


def check_tool(tool, bases, work):
    t = tool.label
    src = os.path.join(work, icy_check.STREAM)
    ref = os.path.join(work, f"{t}-disk.wav")
    tool.run(("path", src), ("path", ref))
    want = read(ref)
    good = bases["good"]
    plays = [(f"{good}/icy8192", icy_check.shown_titles(8192, icy_check.Handler.audio)),
             (f"{bases['plain']}/to-tls/icy8192", None), (f"{good}/to-plain/ice16000", None)]
    for n, (url, titles) in enumerate(plays):
        out = os.path.join(work, f"{t}-{n}.wav")
        rc, _, err = icy_check.run(tool, url, ("path", out))
        check(f"{t} {url} plays the audio of the stream without metadata", rc == 0 and read(out) == want,
              f"rc={rc} {len(read(out) or b'')} vs {len(want or b'')} {err}")
        check(f"{t} {url} says once that the stream ended", err.count(LOST) == 1, err)
        if titles:
            got = icy_check.decode_lines(err)
            check(f"{t} {url} prints each new title once", got == titles, repr(got))
    rc, out, err = icy_check.run(tool, "--list", f"{good}/stations.pls")
    want_list = f"{good}/icy8192\t?\tFirst station\t\n{bases['plain']}/ice16000\t?\tZweite Stati\u00f6n\t\n"
    check(f"{t} --list of a station list by https", rc == 0 and out == want_list, f"rc={rc} {out!r} {err}")
    for name, (_, _, _, text) in CERTS.items():
        if text:
            out = os.path.join(work, f"{t}-{name}.wav")
            rc, _, err = icy_check.run(tool, f"{bases[name]}/icy8192", ("path", out))
            check(f"{t} a {name} certificate fails the open with its message and no audio",
                  rc == 1 and f"VOR Internet Error Message...: {text}\n" in err and not read(out),
                  f"rc={rc} {err}")


def main():
    work = tempfile.mkdtemp(prefix="vorlo-tls-")
    keep = os.path.join(ROOT, "build", "wine-tls")
    os.makedirs(keep, exist_ok=True)
    shutil.copy(os.path.join(VECTORS, icy_check.STREAM), work)
    icy_check.Handler.audio = read(os.path.join(work, icy_check.STREAM))
    ca, contexts = make_certs(work, keep)
    servers = {}
    for name, ctx in [("plain", None)] + list(contexts.items()):
        servers[name] = listen(Handler, ctx, HOST if ctx else "127.0.0.1")
    bases = {name: base for name, (_, base) in servers.items()}
    icy_check.Handler.base = bases["plain"]
    Handler.bases = {"to-tls": bases["good"], "to-plain": bases["plain"]}
    os.environ["VORLO_CA_FILE"] = ca
    try:
        for tool in tools_to_check():
            if tool.wine:
                os.environ["WINEPREFIX"] = wine_prefix_trusting(ca, keep)
            check_tool(tool, bases, work)
    finally:
        for server, _ in servers.values():
            server.shutdown()
            server.server_close()
        shutil.rmtree(work, ignore_errors=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
