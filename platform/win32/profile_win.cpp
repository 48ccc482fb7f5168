// Private-profile (INI) files on Win32: the real kernel32 functions.
#include "platform/platform.h"

#include <windows.h>

#include <string>

namespace plat {

namespace {
// The profile functions look for a file named without any directory in the
// Windows directory; such a name means the current directory here, as it
// does on POSIX.
std::string ProfilePath(const char* file) {
    std::string path = file ? file : "";
    if (path.find_first_of("\\/:") == std::string::npos) path = ".\\" + path;
    return path;
}

DWORD ClampSize(size_t size) { return size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size); }
}  // namespace

unsigned ProfileGetInt(const char* section, const char* key, int def, const char* file) {
    return GetPrivateProfileIntA(section, key, def, ProfilePath(file).c_str());
}

size_t ProfileGetString(const char* section, const char* key, const char* def, char* buf,
                        size_t size, const char* file) {
    if (!buf || size == 0) return 0;
    return GetPrivateProfileStringA(section, key, def, buf, ClampSize(size), ProfilePath(file).c_str());
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* file) {
    if (!section || !key || !value || !file) return false;
    return WritePrivateProfileStringA(section, key, value, ProfilePath(file).c_str()) != 0;
}

}  // namespace plat
