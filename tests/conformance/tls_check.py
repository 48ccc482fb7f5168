#!/usr/bin/env python3
"""https through `vorlo-decode`, natively (libcurl) and under Wine (Schannel),
against icy_check.py's station behind TLS listeners on 127.0.0.1 with
certificates made here by `openssl`, whose authority only the tools run here
trust: natively by VORLO_CA_FILE, under Wine in the root store of the
check's own prefix (build/wine-tls/prefix). A station with metadata, a
redirect from http to https and back and a station list by https play as
over http; a certificate that is self-signed, of an authority nobody trusts,
expired or for another name fails the open with its message and no audio,
and so does, natively, a libcurl that cannot be loaded.

Usage: tls_check.py [--no-wine]. Prints "N passed, N failed" last."""
import hashlib
import os
import shutil
import ssl
import struct
import subprocess
import sys
import tempfile

import icy_check
from checks import ROOT, VECTORS, check, finish
from http_check import read, serve_and_check
from test_server import listen

HOST = "localhost"
EC = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
UNTRUSTED = "The server's certificate is not trusted"
LOST = "The connection to the server was lost"
# Server certificates: name -> (signer: the test authority, one that nobody
# trusts, or None, itself; days valid; the name in it; the message, or None:
# it plays).
CERTS = {"good": ("ca", 30, HOST, None), "self": (None, 30, HOST, UNTRUSTED),
         "stranger": ("stranger", 30, HOST, UNTRUSTED),
         "expired": ("ca", -1, HOST, "The server's certificate has expired"),
         "wrongname": ("ca", 30, "wrong.example", f"The server's certificate does not match the name {HOST}")}


class Handler(icy_check.Handler):
    """The station; /to-tls/PATH and /to-plain/PATH redirect to PATH there."""
    bases = {}

    def do_GET(self):
        kind, _, rest = self.path[1:].partition("/")
        if kind not in Handler.bases:
            return super().do_GET()
        self.raw(f"HTTP/1.1 302 Found\nLocation: {Handler.bases[kind]}/{rest}\nContent-Length: 0\n")


def openssl(*args, stdin=None):
    return subprocess.run(["openssl"] + list(args), input=stdin, check=True, capture_output=True, timeout=60).stdout


def cert(folder, name, signer=None, days=30, host=HOST):
    """folder/name.pem and .key: a certificate for host, valid for days from
    now (less than 0: expired), signed by signer, a (pem, key), or itself."""
    pem, key = (os.path.join(folder, f"{name}.{x}") for x in ("pem", "key"))
    csr = openssl("req", "-new", *EC, "-keyout", key, "-subj", f"/CN={host}", "-addext", f"subjectAltName=DNS:{host}")
    sign = ["-CA", signer[0], "-CAkey", signer[1]] if signer else ["-key", key]
    openssl("x509", "-req", *sign, "-days", str(days), "-copy_extensions", "copy", "-out", pem, stdin=csr)
    return pem, key


def authority(folder, name):
    """folder/name.pem and .key, a certificate authority (kept when there)."""
    pem, key = (os.path.join(folder, f"{name}.{x}") for x in ("pem", "key"))
    if not os.path.exists(pem):
        openssl("req", "-x509", *EC, "-keyout", key, "-out", pem, "-days", "3650", "-subj", f"/CN=VORLO {name}")
    return pem, key


def trust(ca, prefix):
    """The authority into the prefix's machine root store, in the registry
    form of a store: a key named by its SHA-1 holding it as property 32."""
    der = ssl.PEM_cert_to_DER_cert(open(ca).read())
    blob = struct.pack("<III", 32, 1, len(der)) + der
    with open(ca + ".reg", "w") as f:
        f.write(r"REGEDIT4" "\n\n" r"[HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates"
                f"\\{hashlib.sha1(der).hexdigest().upper()}]\n\"Blob\"=hex:{blob.hex(',')}\n")
    subprocess.run(["wine", "reg", "import", "Z:" + ca + ".reg"], env=dict(os.environ, WINEPREFIX=prefix),
                   timeout=120, capture_output=True)


