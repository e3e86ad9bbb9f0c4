// The multimeter and counter models: DVM configuration, start and stop,
// status, and the box's sums turned into six values per channel in volts.
#pragma once

#include <cstdint>

#include "framework/relaxed.h"
#include "instruments/device_base.h"

// Box commands of the DVM and the counter.
inline constexpr uint8_t kCmdMeterInput = 0x60;
inline constexpr uint8_t kCmdMeterTiming = 0x61;
inline constexpr uint8_t kCmdMeterStart = 0x62;
inline constexpr uint8_t kCmdMeterStop = 0x63;
inline constexpr uint8_t kCmdMeterRead1 = 0x64;
inline constexpr uint8_t kCmdMeterStatus = 0x65;
inline constexpr uint8_t kCmdMeterRead2 = 0x66;
inline constexpr uint8_t kCmdCounterStart = 0x59;
inline constexpr uint8_t kCmdCounterStop = 0x5A;

enum : uint8_t {
    kMeterReady = 0,
    kMeterMeasuring = 1,
    kMeterMeasured = 2,
    kMeterFailure = 128,
};

// Index = the Type of IMeter ReadA/ReadB.
enum MeterValue : int {
    kMeterMean = 0,
    kMeterSecondSum = 1,
    kMeterMax = 2,
    kMeterPeakToPeak = 3,
    kMeterRms = 4,
    kMeterCurrent = 5,
};
inline constexpr int kMeterValues = 6;

struct MeterRecord {
    double v[kMeterValues] = {};
};

// Settings that windows and COM calls write while the worker reads them.
extern Relaxed<uint16_t> g_wMeterTime;
extern Relaxed<uint16_t> g_wBufferSize;
extern Relaxed<double> g_dShunt1;
extern Relaxed<double> g_dShunt2;
// The last readings; written and read whole under g_csDevices.
extern MeterRecord g_MeterA;
extern MeterRecord g_MeterB;
extern Relaxed<uint8_t> g_bOverA;
extern Relaxed<uint8_t> g_bOverB;

// The last readings of channel A (or B), taken whole.
MeterRecord GetMeterRecord(bool channelA);
// A shunt a current can be measured through: finite and above 0 ohms.
bool IsValidShunt(double ohms);

struct CMeterSettings : CSettings {
    uint16_t time = 0;
    uint16_t bufferSize = 0;
    double shunt1 = 0;
    double shunt2 = 0;
    uint32_t couplingA = 0;
    uint32_t rangeA = 0;
    uint32_t couplingB = 0;
    uint32_t rangeB = 0;
};

inline constexpr uint16_t kMeterChangedTiming = 1;
inline constexpr uint16_t kMeterChangedInput = kInputChanged;

class CKobMeter : public CMeasureBase {
public:
    explicit CKobMeter(CKobface* owner);

    void Serialize(CArchive& ar) override;
    void Poll() override;
    CSettings* GetSettings() override;
    void SetSettings(CSettings* settings) override;
    void SendChanges() override;

    void SetInput(uint8_t rangeA, uint8_t couplingA, uint8_t rangeB, uint8_t couplingB);
    void SendInput();
    void SetTiming(uint16_t time, uint16_t bufferSize);
    void SendTiming();
    void Start();
    void Stop();
    // 128 when the exchange fails (no message).
    uint8_t GetStatus();
    void ReadValues(MeterRecord& a, MeterRecord& b);

    uint8_t m_byStatus = 0;
};

class CKobCounter : public CKobDevice {
public:
    explicit CKobCounter(CKobface* owner);

    void Serialize(CArchive& ar) override;
    void SendChanges() override;
    virtual bool StartCounter();
    virtual void StopCounter();

    uint8_t m_bySetting1 = 0xFF;
    uint8_t m_bySetting2 = 0xFF;
    uint8_t m_bRun = 0;
    uint32_t m_dwCounterChanged = 0;
};
