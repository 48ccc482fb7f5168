#!/usr/bin/env python3
"""A radio station on 127.0.0.1 for the player checks under Wine, driven
by the check step by step (a free port; no other address is contacted).

  station_server.py AUDIO PORTFILE
      serves AUDIO as a station and writes its port into PORTFILE

  GET /station  "ICY 200 OK", icy-name "Radio Test", metadata every 8192
                bytes; after the head the station waits for /go, then sends
                all of AUDIO with a title in the blocks (first "Artist -
                First", from the third on "Last Song - Caf\u00e9"), then waits
                for /release and closes the connection: a dropped station
  GET /slow.pls a station list (PLS, entries /a "Slow One" and /b "Slow
                Two") that answers only after /golist
  GET /go, /release, /golist   the steps above (of the latest /station or
                /slow.pls); each answers 204
  GET /quit     ends the server

Each wait is bounded (120 s), so a check that dies leaves no server behind
for long; the check also ends it."""
import http.server
import socketserver
import sys
import threading

TITLES = ["Artist - First", None, "Last Song - Caf\u00e9"]
go = threading.Event()
release = threading.Event()
golist = threading.Event()
SLOW_LIST = b"[playlist]\nNumberOfEntries=2\nFile1=/a\nTitle1=Slow One\nFile2=/b\nTitle2=Slow Two\n"


def interleave(audio, metaint, title_of):
    """(stream, block count): audio with a metadata block after every metaint
    bytes; block k holds StreamTitle title_of(k) (bytes or text), None a
    block of length 0."""
    out = bytearray()
    k = 0
    for at in range(0, len(audio), metaint):
        piece = audio[at:at + metaint]
        out += piece
        if len(piece) < metaint:
            break
        t = title_of(k)
        k += 1
        if isinstance(t, str):
            t = t.encode("utf-8")
        text = b"" if t is None else b"StreamTitle='" + t + b"';StreamUrl='';"
        n = (len(text) + 15) // 16
        out += bytes([n]) + text + b"\0" * (n * 16 - len(text))
    return bytes(out), k


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    body = b""

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/station":
            go.clear()
            release.clear()
            self.wfile.write(b"ICY 200 OK\r\nicy-name: Radio Test\r\nicy-metaint: 8192\r\n"
                             b"content-type: audio/mpeg\r\n\r\n")
            self.wfile.flush()
            go.wait(120)
            self.wfile.write(Handler.body)
            self.wfile.flush()
            release.wait(120)
            self.close_connection = True
            return
        if self.path == "/slow.pls":
            golist.clear()
            golist.wait(120)
            self.send_response(200)
            self.send_header("Content-Type", "audio/x-scpls")
            self.send_header("Content-Length", str(len(SLOW_LIST)))
            self.end_headers()
            self.wfile.write(SLOW_LIST)
            return
        if self.path == "/golist":
            golist.set()
        elif self.path == "/go":
            go.set()
        elif self.path == "/release":
            release.set()
        elif self.path == "/quit":
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        self.send_response(204)
        self.send_header("Content-Length", "0")
        self.end_headers()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    with open(sys.argv[1], "rb") as f:
        Handler.body = interleave(f.read(), 8192, lambda k: TITLES[min(k, len(TITLES) - 1)])[0]
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])
    server.serve_forever()


if __name__ == "__main__":
    main()
