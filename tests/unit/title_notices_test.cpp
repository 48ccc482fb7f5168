// Title notices coalesced: the times a window acting on its timer would
// refresh and announce, for bursts, steady titles and titles that never
// settle, across a wrap of the tick counter.
#include "shell/title_notices.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Times = std::vector<uint32_t>;

// Plays the changes (ascending ticks from start) through the coalescer with
// one timer, as the window sets it, and gives the ticks it acts at.
Times Acted(const Times& changes, uint32_t start = 0) {
    TitleNoticeCoalescer c;
    Times acted;
    int64_t timer = -1;  // the tick the timer comes at, -1 when off
    size_t next = 0;
    while (next < changes.size() || timer >= 0) {
        if (next < changes.size() && (timer < 0 || changes[next] < timer)) {
            const uint32_t now = start + changes[next++];
            timer = static_cast<int64_t>(now - start) + c.Change(now);
        } else {
            const uint32_t now = start + static_cast<uint32_t>(timer);
            if (c.Fire(now)) acted.push_back(now - start);
            const int64_t due = c.DueIn(now);
            timer = due < 0 ? -1 : timer + due;
        }
    }
    return acted;
}

Times Every(uint32_t step, uint32_t until) {
    Times t;
    for (uint32_t at = 0; at <= until; at += step) t.push_back(at);
    return t;
}

TEST(TitleNotices, CoalescedToTheLatestAndNeverDropped) {
    const struct {
        const char* what;
        Times changes, acted;
    } cases[] = {
        {"one change", {0}, {1000}},
        {"a burst: the last one, once", {0, 10, 20, 30, 400}, {1400}},
        {"two apart: each", {0, 3000}, {1000, 4000}},
        {"a title every block for 12 s: every 5 s and the last", Every(1, 12000), {5000, 10000, 13000}},
        {"every 999 ms: never quiet, at most every 5 s", Every(999, 9990), {5000, 10990}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Acted(c.changes), c.acted) << c.what;
        EXPECT_EQ(Acted(c.changes, 0xFFFFFFFFu - 2500), c.acted) << c.what << ", across the wrap";
    }
    TitleNoticeCoalescer c;
    EXPECT_FALSE(c.Fire(0));
    c.Change(0);
    c.Reset();
    EXPECT_EQ(c.DueIn(5000), -1);
}

}  // namespace
