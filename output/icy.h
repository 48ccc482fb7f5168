// ICY metadata, as internet radio servers interleave it with the audio.
//
// A client that asks for it (request header "Icy-MetaData: 1") gets a
// response with "icy-metaint: N": after every N bytes of audio comes one
// length byte L, then 16 x L bytes of text padded with NULs, e.g.
// "StreamTitle='Artist - Song';StreamUrl='';". L = 0 is a block without text.
// IcyDemux takes the blocks out, so that what is left is the audio alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class IcyDemux {
public:
    // metaint 0: no metadata; everything fed is audio.
    explicit IcyDemux(uint32_t metaint = 0) { Reset(metaint); }
    void Reset(uint32_t metaint);
    // Takes the metadata out of n bytes of the stream, whatever the bytes'
    // place in it (a block may be split across any number of calls). The
    // audio is moved to the front of data; returns its length. The text of
    // each block completed here (NUL padding removed; blocks of length 0
    // give nothing) is appended to blocks.
    size_t Feed(uint8_t* data, size_t n, std::vector<std::string>* blocks);
    // Blocks completed so far, those of length 0 included.
    uint32_t BlockCount() const { return blockCount_; }

private:
    uint32_t metaint_ = 0;
    uint32_t audioLeft_ = 0;  // audio bytes before the next length byte
    size_t metaLeft_ = 0;     // text bytes of the block being read
    bool inBlock_ = false;
    std::string text_;
    uint32_t blockCount_ = 0;
};

// The value of StreamTitle in a block's text. The value is quoted with "'"
// and may itself hold quotes and semicolons: it ends at the "';" that is
// followed by the next key ("Name='") or by the end of the text, else at
// the last quote. False when the block has no StreamTitle.
bool IcyStreamTitle(const std::string& block, std::string* title);

// Station texts arrive in UTF-8 or, from older servers, in Latin-1: valid
// UTF-8 is kept as it is, anything else is read as Latin-1 and converted.
// Control characters become spaces (BlankControlChars): a station's title
// is shown and announced as one line.
std::string IcyTextToUtf8(const std::string& text);

// The value of "icy-metaint": 0 when missing, not a number, or too large
// for a block interval (above 1 MB).
uint32_t IcyMetaint(const char* value);
