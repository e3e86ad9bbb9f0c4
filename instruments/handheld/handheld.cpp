#include "instruments/handheld/handheld.h"

#include <array>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"

namespace {

constexpr uint8_t kNoMeasurement = 0x30; // a mode byte that shows " ----"
constexpr uint8_t kOverDigit = 0x20;     // m_byFlags: a digit above 9
constexpr int kNone = -1;
constexpr uint8_t kModeOn = 30; // family 1's "ON": decoded, but no reading

const char16_t* const kMode1Names[33] = {u"-",
                                         u"V DC",
                                         u"V(AC+DC)",
                                         u"V AC",
                                         u"mA DC",
                                         u"mA (AC+DC)",
                                         u"A DC",
                                         u"A (AC+DC)",
                                         u"Ohm",
                                         u"Farad",
                                         u"dB",
                                         u"Hz (AC+DC)",
                                         u"Hz (AC)",
                                         u"-",
                                         u"-",
                                         u"Diode",
                                         u"Diode + buzzer",
                                         u"Ohm + buzzer",
                                         u"Temp",
                                         u"-",
                                         u"-",
                                         u"",
                                         u"",
                                         u"",
                                         u"Counter",
                                         u"Events (AC+DC)",
                                         u"Events (AC)",
                                         u"",
                                         u"",
                                         u"",
                                         u"ON",
                                         u"Timer",
                                         u""};

// Point position, text cut, kind and unit of a family-1 reading.
struct Layout1 {
    int point = kNone;
    int cut = kNone;
    uint32_t kind = 0;
    const char16_t* unit = u"";
};

Layout1 LayoutOf1(uint8_t mode, uint8_t r) {
    Layout1 l;
    auto pick = [r](std::initializer_list<int> byRange) {
        return r < byRange.size() ? byRange.begin()[r] : kNone;
    };
    auto volts = [r] { return r == 0 ? u"mV" : r <= 4 ? u"V" : u""; };
    switch (mode) {
    case 1:
    case 2:
    case 3:
        l.point = pick({4, 2, 3, 4, 5});
        l.kind = mode == 1 ? 1 : 0;
        l.unit = volts();
        break;
    case 26:
        l.unit = volts();
        break;
    case 4:
    case 5:
        l.point = pick({kNone, 4, kNone, 2, kNone, 3, kNone, 4});
        l.kind = 7;
        l.unit = r == 1 ? u"\u00B5A" : (r == 3 || r == 5 || r == 7) ? u"mA" : u"";
        break;
    case 6:
    case 7:
        l.point = pick({kNone, 2, 3});
        l.kind = 8;
        l.unit = u"A";
        break;
    case 8:
    case 17:
        l.point = pick({4, 2, 3, 4, 2, 3});
        l.kind = 3;
        l.unit = r == 0 ? u"Ohm" : r <= 3 ? u"kOhm" : r <= 5 ? u"MOhm" : u"";
        break;
    case 9:
        l.point = pick({2, 3, 4, 2, 3, 4, 0, 0});
        l.cut = r == 6 ? 5 : 6;
        l.kind = 6;
        l.unit = r <= 2 ? u"nF" : u"\u00B5F";
        break;
    case 10:
        l.point = pick({kNone, kNone, 4});
        break;
    case 12:
        l.point = pick({4, 2, kNone, 4});
        l.unit = r == 0 ? u"Hz" : (r == 1 || r == 3) ? u"kHz" : u"";
        break;
    case 15:
    case 16:
        l.point = pick({kNone, 2});
        l.kind = 4;
        l.unit = r == 1 ? u"V" : u"";
        break;
    case 18:
        l.kind = 5;
        break;
    case kModeOn:
        l.point = 0;
        l.kind = 4;
        l.unit = u"Hz";
        break;
    case 31:
        l.kind = 2;
        break;
    default:
        break;
    }
    return l;
}

const char16_t* const kMode3Names[16] = {u"", u"AC", u"AC+DC",  u"DC", u"",      u"Diode",
                                         u"", u"",   u"DC",     u"DC", u"AC+DC", u"AC+DC",
                                         u"", u"",   u"Events", u"-"};
constexpr uint32_t kKinds3[16] = {3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 8, 9, 1, 0, 2, 3};

const char16_t* Unit3(uint8_t m, uint8_t g) {
    switch (m) {
    case 1:
    case 2:
    case 3:
    case 14:
        return g == 0 ? u"mV" : u"V";
    case 4:
        return g == 0 ? u"Ohm" : (g == 4 || g == 5) ? u"MOhm" : u"kOhm";
    case 6:
        return u"\u00B0C";
    case 7:
        return g < 3 ? u"nF" : u"\u00B5F";
    case 8:
    case 10:
        return g == 0 ? u"\u00B5A" : u"mA";
    case 9:
    case 11:
        return u"A";
    case 12:
        return g == 3 ? u"kHz" : u"Hz";
    case 13:
        return u"dB";
    default:
        return u"";
    }
}

const char16_t* const kUnits2[16] = {u"",    u"mV",      u"V",  u"V",   u"V",    u"Hz",
                                     u"kHz", u"%",       u"V",  u"Ohm", u"kOhm", u"MOhm",
                                     u"nF",  u"\u00B5F", u"mA", u"A"};
constexpr uint32_t kKinds2[16] = {2, 1, 1, 1, 0, 2, 2, 2, 4, 3, 3, 3, 2, 2, 5, 6};

const char16_t* Mode2(uint8_t m, uint8_t r4) {
    switch (m) {
    case 1:
    case 2:
    case 8:
        return u"DC";
    case 3:
        return u"ACDC";
    case 4:
        return u"AC";
    case 14:
    case 15:
        return (r4 & 0x08) ? u"AC" : u"DC";
    default:
        return u"";
    }
}

void SetText(char16_t (&display)[9], const char16_t* text) {
    size_t i = 0;
    for (; text[i] && i < 8; ++i) {
        display[i] = text[i];
    }
    display[i] = 0;
}

template <size_t N> void ReadRecord(CKobDevice& model, uint8_t command, std::array<uint8_t, N>& r) {
    CStreamIO& s = model.Stream();
    WriteByte(s, command);
    s.Read(r.data(), N);
}

} // namespace

