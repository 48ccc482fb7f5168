// Coalescing of title notices (see title_notices.h).
#include "shell/title_notices.h"

uint32_t TitleNoticeCoalescer::Change(uint32_t now) {
    if (!waiting_) first_ = now;
    waiting_ = true;
    last_ = now;
    return static_cast<uint32_t>(DueIn(now));
}

int64_t TitleNoticeCoalescer::DueIn(uint32_t now) const {
    if (!waiting_) return -1;
    // Ticks since each change, safe across a wrap of the counter.
    const uint32_t quiet = now - last_, waited = now - first_;
    if (quiet >= kTitleQuietMs || waited >= kTitleMaxWaitMs) return 0;
    const uint32_t a = kTitleQuietMs - quiet, b = kTitleMaxWaitMs - waited;
    return a < b ? a : b;
}

bool TitleNoticeCoalescer::Fire(uint32_t now) {
    if (DueIn(now) != 0) return false;
    waiting_ = false;
    return true;
}
