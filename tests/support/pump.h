// Keeps the window thread answering while a test waits for the worker.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/thread/thread.h"
#include "platform/window/window.h"

// Pumps messages until done() or 10 s have passed; false on the time-out.
inline bool PumpUntil(const std::function<bool()>& done) {
    const uint32_t start = platform::TickCount();
    while (!done()) {
        if (platform::TickCount() - start > 10000)
            return false;
        platform::PumpMessages();
        platform::SleepMs(5);
    }
    return true;
}
