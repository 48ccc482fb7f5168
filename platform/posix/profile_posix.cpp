// Private-profile (INI) files on POSIX, with the semantics and the bytes of
// the Win32 functions as Wine implements them (platform/ini_text.h). A
// write that changes something rewrites the whole file from what was read;
// a write that changes nothing leaves the file alone.
//
// The file is replaced through a temporary file beside it and a rename, so
// that a failed write leaves the previous file whole.
#include "platform/platform.h"
#include "platform/ini_text.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

// Reads the file into ini. A missing file is an empty profile; false when
// the file exists but cannot be read.
bool Load(const char* path, IniFile* ini) {
    ini->sections.assign(1, IniSection{});
    if (!path) return false;
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string text;
    char chunk[16384];
    for (;;) {
        ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            ::close(fd);
            return false;
        }
        if (r == 0) break;
        text.append(chunk, static_cast<size_t>(r));
    }
    ::close(fd);
    IniParse(text.data(), text.data() + text.size(), ini);
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t r = ::write(fd, text.data() + done, text.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// Replaces the file at path by text: the text goes into a new file in the
// same directory, reaches the disk, and is then renamed over the old one, so
// that the old file stays whole until the new one is complete. A symbolic
// link is followed and its target replaced.
bool ReplaceFile(const char* path, const std::string& text) {
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (::lstat(path, &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* real = ::realpath(path, nullptr);
            if (real) {
                target = real;
                std::free(real);
            }
        }
        exists = ::stat(target.c_str(), &st) == 0;
    }
    static std::atomic<unsigned> counter{0};
    char suffix[64];
    int fd = -1;
    std::string temp;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(::getpid()), counter.fetch_add(1));
        temp = target + suffix;
        do {
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text);
    if (ok && exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

size_t ProfileGetString(const char* section, const char* key, const char* def, char* buf,
                        size_t size, const char* file) {
    if (!buf || size == 0) return 0;
    IniFile ini;
    Load(file, &ini);
    const char* value = IniFindValue(&ini, section, key);
    if (value) return IniCopyEntry(value, buf, size);
    // The default loses its trailing spaces (never its first character).
    std::string d = def ? def : "";
    while (d.size() > 1 && d.back() == ' ') d.pop_back();
    return IniCopyEntry(d.c_str(), buf, size);
}

unsigned ProfileGetInt(const char* section, const char* key, int def, const char* file) {
    IniFile ini;
    Load(file, &ini);
    return IniGetInt(&ini, section, key, def);
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* file) {
    if (!section || !key || !value || !file || !*file) return false;
    IniFile ini;
    // A file that exists but cannot be read is never overwritten.
    if (!Load(file, &ini)) return false;
    // New names keep their trailing blanks until the file is read again,
    // and the value loses its leading blanks, as the real function does.
    const char* vb = value;
    const char* ve = value + std::strlen(value);
    IniTrim(vb, ve, false);
    IniSection* s = IniFindSection(&ini, section);
    if (!s) {
        const char* nb = section;
        const char* ne = section + std::strlen(section);
        IniTrim(nb, ne, false);
        ini.sections.push_back(IniSection{std::string(nb, ne), {}});
        s = &ini.sections.back();
    }
    IniKey* k = IniFindKey(s, key);
    if (!k) {
        const char* nb = key;
        const char* ne = key + std::strlen(key);
        IniTrim(nb, ne, false);
        s->keys.push_back(IniKey{std::string(nb, ne), std::string(vb, ve), true});
    } else {
        if (k->hasValue && k->value == vb) return true;
        k->value.assign(vb, ve);
        k->hasValue = true;
    }
    return ReplaceFile(file, IniSerialize(ini));
}

}  // namespace plat
