// INI text (see ini_text.h).
#include "platform/ini_text.h"

#include <cstring>

namespace plat {

namespace {

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

}  // namespace

bool IniIsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

void IniTrim(const char*& b, const char*& e, bool trailing) {
    while (b < e && IniIsBlank(*b)) ++b;
    while (trailing && e > b && IniIsBlank(e[-1])) --e;
}

void IniParse(const char* p, const char* end, IniFile* ini) {
    ini->sections.assign(1, IniSection{});
    ini->utf8Mark = end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
    if (ini->utf8Mark) p += 3;
    while (p < end) {
        const char* b = p;
        while (p < end && *p != '\r' && *p != '\n') ++p;
        const char* e = p;
        while (p < end && (*p == '\r' || *p == '\n')) ++p;
        IniTrim(b, e);
        if (b == e) continue;
        if (*b == '[') {
            const char* close = e - 1;
            while (close > b && *close != ']') --close;
            if (close > b) {
                const char* nb = b + 1;
                const char* ne = close;
                IniTrim(nb, ne);
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
            IniTrim(b, ne);
            IniTrim(vb, ve);
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

std::string IniSerialize(const IniFile& ini) {
    std::string out = ini.utf8Mark ? "\xEF\xBB\xBF" : "";
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

namespace {
// The first item whose name is name (trimmed), or nullptr.
template <typename Item>
Item* FindNamed(std::vector<Item>& items, const char* name) {
    const char* b = name;
    const char* e = name + std::strlen(name);
    IniTrim(b, e);
    for (Item& item : items)
        if (SameName(item.name, b, e)) return &item;
    return nullptr;
}
}  // namespace

IniSection* IniFindSection(IniFile* ini, const char* name) { return FindNamed(ini->sections, name); }

IniKey* IniFindKey(IniSection* s, const char* name) { return FindNamed(s->keys, name); }

size_t IniCopyEntry(const char* value, char* buf, size_t size) {
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

const char* IniFindValue(IniFile* ini, const char* section, const char* key) {
    if (!section || !key) return nullptr;
    IniSection* s = IniFindSection(ini, section);
    IniKey* k = s ? IniFindKey(s, key) : nullptr;
    return k && k->hasValue ? k->value.c_str() : nullptr;
}

unsigned IniGetInt(IniFile* ini, const char* section, const char* key, int def) {
    // The value is taken into a 30-character buffer, like the real function;
    // a missing or empty one gives def.
    const char* value = IniFindValue(ini, section, key);
    char text[30];
    if (!value || IniCopyEntry(value, text, sizeof text) == 0) return static_cast<unsigned>(def);
    // Converted like RtlUnicodeStringToInteger with base 0: control
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

}  // namespace plat
