// The function generator windows: the generator (type 31), the formula
// generator (33), the DC source (35) and the pulse generator (36). All show
// and change the generator's module-wide settings through its window
// setters; the worker sends what they mark.
#pragma once

#include <cstdint>
#include <string>

#include "framework/wstr.h"
#include "vi/basevi.h"

class CFuncGen;
class CKobDevice;
class CHotSeg7;

// Control ids of the generator panels (the keypad of the formula window
// uses the ids of its key bitmaps, kIdKeyFirst and up).
inline constexpr uint32_t kIdFGenPower = 6100;
inline constexpr uint32_t kIdFGenRange = 6110; // + frequency range row 0-6
inline constexpr uint32_t kIdFGenFreqUp = 6120;
inline constexpr uint32_t kIdFGenFreqDown = 6121;
inline constexpr uint32_t kIdFGenFreqUpFast = 6122;
inline constexpr uint32_t kIdFGenFreqDownFast = 6123;
inline constexpr uint32_t kIdFGenFreqDisplay = 6125;
inline constexpr uint32_t kIdFGenAmpUp = 6130;
inline constexpr uint32_t kIdFGenAmpDown = 6131;
inline constexpr uint32_t kIdFGenAmpUpFast = 6132;
inline constexpr uint32_t kIdFGenAmpDownFast = 6133;
inline constexpr uint32_t kIdFGenAmpDisplay = 6135;
inline constexpr uint32_t kIdFGenVoltDisplay = 6136;
inline constexpr uint32_t kIdFGenOutRange = 6140; // + output range code 0-2
inline constexpr uint32_t kIdFGenWave = 6150;     // + waveform code 0-9
inline constexpr uint32_t kIdFGenWidthUp = 6160;
inline constexpr uint32_t kIdFGenWidthDown = 6161;
inline constexpr uint32_t kIdFGenWidthUpFast = 6162;
inline constexpr uint32_t kIdFGenWidthDownFast = 6163;
inline constexpr uint32_t kIdFGenWidthDisplay = 6165;
inline constexpr uint32_t kIdFGenFormulaText = 6250;
inline constexpr uint32_t kIdFGenFormulaMark = 6251;
inline constexpr uint32_t kIdFGenFormulaStatus = 6252;
inline constexpr uint32_t kIdFGenFormulaPlaying = 6253;

// What the windows show of the generator, read from its settings.
struct FuncGenView {
    uint8_t on = 0;
    uint32_t function = 0;
    uint32_t freqRange = 0;
    double frequency = 0;
    uint32_t amplitude = 0;
    uint32_t outRange = 0;
    uint32_t pulseWidth = 0;
    bool operator==(const FuncGenView&) const = default;
    static FuncGenView Current();
};

class CFuncGenVI : public CBaseVI {
public:
    explicit CFuncGenVI(CKobDevice* funcgen);

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    bool OnCommand(uint32_t id) override;
    void Serialize(CArchive& ar) override;

    CFuncGen* m_pFuncGen = nullptr;

protected:
    // Chooses the window's own waveform when it opens (the DC and pulse
    // windows); nothing here.
    virtual void ChooseWaveform() {}
    // Shows the settings; controls are redrawn only where what they show
    // changed, all of them with force.
    virtual void Refresh(bool force);
    // The window's own part of a workspace, after the common version word.
    virtual void SerializeOwn(CArchive& ar) { (void)ar; }

    // Sets a display's text right-aligned over its digits; redrawn when it
    // changed or with force.
    void ShowDigits(uint32_t id, const std::string& text, bool force);
    // Marks the radio button of value among ids first.. (or none when the
    // panel has none for it), repainting the group when that changed.
    void ShowChoice(uint32_t first, uint32_t count, uint32_t value, bool force);

private:
    FuncGenView m_Polled; // the worker's own copy
};

class CFuncGenDCVI : public CFuncGenVI {
public:
    using CFuncGenVI::CFuncGenVI;

protected:
    void ChooseWaveform() override;
    void Refresh(bool force) override;
};

class CFuncGenPulseVI : public CFuncGenVI {
public:
    using CFuncGenVI::CFuncGenVI;
    bool OnCommand(uint32_t id) override;

protected:
    void ChooseWaveform() override;
    void Refresh(bool force) override;
};

// The formula generator: a keypad builds the formula, every key shows at
// once whether it compiles or where it fails; Send makes it the
// generator's waveform.
class CFuncGenFormVI : public CFuncGenVI {
public:
    using CFuncGenVI::CFuncGenVI;
    bool Init() override;
    bool OnCommand(uint32_t id) override;

    // The formula being typed, and what the compiler says of it.
    const WString& EditText() const { return m_strEdit; }
    void SetEditText(const WString& text);

    // Longest formula the editor takes.
    static constexpr size_t kMaxFormula = 200;

protected:
    void Refresh(bool force) override;
    void SerializeOwn(CArchive& ar) override;

private:
    void ShowEdit();
    void SendFormula();
    void SetLabel(uint32_t id, const WString& text);

    WString m_strEdit;
    WString m_strPlaying; // the generator's formula as shown
};

// The dc voltage of an amplitude in percent on an output range, with the
// polarity of the waveform (DC+ or DC-).
double FuncGenDcVolts(uint32_t amplitude, uint32_t outRange, uint32_t function);
