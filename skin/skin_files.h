// User skins on disk: a skins directory holds one folder or one .zip
// archive per skin, each with image files named after the built-in ones
// (any subset). A name is looked up without regard to case, in the
// folder's top level or, in an archive, as the last part of an entry's
// path (so that an archive of the folder itself works too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/zip.h"

namespace skin {

// Files and archives larger than this are refused unread.
constexpr int64_t kSkinMaxFileSize = 64 << 20;

// The skins in directory dir (ending in its separator): the names of its
// folders, and of its .zip files with the extension, sorted without regard
// to case. Empty when the directory is missing.
std::vector<std::string> ListSkins(const std::string& dir);

// Reads the whole file at path (at most kSkinMaxFileSize bytes).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error);

class SkinFiles {
public:
    // Opens the skin name of directory dir (a name ListSkins gave; a name
    // holding a separator or a drive is refused: "not a skin name").
    bool Open(const std::string& dir, const std::string& name, std::string* error);
    // The file's bytes; false with *error "missing" when the skin holds no
    // such file, or with the reason it could not be read.
    bool Read(const std::string& file, std::vector<uint8_t>* out, std::string* error) const;

private:
    std::string folder_;  // with its separator; empty for an archive
    std::vector<uint8_t> archive_;
    std::vector<ZipEntry> entries_;
};

}  // namespace skin
