// Fuzz target: what a radio server sends. The input's first byte picks a
// piece size and its next two a metadata interval; the rest is read as a
// response head (ParseHttpHead), as a chunked body and as a stream with ICY
// metadata, each whole and in pieces, which must give the same result; the
// blocks' StreamTitle values converted to UTF-8 must stay as they are when
// converted again; the rest is also parsed as a station list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "output/icy.h"
#include "output/radio.h"
#include "platform/http_wire.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz-icy: %s\n", what);
        std::abort();
    }
}

std::string Dechunk(const std::string& in, size_t piece, bool* done) {
    plat::ChunkedDecoder d;
    std::string out;
    for (size_t at = 0; at < in.size(); at += piece) {
        std::string part = in.substr(at, piece);
        out.append(part, 0, d.Feed(&part[0], part.size()));
    }
    *done = d.Done();
    return out;
}

std::vector<uint8_t> Demux(const std::string& in, uint32_t metaint, size_t piece, std::vector<std::string>* blocks) {
    IcyDemux demux(metaint);
    std::vector<uint8_t> out;
    for (size_t at = 0; at < in.size(); at += piece) {
        std::vector<uint8_t> part(in.begin() + long(at), in.begin() + long(std::min(in.size(), at + piece)));
        size_t n = demux.Feed(part.data(), part.size(), blocks);
        Check(n <= part.size(), "more audio than input");
        out.insert(out.end(), part.begin(), part.begin() + long(n));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    size_t piece = data[0] % 64 + 1;
    uint32_t metaint = (uint32_t(data[1]) << 8 | data[2]) % 4096;
    std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);

    plat::HttpHead head;
    size_t end = plat::FindHeadEnd(rest.data(), rest.size());
    Check(end <= rest.size(), "head end past the input");
    if (plat::ParseHttpHead(rest.data(), end ? end : rest.size(), &head))
        Check(head.status >= 0 && head.status <= 999, "status out of range");

    bool doneWhole = false, donePieces = false;
    Check(Dechunk(rest, rest.size(), &doneWhole) == Dechunk(rest, piece, &donePieces) && doneWhole == donePieces,
          "chunked body depends on the pieces");

    std::vector<std::string> blocksWhole, blocksPieces;
    Check(Demux(rest, metaint, rest.size(), &blocksWhole) == Demux(rest, metaint, piece, &blocksPieces) &&
              blocksWhole == blocksPieces,
          "ICY audio depends on the pieces");
    for (const std::string& b : blocksWhole) {
        std::string title;
        if (IcyStreamTitle(b, &title)) {
            std::string utf8 = IcyTextToUtf8(title);
            Check(IcyTextToUtf8(utf8) == utf8, "converted title is not UTF-8");
        }
    }
    for (const StationEntry& e : ParseStationList(rest)) Check(!e.location.empty(), "empty station entry");
    return 0;
}
