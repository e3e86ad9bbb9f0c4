// The function generator windows: frequency range and arrows, amplitude,
// output range, waveform and the output switch, and what the DC and pulse
// windows add. Every click goes through the generator's window setters; the
// worker sends what they marked and tells the window to show the settings.
#include "vi/funcgen/funcgenvi.h"

#include <cstdio>

#include "device/kobface.h"
#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "vi/controls/hotspot.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"
#include "vi/factory.h"

namespace {

constexpr uint32_t kOutRanges = 3;
constexpr uint32_t kWaveCodes = 10;
// The fast arrows move by ten steps.
constexpr int kFastSteps = 10;
// The workspace part of every generator window.
constexpr uint32_t kPartVersion = 1;

// Full-scale volts of the output range codes; other codes play as the
// first.
constexpr double kFullScale[kOutRanges] = {10.0, 1.0, 0.1};

std::string Format(const char* format, double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// Repeats a setter while it changes something, at most n times.
template <class Step> void Repeat(int n, Step step) {
    for (int i = 0; i < n && step(); ++i) {
    }
}

} // namespace

FuncGenView FuncGenView::Current() {
    return {g_byFGenEnable,   g_nFGenFunction, g_nFGenFreqRange, g_dFGenFrequency,
            g_nFGenAmplitude, g_nFGenOutRange, g_nFGenPulseWidth};
}

double FuncGenDcVolts(uint32_t amplitude, uint32_t outRange, uint32_t function) {
    const double scale = kFullScale[outRange < kOutRanges ? outRange : 0];
    const double volts = amplitude / 100.0 * scale;
    return function == kFGenDcNegative ? -volts : volts;
}

CFuncGenVI::CFuncGenVI(CKobDevice* funcgen) : m_pFuncGen(dynamic_cast<CFuncGen*>(funcgen)) {}

bool CFuncGenVI::Init() {
    if (m_pFuncGen) {
        ChooseWaveform();
    } else {
        // Without a generator the window shows the settings and takes no
        // clicks.
        for (const auto& h : m_Hotspots)
            if (!(h->m_dwFlags & kHsPassive))
                h->Enable(false);
    }
    Refresh(true);
    return CBaseVI::Init();
}

bool CFuncGenVI::PollDevices(CStreamIO*) {
    if (!m_pFuncGen)
        return false;
    m_pFuncGen->SendChanges();
    // The settings change by this window, by another one or by a client.
    const FuncGenView now = FuncGenView::Current();
    if (now == m_Polled)
        return false;
    m_Polled = now;
    return true;
}

void CFuncGenVI::Update(uintptr_t, intptr_t) {
    Refresh(false);
}

void CFuncGenVI::ShowDigits(uint32_t id, const std::string& text, bool force) {
    auto* seg = dynamic_cast<CHotSeg7*>(FindHotspot(kTagSeg7, id));
    if (!seg)
        return;
    size_t cells = 0;
    for (char c : text)
        cells += c != '.' && c != ',';
    // Too long for the display: dashes rather than a number cut short.
    const std::string shown = cells > seg->m_nDigits
                                  ? std::string(seg->m_nDigits, '-')
                                  : std::string(seg->m_nDigits - cells, ' ') + text;
    if (!force && shown == seg->Text())
        return;
    seg->SetText(shown);
    DrawNow(seg);
}

void CFuncGenVI::ShowChoice(uint32_t first, uint32_t count, uint32_t value, bool force) {
    for (uint32_t i = 0; i < count; ++i) {
        auto* radio = dynamic_cast<CHotToggle*>(FindHotspot(kTagRadio, first + i));
        // Repainted with its background: its text is drawn over it.
        if (radio && (radio->SetChecked(i == value) || force))
            radio->Invalidate(this, true);
    }
}

void CFuncGenVI::Refresh(bool force) {
    const FuncGenView v = FuncGenView::Current();
    if (auto* power = dynamic_cast<CHotSwitch*>(FindHotspot(kTagPowerButton, kIdFGenPower))) {
        if (force || power->m_bOn != v.on) {
            power->m_bOn = v.on;
            power->Invalidate(this, true);
        }
    }
    // Tenths of a hertz only where the range steps by them.
    const bool tenths = v.freqRange < kFGenFreqRanges && g_aFGenFreqRanges[v.freqRange].step < 1;
    ShowDigits(kIdFGenFreqDisplay, Format(tenths ? "%.1f" : "%.0f", v.frequency), force);
    ShowChoice(kIdFGenRange, kFGenFreqRanges, v.freqRange, force);
    ShowDigits(kIdFGenAmpDisplay, std::to_string(v.amplitude), force);
    ShowChoice(kIdFGenOutRange, kOutRanges, v.outRange, force);
    ShowChoice(kIdFGenWave, kWaveCodes, v.function, force);
}

bool CFuncGenVI::OnCommand(uint32_t id) {
    CFuncGen* g = m_pFuncGen;
    const bool ours = id == kIdFGenPower || (id >= kIdFGenRange && id < kIdFGenRange + 7) ||
                      (id >= kIdFGenFreqUp && id <= kIdFGenAmpDownFast) ||
                      (id >= kIdFGenOutRange && id < kIdFGenOutRange + kOutRanges) ||
                      (id >= kIdFGenWave && id < kIdFGenWave + kWaveCodes);
    if (!ours)
        return CBaseVI::OnCommand(id);
    if (!g)
        return true;
    if (id == kIdFGenPower) {
        // The switch has flipped itself; the generator follows it.
        auto* power = dynamic_cast<CHotSwitch*>(FindHotspot(kTagPowerButton, kIdFGenPower));
        if (power)
            g->SetEnable(power->m_bOn ? 1 : 0);
        else
            g->ToggleEnable();
    } else if (id >= kIdFGenRange && id < kIdFGenRange + kFGenFreqRanges) {
        g->SetFreqRange(id - kIdFGenRange);
    } else if (id == kIdFGenFreqUp || id == kIdFGenFreqUpFast) {
        Repeat(id == kIdFGenFreqUp ? 1 : kFastSteps, [g] { return g->IncFrequency(); });
    } else if (id == kIdFGenFreqDown || id == kIdFGenFreqDownFast) {
        Repeat(id == kIdFGenFreqDown ? 1 : kFastSteps, [g] { return g->DecFrequency(); });
    } else if (id == kIdFGenAmpUp || id == kIdFGenAmpUpFast) {
        Repeat(id == kIdFGenAmpUp ? 1 : kFastSteps, [g] { return g->IncAmplitude(); });
    } else if (id == kIdFGenAmpDown || id == kIdFGenAmpDownFast) {
        Repeat(id == kIdFGenAmpDown ? 1 : kFastSteps, [g] { return g->DecAmplitude(); });
    } else if (id >= kIdFGenOutRange && id < kIdFGenOutRange + kOutRanges) {
        g->SetOutRange(id - kIdFGenOutRange);
    } else if (id >= kIdFGenWave && id < kIdFGenWave + kWaveCodes &&
               id != kIdFGenWave + kFGenTable) {
        // The client's table is the client's: no window selects it.
        g->SetFunction(id - kIdFGenWave);
    }
    // A radio button has drawn its own text over itself on the click.
    if (CHotspot* radio = FindHotspot(kTagRadio, id))
        radio->Invalidate(this, true);
    Refresh(false);
    return true;
}

void CFuncGenVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << kPartVersion;
        SerializeOwn(ar);
        return;
    }
    // Workspaces before version 4 carry no part for the generator windows.
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0;
    ar >> version;
    if (version != kPartVersion)
        ThrowArchiveException(CArchiveException::badSchema);
    SerializeOwn(ar);
}

