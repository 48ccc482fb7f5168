#include "skin/skin_files.h"

#include <algorithm>
#include <cctype>

#include "platform/dir.h"
#include "platform/platform.h"

namespace skin {
namespace {

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool LessText(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

bool IsArchiveName(const std::string& name) {
    return name.size() > 4 && SameText(name.substr(name.size() - 4), ".zip");
}

}  // namespace

std::vector<std::string> ListSkins(const std::string& dir) {
    std::vector<std::string> names;
    plat::DirFindData d;
    plat::DirFind find = plat::DirFindFirst(dir.c_str(), &d);
    if (!find) return names;
    do {
        if (d.name.empty() || d.name[0] == '.') continue;
        if (d.isDirectory || IsArchiveName(d.name)) names.push_back(d.name);
    } while (plat::DirFindNext(find, &d));
    plat::DirFindClose(find);
    std::sort(names.begin(), names.end(), LessText);
    return names;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    plat::File f = plat::FileOpenRead(path.c_str());
    if (!f) {
        *error = "missing";
        return false;
    }
    const int64_t size = plat::FileSize(f);
    bool ok = size >= 0 && size <= kSkinMaxFileSize;
    *error = ok ? "" : "too large";
    if (ok) {
        out->resize(size_t(size));
        size_t done = 0;
        while (ok && done < out->size()) {
            const int n = plat::FileRead(f, out->data() + done, uint32_t(out->size() - done));
            ok = n > 0;
            done += ok ? size_t(n) : 0;
        }
        if (!ok) *error = "could not be read";
    }
    plat::FileClose(f);
    if (!ok) out->clear();
    return ok;
}

bool SkinFiles::Open(const std::string& dir, const std::string& name, std::string* error) {
    folder_.clear();
    archive_.clear();
    entries_.clear();
    // A name of the skins directory itself, never a path out of it.
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos) {
        *error = "not a skin name";
        return false;
    }
    const std::string path = dir + name;
    if (plat::GetPathKind(path.c_str()) == plat::PathIsDirectory) {
        folder_ = path + plat::kPathSeparator;
        return true;
    }
    return ReadWholeFile(path, &archive_, error) && ZipList(archive_.data(), archive_.size(), &entries_, error);
}

bool SkinFiles::Read(const std::string& file, std::vector<uint8_t>* out, std::string* error) const {
    out->clear();
    if (!folder_.empty()) {
        // The folder's names, so that case does not matter on any system.
        plat::DirFindData d;
        plat::DirFind find = plat::DirFindFirst(folder_.c_str(), &d);
        std::string found;
        if (find) {
            do {
                if (!d.isDirectory && SameText(d.name, file)) found = d.name;
            } while (found.empty() && plat::DirFindNext(find, &d));
            plat::DirFindClose(find);
        }
        if (found.empty()) {
            *error = "missing";
            return false;
        }
        return ReadWholeFile(folder_ + found, out, error);
    }
    for (const ZipEntry& e : entries_) {
        const size_t slash = e.name.find_last_of("/\\");
        if (SameText(slash == std::string::npos ? e.name : e.name.substr(slash + 1), file))
            return ZipExtract(archive_.data(), archive_.size(), e, out, error);
    }
    *error = "missing";
    return false;
}

}  // namespace skin
