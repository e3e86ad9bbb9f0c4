// Sleeping, the millisecond tick count and the calling thread's locale.
#pragma once

#include <cstdint>

namespace platform {

void SleepMs(uint32_t ms);
// Milliseconds on a steady clock (wraps like GetTickCount).
uint32_t TickCount();
// Gives up the rest of the time slice (Sleep 0).
void YieldThread();
// Windows: the calling thread's locale (SetThreadLocale) from a language id.
// POSIX has no thread locale of that kind: nothing happens.
void SetThreadLocale(uint16_t langId);

} // namespace platform
