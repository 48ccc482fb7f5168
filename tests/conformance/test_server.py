"""The one HTTP server of the checks, on 127.0.0.1 (a free port; no other
address is contacted): listen() starts it for a check, and run as a script
it is the station of the Wine checks. Not a check itself.

Routes (NAME a key of Handler.files; AUDIO Handler.audio):
  /v/NAME, /dir/NAME/   the file with its length     /chunked/NAME  chunked
  /r301/NAME, /r302/NAME   a redirect to /v/NAME
  /cut/NAME     announces the whole file, hangs up after cut_size of it
  /early/NAME   no length, the connection closes after cut_size of it
  /KIND/NAME    the hostile answers of HOSTILE (a trickling head, endless
                "100 Continue", "Chunked", odd Locations; /?NAME: a query
                and no path)
  /icy8192      "ICY 200 OK" with icy-name STATION, metadata every 8192
                bytes of AUDIO, titles of TITLES in turn; /ice16000 and
                /ice-noname the same in Icecast's HTTP head every 16000
  /hop/N        N redirects (301, 302, 303, 307, 308) to /icy8192
  /loop-a, /loop-b   redirects round a loop     /fails   a 500 answer
  /forged       a name and titles with control characters
  /drop         /icy8192 cut after cut_size of AUDIO
  /stations.pls, /stations   station lists by extension and by Content-Type
  /slow.pls     a station list that answers only after /golist
  /station      the Wine station: "ICY 200 OK", icy-name "Radio Test"; after
                the head it waits for /go, sends Handler.station, waits for
                /release and closes: a dropped station
  /go, /release, /golist   those steps (204); /quit ends the script's server
Each wait is bounded (120 s). Anything else is a 404 with an HTML page.
Handler.requests records (path, headers) of every request.

  test_server.py AUDIO PORTFILE
      serves AUDIO as the Wine station and writes the port into PORTFILE"""
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time

ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>"
STATION = "Radio Pr\u00fcfung"  # sent in UTF-8
# One title per block in turn; None is a block of length 0. Bytes, as sent.
TITLES = [b"Artist - First", None, "Caf\u00e9 - Zw\u00f6lf".encode("utf-8"), b"It's; a test",
          "Bj\u00f6rk - J\u00f3ga".encode("latin-1"), None, b"Artist - First"]
FORGED = b"x\nseconds=999\r\nid3v2_title=forged\x7f"
# The Wine station's titles: the first, then from the third block on the last.
STATION_TITLES = ["Artist - First", None, "Last Song - Caf\u00e9"]
SLOW_LIST = b"[playlist]\nNumberOfEntries=2\nFile1=/a\nTitle1=Slow One\nFile2=/b\nTitle2=Slow Two\n"
OPEN_BOUND = 60 + 30  # the client's deadline for a whole open, and room to end
STEPS = {name: threading.Event() for name in ("go", "release", "golist", "quit")}


def title_of(k):
    return TITLES[k % len(TITLES)]


def cut_size(data):
    return len(data) * 2 // 5 + 3  # not on a frame boundary, past a few blocks


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


# ------------------------------------------------------------ hostile answers

def trickle(h, name, data):
    h.raw(b"HTTP/1.1 200 OK\r\n")
    for _ in range(OPEN_BOUND * 2):  # one byte every half second, a head without end
        time.sleep(0.5)
        h.raw(b"X")


def endless_continue(h, name, data):
    for _ in range(2000):
        h.raw(b"HTTP/1.1 100 Continue\r\n\r\n")


def chunked_capital(h, name, data):
    h.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n",
          b"".join(b"%X\r\n%s\r\n" % (len(data[i:i + 999]), data[i:i + 999]) for i in range(0, len(data), 999)),
          b"0\r\n\r\n")


def location(target):
    return lambda h, name, data: h.raw(b"HTTP/1.1 302 Found\r\nLocation: " + target.replace(b"NAME", name.encode()) +
                                       b"\r\nContent-Length: 0\r\n\r\n")


