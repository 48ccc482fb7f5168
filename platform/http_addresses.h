// The connect loop of both socket transports (posix/http_posix.cpp,
// win32/http_win.cpp): host:port looked up, and its addresses tried in turn
// until one connects or the deadline has passed. Include it after the
// platform's socket headers (addrinfo, getaddrinfo).
#pragma once

#include <string>

namespace plat {

// tryOne(const addrinfo&, bool* timedOut) connects to one address and says
// whether it did; it sets *timedOut once the deadline has passed. False,
// with *error set to the user's message, when no address connects.
template <class TryOne>
bool ConnectToSomeAddress(const std::string& host, int port, std::string* error, TryOne tryOne) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        *error = "Could not resolve host: " + host;
        return false;
    }
    bool connected = false, timedOut = false;
    for (addrinfo* a = found; a && !connected && !timedOut; a = a->ai_next) connected = tryOne(*a, &timedOut);
    freeaddrinfo(found);
    if (!connected)
        *error = timedOut ? "The server did not answer in time" : "Could not connect to " + host + " port " + service;
    return connected;
}

// ConnectToSomeAddress with the socket calls of the platform: open(a) makes
// a socket for the address (bad when it cannot), connect(s, a, timedOut)
// connects it by the deadline, close(s) ends one that did not connect. The
// socket that did is put in *sock.
template <class Socket, class Open, class ConnectOne, class Close>
bool ConnectSocket(const std::string& host, int port, std::string* error, Socket bad, Socket* sock, Open open,
                   ConnectOne connect, Close close) {
    return ConnectToSomeAddress(host, port, error, [&](const addrinfo& a, bool* timedOut) {
        Socket s = open(a);
        if (s == bad) return false;
        if (!connect(s, a, timedOut)) {
            close(s);
            return false;
        }
        *sock = s;
        return true;
    });
}

}  // namespace plat
