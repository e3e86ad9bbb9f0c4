// The meter windows: the common frame (ranges, couplings, the reading
// shown, polling and redrawing, the workspace part) and one class per
// quantity shown.
#include "vi/meter/metervi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "device/kobface.h"
#include "framework/exception.h"
#include "vi/controls/gauge1.h"
#include "vi/controls/meterlcd.h"
#include "vi/factory.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The pointer instruments' scales cover the ranges 100 mV to 50 V.
constexpr uint32_t kTopGaugeRange = 8;
constexpr uint32_t kCouplings = 3;
constexpr uint32_t kReferences = 2;
constexpr uint32_t kChannelA = 1;
constexpr uint32_t kChannelB = 2;

std::u16string Widen(const char* text) {
    std::u16string out;
    for (; *text; ++text)
        out.push_back(static_cast<unsigned char>(*text));
    return out;
}

std::u16string Fixed(double value, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return Widen(buf);
}

// A value the displays cannot show as a number.
bool NotANumber(double value, std::u16string& text) {
    if (std::isnan(value)) {
        text = u"----";
        return true;
    }
    if (std::isinf(value)) {
        text = value > 0 ? u"\u221E" : u"-\u221E";
        return true;
    }
    return false;
}

MeterRecord NoReading() {
    MeterRecord r;
    std::fill(std::begin(r.v), std::end(r.v), kNaN);
    return r;
}

bool SameRecord(const MeterRecord& x, const MeterRecord& y) {
    return std::equal(std::begin(x.v), std::end(x.v), std::begin(y.v));
}

uint32_t RangeOf(bool channelA) {
    return channelA ? g_nRangeA : g_nRangeB;
}

Relaxed<double>& ShuntOf(bool channelA) {
    return channelA ? g_dShunt1 : g_dShunt2;
}

} // namespace

void FormatSi(double value, const std::u16string& unit, std::u16string& text,
              std::u16string& prefixed) {
    prefixed = unit;
    if (NotANumber(value, text))
        return;
    struct Prefix {
        double scale;
        const char16_t* name;
    };
    static constexpr Prefix kPrefixes[] = {
        {1e3, u"k"}, {1.0, u""}, {1e-3, u"m"}, {1e-6, u"\u00B5"}};
    const double magnitude = std::fabs(value);
    const Prefix* p = &kPrefixes[1];
    if (magnitude != 0.0) {
        p = std::find_if(std::begin(kPrefixes), std::end(kPrefixes),
                         [&](const Prefix& q) { return magnitude >= q.scale; });
        if (p == std::end(kPrefixes))
            p = &kPrefixes[3];
    }
    const double scaled = value / p->scale;
    const double m = std::fabs(scaled);
    text = Fixed(scaled, m >= 100 ? 1 : m >= 10 ? 2 : 3);
    prefixed = p->name + unit;
}

namespace {

// The caption of a scale from 0 to full.
std::u16string ScaleCaption(double full, const std::u16string& unit) {
    std::u16string text, prefixed;
    FormatSi(full, unit, text, prefixed);
    // Whole numbers without their zeros: "0 ... 5 A", not "5.000 A".
    if (text.find(u'.') != std::u16string::npos) {
        while (text.back() == u'0')
            text.pop_back();
        if (text.back() == u'.')
            text.pop_back();
    }
    return u"0 ... " + text + u" " + prefixed;
}

} // namespace

CMeterBaseVI::CMeterBaseVI(CKobDevice* meter, uint32_t channels,
                           std::initializer_list<int> readings)
    : m_pMeter(dynamic_cast<CKobMeter*>(meter)), m_nChannels(channels), m_aReadings(readings) {}

CMeterBaseVI::~CMeterBaseVI() {
    if (m_bCounted)
        --g_nMeterWindows;
}

bool CMeterBaseVI::Init() {
    m_pGauge = dynamic_cast<CHotGauge*>(FindHotspot(kTagGauge, kIdMeterGauge));
    m_pGauge1 = dynamic_cast<CHotGauge1*>(FindHotspot(kTagGauge1, kIdMeterGauge1));
    m_pLcd = dynamic_cast<CHotMeterLcd*>(FindHotspot(kTagMeterLcd, kIdMeterLcd));
    // The worker serves the meter while any meter window is open.
    ++g_nMeterWindows;
    m_bCounted = true;
    MarkChoices();
    ConfigureGauge();
    Refresh();
    return CBaseVI::Init();
}

void CMeterBaseVI::OnDestroy() {
    CBaseVI::OnDestroy();
    if (m_bCounted) {
        --g_nMeterWindows;
        m_bCounted = false;
    }
    m_pGauge = nullptr;
    m_pGauge1 = nullptr;
    m_pLcd = nullptr;
}

