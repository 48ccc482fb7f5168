// The hooks through which the core reaches the main window: notices and the
// save-file dialog. Shared by both sides of the platform layer.
#include "platform/thread.h"

#include <atomic>

namespace plat {

intptr_t DefaultNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam, bool sent);
int DefaultSaveDialog(void* owner, const char* title, const char* filter, const char* defaultExt,
                      char* path, size_t size);

namespace {
std::atomic<NoticeHook> g_noticeHook{nullptr};
std::atomic<SaveDialogHook> g_saveHook{nullptr};
}  // namespace

void SetNoticeHook(NoticeHook hook) { g_noticeHook.store(hook); }

intptr_t SendNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    NoticeHook hook = g_noticeHook.load();
    return hook ? hook(window, msg, wParam, lParam, true)
                : DefaultNotice(window, msg, wParam, lParam, true);
}

void PostNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    NoticeHook hook = g_noticeHook.load();
    if (hook)
        hook(window, msg, wParam, lParam, false);
    else
        DefaultNotice(window, msg, wParam, lParam, false);
}

void SetSaveDialogHook(SaveDialogHook hook) { g_saveHook.store(hook); }

int ShowSaveDialog(void* owner, const char* title, const char* filter, const char* defaultExt,
                   char* path, size_t size) {
    SaveDialogHook hook = g_saveHook.load();
    return hook ? hook(owner, title, filter, defaultExt, path, size)
                : DefaultSaveDialog(owner, title, filter, defaultExt, path, size);
}

}  // namespace plat
