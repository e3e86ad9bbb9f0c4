// The windows of the three-phase generator: the three-phase supply
// (type 48), the AC supply (42), three DC supplies (41) and the DC motor
// supply (43). They share one base that steps settings with arrow buttons.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "vi/basevi.h"
#include "vi/controls/hot3phdisp.h"

class C3PhaseGen;
class CKobDevice;

// What the arrow buttons of the windows step.
enum class P3Quantity : uint32_t {
    Frequency,
    Clock,
    Amplitude1,
    Amplitude2,
    Amplitude3,
    Phase2,
    Phase3,
    Speed,
};

// Control ids. A stepped quantity q shows in the display 4400 + 10 q; the
// four ids after it are its buttons +1, -1, +10, -10.
inline constexpr uint32_t kIdP3Stepper = 4400;
inline constexpr uint32_t kIdP3Power = 4500;
inline constexpr uint32_t kIdP3Waveform = 4510;    // + waveform code (radio buttons)
inline constexpr uint32_t kIdP3PhaseSwitch = 4520; // + phase 0-2 (check boxes)
inline constexpr uint32_t kIdP3Forward = 4530;
inline constexpr uint32_t kIdP3Reverse = 4531;
inline constexpr uint32_t kIdP3Display = 4540;

constexpr uint32_t P3DisplayId(P3Quantity q) {
    return kIdP3Stepper + 10 * static_cast<uint32_t>(q);
}

// The range a window keeps a quantity in; phases wrap around.
struct P3Range {
    uint32_t min;
    uint32_t max;
    bool wrap;
};
P3Range P3RangeOf(P3Quantity q);
// value moved by delta inside the range.
uint32_t P3Step(uint32_t value, int32_t delta, P3Range range);

class CThreePhaseVI : public CBaseVI {
public:
    // dcMode: what the window puts the generator in when it opens.
    CThreePhaseVI(CKobDevice* gen, std::span<const P3Quantity> steppers, bool dcMode);

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    bool OnCommand(uint32_t id) override;
    void Serialize(CArchive& ar) override;

    // The value a quantity shows, and storing a new one through the
    // generator's setters.
    virtual uint32_t Value(P3Quantity q) const;
    virtual void Store(P3Quantity q, uint32_t value);

    C3PhaseGen* m_pGen;

protected:
    // Brings every control in line with the generator's settings, drawing
    // only those that changed.
    virtual void Refresh();
    // Checks or clears a check box or radio button; drawn when it changed.
    void ShowChecked(uint32_t tag, uint32_t id, bool on);

private:
    // The settings as the display shows them.
    P3View CurrentView();

    std::span<const P3Quantity> m_Steppers;
    bool m_bDcMode;
    // A fingerprint of the settings the worker saw last.
    std::atomic<uint64_t> m_nPolled{0};
    // The formula whose table the display holds.
    WString m_strShownFormula;
    std::vector<double> m_Formula;
};

// Three DC outputs, each with its voltage and switch, one polarity for all.
class CAllDcVI : public CThreePhaseVI {
public:
    explicit CAllDcVI(CKobDevice* gen);
    bool Init() override;
};

// Three AC outputs at one frequency and waveform, each with its amplitude.
class CAllAcVI : public CThreePhaseVI {
public:
    explicit CAllAcVI(CKobDevice* gen);
    bool Init() override;
};

// A DC motor between outputs 1 and 2: its speed is the voltage of the
// output that drives it, its direction which of the two does.
class CMotorDcVI : public CThreePhaseVI {
public:
    explicit CMotorDcVI(CKobDevice* gen);
    bool Init() override;
    bool OnCommand(uint32_t id) override;
    uint32_t Value(P3Quantity q) const override;
    void Store(P3Quantity q, uint32_t value) override;

protected:
    void Refresh() override;

private:
    // Writes the motor's voltage and direction into the outputs.
    void Drive(uint32_t speed, bool reverse);
    bool Reversed() const;
};

// The full three-phase supply: frequency, clock, amplitudes, the angles of
// phases 2 and 3, the waveform, and the display of the three phases.
class C3PhaseVI : public CThreePhaseVI {
public:
    explicit C3PhaseVI(CKobDevice* gen);
    bool Init() override;
};