int CMeterBaseVI::ReadingIndex() const {
    return m_aReadings[m_nReading < m_aReadings.size() ? m_nReading : 0];
}

bool CMeterBaseVI::PollDevices(CStreamIO*) {
    if (!m_pMeter)
        return false;
    const MeterRecord a = GetMeterRecord(true);
    const MeterRecord b = GetMeterRecord(false);
    if (SameRecord(a, m_SeenA) && SameRecord(b, m_SeenB))
        return false;
    m_SeenA = a;
    m_SeenB = b;
    return true;
}

void CMeterBaseVI::Update(uintptr_t, intptr_t) {
    Refresh();
}

void CMeterBaseVI::Refresh() {
    if (m_pMeter)
        Show(GetMeterRecord(true), GetMeterRecord(false));
    else
        Show(NoReading(), NoReading());
    if (m_pGauge)
        DrawNow(m_pGauge);
}

void CMeterBaseVI::SetLcd(const std::u16string& value, const std::u16string& unit) {
    if (m_pLcd && m_pLcd->SetText(value, unit))
        DrawNow(m_pLcd);
}

void CMeterBaseVI::SetGauge1(double value, double low, double high, const std::u16string& caption) {
    if (!m_pGauge1)
        return;
    const bool scale =
        caption != m_pGauge1->m_strCaption && m_pGauge1->SetScale(low, high, caption);
    if (m_pGauge1->SetValue(value) || scale)
        DrawNow(m_pGauge1);
}

double CMeterBaseVI::FullScale(bool channelA) {
    const uint32_t range = RangeOf(channelA);
    return range < kRangeCount ? g_aRanges[range].fullScale : kNaN;
}

bool CMeterBaseVI::Over(bool channelA) {
    return (channelA ? g_bOverA : g_bOverB) != 0;
}

void CMeterBaseVI::ConfigureGauge() {
    if (!m_pGauge)
        return;
    m_pGauge->m_bChannelA = (m_nChannels & kChannelA) != 0;
    m_pGauge->m_nReading = static_cast<uint32_t>(ReadingIndex());
    m_pGauge->SetRange(RangeOf(m_pGauge->m_bChannelA));
    DrawNow(m_pGauge);
}

void CMeterBaseVI::StepRange(uint32_t channels, int delta) {
    if (!m_pMeter)
        return;
    for (bool a : {true, false}) {
        if (!(channels & (a ? kChannelA : kChannelB)))
            continue;
        const auto from = static_cast<int>(std::min(RangeOf(a), kTopGaugeRange));
        const auto to = static_cast<uint32_t>(std::clamp(from + delta, 0, int{kTopGaugeRange}));
        if (a)
            m_pMeter->SetRangeA(to);
        else
            m_pMeter->SetRangeB(to);
    }
    ConfigureGauge();
    Refresh();
}

void CMeterBaseVI::SetCoupling(uint32_t channels, uint32_t coupling) {
    if (m_pMeter) {
        if (channels & kChannelA)
            m_pMeter->SetCouplingA(coupling);
        if (channels & kChannelB)
            m_pMeter->SetCouplingB(coupling);
    }
    MarkChoices(); // without a model the buttons show the settings as they are
}

void CMeterBaseVI::MarkChoices() {
    const uint32_t own = (m_nChannels & kChannelA) ? g_nCouplingA : g_nCouplingB;
    if (own < kCouplings)
        MarkRadio(kIdCoupling + own);
    if (g_nCouplingB < kCouplings && FindHotspot(kTagRadio, kIdCouplingB))
        MarkRadio(kIdCouplingB + g_nCouplingB);
    MarkRadio(kIdReading + m_nReading);
    MarkRadio(kIdReference + m_nReference);
    if (m_nShuntChannel) {
        const double shunt = ShuntOf(m_nShuntChannel == kChannelA);
        for (uint32_t i = 0; i < std::size(kShunts); ++i)
            if (shunt == kShunts[i])
                MarkRadio(kIdShunt + i);
    }
}

