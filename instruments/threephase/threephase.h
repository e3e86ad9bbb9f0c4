// The three-phase generator model: three outputs with one waveform, shifted
// in phase, an amplitude each, a DC mode with phase switches; its commands
// on the wire and the 257-point table the box plays.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "framework/relaxed.h"
#include "framework/wstr.h"
#include "instruments/device_base.h"

// Box commands of the three-phase generator.
inline constexpr uint8_t kCmdP3On = 0x40;
inline constexpr uint8_t kCmdP3Off = 0x41;
inline constexpr uint8_t kCmdP3Clock = 0x43;
inline constexpr uint8_t kCmdP3Frequency = 0x44;
inline constexpr uint8_t kCmdP3Amplitudes = 0x45;
inline constexpr uint8_t kCmdP3Phases = 0x47;
inline constexpr uint8_t kCmdP3Function = 0x48;
inline constexpr uint8_t kCmdP3Table = 0x49;
inline constexpr uint8_t kCmdP3DcMode = 0x4A;
inline constexpr uint8_t kCmdP3Switches = 0x4B;

inline constexpr uint32_t kP3Formula = 6;
inline constexpr size_t kP3TablePoints = 257;

// Change bits.
inline constexpr uint16_t kP3ChangedEnable = 0x001;
inline constexpr uint16_t kP3ChangedClock = 0x002;
inline constexpr uint16_t kP3ChangedFrequency = 0x004;
inline constexpr uint16_t kP3ChangedAmplitudes = 0x008;
inline constexpr uint16_t kP3ChangedPhases = 0x010;
inline constexpr uint16_t kP3ChangedFunction = 0x020;
inline constexpr uint16_t kP3ChangedDcMode = 0x080;
inline constexpr uint16_t kP3ChangedSwitches = 0x100;
inline constexpr uint16_t kP3ChangedAll = 0x7FFF;

// The settings are module-wide: windows and COM calls write them while the
// worker reads them, each value on its own.
extern Relaxed<uint8_t> g_byP3Enable;
extern Relaxed<uint8_t> g_bP3DcMode;
extern Relaxed<uint8_t> g_abP3PhaseOn[3];
extern Relaxed<uint32_t> g_nP3Function;
extern Relaxed<uint32_t> g_nP3Clock;
extern Relaxed<uint32_t> g_nP3Frequency;
extern Relaxed<uint32_t> g_anP3Amplitude[3];
extern Relaxed<uint32_t> g_nP3Phase2;
extern Relaxed<uint32_t> g_nP3Phase3;
// Read and written whole under g_csDevices (P3Formula gives a copy).
extern WString g_strP3Formula;
WString P3Formula();

using P3Table = std::array<uint16_t, kP3TablePoints>;
// The box's words for 257 values: the sign inverted, +-1 as -+512, clipped
// beyond; NaN plays as 0.
P3Table EncodeP3Samples(std::span<const double, kP3TablePoints> values);

struct C3PhaseSettings : CSettings {
    uint8_t on = 0;
    uint8_t dcMode = 0;
    uint8_t phaseOn[3] = {};
    uint32_t function = 0;
    uint32_t clock = 0;
    uint32_t frequency = 0;
    uint32_t amplitude[3] = {};
    uint32_t phase2 = 0;
    uint32_t phase3 = 0;
    WString formula;
};

class C3PhaseGen : public CKobDevice {
public:
    explicit C3PhaseGen(CKobface* owner);

    void Serialize(CArchive& ar) override;
    CSettings* GetSettings() override;
    void SetSettings(CSettings* settings) override;
    void SendChanges() override;

    void SendEnable(uint8_t on);
    void SendClock(uint32_t clock);
    void SendFrequency(uint32_t frequency);
    void SendAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3);
    void SendPhases(int32_t deg2, int32_t deg3);
    void SendFunction(uint32_t code);
    void SendTable(const P3Table& table, uint8_t flag);
    void SendDcMode(uint8_t on);
    void SendPhaseSwitches();
    void SetPhaseSwitches(uint8_t s1, uint8_t s2, uint8_t s3);
    void SendUserTable(std::span<const double, kP3TablePoints> values, uint8_t flag);
    bool SetFormula(const WString& text, bool report);

    // The windows' setters.
    void ToggleEnable();
    void SetEnable(uint8_t on);
    void SetDcMode(uint8_t on);
    void SetAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3);
    void SetFrequency(uint32_t frequency);
    void SetClock(uint32_t clock);
    void SetPhases(uint32_t deg2, uint32_t deg3);
    void SetFunction(uint32_t code);

private:
    // The commands alone, for the worker's pass, which leaves the settings
    // as the windows set them.
    void PutEnable(uint8_t on);
    void PutClock(uint32_t clock);
    void PutFrequency(uint32_t frequency);
    void PutAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3);
    void PutPhases(int32_t deg2, int32_t deg3);
    // False when the formula cannot be evaluated or its table not sent.
    bool PutFunction(uint32_t code);
    void PutDcMode(uint8_t on);
};
