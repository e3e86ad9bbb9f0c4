// The digital port's model: 16 inputs, 16 outputs, the logic analyser with
// its timer, masked trigger and memory, the output pattern table, and the
// stored pattern list.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "framework/relaxed.h"
#include "instruments/device_base.h"

// Box commands of the digital port.
inline constexpr uint8_t kCmdDigIn = 0x20;
inline constexpr uint8_t kCmdDigOut = 0x21;
inline constexpr uint8_t kCmdDigSetup = 0x23;
inline constexpr uint8_t kCmdDigReadMemory = 0x24;
inline constexpr uint8_t kCmdDigPattern = 0x25;
inline constexpr uint8_t kCmdDigStatus = 0x26;
inline constexpr uint8_t kCmdDigStart = 0x28;
inline constexpr uint8_t kCmdDigStop = 0x29;
inline constexpr uint8_t kCmdDigOnline = 0x2A;

// Analyser status byte.
enum : uint8_t {
    kDigReady = 0,
    kDigTrigger = 1,
    kDigMeasuring = 2,
    kDigMeasured = 3,
    kDigTransmitted = 4,
    kDigFailure = 128,
};

// The change bit of the output word.
inline constexpr uint16_t kDigChangedOutputs = 1;

// The current output word of the port, as the window sets it.
extern Relaxed<uint16_t> g_wDigOut;

// One entry of the stored pattern list.
class CDigData : public CObject {
    DECLARE_SERIAL(CDigData)
public:
    void Serialize(CArchive& ar) override;

    uint32_t m_dwValue = 0;
    uint32_t m_dwLength = 1;
};

class CDigIO : public CKobDevice {
public:
    explicit CDigIO(CKobface* owner);
    ~CDigIO() override;
    CDigIO(const CDigIO&) = delete;
    CDigIO& operator=(const CDigIO&) = delete;

    void Serialize(CArchive& ar) override;
    void SendChanges() override;

    uint16_t ReadInputs();
    void WriteOutputs(uint16_t value);
    // Store only; the box hears of them with SendSetup.
    void SetTiming(uint16_t timer, uint16_t count, bool online);
    void SetTrigger(uint16_t mask, uint16_t pattern);
    void SendSetup();
    void StartAnalyser();
    void StopAnalyser();
    uint8_t GetStatus();
    // count words into out (which holds at least count), in the box's order.
    void ReadMemory(uint16_t count, uint16_t* out);
    // values and lengths hold count entries each.
    void WritePattern(uint16_t count, const uint16_t* values, const uint16_t* lengths);
    // The number of online words the box has now; then ReadOnlineWords
    // fetches exactly that many into out (so a caller can hold them where
    // it likes, and keep what came when the line fails half-way).
    uint16_t RequestOnline();
    void ReadOnlineWords(std::span<uint16_t> out);
    void ResizeBuffer(uint16_t n);
    void ClearPatterns();

    uint16_t m_wTimer = 10;
    uint32_t m_dwAux = 500;
    uint16_t m_wTriggerMask = 0;
    uint16_t m_wTrigger = 0;
    uint32_t m_dwOnline = 0;
    uint16_t m_wIndex = 0;
    uint16_t m_wCount = 0;
    std::vector<uint16_t> m_Buffer; // m_pBuffer: at least m_wCount words when stored
    std::vector<CDigData*> m_Patterns;
};
