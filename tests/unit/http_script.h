// A transport for the HTTP reader that plays back scripted answers instead
// of a network: the unit tests and the fuzz target run the very reader the
// player ships (http_common.cpp) on any bytes, cut in pieces of any size.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/http_transport.h"

namespace testutil {

struct HttpScript {
    std::vector<std::string> answers;  // connection i gets answers[i] (the last one again after)
    size_t piece = 1 << 20;            // bytes per receive
    bool stallAtEnd = false;           // after the answer: the deadline passes instead of a close
    std::vector<std::string> sent;     // what each connection was sent
};
inline HttpScript* g_httpScript = nullptr;

class ScriptedTransport : public plat::HttpTransport {
public:
    bool Connect(const std::string&, int, uint32_t, std::string* error) override {
        HttpScript& s = *g_httpScript;
        if (s.answers.empty()) return *error = "Could not connect", false;
        answer_ = s.answers[std::min(s.sent.size(), s.answers.size() - 1)];
        s.sent.emplace_back();
        index_ = s.sent.size() - 1;
        return true;
    }
    bool Send(const char* data, size_t n, uint32_t) override {
        g_httpScript->sent[index_].append(data, n);
        return true;
    }
    int Receive(char* dst, size_t n, uint32_t) override {
        if (at_ == answer_.size()) return g_httpScript->stallAtEnd ? plat::kTransportTimedOut : plat::kTransportClosed;
        size_t k = std::min({n, g_httpScript->piece, answer_.size() - at_});
        answer_.copy(dst, k, at_);
        at_ += k;
        return static_cast<int>(k);
    }
    void Shutdown() override {}

private:
    std::string answer_;
    size_t at_ = 0, index_ = 0;
};

inline std::unique_ptr<plat::HttpTransport> ScriptedTransportFor(const std::string&) {
    return std::make_unique<ScriptedTransport>();
}

// Runs the reader on script for url: the open's result and its body read to
// the end in pieces (*last: the final read's result, 0 or -1), or the
// response text when the open failed.
inline bool ReadScripted(HttpScript* script, const char* url, plat::HttpHead* head, std::string* body,
                         int* last, std::string* error) {
    g_httpScript = script;
    plat::SetHttpTransportFactory(ScriptedTransportFor);
    plat::Http session = plat::HttpOpenSession("test");
    plat::Http r = plat::HttpOpenUrl(session, url, "X: y\r\n");
    char buf[1500];
    if (r) {
        *head = *plat::HttpResponseHead(r);
        while ((*last = plat::HttpReadSome(r, buf, sizeof buf)) > 0) body->append(buf, static_cast<size_t>(*last));
    } else {
        plat::HttpLastResponseText(buf, sizeof buf);
        *error = buf;
    }
    plat::HttpClose(r);
    plat::HttpClose(session);
    plat::SetHttpTransportFactory(nullptr);
    g_httpScript = nullptr;
    return r != nullptr;
}

}  // namespace testutil
