// File-type registration, read back through the registry API (Windows
// build only; under Wine it writes the unit suite's own prefix).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/file_types_win.h"

namespace {

struct Box {
    void* owner;
    std::string text, caption;
};
std::vector<Box> g_boxes;

int RecordBox(void* owner, const char* text, const char* caption, unsigned) {
    g_boxes.push_back({owner, text, caption});
    return plat::IdOk;
}

void DeleteTree(HKEY parent, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char sub[256];
    DWORD n = sizeof sub;
    while (RegEnumKeyExA(key, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        DeleteTree(key, sub);
        n = sizeof sub;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

// "TYPE:DATA" of a value under HKEY_CLASSES_ROOT (binary data as hex bytes),
// or "missing".
std::string Value(const std::string& path, const char* name = nullptr) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "missing";
    BYTE data[1024] = {};
    DWORD type = 0, size = sizeof data - 1;
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "missing";
    if (type == REG_SZ) {
        // Stored with its terminator, so that readers trusting it are safe.
        const std::string text(reinterpret_cast<char*>(data));
        return (size == text.size() + 1 ? "sz:" : "unterminated:") + text;
    }
    std::string hex = type == REG_BINARY ? "bin:" : "other:";
    for (DWORD i = 0; i < size; ++i) {
        hex += "0123456789abcdef"[data[i] >> 4];
        hex += "0123456789abcdef"[data[i] & 15];
    }
    return hex;
}

const char* const kKeys[] = {".mp1", ".mp2", ".mp3", ".pls", ".m3u", "VOR MPEG Audio File",
                             "VOR Playlist File"};

TEST(FileTypes, RegisterWritesEveryEntryAndReports) {
    for (const char* k : kKeys) DeleteTree(HKEY_CLASSES_ROOT, k);
    char exe[MAX_PATH];
    plat::GetExePath(exe, sizeof exe);
    g_boxes.clear();
    plat::SetMessageBoxHook(RecordBox);
    RegisterFileTypes(nullptr);
    RegisterFileTypes(nullptr);  // a second time changes nothing
    plat::SetMessageBoxHook(nullptr);

    for (const char* ext : {".mp1", ".mp2", ".mp3"})
        EXPECT_EQ(Value(ext), "sz:VOR MPEG Audio File") << ext;
    for (const char* ext : {".pls", ".m3u"}) EXPECT_EQ(Value(ext), "sz:VOR Playlist File") << ext;

    for (const auto& [type, icon] : {std::pair<std::string, int>{"VOR MPEG Audio File", 13},
                                     {"VOR Playlist File", 14}}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(Value(type), "sz:" + type);
        EXPECT_EQ(Value(type, "EditFlags"), "bin:00000000");
        EXPECT_EQ(Value(type + "\\DefaultIcon"), "sz:" + std::string(exe) + "," + std::to_string(icon));
        EXPECT_EQ(Value(type + "\\Shell"), "sz:");
        EXPECT_EQ(Value(type + "\\Shell\\open"), "sz:");
        EXPECT_EQ(Value(type + "\\Shell\\open", "EditFlags"), "bin:01000000");
        EXPECT_EQ(Value(type + "\\Shell\\open\\command"), "sz:\"" + std::string(exe) + "\" \"%1\"");
        // Nothing else: two subkeys, two values, each written once.
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, type.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
        char cls[32] = "";
        DWORD clsSize = sizeof cls, subkeys = 0, values = 0;
        RegQueryInfoKeyA(key, cls, &clsSize, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(key);
        EXPECT_EQ(std::string(cls), "Test");
        EXPECT_EQ(subkeys, 2u);
        EXPECT_EQ(values, 2u);
    }

    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].owner, nullptr);
    EXPECT_EQ(g_boxes[0].caption, "FileType Registration...");
    EXPECT_EQ(g_boxes[0].text,
              "Filetypes are now registered,\nYou may start a supported file by double clicking.\n"
              "Icons may not be updated untill windows is restarted");
}

}  // namespace

#endif  // _WIN32
