// The function generator model: its module-wide settings, the timing that
// turns hertz into the box's divisors, the sample encodings of both box
// models, and every generator command on the wire.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "framework/relaxed.h"
#include "framework/wstr.h"
#include "instruments/device_base.h"

// Box commands of the function generator.
inline constexpr uint8_t kCmdFGenOn = 0xC0;
inline constexpr uint8_t kCmdFGenOff = 0xC1;
inline constexpr uint8_t kCmdFGenTiming = 0xC2;
inline constexpr uint8_t kCmdFGenAmplitude = 0xC3;
inline constexpr uint8_t kCmdFGenFunction = 0xC4;
inline constexpr uint8_t kCmdFGenTable1 = 0xC5;
inline constexpr uint8_t kCmdFGenOutRange = 0xC6;
inline constexpr uint8_t kCmdFGenPulseWidth = 0xC9;
inline constexpr uint8_t kCmdFGenFrequency2 = 0xCA;
inline constexpr uint8_t kCmdFGenTable2 = 0xCB;

// Waveform codes.
enum : uint32_t {
    kFGenSine = 0,
    kFGenTriangle = 1,
    kFGenRectangle = 2,
    kFGenTtl = 3,
    kFGenDcPositive = 4,
    kFGenDcNegative = 5,
    kFGenFormula = 6,
    kFGenTable = 7,
};

// Points of the formula table: one period of a formula in X from 0 to 2 pi.
inline constexpr uint16_t kFGenFormulaPoints = 8192;
// The longest table: its count travels as a signed 16-bit number.
inline constexpr size_t kFGenMaxTable = 32767;

// Change bits.
inline constexpr uint16_t kFGenChangedEnable = 0x01;
inline constexpr uint16_t kFGenChangedFrequency = 0x02;
inline constexpr uint16_t kFGenChangedAmplitude = 0x04;
inline constexpr uint16_t kFGenChangedPulseWidth = 0x08;
inline constexpr uint16_t kFGenChangedFunction = 0x10;
inline constexpr uint16_t kFGenChangedOutRange = 0x40;

// The generator's settings, shared by the COM interface, the windows and
// the worker: each a value of its own, read and written whole.
extern Relaxed<uint8_t> g_byFGenEnable;
extern Relaxed<uint32_t> g_nFGenFunction;
extern Relaxed<uint32_t> g_nFGenFreqRange;
extern Relaxed<double> g_dFGenFrequency;
extern Relaxed<uint32_t> g_nFGenReserved;
extern Relaxed<uint32_t> g_nFGenAmplitude;
extern Relaxed<uint32_t> g_nFGenOutRange;
// Read and written under g_csDevices (a string cannot be read in one step);
// FGenFormula and SetFGenFormula take the lock.
extern WString g_strFGenFormula;
extern Relaxed<uint8_t> g_bFGenFormulaPending;
extern Relaxed<uint32_t> g_nFGenPulseWidth;

// A copy of the formula, and the formula replaced, each under g_csDevices.
WString FGenFormula();
void SetFGenFormula(const WString& text);

struct FGenFreqRange {
    double minimum;
    double maximum;
    double step;
};
inline constexpr uint32_t kFGenFreqRanges = 7;
extern const FGenFreqRange g_aFGenFreqRanges[kFGenFreqRanges];

// Samples per period, prescaler and fine divisor (0 = none).
struct FGenTiming {
    uint16_t samples = 0;
    uint16_t prescale = 0;
    uint8_t fine = 0;
};

// The frequency the box produces with a timing, for the connected box model.
double TimingFrequency(const FGenTiming& t);
// The timing nearest to hertz on the connected box model; hertz becomes the
// frequency produced. False, with both untouched, where no timing reaches it.
bool CalcTiming(double& hertz, FGenTiming& timing);
// The box's sample encoding of values from -1 to +1 (model 1 bytes, model 2
// signed words high byte first); values beyond are clipped, NaN plays as 0.
std::vector<uint8_t> EncodeFGenSamples(std::span<const double> values);

struct CFuncGenSettings : CSettings {
    uint8_t on = 0;
    uint32_t function = 0;
    uint32_t freqRange = 0;
    double frequency = 0;
    uint32_t reserved = 0;
    uint32_t amplitude = 0;
    uint32_t range = 0;
    uint8_t formulaPending = 0;
    WString formula;
};

class CFuncGen : public CKobDevice {
public:
    explicit CFuncGen(CKobface* owner);

    void Serialize(CArchive& ar) override;
    CSettings* GetSettings() override;
    void SetSettings(CSettings* settings) override;
    void SendChanges() override;

    void SendEnable(uint8_t on);
    void SendTiming(uint16_t samples, uint16_t prescale, uint8_t fine);
    void SendAmplitude(int32_t percent);
    void SendFunction(uint32_t code);
    // At most kFGenMaxTable values are sent.
    void SendTable(std::span<const double> values);
    void SendOutRange(uint8_t range);
    void SendPulseWidth(int32_t percent);
    // False, with nothing sent, for a frequency no timing reaches.
    bool SendFrequency(double hertz);
    void Config(uint8_t on, double hertz, uint8_t percent, uint8_t range, uint32_t code);
    bool SetFormula(const WString& text, bool report);

    // The windows' setters.
    void ToggleEnable();
    void SetEnable(uint8_t on);
    void SetAmplitude(uint32_t percent);
    bool IncAmplitude();
    bool DecAmplitude();
    void SetOutRange(uint32_t range);
    bool SetFreqRange(uint32_t index);
    bool IncFrequency();
    bool DecFrequency();
    bool IncPulseWidth();
    bool DecPulseWidth();
    void SetFunction(uint32_t code);

    uint16_t m_wSamples = 0;
    uint16_t m_wPrescale = 0;
    uint8_t m_byFine = 0;

private:
    bool StepFrequency(bool up);
    // The commands alone, for the worker's pass, which leaves the settings
    // as the windows set them.
    void PutEnable(uint8_t on);
    void PutAmplitude(int32_t percent);
    void PutOutRange(uint8_t range);
    bool PutFrequency(double hertz);
    // False, with nothing sent, when the formula cannot be evaluated.
    bool PutFunction(uint32_t code);
};
