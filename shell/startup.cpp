// Command-line splitting, the hand-over records and the opening of the
// arguments. Portable: the Win32 side only sends and receives the records.
#include "shell/startup.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/text_codec.h"
#include "playlist/playlist_files.h"

int SplitCommandLine(const char* commandLine, ArgumentList* list) {
    list->count = 0;
    if (!commandLine) return 0;
    const char* p = commandLine;
    bool inQuotes = false;
    // One argument per pass. Invariant at the top: p is where the next
    // argument starts, and the separator of the previous one is consumed.
    while (*p && list->count < kMaxArguments) {
        char* out = list->args[list->count];
        size_t n = 0;
        if (*p == '"') {  // an opening quote starts nothing
            inQuotes = !inQuotes;
            ++p;
        }
        bool first = true;
        while (*p) {
            char c = *p;
            if (c == '"') {  // a quote inside an argument ends it
                inQuotes = !inQuotes;
                ++p;
                break;
            }
            // The first character is taken whatever it is: a space left
            // after the one skipped separator begins the next argument.
            if (c == ' ' && !inQuotes && !first) break;
            if (n < kArgumentSize - 1) out[n++] = c;  // the rest of a long one is dropped
            first = false;
            ++p;
        }
        out[n] = '\0';
        ++list->count;
        // Exactly one separating space is skipped: the one that ended the
        // argument, or the one after a closing quote.
        if (*p == ' ') ++p;
    }
    return list->count;
}

bool IsOpenableArgument(const char* arg) {
    if (arg[0] == '/') return false;
    // A name of blanks only names nothing (Windows drops trailing blanks, so
    // it would open the current directory).
    for (const char* c = arg; *c; ++c)
        if (*c != ' ') return true;
    return false;
}

int ArgumentOpenKind(const char* name) {
    return std::strstr(name, "://") ? kOpenUrl : kOpenLocal;
}

int OpenCommandLineArguments(const ArgumentList& list) {
    int opened = 0;
    for (int i = 1; i < list.count; ++i) {
        const char* arg = list.args[i];
        if (!IsOpenableArgument(arg)) continue;
        if (PlaylistOpenItem(ArgumentOpenKind(arg), arg)) {
            ++opened;
        } else {
            char text[kArgumentSize + 32];
            std::snprintf(text, sizeof text, "Error Processing File: %s", arg);
            plat::ShowMessageBox(nullptr, text, "Error...", plat::MbOk);
        }
    }
    return opened;
}

int BuildHandOver(const ArgumentList& list, HandOverRecord* records, int maxRecords) {
    int openable = 0;
    for (int i = 1; i < list.count; ++i)
        if (IsOpenableArgument(list.args[i])) ++openable;
    // Switches alone are no files: the running player stays as it is.
    if (openable == 0 || maxRecords < 2) return 0;
    int n = 0;
    records[n++] = {kHandOverClear, 0, nullptr};
    for (int i = 1; i < list.count && n < maxRecords - 1; ++i) {
        const char* arg = list.args[i];
        if (!IsOpenableArgument(arg)) continue;
        records[n++] = {kHandOverAdd, static_cast<uint32_t>(std::strlen(arg)), arg};
    }
    records[n++] = {kHandOverPlayFirst, 0, nullptr};
    return n;
}

bool ParseHandOver(uint32_t code, uint32_t size, const void* data, HandOverRequest* request) {
    std::memset(request, 0, sizeof *request);
    switch (code) {
    case kHandOverClear:
    case kHandOverPlayFirst:
        break;
    case kHandOverAdd:
    case kHandOverReplace: {
        // The sender's bytes carry no terminator; read no further than size.
        const char* bytes = static_cast<const char*>(data);
        // More than the name's room is never needed: a name in the former
        // code page at most triples as UTF-8.
        const size_t limit = size < 4 * kHandOverNameSize ? size : 4 * kHandOverNameSize;
        size_t n = 0;
        if (bytes)
            while (n < limit && bytes[n] != '\0') ++n;
        // The name is UTF-8, as the program's strings are; a sender that runs
        // in the former ANSI code page (an older build) sends other bytes.
        const std::string name = IsValidUtf8(bytes, n) ? std::string(bytes, n) : AnsiToUtf8(bytes, n);
        Utf8CopyCut(request->name, sizeof request->name, name.c_str());
        break;
    }
    case kHandOverPlayIndex:
        request->index = static_cast<int32_t>(size);
        break;
    default:
        return false;
    }
    request->code = code;
    return true;
}