bool CMeterBaseVI::OnCommand(uint32_t id) {
    switch (id) {
    case kIdRangeDown:
    case kIdRangeUp:
        StepRange(m_nChannels, id == kIdRangeUp ? 1 : -1);
        return true;
    case kIdRangeDownB:
    case kIdRangeUpB:
        StepRange(kChannelB, id == kIdRangeUpB ? 1 : -1);
        return true;
    default:
        break;
    }
    if (id >= kIdCoupling && id < kIdCoupling + kCouplings) {
        SetCoupling(m_nChannels, id - kIdCoupling);
        return true;
    }
    if (id >= kIdCouplingB && id < kIdCouplingB + kCouplings) {
        SetCoupling(kChannelB, id - kIdCouplingB);
        return true;
    }
    if (id >= kIdReading && id < kIdReading + m_aReadings.size()) {
        m_nReading = id - kIdReading;
        ConfigureGauge();
        Refresh();
        return true;
    }
    if (m_nShuntChannel && id >= kIdShunt && id < kIdShunt + std::size(kShunts)) {
        // A setting of the windows alone: nothing goes to the box.
        ShuntOf(m_nShuntChannel == kChannelA) = kShunts[id - kIdShunt];
        Refresh();
        return true;
    }
    if (id >= kIdReference && id < kIdReference + kReferences) {
        m_nReference = id - kIdReference;
        Refresh();
        return true;
    }
    return CBaseVI::OnCommand(id);
}

void CMeterBaseVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << m_nReading << m_nReference;
        return;
    }
    // Workspaces before version 4 carry no part for this window.
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0, reading = 0, reference = 0;
    ar >> version >> reading >> reference;
    if (reading >= m_aReadings.size() || reference >= kReferences)
        ThrowArchiveException(CArchiveException::generic);
    m_nReading = reading;
    m_nReference = reference;
    MarkChoices();
    ConfigureGauge();
    Refresh();
}

