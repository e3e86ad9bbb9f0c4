#include "platform/thread/thread.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void YieldThread() {
    std::this_thread::yield();
}

void SetThreadLocale(uint16_t langId) {
#ifdef _WIN32
    ::SetThreadLocale(MAKELCID(langId, SORT_DEFAULT));
#else
    (void)langId;
#endif
}

} // namespace platform
