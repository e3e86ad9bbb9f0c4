// The three-phase generator's windows. Every control acts through the
// generator's setters and change bits; the worker sends them, and the
// windows follow the settings whoever changed them (a COM client too).
#include "vi/threephase/threephasevi.h"

#include <algorithm>
#include <numbers>
#include <string>
#include <utility>

#include "device/kobface.h"
#include "formula/forcomp.h"
#include "framework/exception.h"
#include "instruments/threephase/threephase.h"
#include "vi/controls/hot3phdisp.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"
#include "vi/factory.h"

namespace {

constexpr uint32_t kP3DcPositive = 4, kP3DcNegative = 5;
constexpr uint32_t kWaveforms = 8;
constexpr int32_t kSteps[] = {1, -1, 10, -10};

// An angle as the windows show it, 0-359 (the settings may hold a negative
// one that a client sent).
uint32_t Degrees(uint32_t setting) {
    const int32_t d = static_cast<int32_t>(setting) % 360;
    return static_cast<uint32_t>(d < 0 ? d + 360 : d);
}

uint64_t Mix(uint64_t hash, uint64_t value) {
    return (hash ^ value) * 0x100000001B3ull;
}

// Every setting the windows show, folded into one number.
uint64_t Fingerprint() {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint32_t v : {uint32_t{g_byP3Enable}, uint32_t{g_bP3DcMode}, uint32_t{g_abP3PhaseOn[0]},
                       uint32_t{g_abP3PhaseOn[1]}, uint32_t{g_abP3PhaseOn[2]},
                       uint32_t{g_nP3Function}, uint32_t{g_nP3Clock}, uint32_t{g_nP3Frequency},
                       uint32_t{g_anP3Amplitude[0]}, uint32_t{g_anP3Amplitude[1]},
                       uint32_t{g_anP3Amplitude[2]}, uint32_t{g_nP3Phase2}, uint32_t{g_nP3Phase3}})
        h = Mix(h, v);
    for (char16_t c : P3Formula())
        h = Mix(h, c);
    return h;
}

bool IsDcLevel(uint32_t function) {
    return function == kP3DcPositive || function == kP3DcNegative;
}

constexpr P3Quantity kDcSteppers[] = {P3Quantity::Amplitude1, P3Quantity::Amplitude2,
                                      P3Quantity::Amplitude3};
constexpr P3Quantity kAcSteppers[] = {P3Quantity::Frequency, P3Quantity::Clock,
                                      P3Quantity::Amplitude1, P3Quantity::Amplitude2,
                                      P3Quantity::Amplitude3};
constexpr P3Quantity kMotorSteppers[] = {P3Quantity::Speed};
constexpr P3Quantity k3PhaseSteppers[] = {
    P3Quantity::Frequency,  P3Quantity::Clock,  P3Quantity::Amplitude1, P3Quantity::Amplitude2,
    P3Quantity::Amplitude3, P3Quantity::Phase2, P3Quantity::Phase3};

} // namespace

P3Range P3RangeOf(P3Quantity q) {
    switch (q) {
    case P3Quantity::Frequency:
        return {1, 150, false};
    case P3Quantity::Clock:
        return {10, g_byModel == 2 ? 32u : 35u, false};
    case P3Quantity::Phase2:
    case P3Quantity::Phase3:
        return {0, 359, true};
    default:
        return {0, 100, false};
    }
}

uint32_t P3Step(uint32_t value, int32_t delta, P3Range range) {
    if (range.wrap) {
        const int64_t span = int64_t{range.max} - range.min + 1;
        int64_t n = (int64_t{value} - range.min + delta) % span;
        if (n < 0)
            n += span;
        return static_cast<uint32_t>(range.min + n);
    }
    return static_cast<uint32_t>(std::clamp<int64_t>(int64_t{value} + delta, range.min, range.max));
}

CThreePhaseVI::CThreePhaseVI(CKobDevice* gen, std::span<const P3Quantity> steppers, bool dcMode)
    : m_pGen(dynamic_cast<C3PhaseGen*>(gen)), m_Steppers(steppers), m_bDcMode(dcMode) {}

bool CThreePhaseVI::Init() {
    if (m_pGen) {
        m_pGen->SetDcMode(m_bDcMode ? 1 : 0);
        // Whatever the box plays now, it gets every setting the window shows.
        m_pGen->SetChanged(kP3ChangedAll);
    }
    Refresh();
    return CBaseVI::Init();
}

bool CThreePhaseVI::PollDevices(CStreamIO*) {
    // The worker sends the generator's changes itself; a window only looks
    // whether the settings moved since it last showed them.
    const uint64_t now = Fingerprint();
    return m_nPolled.exchange(now, std::memory_order_relaxed) != now;
}

void CThreePhaseVI::Update(uintptr_t, intptr_t) {
    Refresh();
}

