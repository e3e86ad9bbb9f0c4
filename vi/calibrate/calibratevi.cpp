// The calibration window: the generator plays a direct voltage, the meter
// measures one input, and the window shows both with their difference.
#include "vi/calibrate/calibratevi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/meter/meter.h"
#include "vi/controls/displays.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"
#include "vi/factory.h"

namespace {

constexpr uint32_t kIdPower = 7101;
constexpr uint32_t kIdDcPlus = 7110, kIdDcMinus = 7111;
constexpr uint32_t kIdOutRange = 7120; // 7120-7122: 10 V, 1 V, 0.1 V
// The amplitude buttons: 7130 +1 %, 7131 -1 %, 7132 +10 %, 7133 -10 %.
constexpr uint32_t kIdAmpSteps = 7130;
constexpr int kAmpSteps[] = {1, -1, 10, -10};
constexpr uint32_t kIdAmplitude = 7140, kIdSet = 7141, kIdMeasured = 7142;
constexpr uint32_t kIdDiffVolts = 7143, kIdDiffPercent = 7144;
constexpr uint32_t kIdChannel = 7150; // 7150 A, 7151 B
constexpr uint32_t kIdRangeUp = 7160, kIdRangeDown = 7161, kIdFullScale = 7162;
constexpr uint32_t kIdOver = 7170;

// Full scale of the generator's output ranges 0-2 (the box's 10 V, 1 V and
// 0.1 V outputs); other codes play on the 10 V output.
constexpr double kOutFullScale[] = {10.0, 1.0, 0.1};
constexpr uint32_t kOutRanges = 3;
constexpr uint32_t kChannels = 2;

CFuncGen* AsFuncGen(CKobDevice* d) {
    return dynamic_cast<CFuncGen*>(d);
}

// value in at most digits cells: as many decimals as fit (up to decimals),
// right-aligned; dashes when even the whole number does not fit.
std::string Fit(double value, uint32_t digits, int decimals) {
    for (; decimals >= 0; --decimals) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
        std::string s = buf;
        if (s == "-0" || s.find_first_not_of("-0.") == std::string::npos)
            s.erase(0, s[0] == '-' ? 1 : 0); // no minus before a zero
        const size_t cells = s.size() - (s.find('.') != std::string::npos ? 1 : 0);
        if (cells <= digits)
            return std::string(digits - cells, ' ') + s;
    }
    return std::string(digits, '-');
}

} // namespace

CCalibrateVI::CCalibrateVI(CKobDevice* funcgen, CKobDevice* meter)
    : m_pFuncGen(AsFuncGen(funcgen)), m_pMeter(dynamic_cast<CKobMeter*>(meter)) {}

CCalibrateVI::~CCalibrateVI() {
    StopCounting();
}

double CCalibrateVI::SetVolts(const Generator& g) {
    if (!g.on)
        return 0.0;
    const double full = kOutFullScale[g.range < kOutRanges ? g.range : 0];
    const double sign = g.function == kFGenDcNegative ? -1.0 : 1.0;
    return sign * g.amplitude / 100.0 * full;
}

double CCalibrateVI::InputFullScale(uint32_t channel) {
    const uint32_t range = channel == 0 ? g_nRangeA : g_nRangeB;
    return range < kRangeCount ? g_aRanges[range].fullScale : 0.0;
}

bool CCalibrateVI::Init() {
    // The worker serves the meter while a meter-type window is open.
    ++g_nMeterWindows;
    m_bCounted = true;
    MarkRadio(kIdChannel + m_nChannel);
    RefreshGenerator();
    RefreshInput();
    return CBaseVI::Init();
}

void CCalibrateVI::StopCounting() {
    if (m_bCounted) {
        --g_nMeterWindows;
        m_bCounted = false;
    }
}

void CCalibrateVI::OnDestroy() {
    StopCounting();
    CBaseVI::OnDestroy();
}

bool CCalibrateVI::PollDevices(CStreamIO*) {
    bool generator = false;
    if (m_pFuncGen) {
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        m_Gen = {g_byFGenEnable, g_nFGenFunction, g_nFGenAmplitude, g_nFGenOutRange};
        generator = !(m_Gen == m_GenShown);
        // The window checks with a direct voltage: another waveform gives way.
        if (!m_bDcChecked && m_Gen.function != kFGenDcPositive && m_Gen.function != kFGenDcNegative)
            m_pFuncGen->SetFunction(kFGenDcPositive);
        m_bDcChecked = true;
    }
    if (!m_pMeter)
        return generator;
    // The worker wrote the readings itself; the window thread only sees
    // these copies.
    const bool a = m_nChannel == 0;
    const double mean = (a ? g_MeterA : g_MeterB).v[kMeterMean];
    const bool over = (a ? g_bOverA : g_bOverB) != 0;
    m_dMeasured = mean;
    m_bOver = over;
    m_bMeasured = true;
    return generator || !m_bShownKnown || mean != m_dShown || over != m_bShownOver;
}

void CCalibrateVI::Update(uintptr_t, intptr_t) {
    RefreshGenerator();
}

void CCalibrateVI::ShowNumber(uint32_t id, double value, bool known, int decimals) {
    auto* d = dynamic_cast<CHotSeg7*>(FindHotspot(kTagSeg7, id));
    if (!d)
        return;
    const std::string text = known && std::isfinite(value) ? Fit(value, d->m_nDigits, decimals)
                                                           : std::string(d->m_nDigits, '-');
    if (text != d->Text()) {
        d->SetText(text);
        DrawNow(d);
    }
}

