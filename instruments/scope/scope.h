// The oscilloscope model: its settings, every scope command on the wire, the
// conversion of raw samples into volts, and the two channel buffers the
// scope window draws.
#pragma once

#include <cstdint>

#include "framework/relaxed.h"
#include "instruments/device_base.h"
#include "platform/com/oleauto.h"

// One row of a time-base table.
struct TimeBaseRow {
    double secondsPerDiv; // 10 divisions per record
    uint16_t prescale;
    uint16_t values;
    uint8_t online;
};
inline constexpr uint32_t kTimeBaseRows = 22;
// 22 rows each, then a row of zeros.
extern const TimeBaseRow g_aTimeBases1[kTimeBaseRows + 1];
extern const TimeBaseRow g_aTimeBases2[kTimeBaseRows + 1];

// Box commands of the scope.
inline constexpr uint8_t kCmdScopeTrigger = 0xD0;
inline constexpr uint8_t kCmdScopeLevel = 0xD1;
inline constexpr uint8_t kCmdScopeStart = 0xD2;
inline constexpr uint8_t kCmdScopeStop = 0xD3;
inline constexpr uint8_t kCmdScopeReadMemory1 = 0xD4;
inline constexpr uint8_t kCmdScopeStatus = 0xD5;
inline constexpr uint8_t kCmdScopeTiming1 = 0xD8;
inline constexpr uint8_t kCmdScopeInput = 0xD9;
inline constexpr uint8_t kCmdScopeOnline1 = 0xDA;
inline constexpr uint8_t kCmdScopeTiming2 = 0xDB;
inline constexpr uint8_t kCmdScopeReadMemory2 = 0xDC;
inline constexpr uint8_t kCmdScopeOnline2 = 0xDD;

// Scope status byte.
enum : uint8_t {
    kScopeReady = 0,
    kScopeTrigger = 1,
    kScopeMeasuring = 2,
    kScopeMeasured = 3,
    kScopeTransmitted = 4,
    kScopeFailure = 128,
};

// Samples per channel buffer.
inline constexpr uint32_t kScopeBufferSamples = 8192;

// Samples of one channel for the window: signed 16-bit with the converter's
// full scale at the top, a back and a front array.
class CScopeBuffer {
public:
    CScopeBuffer();
    virtual ~CScopeBuffer();
    CScopeBuffer(const CScopeBuffer&) = delete;
    CScopeBuffer& operator=(const CScopeBuffer&) = delete;

    // Counts above kScopeBufferSamples are clamped.
    void Resize(uint32_t n);
    void Reset();
    void Append(int16_t sample);
    void ClearBack();
    void Serialize(CArchive& ar);

    int16_t* Front();
    int16_t* Back();
    const int16_t* Front() const;

    uint32_t m_nFirst = 0;
    uint32_t m_nEnd = 0;
    uint32_t m_nExtra = 0;
    uint32_t m_nCount = 0;
    int32_t m_nIndex = -1;
    double m_dFactor = 1.0;
    int16_t* m_pData[2];
};

// A VT_ARRAY|VT_R8 of n values (lower bound 0) put into a variant, its data
// locked for writing while the object lives; the variant keeps the array.
class CVoltArray {
public:
    CVoltArray(VARIANT* out, uint32_t n);
    ~CVoltArray();
    CVoltArray(const CVoltArray&) = delete;
    CVoltArray& operator=(const CVoltArray&) = delete;
    // False when the array could not be made (out of memory).
    bool Ok() const { return m_bLocked; }
    double* Data() const { return m_pData; }
    // Unlocks and empties the variant.
    void Clear();

private:
    VARIANT* m_pVariant;
    double* m_pData = nullptr;
    bool m_bLocked = false;
};

// Module-wide scope settings. The window and COM calls write them while the
// worker reads them. The buffers and g_bFrontFirst belong to the worker
// while it runs: the window copies them on the worker's thread (PollDevices).
extern Relaxed<const TimeBaseRow*> g_pTimeBases;
extern Relaxed<uint32_t> g_nTimeBase;
extern Relaxed<uint32_t> g_nTimeBaseApplied;
extern Relaxed<uint32_t> g_nTriggerMode;
extern Relaxed<uint32_t> g_nPostTrigger;
extern Relaxed<int32_t> g_nTriggerLevel;
extern uint32_t g_nScopeBufferSize;
extern Relaxed<uint8_t> g_bShowA;
extern Relaxed<uint8_t> g_bShowB;
extern Relaxed<double> g_dDisplayFactorA;
extern Relaxed<double> g_dDisplayFactorB;
extern CScopeBuffer g_ScopeBufferA;
extern CScopeBuffer g_ScopeBufferB;
extern uint8_t g_bFrontFirst;

struct CScopeSettings : CSettings {
    uint32_t timeBase = 0;
    uint8_t showA = 0;
    uint32_t couplingA = 0;
    uint32_t rangeA = 0;
    uint8_t showB = 0;
    uint32_t couplingB = 0;
    uint32_t rangeB = 0;
    uint32_t triggerMode = 0;
    uint32_t triggerSource = 0;
    uint32_t postTrigger = 0;
    uint32_t triggerLevel = 0;
    uint8_t single = 0;
    uint8_t hold = 0;
};

// Change bits.
inline constexpr uint16_t kScopeChangedTimeBase = 1;
inline constexpr uint16_t kScopeChangedInput = kInputChanged;
inline constexpr uint16_t kScopeChangedTrigger = 4;
inline constexpr uint16_t kScopeChangedLevel = 8;

class CScope : public CMeasureBase {
public:
    explicit CScope(CKobface* owner);
    ~CScope() override;

    void Serialize(CArchive& ar) override;
    CSettings* GetSettings() override;
    void SetSettings(CSettings* settings) override;
    void SendChanges() override;
    uint16_t MakeInputWord(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB,
                           uint32_t couplingB) override;

    // Wire operations; a CCommException passes to the caller.
    void SetInput(uint8_t rangeA, uint8_t couplingA, uint8_t rangeB, uint8_t couplingB);
    void SendInput();
    void SendTiming(uint16_t prescale, uint8_t online, uint16_t values);
    void SendTrigger(uint16_t values);
    void SendLevel();
    void Start();
    void Stop();
    uint8_t GetStatus();
    // Either destination may be null (that channel is not asked for).
    void ReadMemory(uint16_t n, double* a, double fullScaleA, double* b, double fullScaleB);
    // n volts per given destination; a grounded channel gives zeros.
    void ReadChannels(uint16_t n, double* a, double* b);
    // The pairs the box has collected, as two VT_ARRAY|VT_R8 variants.
    // Reports a communication failure itself and returns S_FALSE.
    HRESULT ReadOnlineArrays(VARIANT* a, VARIANT* b);
    // The same, with a communication failure thrown to the caller (the
    // arrays keep what came).
    HRESULT ReadOnlineInto(VARIANT* a, VARIANT* b);
    bool ReadOnlineToBuffers();
    void ReadMemoryToBuffers();
    void ApplyTimeBase();

    // No wire traffic.
    double GetSampleTime(uint16_t prescale) const;
    void SetTimeBase(uint32_t row);
    void SetTriggerSource(uint32_t source);
    void SetTriggerMode(uint32_t mode);
    void SetPostTrigger(uint32_t percent);
    bool LevelUp();
    bool LevelDown();

    Relaxed<uint32_t> m_nTriggerSource{0};
    Relaxed<uint8_t> m_bSingle{0};
    Relaxed<uint8_t> m_bHold{0};
    // Counts the records the window cycle put into the buffers (worker only).
    uint32_t m_nRecords = 0;
};
