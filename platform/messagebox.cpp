// The message-box hook, shared by both sides of the platform layer.
#include "platform/platform.h"

#include <atomic>

namespace plat {

int DefaultMessageBox(void* owner, const char* text, const char* caption, unsigned flags);

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
std::atomic<void*> g_mainWindow{nullptr};
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    MessageBoxHook hook = g_hook.load();
    return hook ? hook(owner, text, caption, flags) : DefaultMessageBox(owner, text, caption, flags);
}

void SetMainWindow(void* window) { g_mainWindow.store(window); }
void* MainWindow() { return g_mainWindow.load(); }

}  // namespace plat
