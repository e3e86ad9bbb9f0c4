// The hand-held meter window (types 70-72, variants 1-3 for the three
// families of meters): the meter's display with its reading, mode and unit,
// and a lamp that is lit while readings arrive.
#pragma once

#include <atomic>
#include <cstdint>

#include "instruments/handheld/handheld.h"
#include "vi/basevi.h"

class CHotMetraLcd;

class CMetraHitVI : public CBaseVI {
public:
    CMetraHitVI(CKobDevice* metrahit, uint32_t variant);

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    void OnRemove(CKobface* device) override;
    void Serialize(CArchive& ar) override;

    // No valid reading for longer than this blanks the display.
    static constexpr uint32_t kNoReadingMs = 3000;

    CMetraHit* m_pMetraHit = nullptr;
    uint32_t m_nVariant; // the family of the meter: 1, 2 or 3

private:
    void Refresh();
    // The read operation of the window's family.
    bool ReadReading();

    CHotMetraLcd* m_pLcd = nullptr;
    // Written by the worker.
    std::atomic<uint32_t> m_dwLastValid{0};
    std::atomic<bool> m_bReceiving{false};
    // What the window shows, under g_csDevices: the worker compares with it,
    // so a notification the window missed is sent again.
    CMetraHitReading m_Shown;
    bool m_bShownReceiving = false;
};

CBaseVI* CreateMetraHitVI(CKobDevice* metrahit, uint32_t variant);
