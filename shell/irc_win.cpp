// Announcement of the playing track to an IRC client: one DDE poke of a
// command line into the client's server (service IRCAppName, topic
// "command", item " ", text format).
#include "shell/irc_win.h"

#include <windows.h>
#include <ddeml.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/text_codec.h"
#include "settings/settings.h"

namespace {

constexpr size_t kCommandSize = 1025;  // 1024 characters and the terminator
constexpr DWORD kPokeTimeoutMs = 1000;

// The client side answers nothing.
HDDEDATA CALLBACK IgnoreTransaction(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

void Report(const char* text) { plat::ShowMessageBox(nullptr, text, "error", plat::MbOk); }

void Append(char* out, size_t* len, const char* text, size_t n) {
    const size_t room = kCommandSize - 1 - *len;
    if (n > room) n = room;
    std::memcpy(out + *len, text, n);
    *len += n;
    out[*len] = '\0';
}

// The template with song in place of every "%s" and "%" for "%%"; any other
// "%" sequence stays as it stands (the template is user text, never a
// format string). Cut at 1024 characters.
void FormatCommand(const char* tmpl, const char* song, char* out) {
    size_t len = 0;
    out[0] = '\0';
    const size_t songLen = std::strlen(song);
    for (const char* p = tmpl; *p;) {
        if (p[0] == '%' && p[1] == 's') {
            Append(out, &len, song, songLen);
            p += 2;
        } else if (p[0] == '%' && p[1] == '%') {
            Append(out, &len, p, 1);
            p += 2;
        } else {
            Append(out, &len, p, 1);
            ++p;
        }
    }
}

// Pokes text to the connected server; reports each failure.
void Poke(DWORD instance, HCONV conv, const char* text) {
    HSZ item = DdeCreateStringHandleA(instance, " ", CP_WINANSI);
    if (!item) {
        Report("Error creating item string");
        return;
    }
    HDDEDATA data = DdeCreateDataHandle(instance,
                                        reinterpret_cast<LPBYTE>(const_cast<char*>(text)),
                                        static_cast<DWORD>(std::strlen(text) + 1), 0, item,
                                        CF_TEXT, 0);
    if (!data) {
        Report("Error creating data handle");
    } else if (!DdeClientTransaction(reinterpret_cast<LPBYTE>(data), static_cast<DWORD>(-1), conv,
                                     item, CF_TEXT, XTYP_POKE, kPokeTimeoutMs, nullptr)) {
        Report("Error transacting");
    }
    DdeFreeStringHandle(instance, item);
}

}  // namespace

void AnnounceToIrc(const char* song) {
    static char command[kCommandSize];  // user-interface thread only
    // The song is one line of the command, whatever its tag or station says.
    std::string line = song ? song : "";
    BlankControlChars(&line);
    FormatCommand(g_settings.IRCCommand, line.c_str(), command);

    DWORD instance = 0;
    if (DdeInitializeA(&instance, IgnoreTransaction, APPCLASS_STANDARD | APPCMD_CLIENTONLY, 0) !=
        DMLERR_NO_ERROR) {
        Report("Error calling DdeInitialize");
        return;
    }
    HSZ service = DdeCreateStringHandleA(instance, g_settings.IRCAppName, CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance, "command", CP_WINANSI);
    if (!service || !topic) {
        Report("Error creating strings");
    } else if (HCONV conv = DdeConnect(instance, service, topic, nullptr)) {
        // No server answering is no error: the client is simply not running.
        Poke(instance, conv, command);
        DdeDisconnect(conv);
    }
    if (service) DdeFreeStringHandle(instance, service);
    if (topic) DdeFreeStringHandle(instance, topic);
    DdeUninitialize(instance);
}