char16_t CMetraHit::Shown(uint8_t byte) {
    switch (byte) {
    case ':':
        m_bOver = 1;
        return u'L';
    case ';':
        return u' ';
    case '<':
        return u'-';
    default:
        return byte;
    }
}

bool CMetraHit::DecodeFormat1(std::span<const uint8_t, kHandheldRecord1> r) {
    m_bValid = r[0] != 0;
    m_byFlags = 0;
    m_nKind = 0;
    if (!m_bValid) {
        return false;
    }
    m_byMode = r[1] & 0x3F;
    m_byRange = r[2] & 7;
    const Layout1 l = LayoutOf1(m_byMode, m_byRange);
    int pos = 0;
    m_szDisplay[pos++] = u' ';
    bool point = false;
    for (int i = 8; i >= 3; --i) {
        const int d = r[i] & 0x0F;
        if (d > 9) {
            m_byFlags |= kOverDigit;
        }
        m_szDisplay[pos++] = static_cast<char16_t>(u'0' + d);
        if (pos == l.point) {
            m_szDisplay[pos++] = u'.';
            point = true;
        }
    }
    if (r[2] & 0x08) {
        m_szDisplay[0] = u'-';
    }
    // Without a cut of its own the sixth digit is not shown.
    m_szDisplay[l.cut != kNone ? l.cut : point ? 7 : 6] = 0;
    m_pszMode = m_byMode < 33 ? kMode1Names[m_byMode] : u"";
    m_pszUnit = l.unit;
    m_nKind = l.kind;
    m_bOver = (m_byFlags & kOverDigit) ? 1 : 0;
    if (m_byMode == kModeOn) {
        m_bValid = 0;
    }
    return m_bValid != 0;
}

