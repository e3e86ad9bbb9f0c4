// The common base of the instrument models: the change-bit protocol between
// setters and SendChanges, and the analog input settings and range table
// that the scope and the meter share.
#pragma once

#include <cstdint>

#include "framework/relaxed.h"

#include "framework/object.h"
#include "framework/wstr.h"

class CArchive;
class CKobface;
class CStreamIO;

// A copy of a model's settings; each model derives its own layout.
struct CSettings {
    virtual ~CSettings() = default;
};

class CKobDevice : public CObject {
public:
    explicit CKobDevice(CKobface* owner) : m_pOwner(owner) {}
    ~CKobDevice() override = default;
    void Serialize(CArchive& ar) override = 0;
    virtual bool Enable() {
        m_bEnabled = 1;
        return true;
    }
    virtual void Poll() {}
    virtual void Disable() { m_bEnabled = 0; }
    // A snapshot of the settings, owned by the caller; null when the model
    // keeps none.
    virtual CSettings* GetSettings() { return nullptr; }
    // Takes the snapshot back: copies it in, marks every bit changed, frees
    // it. Null changes nothing.
    virtual void SetSettings(CSettings* settings) { delete settings; }
    // Sends what the change bits mark.
    virtual void SendChanges() = 0;

    void Lock();
    void UnlockChanged(uint16_t bits);
    // A window setter: the setting stored under the lock, its bit marked.
    template <class T> void SetLocked(T& setting, T value, uint16_t bit) {
        Lock();
        setting = value;
        UnlockChanged(bit);
    }
    void SetChanged(uint16_t bits);
    uint16_t TakeChanged();
    // Two bytes on the owner's stream, high byte first.
    void WriteWord(uint16_t value);
    // A command byte alone, then the box's acknowledgement.
    void SendAcked(uint8_t command);
    // The owner's stream (the wire of this model).
    CStreamIO& Stream() const;

    uint8_t m_bEnabled = 0;
    uint16_t m_wChanged = 0;
    CKobface* m_pOwner;
};

// Range table: volts per division and full scale, rows 0-14.
struct RangeRow {
    double division;
    double fullScale;
};
inline constexpr int kRangeCount = 15;
extern const RangeRow g_aRanges[kRangeCount];

// Analog input settings shared by the scope and the meter.
extern Relaxed<uint32_t> g_nRangeA;
extern Relaxed<uint32_t> g_nCouplingA;
extern Relaxed<uint32_t> g_nRangeB;
extern Relaxed<uint32_t> g_nCouplingB;

// Coupling codes; 2 grounds the channel (sent like 0).
inline constexpr uint32_t kCouplingGround = 2;
// A range row and coupling an analog input has (stored settings are checked
// against it before they are taken).
inline constexpr bool IsInputSetting(uint32_t range, uint32_t coupling) {
    return range < kRangeCount && coupling <= kCouplingGround;
}
// Both inputs' ranges and couplings as stored settings bring them back.
void SetInputSettings(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB, uint32_t couplingB);

// The change bit of the input settings, the same in the scope and the meter.
inline constexpr uint16_t kInputChanged = 2;

class CMeasureBase : public CKobDevice {
public:
    using CKobDevice::CKobDevice;
    // The windows' setters of the shared input settings: nothing is sent
    // until SendChanges.
    void SetRangeA(uint32_t range);
    void SetRangeB(uint32_t range);
    void SetCouplingA(uint32_t coupling);
    void SetCouplingB(uint32_t coupling);
    virtual uint16_t MakeInputWord(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB,
                                   uint32_t couplingB);
    uint16_t GetInputWord();
    double ScaleA(double raw) const;
    double ScaleB(double raw) const;
};

// A generator's formula in upper case, when it compiles; else false, after
// the compiler's beep and message when report is set.
bool CompileFormula(const WString& text, bool report, WString& upper);

// Volts of a raw converter value on a range row for the connected box model;
// a row outside the table gives 0.
double ScaleRaw(double raw, uint32_t range);
