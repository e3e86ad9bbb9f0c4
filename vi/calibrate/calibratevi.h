// The calibration window (type 60): the function generator set to a direct
// voltage and the meter on one analog input side by side, so that an input
// can be checked against the generator's output.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/relaxed.h"
#include "vi/basevi.h"

class CFuncGen;
class CKobMeter;
class CKobDevice;

class CCalibrateVI : public CBaseVI {
public:
    CCalibrateVI(CKobDevice* funcgen, CKobDevice* meter);
    ~CCalibrateVI() override;

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    bool OnCommand(uint32_t id) override;
    void OnDestroy() override;
    void Serialize(CArchive& ar) override;

    // The generator's settings as the worker last read them.
    struct Generator {
        uint8_t on = 0;
        uint32_t function = 0;
        uint32_t amplitude = 0;
        uint32_t range = 0;
        bool operator==(const Generator&) const = default;
    };
    // The generator's output: +/- amplitude of the output range's full
    // scale while it is on, else 0 V.
    static double SetVolts(const Generator& g);
    // Full scale of the input range of a channel (0 A, 1 B), in volts.
    static double InputFullScale(uint32_t channel);

    CFuncGen* m_pFuncGen = nullptr;
    CKobMeter* m_pMeter = nullptr;
    std::atomic<uint32_t> m_nChannel{0}; // the input checked: 0 A, 1 B

    // The worker's last look at the meter.
    Relaxed<double> m_dMeasured{0.0};
    std::atomic<bool> m_bMeasured{false};
    std::atomic<bool> m_bOver{false};

private:
    void RefreshGenerator();
    void RefreshInput();
    void StepAmplitude(int delta);
    void StepRange(int delta);
    void ShowNumber(uint32_t id, double value, bool known, int decimals);
    void StopCounting();

    bool m_bCounted = false; // one of g_nMeterWindows
    // The generator's settings are written by the worker (the commands that
    // send them record them): it copies them for the window under
    // g_csDevices, together with what the window shows.
    Generator m_Gen;
    Generator m_GenShown;
    bool m_bDcChecked = false; // worker only
    Generator m_GenView;       // window thread only
    // What the input displays show: the worker compares with it, so a
    // notification the window missed is sent again.
    Relaxed<double> m_dShown{0.0};
    std::atomic<bool> m_bShownKnown{false};
    std::atomic<bool> m_bShownOver{false};
};

CBaseVI* CreateCalibrateVI(CKobDevice* funcgen, CKobDevice* meter);