HOSTILE = {"trickle": trickle, "continue": endless_continue, "chunkedcap": chunked_capital,
           "spaces": location(b"/v/ NAME"), "cr": location(b"/v/NAME\rX-Forged: 1"),
           "": location(b"v/NAME")}  # "/?NAME": a query and no path


# ------------------------------------------------------------ the handler

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    files = {}     # name -> bytes
    audio = b""    # the ICY stations' audio
    station = b""  # the Wine station's stream, metadata interleaved
    base = ""      # the server's URL, for absolute Locations and list entries
    requests = []  # (path, headers)

    def log_message(self, *args):
        pass

    def raw(self, *parts):
        """Sends bytes as they are; text is a head (LF lines, an empty line added)."""
        self.close_connection = True
        for p in parts:
            self.wfile.write(p if isinstance(p, bytes) else p.replace("\n", "\r\n").encode("utf-8") + b"\r\n")
            self.wfile.flush()

    def send_body(self, status, body, ctype="audio/mpeg", length=None):
        self.raw(f"HTTP/1.1 {status} {self.responses[status][0]}\nContent-Type: {ctype}\n" +
                 (f"Content-Length: {length}\n" if length is not None else "") + "Connection: close\n", body)

    def do_GET(self):
        Handler.requests.append((self.path, self.headers))
        try:
            self.route(self.path)
        except OSError:  # the client went away
            self.close_connection = True

    def route(self, p):
        if p in ROUTES:
            return ROUTES[p](self)
        if p.startswith("/hop/"):
            return hop(self, int(p[5:]))
        kind, _, name = p.lstrip("/").partition("/")
        if kind.startswith("?"):
            kind, name = "", kind[1:]
        name = name.replace("%20", "")  # "/v/%20NAME": a Location with a space
        data = Handler.files.get(name.rstrip("/") if kind == "dir" else name)
        if data is None or kind not in FILE_ROUTES and kind not in HOSTILE:
            self.send_body(404, ERROR_PAGE, "text/html", len(ERROR_PAGE))
        elif kind in FILE_ROUTES:
            FILE_ROUTES[kind](self, name, data)
        else:
            HOSTILE[kind](self, name, data)


def chunked(h, name, data):
    h.raw("HTTP/1.1 200 OK\nContent-Type: audio/mpeg\nTransfer-Encoding: chunked\nConnection: close\n")
    at, step = 0, 1
    while at < len(data):
        piece = data[at:at + step]
        h.raw(b"%x\r\n%s\r\n" % (len(piece), piece))
        at += len(piece)
        step = step * 3 + 1 if step < 9000 else 777
    h.raw(b"0\r\n\r\n")


def redirect(h, status, to):
    h.raw(f"HTTP/1.1 {status}\nLocation: {to}\nContent-Length: 0\nConnection: close\n")


FILE_ROUTES = {
    "v": lambda h, name, data: h.send_body(200, data, length=len(data)),
    "dir": lambda h, name, data: h.send_body(200, data, length=len(data)),
    "r301": lambda h, name, data: redirect(h, "301 Moved Permanently", "/v/" + name),
    "r302": lambda h, name, data: redirect(h, "302 Found", "/v/" + name),
    "chunked": chunked,
    "cut": lambda h, name, data: h.send_body(200, data[:cut_size(data)], length=len(data)),
    "early": lambda h, name, data: h.send_body(200, data[:cut_size(data)]),
}


def hop(h, n):
    status = ["301 Moved Permanently", "302 Found", "303 See Other", "307 Temporary Redirect",
              "308 Permanent Redirect"][n % 5]
    redirect(h, status, f"/hop/{n - 1}" if n > 0 else "/icy8192")


def ice(h, named):
    name = f"icy-name: {STATION}\n" if named else ""
    h.raw(f"HTTP/1.0 200 OK\nContent-Type: audio/mpeg\n{name}icy-metaint: 16000\n",
          interleave(Handler.audio, 16000, title_of)[0])


