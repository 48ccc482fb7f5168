// Fuzz target: the private-profile (INI) functions over a file, and the
// settings loader on top of them. The input is "SECTION\0KEY\0VALUE\0"
// followed by the file's text (missing parts fall back to "vor",
// "EqVolume", "7"). Against the file: GetString into a large and a tiny
// buffer, GetInt, then WriteString of the value and a read of it, which
// must give the value back when the names and the value are plain (no
// blanks around them, no line breaks, no quotes or brackets or '=' where
// they would mean something else), and LoadSettingsFrom.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

std::string g_ini;

// Takes the text up to the next NUL, if there is one.
bool NextPart(const uint8_t*& p, const uint8_t* end, std::string* out) {
    const void* nul = std::memchr(p, 0, size_t(end - p));
    if (!nul) return false;
    out->assign(reinterpret_cast<const char*>(p), size_t(static_cast<const uint8_t*>(nul) - p));
    p = static_cast<const uint8_t*>(nul) + 1;
    return true;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

// A name or value that a write and a read must give back unchanged.
bool Plain(const std::string& s, const char* forbidden, size_t limit) {
    if (s.empty() || s.size() > limit || Blank(s.front()) || Blank(s.back())) return false;
    for (char c : s)
        if (c == '\r' || c == '\n' || std::strchr(forbidden, c) || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_ini = fuzz::MakeWorkDir("vorlo-fuzz-ini") + "vor.ini";
    plat::SetMessageBoxHook(fuzz::QuietMessageBox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    std::string section = "vor", key = "EqVolume", value = "7";
    std::string s, k, v;
    if (NextPart(p, end, &s) && NextPart(p, end, &k) && NextPart(p, end, &v)) {
        section = s;
        key = k;
        value = v;
    } else {
        p = data;
    }
    fuzz::WriteWholeFile(g_ini, p, size_t(end - p));
    const char* file = g_ini.c_str();

    static char big[65536];
    size_t n = plat::ProfileGetString(section.c_str(), key.c_str(), "def", big, sizeof big, file);
    if (n >= sizeof big || big[n] != '\0') std::abort();
    char tiny[4];
    n = plat::ProfileGetString(section.c_str(), key.c_str(), "default", tiny, sizeof tiny, file);
    if (n >= sizeof tiny || tiny[n] != '\0') std::abort();
    (void)plat::ProfileGetInt(section.c_str(), key.c_str(), -5, file);

    if (plat::ProfileWriteString(section.c_str(), key.c_str(), value.c_str(), file) &&
        Plain(section, "[]", 200) && Plain(key, "=[;", 200) && Plain(value, "\"'", 4000)) {
        n = plat::ProfileGetString(section.c_str(), key.c_str(), "", big, sizeof big, file);
        if (value != big) {
            std::fprintf(stderr, "fuzz-ini: [%s] %s=%s read back as %s\n", section.c_str(), key.c_str(),
                         value.c_str(), big);
            std::abort();
        }
    }

    // The settings loader over the same text.
    fuzz::WriteWholeFile(g_ini, p, size_t(end - p));
    LoadSettingsFrom(file);
    return 0;
}
