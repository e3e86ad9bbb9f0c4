// The instrument window of the digital port and the relays (window types
// 11-14, 21, 22).
#pragma once

#include <atomic>
#include <cstdint>

#include "vi/basevi.h"

class CDigIO;
class CRelays;
class CHotDigSeg7;
class CKobDevice;

class CDigVI : public CBaseVI {
public:
    CDigVI(CKobDevice* digio, CKobDevice* relays);

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    bool OnCommand(uint32_t id) override;
    void Serialize(CArchive& ar) override;

    CHotDigSeg7* m_pOutDisplay = nullptr;
    CHotDigSeg7* m_pInDisplay = nullptr;
    std::atomic<uint16_t> m_wInputs{0};      // the box's last report, written by the worker
    std::atomic<uint16_t> m_wShownInputs{0}; // what the lamps show, written by the window
    CDigIO* m_pDigIO = nullptr;
    CRelays* m_pRelays = nullptr;

private:
    void RefreshOutputs();
    void RefreshInputs();
    void ApplyOutMode(bool wordMode, bool force);
    void ApplyInMode(bool wordMode);
    void ApplyRadix(CHotDigSeg7* display, uint32_t radix);
    void SetOutputs(uint16_t word);
};

CBaseVI* CreateDigVI(CKobDevice* digio, CKobDevice* relays);

extern bool g_bOutWordMode;
extern bool g_bInWordMode;
extern uint32_t g_nOutRadix;
extern uint32_t g_nInRadix;
