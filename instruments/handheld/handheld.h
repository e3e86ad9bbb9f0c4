// The external hand-held meter read through the box: three families of
// meters, each with its own reading record, decoded into the display text,
// mode name, unit, over-range flag and quantity kind the window shows.
#pragma once

#include <cstdint>
#include <span>

#include "framework/wstr.h"
#include "instruments/device_base.h"

inline constexpr uint8_t kCmdHandheld1 = 0x50;  // "P": family 1
inline constexpr uint8_t kCmdHandheld23 = 0x51; // "Q": families 2 and 3
inline constexpr uint32_t kHandheldRecord1 = 9;
inline constexpr uint32_t kHandheldRecord23 = 10;

// One reading as the display shows it, copied whole.
struct CMetraHitReading {
    bool valid = false;
    WString display;
    WString mode;
    WString unit;
    bool over = false;
    uint32_t kind = 0;
    bool operator==(const CMetraHitReading&) const = default;
};

class CMetraHit : public CKobDevice {
public:
    using CKobDevice::CKobDevice;

    // Nothing to store beyond a version word, nothing to send.
    void Serialize(CArchive& ar) override;
    void SendChanges() override {}

    // One record of the family from the box; each returns m_bValid.
    bool ReadFormat1();
    bool ReadFormat2();
    bool ReadFormat3();
    // The same decoding of a record already read.
    bool DecodeFormat1(std::span<const uint8_t, kHandheldRecord1> r);
    bool DecodeFormat2(std::span<const uint8_t, kHandheldRecord23> r);
    bool DecodeFormat3(std::span<const uint8_t, kHandheldRecord23> r);

    WString Display() const { return m_szDisplay; }

    // The fields of the last reading are written by the worker while a
    // window shows them: the record is decoded, cleared and copied only
    // under g_csDevices.
    CMetraHitReading Reading() const;
    // Blanks the mode name and the display text (the meter stopped sending);
    // false when the display text was empty already.
    bool ClearDisplay();

    uint8_t m_bValid = 0;
    uint8_t m_byFlags = 0; // 0x20: a digit was not 0-9 (family 1)
    uint8_t m_byMode = 0;
    uint8_t m_byRange = 0;
    const char16_t* m_pszMode = u"";
    const char16_t* m_pszUnit = u"";
    uint8_t m_bOver = 0;
    char16_t m_szDisplay[9] = u"-88.888";
    uint32_t m_nKind = 0;

private:
    // The digits of families 2 and 3 as the display shows them.
    char16_t Shown(uint8_t byte);
};
