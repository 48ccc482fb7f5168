// File-type registration: the player becomes the opener of MPEG audio files
// and playlists. Each extension key names a type; each type key carries its
// icon (an index into the executable's icon groups) and its open command.
#include "shell/file_types_win.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char kKeyClass[] = "Test";
constexpr unsigned char kNoEditFlags[4] = {0, 0, 0, 0};
constexpr unsigned char kOpenEditFlags[4] = {1, 0, 0, 0};

struct FileType {
    const char* name;
    int icon;  // icon index in the executable
};
constexpr FileType kMediaType = {"VOR MPEG Audio File", 13};
constexpr FileType kPlaylistType = {"VOR Playlist File", 14};

struct Extension {
    const char* ext;
    const FileType* type;
};
constexpr Extension kExtensions[] = {
    {".mp1", &kMediaType}, {".mp2", &kMediaType},         {".mp3", &kMediaType},
    {".pls", &kPlaylistType}, {".m3u", &kPlaylistType},
};

// Creates (or opens) parent\name with full access; null when it cannot.
HKEY CreateKey(HKEY parent, const char* name) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(parent, name, 0, const_cast<char*>(kKeyClass), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// A text value. The stored length counts the terminating zero, so that
// readers relying on it get a terminated string.
void SetText(HKEY key, const char* value, const char* text) {
    RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

void SetEditFlags(HKEY key, const unsigned char (&flags)[4]) {
    RegSetValueExA(key, "EditFlags", 0, REG_BINARY, flags, sizeof flags);
}

// type\{default, EditFlags, DefaultIcon, Shell\open\command}; a key that
// cannot be created is skipped with everything beneath it.
void RegisterType(const FileType& type, const char* exe) {
    HKEY typeKey = CreateKey(HKEY_CLASSES_ROOT, type.name);
    if (!typeKey) return;
    SetText(typeKey, nullptr, type.name);
    SetEditFlags(typeKey, kNoEditFlags);

    if (HKEY icon = CreateKey(typeKey, "DefaultIcon")) {
        char text[MAX_PATH + 16];
        std::snprintf(text, sizeof text, "%s,%d", exe, type.icon);
        SetText(icon, nullptr, text);
        RegCloseKey(icon);
    }
    if (HKEY shell = CreateKey(typeKey, "Shell")) {
        SetText(shell, nullptr, "");
        if (HKEY open = CreateKey(shell, "open")) {
            SetText(open, nullptr, "");
            SetEditFlags(open, kOpenEditFlags);
            if (HKEY command = CreateKey(open, "command")) {
                char text[MAX_PATH + 16];
                std::snprintf(text, sizeof text, "\"%s\" \"%%1\"", exe);
                SetText(command, nullptr, text);
                RegCloseKey(command);
            }
            RegCloseKey(open);
        }
        RegCloseKey(shell);
    }
    RegCloseKey(typeKey);
}

}  // namespace

void RegisterFileTypes(HWND) {
    for (const Extension& e : kExtensions) {
        if (HKEY key = CreateKey(HKEY_CLASSES_ROOT, e.ext)) {
            SetText(key, nullptr, e.type->name);
            RegCloseKey(key);
        }
    }
    char exe[MAX_PATH];
    plat::GetExePath(exe, sizeof exe);
    RegisterType(kMediaType, exe);
    RegisterType(kPlaylistType, exe);

    // Explorer re-reads the associations; a hung window does not hold us up.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>("HKEY_CLASSES_ROOT"), SMTO_ABORTIFHUNG, 1000,
                        &result);
    plat::ShowMessageBox(nullptr,
                         "Filetypes are now registered,\nYou may start a supported file by "
                         "double clicking.\nIcons may not be updated untill windows is restarted",
                         "FileType Registration...", plat::MbOk);
}
