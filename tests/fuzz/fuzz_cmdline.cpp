// Fuzz target: the command-line splitter, and the hand-over records a
// second start builds from its result, read back as the running player
// reads them: every record must parse, and each add must carry its
// argument (cut to 259 characters).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text_codec.h"
#include "shell/startup.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

ArgumentList g_list;
HandOverRecord g_records[kMaxArguments + 1];

using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);  // up to the first NUL, as a C string
    std::memset(&g_list, 0x5A, sizeof g_list);
    int n = SplitCommandLine(line.c_str(), &g_list);
    Check(n == g_list.count && n >= 0 && n <= kMaxArguments, "count");
    size_t total = 0;
    for (int i = 0; i < n; i++) {
        Check(std::memchr(g_list.args[i], 0, kArgumentSize) != nullptr, "argument not terminated");
        total += std::strlen(g_list.args[i]);
        (void)ArgumentOpenKind(g_list.args[i]);
    }
    Check(total <= std::strlen(line.c_str()), "arguments longer than the line");

    int records = BuildHandOver(g_list, g_records, kMaxArguments + 1);
    Check(records >= 0 && records <= kMaxArguments + 1, "record count");
    int arg = 1;
    for (int r = 0; r < records; r++) {
        HandOverRequest req;
        Check(ParseHandOver(g_records[r].code, g_records[r].size, g_records[r].data, &req), "record refused");
        if (req.code != kHandOverAdd) continue;
        while (arg < n && !IsOpenableArgument(g_list.args[arg])) arg++;
        Check(arg < n, "more adds than arguments");
        // The receiver takes a name that is no UTF-8 for the former code page.
        const char* a = g_list.args[arg];
        std::string want = IsValidUtf8(a, std::strlen(a)) ? std::string(a) : AnsiToUtf8(a, std::strlen(a));
        want.resize(Utf8CutLength(want.c_str(), kHandOverNameSize - 1));
        Check(want == req.name, "add differs from its argument");
        arg++;
    }
    return 0;
}