bool CMetraHit::DecodeFormat2(std::span<const uint8_t, kHandheldRecord23> r) {
    m_bValid = r[0] != 0xFF;
    if (!m_bValid || (r[0] != 8 && r[0] != 9)) {
        return m_bValid != 0;
    }
    const uint8_t m = r[1] & 0x0F;
    const uint8_t g = r[4] & 3;
    const int p = g == 0 ? ((m == 9 || m == 14) ? 4 : 5) : g + 1;
    m_szDisplay[0] = (r[4] & 0x04) ? u'-' : u' ';
    m_bOver = 0;
    if (r[1] == kNoMeasurement) {
        SetText(m_szDisplay, u" ----");
        m_pszUnit = u"";
        m_pszMode = u"";
    } else {
        // Five places after the sign: four digits and the point.
        int next = 6;
        for (int q = 5; q >= 1; --q) {
            m_szDisplay[q] = q == p ? u'.' : Shown(r[next++]);
        }
        m_szDisplay[6] = 0;
        m_pszUnit = g == 0 && m == 9 ? u"\u00BAC" : g == 0 && m == 14 ? u"\u00B5A" : kUnits2[m];
        m_pszMode = Mode2(m, r[4]);
    }
    m_nKind = kKinds2[m];
    return true;
}

bool CMetraHit::DecodeFormat3(std::span<const uint8_t, kHandheldRecord23> r) {
    m_bValid = r[0] != 0xFF;
    if (!m_bValid || r[0] != 13) {
        return m_bValid != 0;
    }
    m_byFlags = static_cast<uint8_t>((r[2] & 7) | ((r[3] & 7) << 4));
    const uint8_t m = r[1] & 0x0F;
    const uint8_t g = r[4] & 7;
    m_pszMode = kMode3Names[m];
    const bool wide = m == 9 || m == 11;
    static constexpr int kPoints[8] = {4, 2, 3, 4, 5, 3, kNone, kNone};
    int p = kPoints[g];
    if (g == 0 && wide) {
        p = 2;
    } else if (g == 1 && wide) {
        p = 3;
    } else if (g == 4 && m == 4) {
        p = 2;
    }
    m_bOver = 0;
    if (r[1] == kNoMeasurement) {
        SetText(m_szDisplay, u" ----");
        m_pszUnit = u"";
    } else {
        m_szDisplay[0] = (r[4] & 0x08) ? u'-' : u'+';
        // Without a point the five characters leave position 1 free: blank.
        m_szDisplay[1] = u' ';
        int next = 5;
        for (int q = 6; next < 10; --q) {
            m_szDisplay[q] = q == p ? u'.' : Shown(r[next++]);
        }
        m_szDisplay[7] = 0;
        m_pszUnit = Unit3(m, g);
    }
    m_nKind = kKinds3[m];
    return true;
}

bool CMetraHit::ReadFormat1() {
    std::array<uint8_t, kHandheldRecord1> r{};
    ReadRecord(*this, kCmdHandheld1, r);
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return DecodeFormat1(r);
}

bool CMetraHit::ReadFormat2() {
    std::array<uint8_t, kHandheldRecord23> r{};
    ReadRecord(*this, kCmdHandheld23, r);
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return DecodeFormat2(r);
}

bool CMetraHit::ReadFormat3() {
    std::array<uint8_t, kHandheldRecord23> r{};
    ReadRecord(*this, kCmdHandheld23, r);
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return DecodeFormat3(r);
}

CMetraHitReading CMetraHit::Reading() const {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return {m_bValid != 0, m_szDisplay, m_pszMode, m_pszUnit, m_bOver != 0, m_nKind};
}

bool CMetraHit::ClearDisplay() {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    if (!m_szDisplay[0]) {
        return false;
    }
    m_szDisplay[0] = 0;
    m_pszMode = u"";
    return true;
}

void CMetraHit::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1};
        return;
    }
    uint32_t version = 0;
    ar >> version;
}