void CFuncGenDCVI::ChooseWaveform() {
    if (g_nFGenFunction != kFGenDcPositive && g_nFGenFunction != kFGenDcNegative)
        m_pFuncGen->SetFunction(kFGenDcPositive);
}

void CFuncGenDCVI::Refresh(bool force) {
    CFuncGenVI::Refresh(force);
    const double volts = FuncGenDcVolts(g_nFGenAmplitude, g_nFGenOutRange, g_nFGenFunction);
    // Hundredths of a volt on the 10 V and 1 V ranges, thousandths on 0.1 V.
    ShowDigits(kIdFGenVoltDisplay, Format(g_nFGenOutRange == 2 ? "%.3f" : "%.2f", volts), force);
}

void CFuncGenPulseVI::ChooseWaveform() {
    if (g_nFGenFunction != 8 && g_nFGenFunction != 9)
        m_pFuncGen->SetFunction(9);
}

void CFuncGenPulseVI::Refresh(bool force) {
    CFuncGenVI::Refresh(force);
    ShowDigits(kIdFGenWidthDisplay, std::to_string(uint32_t{g_nFGenPulseWidth}), force);
}

bool CFuncGenPulseVI::OnCommand(uint32_t id) {
    if (id < kIdFGenWidthUp || id > kIdFGenWidthDownFast)
        return CFuncGenVI::OnCommand(id);
    if (CFuncGen* g = m_pFuncGen) {
        const bool up = id == kIdFGenWidthUp || id == kIdFGenWidthUpFast;
        const int n = id == kIdFGenWidthUp || id == kIdFGenWidthDown ? 1 : kFastSteps;
        Repeat(n, [g, up] { return up ? g->IncPulseWidth() : g->DecPulseWidth(); });
        Refresh(false);
    }
    return true;
}

CBaseVI* CreateFuncGenWindow(CKobface& device, uint32_t type) {
    CKobDevice* g = device.m_pFuncGen;
    switch (type) {
    case 33:
        return new CFuncGenFormVI(g);
    case 35:
        return new CFuncGenDCVI(g);
    case 36:
        return new CFuncGenPulseVI(g);
    default:
        return new CFuncGenVI(g);
    }
}
