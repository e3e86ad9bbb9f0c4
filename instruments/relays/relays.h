// The relay board's model: eight relays as one byte (bit n = relay n), read
// back from the box, set, and the module-wide state sent when marked.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/relaxed.h"
#include "instruments/device_base.h"

inline constexpr uint8_t kCmdRelaysSet = 0x32;
inline constexpr uint8_t kCmdRelaysStatus = 0x33;

// The relay state the windows work on, and its change mask (low 16 bits).
extern Relaxed<uint8_t> g_byRelays;
// Marked by a window while the worker sends and clears it.
extern std::atomic<uint32_t> g_dwRelaysChanged;

class CRelays : public CKobDevice {
public:
    using CKobDevice::CKobDevice;

    void Serialize(CArchive& ar) override;
    // Sends g_byRelays when marked; the mark stays until the box has
    // acknowledged, so a failed send is tried again.
    void SendChanges() override;

    uint8_t GetStatus();
    // Straight to the wire; g_byRelays stays as it is.
    void SetRelays(uint8_t state);
    static void MarkRelaysChanged(uint32_t bits);
};
