#include "device/exchange.h"
#include "framework/archive.h"
#include "instruments/meter/meter.h"

CKobCounter::CKobCounter(CKobface* owner) : CKobDevice(owner) {}

bool CKobCounter::StartCounter() {
    SendAcked(kCmdCounterStart);
    return true;
}

void CKobCounter::StopCounter() {
    SendAcked(kCmdCounterStop);
}

void CKobCounter::SendChanges() {
    if ((m_dwCounterChanged & 0xFFFF) == 0) {
        return;
    }
    uint32_t bits = m_dwCounterChanged;
    // Cleared before sending: a refused command is not sent again.
    m_dwCounterChanged = 0;
    if (bits & 1) {
        if (m_bRun) {
            StartCounter();
        } else {
            StopCounter();
        }
    }
}

void CKobCounter::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1};
        return;
    }
    uint32_t version = 0;
    ar >> version; // the counter keeps no settings
}
