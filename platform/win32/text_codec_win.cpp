// The system's side of the text conversions on Win32.
#include "platform/text_codec.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

bool TextIsUtf8() { return GetACP() == CP_UTF8; }

unsigned LegacyCodePage() {
    // GetACP() answers 65001 in a process whose manifest asks for UTF-8; the
    // code page the system's 8-bit text was written in is the registry's.
    static const unsigned page = [] {
        char value[16] = "";
        DWORD size = sizeof value - 1;
        HKEY key;
        unsigned cp = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                          KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            DWORD type = 0;
            if (RegQueryValueExA(key, "ACP", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ) {
                value[size < sizeof value ? size : sizeof value - 1] = '\0';
                cp = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
            }
            RegCloseKey(key);
        }
        return cp && cp != CP_UTF8 && IsValidCodePage(cp) ? cp : 1252u;
    }();
    return page;
}

std::string AnsiToUtf8(const char* s, size_t n) {
    if (!TextIsUtf8() || n == 0) return std::string(s, n);
    const unsigned cp = LegacyCodePage();
    const int len = static_cast<int>(n);
    const int wide = MultiByteToWideChar(cp, 0, s, len, nullptr, 0);
    if (wide <= 0) return Cp1252ToUtf8(s, n);
    std::vector<wchar_t> w(static_cast<size_t>(wide));
    MultiByteToWideChar(cp, 0, s, len, w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], bytes, nullptr, nullptr);
    return out;
}