def check_tool(tool, bases, work):
    t, good = tool.label, bases["good"]
    if tool.wine:
        subprocess.run(["bash", "-c", f". '{ROOT}/scripts/wine_prefix.sh' && wine_prefix_from_template"],
                       check=True, timeout=600, capture_output=True)
        trust(os.environ["VORLO_CA_FILE"], os.environ["WINEPREFIX"])
    tool.run(("path", os.path.join(work, icy_check.STREAM)), ("path", os.path.join(work, "disk.wav")))
    want = read(os.path.join(work, "disk.wav"))
    titles = icy_check.shown_titles(8192, icy_check.Handler.audio)
    for url in (f"{good}/icy8192", f"{bases['plain']}/to-tls/icy8192", f"{good}/to-plain/icy8192"):
        rc, _, err = icy_check.run(tool, url, ("path", os.path.join(work, f"{t}.wav")))
        check(f"{t} {url} plays the stream's audio, prints each title once and its end once",
              rc == 0 and read(os.path.join(work, f"{t}.wav")) == want and err.count(LOST) == 1
              and icy_check.decode_lines(err) == titles, f"rc={rc} {err}")
    rc, out, err = icy_check.run(tool, "--list", f"{good}/stations.pls")
    listed = f"{good}/icy8192\t?\tFirst station\t\n{bases['plain']}/ice16000\t?\tZweite Stati\u00f6n\t\n"
    check(f"{t} --list of a station list by https", rc == 0 and out == listed, f"rc={rc} {out!r} {err}")
    for name, text in ((name, c[3]) for name, c in CERTS.items() if c[3]):
        out = os.path.join(work, f"{t}-{name}.wav")
        rc, _, err = icy_check.run(tool, f"{bases[name]}/icy8192", ("path", out))
        check(f"{t} a {name} certificate fails the open with its message and no audio",
              rc == 1 and f"VOR Internet Error Message...: {text}\n" in err and not read(out), err)
    if not tool.wine:
        # libcurl is loaded by the first https open: one that cannot be
        # loaded (an empty file found first) fails that open with its message.
        broken = os.path.join(work, "no-curl")
        os.makedirs(broken, exist_ok=True)
        open(os.path.join(broken, "libcurl.so.4"), "wb").close()
        saved = os.environ.get("LD_LIBRARY_PATH")
        os.environ["LD_LIBRARY_PATH"] = broken + (":" + saved if saved else "")
        out = os.path.join(work, f"{t}-no-curl.wav")
        try:
            rc, _, err = icy_check.run(tool, f"{good}/icy8192", ("path", out))
        finally:
            os.environ.pop("LD_LIBRARY_PATH") if saved is None else os.environ.update(LD_LIBRARY_PATH=saved)
        check(f"{t} https without a loadable libcurl fails the open with its message and no audio",
              rc == 1 and "VOR Internet Error Message...: The secure connection library libcurl.so.4 could not be "
              "loaded (" in err and not read(out), err)


def main():
    work, keep = tempfile.mkdtemp(prefix="vorlo-tls-"), os.path.join(ROOT, "build", "wine-tls")
    os.makedirs(keep, exist_ok=True)
    shutil.copy(os.path.join(VECTORS, icy_check.STREAM), work)
    icy_check.Handler.audio = read(os.path.join(work, icy_check.STREAM))
    signers = {"ca": authority(keep, "ca"), "stranger": authority(work, "stranger-ca"), None: None}
    bases = {}
    for name, (signer, days, host, _) in CERTS.items():
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(*cert(work, name, signers[signer], days, host))
        bases[name] = listen(ctx, Handler, HOST)[1]
    os.environ.update(VORLO_CA_FILE=signers["ca"][0], WINEPREFIX=os.path.join(keep, "prefix"))

    def check_plain_too(tool, plain, work):
        icy_check.Handler.base = bases["plain"] = plain
        Handler.bases = {"to-tls": bases["good"], "to-plain": plain}
        check_tool(tool, bases, work)
    return serve_and_check(check_plain_too, work, Handler)


if __name__ == "__main__":
    sys.exit(main())