void CCalibrateVI::RefreshGenerator() {
    {
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        m_GenView = m_Gen;
        m_GenShown = m_Gen;
    }
    const Generator& g = m_GenView;
    if (auto* power = dynamic_cast<CHotSwitch*>(FindHotspot(kTagPowerButton, kIdPower))) {
        const uint8_t on = g.on ? 1 : 0;
        if (power->m_bOn != on) {
            power->m_bOn = on;
            DrawNow(power);
        }
        power->Enable(m_pFuncGen != nullptr);
    }
    MarkRadio(g.function == kFGenDcNegative ? kIdDcMinus : kIdDcPlus);
    MarkRadio(kIdOutRange + (g.range < kOutRanges ? g.range : 0));
    ShowNumber(kIdAmplitude, g.amplitude, true, 0);
    ShowNumber(kIdSet, SetVolts(g), true, 3);
    RefreshInput();
}

void CCalibrateVI::RefreshInput() {
    const uint32_t channel = m_nChannel;
    const double full = InputFullScale(channel);
    ShowNumber(kIdFullScale, full, m_pMeter != nullptr, 1);
    const bool known = m_pMeter && m_bMeasured;
    const double measured = m_dMeasured;
    m_dShown = measured;
    m_bShownKnown = known;
    const bool over = known && m_bOver;
    m_bShownOver = over;
    const double diff = measured - SetVolts(m_GenView);
    ShowNumber(kIdMeasured, measured, known, 3);
    ShowNumber(kIdDiffVolts, diff, known, 3);
    ShowNumber(kIdDiffPercent, full > 0 ? 100.0 * diff / full : 0.0, known && full > 0, 2);
    if (auto* lamp = dynamic_cast<CHotStatus*>(FindHotspot(kTagStatus, kIdOver)))
        if (lamp->SetOn(over))
            DrawNow(lamp);
}

void CCalibrateVI::StepAmplitude(int delta) {
    for (int i = 0; i < std::abs(delta); ++i)
        if (!(delta > 0 ? m_pFuncGen->IncAmplitude() : m_pFuncGen->DecAmplitude()))
            break;
}

void CCalibrateVI::StepRange(int delta) {
    const uint32_t channel = m_nChannel;
    const uint32_t range = channel == 0 ? g_nRangeA : g_nRangeB;
    const int64_t next = static_cast<int64_t>(range) + delta;
    if (next < 0 || next >= kRangeCount)
        return;
    if (channel == 0)
        m_pMeter->SetRangeA(static_cast<uint32_t>(next));
    else
        m_pMeter->SetRangeB(static_cast<uint32_t>(next));
    // The old reading belongs to the old range.
    m_bMeasured = false;
}

bool CCalibrateVI::OnCommand(uint32_t id) {
    if (id == kIdChannel || id == kIdChannel + 1) {
        m_nChannel = id - kIdChannel;
        m_bMeasured = false;
        RefreshInput();
        return true;
    }
    if (id == kIdRangeUp || id == kIdRangeDown) {
        if (m_pMeter)
            StepRange(id == kIdRangeUp ? 1 : -1);
        RefreshInput();
        return true;
    }
    const bool generator = id == kIdPower || id == kIdDcPlus || id == kIdDcMinus ||
                           (id >= kIdOutRange && id < kIdOutRange + kOutRanges) ||
                           (id >= kIdAmpSteps && id < kIdAmpSteps + std::size(kAmpSteps));
    if (!generator)
        return CBaseVI::OnCommand(id);
    if (m_pFuncGen) {
        if (id == kIdPower) {
            auto* power = dynamic_cast<CHotSwitch*>(FindHotspot(kTagPowerButton, kIdPower));
            m_pFuncGen->SetEnable(power ? power->m_bOn : !m_GenView.on);
        } else if (id == kIdDcPlus || id == kIdDcMinus) {
            m_pFuncGen->SetFunction(id == kIdDcPlus ? kFGenDcPositive : kFGenDcNegative);
        } else if (id >= kIdOutRange && id < kIdOutRange + kOutRanges) {
            m_pFuncGen->SetOutRange(id - kIdOutRange);
        } else {
            StepAmplitude(kAmpSteps[id - kIdAmpSteps]);
        }
    }
    // The displays follow when the worker has read the new settings; without
    // a generator the controls fall back to what it plays.
    RefreshGenerator();
    return true;
}

void CCalibrateVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << static_cast<uint32_t>(m_nChannel);
        return;
    }
    // Workspaces before version 4 carry no part for this window.
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0, channel = 0;
    ar >> version >> channel;
    if (channel >= kChannels)
        ThrowArchiveException(CArchiveException::badSchema);
    m_nChannel = channel;
    m_bMeasured = false;
    MarkRadio(kIdChannel + channel);
    RefreshInput();
}

CBaseVI* CreateCalibrateVI(CKobDevice* funcgen, CKobDevice* meter) {
    return new CCalibrateVI(funcgen, meter);
}

CBaseVI* CreateCalibrateWindow(CKobface& device, uint32_t) {
    return CreateCalibrateVI(device.m_pFuncGen, device.m_pMeter);
}
