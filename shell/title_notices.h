// A station's title may change with every metadata block (icy-metaint may
// be 1): the window's refresh and the IRC announcement follow the changes
// coalesced, so that a burst of titles costs one refresh and one
// announcement, of the latest title, and the last title is never dropped.
//
// A change is acted on once the titles have been quiet for kTitleQuietMs,
// or kTitleMaxWaitMs after the first change waiting, whichever comes first
// (a title that never settles is still shown every few seconds). Times are
// millisecond ticks that may wrap.
#pragma once

#include <cstdint>

constexpr uint32_t kTitleQuietMs = 1000;
constexpr uint32_t kTitleMaxWaitMs = 5000;

class TitleNoticeCoalescer {
public:
    // A change came at now. Returns the wait until it is due (what the
    // caller's timer is set to).
    uint32_t Change(uint32_t now);
    // The timer came at now: true when the waiting change is due and is to
    // be acted on now (it no longer waits). False when nothing waits (-1
    // from DueIn) or it is not due yet (set the timer to DueIn).
    bool Fire(uint32_t now);
    // The wait from now until the waiting change is due; -1 when none waits.
    int64_t DueIn(uint32_t now) const;
    // Forgets a waiting change (a new track is announced on its own).
    void Reset() { waiting_ = false; }

private:
    bool waiting_ = false;
    uint32_t first_ = 0;  // the first change waiting
    uint32_t last_ = 0;   // the latest change
};