uint32_t CThreePhaseVI::Value(P3Quantity q) const {
    switch (q) {
    case P3Quantity::Frequency:
        return g_nP3Frequency;
    case P3Quantity::Clock:
        return g_nP3Clock;
    case P3Quantity::Amplitude1:
    case P3Quantity::Amplitude2:
    case P3Quantity::Amplitude3:
        return g_anP3Amplitude[static_cast<uint32_t>(q) -
                               static_cast<uint32_t>(P3Quantity::Amplitude1)];
    case P3Quantity::Phase2:
        return Degrees(g_nP3Phase2);
    case P3Quantity::Phase3:
        return Degrees(g_nP3Phase3);
    default:
        return 0;
    }
}

void CThreePhaseVI::Store(P3Quantity q, uint32_t value) {
    if (!m_pGen)
        return;
    switch (q) {
    case P3Quantity::Frequency:
        m_pGen->SetFrequency(value);
        break;
    case P3Quantity::Clock:
        m_pGen->SetClock(value);
        break;
    case P3Quantity::Amplitude1:
    case P3Quantity::Amplitude2:
    case P3Quantity::Amplitude3: {
        uint32_t a[3] = {g_anP3Amplitude[0], g_anP3Amplitude[1], g_anP3Amplitude[2]};
        a[static_cast<uint32_t>(q) - static_cast<uint32_t>(P3Quantity::Amplitude1)] = value;
        m_pGen->SetAmplitudes(a[0], a[1], a[2]);
        break;
    }
    case P3Quantity::Phase2:
        m_pGen->SetPhases(value, Degrees(g_nP3Phase3));
        break;
    case P3Quantity::Phase3:
        m_pGen->SetPhases(Degrees(g_nP3Phase2), value);
        break;
    default:
        break;
    }
}

void CThreePhaseVI::ShowChecked(uint32_t tag, uint32_t id, bool on) {
    if (auto* t = dynamic_cast<CHotToggle*>(FindHotspot(tag, id)))
        if (t->SetChecked(on))
            DrawNow(t);
}

void CThreePhaseVI::Refresh() {
    for (P3Quantity q : m_Steppers) {
        if (auto* d = dynamic_cast<CHotSeg7*>(FindHotspot(kTagSeg7, P3DisplayId(q)))) {
            const std::string before = d->Text();
            d->SetValue(static_cast<int32_t>(std::min<uint32_t>(Value(q), 999)));
            if (d->Text() != before)
                DrawNow(d);
        }
    }
    if (auto* power = dynamic_cast<CHotSwitch*>(FindHotspot(kTagPowerButton, kIdP3Power))) {
        const uint8_t on = g_byP3Enable ? 1 : 0;
        if (power->m_bOn != on) {
            power->m_bOn = on;
            DrawNow(power);
        }
    }
    const uint32_t function = g_nP3Function;
    for (uint32_t code = 0; code < kWaveforms; ++code)
        ShowChecked(kTagRadio, kIdP3Waveform + code, code == function);
    for (uint32_t i = 0; i < 3; ++i)
        ShowChecked(kTagCheck, kIdP3PhaseSwitch + i, g_abP3PhaseOn[i] != 0);
    if (auto* display = dynamic_cast<CHot3PhDisp*>(FindHotspot(kTag3PhDisp, kIdP3Display)))
        if (display->SetView(CurrentView()))
            DrawNow(display);
}

P3View CThreePhaseVI::CurrentView() {
    P3View v;
    v.on = g_byP3Enable != 0;
    v.dcMode = g_bP3DcMode != 0;
    for (int i = 0; i < 3; ++i) {
        v.phaseOn[i] = g_abP3PhaseOn[i] != 0;
        v.amplitude[i] = g_anP3Amplitude[i];
    }
    v.phase[1] = Degrees(g_nP3Phase2);
    v.phase[2] = Degrees(g_nP3Phase3);
    v.function = g_nP3Function;
    if (v.function == kP3Formula) {
        // Evaluated again only when the formula changed.
        const WString formula = P3Formula();
        if (formula != m_strShownFormula || m_Formula.empty()) {
            m_strShownFormula = formula;
            m_Formula.assign(kP3TablePoints, 0.0);
            CForComp comp;
            if (!comp.Evaluate(formula.c_str(), kP3TablePoints, 0.0, 2 * std::numbers::pi,
                               m_Formula.data()))
                m_Formula.clear();
        }
        v.formula = m_Formula;
    }
    return v;
}

