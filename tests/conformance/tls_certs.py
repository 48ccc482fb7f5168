"""Certificates for the https checks, made with the `openssl` command: an
authority of the test's own, server certificates signed by it or by
themselves, and the authority put into a Wine prefix's machine root store,
so that only the tools a check runs trust it.

Not a check itself (not executable). For the shell checks:
  tls_certs.py DIR [PREFIX]   the authority DIR/ca.pem (kept when there) and
                              DIR/good.pem, DIR/good.key for localhost;
                              with PREFIX, the authority trusted in it"""
import hashlib
import os
import ssl
import subprocess
import sys

EC = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
ROOT_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates"


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True, timeout=60)


def authority(pem, key, name):
    """A certificate authority in pem and key, unless pem is there already."""
    if not os.path.exists(pem):
        openssl("req", "-x509", *EC, "-keyout", key, "-out", pem, "-days", "3650", "-subj", f"/CN={name}")
    return pem, key


def server_cert(folder, name, signer, days, host, serial=2):
    """folder/name.pem and .key: a certificate for host, valid for days from
    now (negative: it has expired), signed by signer ((pem, key) of an
    authority) or, with signer None, by itself. Returns (pem, key)."""
    key, csr, pem, ext = (os.path.join(folder, f"{name}.{x}") for x in ("key", "csr", "pem", "ext"))
    with open(ext, "w") as f:
        f.write(f"subjectAltName=DNS:{host}\n")
    openssl("req", "-new", *EC, "-keyout", key, "-out", csr, "-subj", f"/CN={host}")
    sign = ["-CA", signer[0], "-CAkey", signer[1], "-set_serial", str(serial)] if signer else ["-signkey", key]
    openssl("x509", "-req", "-in", csr, *sign, "-days", str(days), "-extfile", ext, "-out", pem)
    return pem, key


def server_context(pem, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(pem, key)
    return ctx


def trust_in_wine_prefix(ca, prefix):
    """Puts the authority into the prefix's machine root store, in the
    registry form of a store: a key named by the certificate's SHA-1 whose
    Blob holds it as property 32 (the encoded certificate)."""
    der = ssl.PEM_cert_to_DER_cert(open(ca).read())
    blob = (32).to_bytes(4, "little") + (1).to_bytes(4, "little") + len(der).to_bytes(4, "little") + der
    reg = ca + ".reg"
    with open(reg, "w") as f:
        f.write(f'REGEDIT4\n\n[{ROOT_KEY}\\{hashlib.sha1(der).hexdigest().upper()}]\n"Blob"=hex:'
                + ",".join(f"{b:02x}" for b in blob) + "\n")
    env = dict(os.environ, WINEPREFIX=prefix)
    for view in ("/reg:32", "/reg:64"):
        subprocess.run(["wine", "reg", "import", "Z:" + reg, view], env=env, timeout=120, capture_output=True)


if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    ca = authority(os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key"), "VORLO Test CA")
    server_cert(folder, "good", ca, 30, "localhost")
    if len(sys.argv) > 2:
        trust_in_wine_prefix(ca[0], sys.argv[2])
