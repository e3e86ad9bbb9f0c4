#include "instruments/relays/relays.h"

#include "device/exchange.h"
#include "framework/archive.h"

Relaxed<uint8_t> g_byRelays{0};
std::atomic<uint32_t> g_dwRelaysChanged{0};

uint8_t CRelays::GetStatus() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdRelaysStatus);
    return ReadByte(s);
}

void CRelays::SetRelays(uint8_t state) {
    const uint8_t cmd[] = {kCmdRelaysSet, state};
    CStreamIO& s = Stream();
    SendCommand(s, cmd, sizeof cmd);
    CheckAck(s);
}

void CRelays::MarkRelaysChanged(uint32_t bits) {
    g_dwRelaysChanged |= bits;
}

void CRelays::SendChanges() {
    // Taken before the byte is read: a window's mark made while it is on
    // the wire stays for the next pass instead of being cleared unsent.
    const uint32_t marks = g_dwRelaysChanged.exchange(0);
    if ((marks & 0xFFFF) == 0) {
        g_dwRelaysChanged |= marks;
        return;
    }
    try {
        SetRelays(g_byRelays);
    } catch (...) {
        g_dwRelaysChanged |= marks;
        throw;
    }
}

void CRelays::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << g_byRelays;
        return;
    }
    uint32_t version = 0;
    uint8_t state = 0;
    ar >> version >> state;
    g_byRelays = state;
    MarkRelaysChanged(0xFFFF);
}
