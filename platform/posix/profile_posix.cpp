// Private-profile (INI) files on POSIX, with the semantics and the bytes of
// the Win32 functions as Wine implements them:
//
// - A file is read as lines split at any run of CR and LF; each line is
//   trimmed of blanks (ASCII white space and ^Z) and blank lines vanish.
// - "[name]" (the last ']' of the line closes it, the rest is ignored) opens
//   a section; the name is trimmed. Lines before the first header belong to
//   an unnamed section.
// - Any other line is a key: the text before the first '=' (trimmed) is the
//   name, the text after it (trimmed) the value. A line without '=' is a key
//   without a value, which reads as missing.
// - Section and key names compare without regard to ASCII case, after the
//   query is trimmed. Only the first section of a name is ever searched, and
//   the first key of a name in it.
// - A value is returned without one pair of enclosing quotes (" or ').
// - A write that changes something rewrites the whole file from what was
//   read: "[name]" headers (none for the unnamed section), "name=value" or
//   the bare name, every line ended by CR LF. A write that changes nothing
//   leaves the file alone.
//
// The file is replaced through a temporary file beside it and a rename, so
// that a failed write leaves the previous file whole.
#include "platform/platform.h"

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

struct IniKey {
    std::string name;
    std::string value;
    bool hasValue;  // false for a line without '='
};

struct IniSection {
    std::string name;  // empty for the lines before the first header
    std::vector<IniKey> keys;
};

// sections[0] is always the unnamed section.
struct IniFile {
    std::vector<IniSection> sections;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

// The bounds [b, e) of s without leading (and, if wanted, trailing) blanks.
void Trim(const char*& b, const char*& e, bool trailing = true) {
    while (b < e && IsBlank(*b)) ++b;
    while (trailing && e > b && IsBlank(e[-1])) --e;
}

bool SameName(const std::string& stored, const char* b, const char* e) {
    size_t n = static_cast<size_t>(e - b);
    if (stored.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(stored[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

void Parse(const char* p, const char* end, IniFile* ini) {
    ini->sections.assign(1, IniSection{});
    while (p < end) {
        const char* b = p;
        while (p < end && *p != '\r' && *p != '\n') ++p;
        const char* e = p;
        while (p < end && (*p == '\r' || *p == '\n')) ++p;
        Trim(b, e);
        if (b == e) continue;
        if (*b == '[') {
            const char* close = e - 1;
            while (close > b && *close != ']') --close;
            if (close > b) {
                const char* nb = b + 1;
                const char* ne = close;
                Trim(nb, ne);
                ini->sections.push_back(IniSection{std::string(nb, ne), {}});
                continue;
            }
        }
        IniKey key;
        const char* eq = static_cast<const char*>(std::memchr(b, '=', static_cast<size_t>(e - b)));
        if (eq) {
            const char* ne = eq;
            const char* vb = eq + 1;
            const char* ve = e;
            Trim(b, ne);
            Trim(vb, ve);
            key.name.assign(b, ne);
            key.value.assign(vb, ve);
            key.hasValue = true;
        } else {
            key.name.assign(b, e);
            key.hasValue = false;
        }
        ini->sections.back().keys.push_back(std::move(key));
    }
}

std::string Serialize(const IniFile& ini) {
    std::string out;
    for (const IniSection& s : ini.sections) {
        if (!s.name.empty()) out += "[" + s.name + "]\r\n";
        for (const IniKey& k : s.keys) {
            out += k.name;
            if (k.hasValue) out += "=" + k.value;
            out += "\r\n";
        }
    }
    return out;
}

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
    Parse(text.data(), text.data() + text.size(), ini);
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

// The first section named like [b, e) (trimmed), or nullptr.
IniSection* FindSection(IniFile* ini, const char* name) {
    const char* b = name;
    const char* e = name + std::strlen(name);
    Trim(b, e);
    for (IniSection& s : ini->sections)
        if (SameName(s.name, b, e)) return &s;
    return nullptr;
}

IniKey* FindKey(IniSection* s, const char* name) {
    const char* b = name;
    const char* e = name + std::strlen(name);
    Trim(b, e);
    for (IniKey& k : s->keys)
        if (SameName(k.name, b, e)) return &k;
    return nullptr;
}

// Copies value into buf without one pair of enclosing quotes, cut to size-1
// characters. Returns the length copied. (Wine's function drops one more
// character when the buffer ends exactly at the closing quote; a buffer that
// can hold the text gets all of it here.)
size_t CopyEntry(const char* value, char* buf, size_t size) {
    size_t len = std::strlen(value);
    if (len >= 2 && (value[0] == '"' || value[0] == '\'') && value[len - 1] == value[0]) {
        ++value;
        len -= 2;
    }
    if (len > size - 1) len = size - 1;
    std::memcpy(buf, value, len);
    buf[len] = '\0';
    return len;
}

// The value of the key, or nullptr when the file, the section, the key or
// its value is missing.
const char* FindValue(IniFile* ini, const char* section, const char* key) {
    if (!section || !key) return nullptr;
    IniSection* s = FindSection(ini, section);
    IniKey* k = s ? FindKey(s, key) : nullptr;
    return k && k->hasValue ? k->value.c_str() : nullptr;
}

}  // namespace

size_t ProfileGetString(const char* section, const char* key, const char* def, char* buf,
                        size_t size, const char* file) {
    if (!buf || size == 0) return 0;
    IniFile ini;
    Load(file, &ini);
    const char* value = FindValue(&ini, section, key);
    if (value) return CopyEntry(value, buf, size);
    // The default loses its trailing spaces (never its first character).
    std::string d = def ? def : "";
    while (d.size() > 1 && d.back() == ' ') d.pop_back();
    return CopyEntry(d.c_str(), buf, size);
}

unsigned ProfileGetInt(const char* section, const char* key, int def, const char* file) {
    // The value is taken into a 30-character buffer, like the real function.
    char text[30];
    if (ProfileGetString(section, key, "", text, sizeof text, file) == 0) return static_cast<unsigned>(def);
    // Then converted like RtlUnicodeStringToInteger with base 0: control
    // characters and spaces skipped, one sign, "0x", "0o" or "0b" choosing
    // the base, digits up to the first non-digit, wrapping modulo 2^32.
    const char* p = text;
    while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
    bool minus = false;
    if (*p == '+' || *p == '-') minus = *p++ == '-';
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
        base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
        p += 2;
    }
    unsigned total = 0;
    for (;; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') digit = static_cast<unsigned>(*p - '0');
        else if (*p >= 'a' && *p <= 'z') digit = static_cast<unsigned>(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'Z') digit = static_cast<unsigned>(*p - 'A' + 10);
        else break;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return minus ? 0u - total : total;
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
    Trim(vb, ve, false);
    IniSection* s = FindSection(&ini, section);
    if (!s) {
        const char* nb = section;
        const char* ne = section + std::strlen(section);
        Trim(nb, ne, false);
        ini.sections.push_back(IniSection{std::string(nb, ne), {}});
        s = &ini.sections.back();
    }
    IniKey* k = FindKey(s, key);
    if (!k) {
        const char* nb = key;
        const char* ne = key + std::strlen(key);
        Trim(nb, ne, false);
        s->keys.push_back(IniKey{std::string(nb, ne), std::string(vb, ve), true});
    } else {
        if (k->hasValue && k->value == vb) return true;
        k->value.assign(vb, ve);
        k->hasValue = true;
    }
    return ReplaceFile(file, Serialize(ini));
}

}  // namespace plat
