// Sleeping and the millisecond tick count.
#pragma once

#include <cstdint>

namespace platform {

void SleepMs(uint32_t ms);
// Milliseconds on a steady clock (wraps like GetTickCount).
uint32_t TickCount();

} // namespace platform