bool CThreePhaseVI::OnCommand(uint32_t id) {
    for (P3Quantity q : m_Steppers) {
        const uint32_t display = P3DisplayId(q);
        if (id > display && id <= display + std::size(kSteps)) {
            Store(q, P3Step(Value(q), kSteps[id - display - 1], P3RangeOf(q)));
            Refresh();
            return true;
        }
    }
    // A click on a switch stands for one turn-over of the setting: the
    // control's own mark may already have been refreshed from the setting
    // before the command arrives. Without a generator the refresh turns the
    // control back.
    if (id == kIdP3Power) {
        if (m_pGen)
            m_pGen->ToggleEnable();
    } else if (id >= kIdP3Waveform && id < kIdP3Waveform + kWaveforms) {
        if (m_pGen)
            m_pGen->SetFunction(id - kIdP3Waveform);
    } else if (id >= kIdP3PhaseSwitch && id < kIdP3PhaseSwitch + 3) {
        if (m_pGen) {
            Relaxed<uint8_t>& on = g_abP3PhaseOn[id - kIdP3PhaseSwitch];
            m_pGen->Lock();
            on = on ? 0 : 1;
            m_pGen->UnlockChanged(kP3ChangedSwitches);
        }
    } else {
        return CBaseVI::OnCommand(id);
    }
    Refresh();
    return true;
}

void CThreePhaseVI::Serialize(CArchive& ar) {
    // The settings travel with the generator's part of the workspace; the
    // window's own part is its version.
    if (ar.IsStoring()) {
        ar << uint32_t{1};
        return;
    }
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0;
    ar >> version;
    if (version != 1)
        ThrowArchiveException(CArchiveException::badSchema);
}

CAllDcVI::CAllDcVI(CKobDevice* gen) : CThreePhaseVI(gen, kDcSteppers, true) {}

bool CAllDcVI::Init() {
    // DC supplies play a level: positive unless the negative one is chosen.
    if (m_pGen && !IsDcLevel(g_nP3Function))
        m_pGen->SetFunction(kP3DcPositive);
    return CThreePhaseVI::Init();
}

CAllAcVI::CAllAcVI(CKobDevice* gen) : CThreePhaseVI(gen, kAcSteppers, false) {}

bool CAllAcVI::Init() {
    // A DC level is no AC supply: such a window starts on the sine.
    if (m_pGen && IsDcLevel(g_nP3Function))
        m_pGen->SetFunction(0);
    return CThreePhaseVI::Init();
}

C3PhaseVI::C3PhaseVI(CKobDevice* gen) : CThreePhaseVI(gen, k3PhaseSteppers, false) {}

bool C3PhaseVI::Init() {
    if (m_pGen && IsDcLevel(g_nP3Function))
        m_pGen->SetFunction(0);
    return CThreePhaseVI::Init();
}

CMotorDcVI::CMotorDcVI(CKobDevice* gen) : CThreePhaseVI(gen, kMotorSteppers, true) {}

bool CMotorDcVI::Init() {
    if (m_pGen) {
        m_pGen->SetFunction(kP3DcPositive);
        Drive(Value(P3Quantity::Speed), Reversed());
    }
    return CThreePhaseVI::Init();
}

bool CMotorDcVI::Reversed() const {
    return g_abP3PhaseOn[1] && !g_abP3PhaseOn[0];
}

uint32_t CMotorDcVI::Value(P3Quantity q) const {
    if (q == P3Quantity::Speed)
        return Reversed() ? g_anP3Amplitude[1] : g_anP3Amplitude[0];
    return CThreePhaseVI::Value(q);
}

void CMotorDcVI::Store(P3Quantity q, uint32_t value) {
    if (q == P3Quantity::Speed)
        Drive(value, Reversed());
    else
        CThreePhaseVI::Store(q, value);
}

void CMotorDcVI::Drive(uint32_t speed, bool reverse) {
    if (!m_pGen)
        return;
    // The motor lies between outputs 1 and 2: one of them drives it, the
    // other stays at 0 V, output 3 is off.
    m_pGen->Lock();
    g_anP3Amplitude[0] = reverse ? 0 : speed;
    g_anP3Amplitude[1] = reverse ? speed : 0;
    g_anP3Amplitude[2] = 0;
    g_abP3PhaseOn[0] = reverse ? 0 : 1;
    g_abP3PhaseOn[1] = reverse ? 1 : 0;
    g_abP3PhaseOn[2] = 0;
    m_pGen->UnlockChanged(kP3ChangedAmplitudes | kP3ChangedSwitches);
}

bool CMotorDcVI::OnCommand(uint32_t id) {
    if (id != kIdP3Forward && id != kIdP3Reverse)
        return CThreePhaseVI::OnCommand(id);
    Drive(Value(P3Quantity::Speed), id == kIdP3Reverse);
    Refresh();
    return true;
}

void CMotorDcVI::Refresh() {
    CThreePhaseVI::Refresh();
    ShowChecked(kTagRadio, kIdP3Forward, !Reversed());
    ShowChecked(kTagRadio, kIdP3Reverse, Reversed());
}

CBaseVI* CreateThreePhaseWindow(CKobface& device, uint32_t type) {
    switch (type) {
    case 41:
        return new CAllDcVI(device.m_p3PhaseGen);
    case 42:
        return new CAllAcVI(device.m_p3PhaseGen);
    case 43:
        return new CMotorDcVI(device.m_p3PhaseGen);
    case 48:
        return new C3PhaseVI(device.m_p3PhaseGen);
    default:
        return new CBaseVI;
    }
}