namespace {

// The voltage of one input: U as the chosen reading, in volts.
class CMeterVI : public CMeterBaseVI {
public:
    CMeterVI(CKobDevice* meter, bool channelA)
        : CMeterBaseVI(meter, channelA ? kChannelA : kChannelB,
                       {kMeterMean, kMeterRms, kMeterPeakToPeak}) {}

protected:
    void Show(const MeterRecord& a, const MeterRecord& b) override {
        const bool chA = m_nChannels == kChannelA;
        std::u16string text, unit;
        FormatSi((chA ? a : b).v[ReadingIndex()], u"V", text, unit);
        SetLcd(Over(chA) ? u"OL" : text, unit);
    }
};

// The current through a shunt on one input: I = U / R_shunt, with R_shunt
// g_dShunt1 on input A and g_dShunt2 on input B.
class CAmpereMeterVI : public CMeterBaseVI {
public:
    CAmpereMeterVI(CKobDevice* meter, bool channelA)
        : CMeterBaseVI(meter, channelA ? kChannelA : kChannelB, {kMeterMean, kMeterRms}) {
        m_nShuntChannel = m_nChannels;
    }

protected:
    void Show(const MeterRecord& a, const MeterRecord& b) override {
        const bool chA = m_nChannels == kChannelA;
        const double shunt = ShuntOf(chA);
        const bool valid = IsValidShunt(shunt);
        const double current = valid ? (chA ? a : b).v[ReadingIndex()] / shunt : kNaN;
        std::u16string text, unit;
        FormatSi(current, u"A", text, unit);
        SetLcd(Over(chA) ? u"OL" : text, unit);
        const double full = valid ? FullScale(chA) / shunt : kNaN;
        SetGauge1(std::fabs(current), 0.0, full, ScaleCaption(full, u"A"));
    }
};

// The level of an AC voltage: L = 20 log10(U_rms / U_ref), with U_ref 1 V
// (dBV) or 0.775 V (dBu, the voltage of 1 mW in 600 ohms).
class CDBMeterVI : public CMeterBaseVI {
public:
    CDBMeterVI(CKobDevice* meter, bool channelA)
        : CMeterBaseVI(meter, channelA ? kChannelA : kChannelB, {kMeterRms}) {}

protected:
    void Show(const MeterRecord& a, const MeterRecord& b) override {
        const bool chA = m_nChannels == kChannelA;
        const double ref = m_nReference ? 0.775 : 1.0;
        const std::u16string unit = m_nReference ? u"dBu" : u"dBV";
        const double rms = (chA ? a : b).v[kMeterRms];
        // No signal at all lies infinitely far below the reference.
        const double level = rms > 0    ? 20.0 * std::log10(rms / ref)
                             : rms == 0 ? -std::numeric_limits<double>::infinity()
                                        : kNaN;
        std::u16string text;
        if (!NotANumber(level, text))
            text = Fixed(level, 1);
        SetLcd(Over(chA) ? u"OL" : text, unit);
        // Sixty decibels below the range's full scale, in steps of ten.
        const double high = 10.0 * std::ceil(2.0 * std::log10(FullScale(chA) / ref));
        SetGauge1(level, high - 60.0, high,
                  Fixed(high - 60.0, 0) + u" ... " + (high > 0 ? u"+" : u"") + Fixed(high, 0) +
                      u" " + unit);
    }
};

// Power into a load: U on input A, the current through shunt 2 on input
// B, I = U_B / R_shunt2. DC: P = U_mean * I_mean in W; AC: the apparent
// power S = U_rms * I_rms in VA.
class CPowerMeterVI : public CMeterBaseVI {
public:
    explicit CPowerMeterVI(CKobDevice* meter)
        : CMeterBaseVI(meter, kChannelA, {kMeterMean, kMeterRms}) {
        m_nShuntChannel = kChannelB;
    }

protected:
    void Show(const MeterRecord& a, const MeterRecord& b) override {
        const double shunt = g_dShunt2;
        const bool valid = IsValidShunt(shunt);
        const int r = ReadingIndex();
        const double power = valid ? a.v[r] * b.v[r] / shunt : kNaN;
        const std::u16string unit = r == kMeterRms ? u"VA" : u"W";
        std::u16string text, prefixed;
        FormatSi(power, unit, text, prefixed);
        SetLcd(Over(true) || Over(false) ? u"OL" : text, prefixed);
        const double full = valid ? FullScale(true) * FullScale(false) / shunt : kNaN;
        SetGauge1(std::fabs(power), 0.0, full, ScaleCaption(full, unit));
    }
};

// Standing-wave ratio from a directional coupler: forward voltage on input
// A, reflected on input B (RMS). Reflection r = U_refl / U_fwd,
// SWR = (1 + r) / (1 - r); total reflection gives an infinite ratio.
class CSwrMeterVI : public CMeterBaseVI {
public:
    explicit CSwrMeterVI(CKobDevice* meter)
        : CMeterBaseVI(meter, kChannelA | kChannelB, {kMeterRms}) {}

protected:
    void Show(const MeterRecord& a, const MeterRecord& b) override {
        const double fwd = a.v[kMeterRms];
        const double r = fwd > 0 ? b.v[kMeterRms] / fwd : kNaN;
        const double swr = r < 1    ? (1 + r) / (1 - r)
                           : r >= 1 ? std::numeric_limits<double>::infinity()
                                    : kNaN;
        std::u16string text;
        if (!NotANumber(swr, text))
            text = Fixed(swr, 2);
        SetLcd(Over(true) || Over(false) ? u"OL" : text, u": 1");
        SetGauge1(swr, 1.0, 5.0, u"SWR 1 ... 5");
    }
};

// Temperature from a sensor on input A that gives 10 mV per kelvin and
// 0 V at 0 degrees Celsius: T = U_mean / 10 mV/K in degrees Celsius.
class CTemperatureVI : public CMeterBaseVI {
public:
    explicit CTemperatureVI(CKobDevice* meter) : CMeterBaseVI(meter, kChannelA, {kMeterMean}) {}

protected:
    void Show(const MeterRecord& a, const MeterRecord&) override {
        constexpr double kVoltsPerKelvin = 0.01;
        const double t = a.v[kMeterMean] / kVoltsPerKelvin;
        std::u16string text;
        if (!NotANumber(t, text))
            text = Fixed(t, 1);
        SetLcd(Over(true) ? u"OL" : text, u"\u00B0C");
        const double high = FullScale(true) / kVoltsPerKelvin;
        SetGauge1(t, 0.0, high, u"0 ... " + Fixed(high, 0) + u" \u00B0C");
    }
};

// Window type -> window class with the meter; 61, 63 and 65 are on input
// A, 62, 64 and 66 on input B.
struct MeterType {
    uint32_t type;
    CBaseVI* (*make)(CKobDevice* meter);
};
constexpr MeterType kMeterTypes[] = {
    {61, [](CKobDevice* m) -> CBaseVI* { return new CMeterVI(m, true); }},
    {62, [](CKobDevice* m) -> CBaseVI* { return new CMeterVI(m, false); }},
    {63, [](CKobDevice* m) -> CBaseVI* { return new CAmpereMeterVI(m, true); }},
    {64, [](CKobDevice* m) -> CBaseVI* { return new CAmpereMeterVI(m, false); }},
    {65, [](CKobDevice* m) -> CBaseVI* { return new CDBMeterVI(m, true); }},
    {66, [](CKobDevice* m) -> CBaseVI* { return new CDBMeterVI(m, false); }},
    {67, [](CKobDevice* m) -> CBaseVI* { return new CPowerMeterVI(m); }},
    {68, [](CKobDevice* m) -> CBaseVI* { return new CSwrMeterVI(m); }},
    {69, [](CKobDevice* m) -> CBaseVI* { return new CTemperatureVI(m); }},
};

} // namespace

CBaseVI* CreateMeterWindow(CKobface& device, uint32_t type) {
    for (const MeterType& t : kMeterTypes)
        if (t.type == type)
            return t.make(device.m_pMeter);
    return new CBaseVI;
}
