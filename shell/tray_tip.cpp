#include "shell/tray_tip.h"

#include <cstdio>
#include <cstring>

#include "platform/text_codec.h"

#include "resources/resource.h"

namespace {

// Index percent / 10 -> icon id. The ids are not in position order: the
// resources were numbered as the pictures were drawn.
constexpr int kTrayIcons[11] = {
    IDI_TRAY_0,  IDI_TRAY_10, IDI_TRAY_20, IDI_TRAY_30, IDI_TRAY_40, IDI_TRAY_50,
    IDI_TRAY_60, IDI_TRAY_70, IDI_TRAY_80, IDI_TRAY_90, IDI_TRAY_100,
};

int ClampPercent(int percent) { return percent < 0 ? 0 : percent > 100 ? 100 : percent; }

}  // namespace

int TrayIconForPercent(int percent) { return kTrayIcons[ClampPercent(percent) / 10]; }

void FormatTrayTip(const char* title, int percent, char* out, std::size_t size) {
    if (size == 0) return;
    char tip[kTrayTipBytes];
    // snprintf cuts at the buffer's end and always terminates; the cuts that
    // count are the ones on a character boundary.
    std::snprintf(tip, sizeof tip, "Vor - %s - %03d%%", title ? title : "", ClampPercent(percent));
    const std::size_t len = Utf8CutLength(tip, size - 1, kTrayTipMax);
    std::memcpy(out, tip, len);
    out[len] = '\0';
}
