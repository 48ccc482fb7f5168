// vorlo-tool-ddeserver OUTFILE SECONDS: a DDE server standing in for an IRC
// client. It registers the service "mIrc" with the topic "command", appends
// the text of every poke as one line to OUTFILE, and exits after SECONDS.
// It prints "ready" once the service is registered.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
HSZ g_topic = nullptr;
const char* g_out = nullptr;

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ topic, HSZ, HDDEDATA data,
                           ULONG_PTR, ULONG_PTR) {
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(
            static_cast<ULONG_PTR>(DdeCmpStringHandles(topic, g_topic) == 0));
    case XTYP_POKE: {
        if (format != CF_TEXT) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        char text[4096] = "";
        const DWORD n = DdeGetData(data, reinterpret_cast<LPBYTE>(text), sizeof text - 1, 0);
        text[n < sizeof text ? n : sizeof text - 1] = '\0';
        if (FILE* f = std::fopen(g_out, "ab")) {
            std::fprintf(f, "%s\n", text);
            std::fclose(f);
        }
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorlo-tool-ddeserver OUTFILE SECONDS\n");
        return 2;
    }
    g_out = argv[1];
    if (DdeInitializeA(&g_instance, Callback,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_REQUESTS |
                           CBF_FAIL_EXECUTES,
                       0) != DMLERR_NO_ERROR) {
        std::printf("fail: DdeInitialize\n");
        return 1;
    }
    g_service = DdeCreateStringHandleA(g_instance, "mIrc", CP_WINANSI);
    g_topic = DdeCreateStringHandleA(g_instance, "command", CP_WINANSI);
    if (!DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER)) {
        std::printf("fail: DdeNameService\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    SetTimer(nullptr, 1, static_cast<UINT>(std::atoi(argv[2]) * 1000), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageA(&msg);
    }
    DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(g_instance, g_service);
    DdeFreeStringHandle(g_instance, g_topic);
    DdeUninitialize(g_instance);
    return 0;
}