def station_list(h, kind, data):
    h.raw(f"HTTP/1.1 200 OK\nContent-Type: {kind}\nContent-Length: {len(data)}\nConnection: close\n", data)


def wine_station(h):
    STEPS["go"].clear()
    STEPS["release"].clear()
    h.raw("ICY 200 OK\nicy-name: Radio Test\nicy-metaint: 8192\ncontent-type: audio/mpeg\n")
    STEPS["go"].wait(120)
    h.raw(Handler.station)
    STEPS["release"].wait(120)


def slow_list(h):
    STEPS["golist"].clear()
    STEPS["golist"].wait(120)
    station_list(h, "audio/x-scpls", SLOW_LIST)


def step(name):
    def answer(h):
        STEPS[name].set()
        h.raw("HTTP/1.1 204 No Content\nContent-Length: 0\n")
    return answer


ROUTES = {
    "/icy8192": lambda h: h.raw(f"ICY 200 OK\nicy-name: {STATION}\nicy-metaint: 8192\ncontent-type: audio/mpeg\n",
                                interleave(Handler.audio, 8192, title_of)[0]),
    "/ice16000": lambda h: ice(h, True),
    "/ice-noname": lambda h: ice(h, False),
    "/loop-a": lambda h: redirect(h, "302 Found", "/loop-b"),
    "/loop-b": lambda h: redirect(h, "302 Found", Handler.base + "/loop-a"),
    "/forged": lambda h: h.raw("ICY 200 OK\nicy-name: Evil\x01\tName\nicy-metaint: 8192\n",
                               interleave(Handler.audio, 8192, lambda k: FORGED)[0]),
    "/fails": lambda h: h.raw("HTTP/1.1 500 Internal Server Error\nContent-Length: 5\nConnection: close\n", b"oops!"),
    "/drop": lambda h: h.raw("ICY 200 OK\nicy-name: Dropping\nicy-metaint: 8192\n",
                             interleave(Handler.audio, 8192, title_of)[0][:cut_size(Handler.audio)]),
    "/stations.pls": lambda h: station_list(h, "audio/x-scpls", (
        "[playlist]\nNumberOfEntries=2\nFile1=/icy8192\nTitle1=First station\nFile2=" + Handler.base +
        "/ice16000\nTitle2=Zweite Stati\u00f6n\nVersion=2\n").encode("latin-1")),
    "/stations": lambda h: station_list(h, "audio/x-mpegurl", b"#EXTM3U\n#EXTINF:-1,Listed by type\nice16000\n"),
    "/station": wine_station,
    "/slow.pls": slow_list,
    "/go": step("go"),
    "/release": step("release"),
    "/golist": step("golist"),
    "/quit": step("quit"),
}


# ------------------------------------------------------------ listening

class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False
    request_queue_size = 64

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], ssl.SSLError):  # a client refusing a certificate
            super().handle_error(request, client_address)


def listen(ssl_context=None, handler=Handler, host="127.0.0.1"):
    """Starts handler on a free port of 127.0.0.1 on a thread of its own,
    its connections in TLS with an ssl context (the handshake on the
    connection's thread, so a refused one holds up no other). (server, base
    URL naming host); the base is also handler.base. server.shutdown() ends it."""
    server = Server(("127.0.0.1", 0), handler)
    scheme = "http"
    if ssl_context is not None:
        server.socket = ssl_context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
        scheme = "https"
    handler.base = f"{scheme}://{host}:{server.server_address[1]}"
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, handler.base


def main():
    with open(sys.argv[1], "rb") as f:
        Handler.station = interleave(f.read(), 8192,
                                     lambda k: STATION_TITLES[min(k, len(STATION_TITLES) - 1)])[0]
    server, base = listen()
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(base.rsplit(":", 1)[1])
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])
    STEPS["quit"].wait()
    server.shutdown()


if __name__ == "__main__":
    main()
