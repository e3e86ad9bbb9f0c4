#include "instruments/threephase/threephase.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "formula/forcomp.h"
#include "framework/archive.h"
#include "framework/exception.h"
#include "platform/ui/ui.h"

Relaxed<uint8_t> g_byP3Enable{0};
Relaxed<uint8_t> g_bP3DcMode{0};
Relaxed<uint8_t> g_abP3PhaseOn[3] = {0, 0, 0};
Relaxed<uint32_t> g_nP3Function{0};
Relaxed<uint32_t> g_nP3Clock{20};
Relaxed<uint32_t> g_nP3Frequency{1};
Relaxed<uint32_t> g_anP3Amplitude[3] = {0, 0, 0};
Relaxed<uint32_t> g_nP3Phase2{120};
Relaxed<uint32_t> g_nP3Phase3{240};
WString g_strP3Formula;

WString P3Formula() {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return g_strP3Formula;
}

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// A command with its operands as one write, then the acknowledgement.
void SendAckedBytes(CStreamIO& s, const std::vector<uint8_t>& bytes) {
    SendCommand(s, bytes.data(), static_cast<uint32_t>(bytes.size()));
    CheckAck(s);
}

// A window setter of one module-wide setting.
template <class T>
void SetLockedSetting(CKobDevice& device, Relaxed<T>& setting, T value, uint16_t bit) {
    device.Lock();
    setting = value;
    device.UnlockChanged(bit);
}

uint8_t PercentByte(uint32_t percent) {
    return static_cast<uint8_t>(uint64_t{percent} * 255 / 100);
}

} // namespace

P3Table EncodeP3Samples(std::span<const double, kP3TablePoints> values) {
    P3Table words{};
    for (size_t i = 0; i < kP3TablePoints; ++i) {
        const double v = std::isnan(values[i]) ? 0.0 : values[i];
        const int w = v > 1.0 ? -512 : v < -1.0 ? 512 : static_cast<int>(-512.0 * v);
        words[i] = static_cast<uint16_t>(static_cast<int16_t>(w));
    }
    return words;
}

C3PhaseGen::C3PhaseGen(CKobface* owner) : CKobDevice(owner) {
    m_wChanged = 0;
    g_byP3Enable = 0;
    g_nP3Function = 0;
    g_nP3Clock = 20;
    g_nP3Frequency = 1;
    for (Relaxed<uint32_t>& a : g_anP3Amplitude) {
        a = 0;
    }
    g_nP3Phase2 = 120;
    g_nP3Phase3 = 240;
}

void C3PhaseGen::SendEnable(uint8_t on) {
    PutEnable(on);
    g_byP3Enable = on;
}

void C3PhaseGen::PutEnable(uint8_t on) {
    SendAcked(on ? kCmdP3On : kCmdP3Off);
}

void C3PhaseGen::SendClock(uint32_t clock) {
    PutClock(clock);
    g_nP3Clock = clock;
}

void C3PhaseGen::PutClock(uint32_t clock) {
    SendAckedBytes(Stream(), {kCmdP3Clock, static_cast<uint8_t>(clock & 0xFF)});
}

void C3PhaseGen::SendFrequency(uint32_t frequency) {
    PutFrequency(frequency);
    g_nP3Frequency = frequency;
}

void C3PhaseGen::PutFrequency(uint32_t frequency) {
    SendAckedBytes(Stream(), {kCmdP3Frequency, static_cast<uint8_t>(frequency & 0xFF)});
}

void C3PhaseGen::SendAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3) {
    PutAmplitudes(a1, a2, a3);
    g_anP3Amplitude[0] = a1;
    g_anP3Amplitude[1] = a2;
    g_anP3Amplitude[2] = a3;
}

void C3PhaseGen::PutAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3) {
    SendAckedBytes(Stream(), {kCmdP3Amplitudes, PercentByte(a1), PercentByte(a2), PercentByte(a3)});
}

void C3PhaseGen::SendPhases(int32_t deg2, int32_t deg3) {
    PutPhases(deg2, deg3);
    g_nP3Phase2 = static_cast<uint32_t>(deg2);
    g_nP3Phase3 = static_cast<uint32_t>(deg3);
}

void C3PhaseGen::PutPhases(int32_t deg2, int32_t deg3) {
    std::vector<uint8_t> bytes{kCmdP3Phases};
    Put16(bytes, static_cast<uint32_t>(360 - deg2));
    Put16(bytes, static_cast<uint32_t>(360 - deg3));
    SendAckedBytes(Stream(), bytes);
}

void C3PhaseGen::SendTable(const P3Table& table, uint8_t flag) {
    std::vector<uint8_t> bytes{kCmdP3Table, flag};
    bytes.reserve(2 + 2 * kP3TablePoints);
    for (uint16_t w : table) {
        Put16(bytes, w);
    }
    SendAckedBytes(Stream(), bytes);
}

void C3PhaseGen::SendUserTable(std::span<const double, kP3TablePoints> values, uint8_t flag) {
    SendTable(EncodeP3Samples(values), flag);
}

void C3PhaseGen::SendFunction(uint32_t code) {
    if (PutFunction(code)) {
        g_nP3Function = code;
    }
}

bool C3PhaseGen::PutFunction(uint32_t code) {
    platform::WaitCursor wait;
    try {
        P3Table table{};
        if (code == kP3Formula) {
            // Computed anew on every call.
            std::array<double, kP3TablePoints> values{};
            CForComp comp;
            const WString formula = P3Formula();
            if (!comp.Evaluate(formula.c_str(), kP3TablePoints, 0.0, 2.0 * std::numbers::pi,
                               values.data())) {
                return false;
            }
            table = EncodeP3Samples(values);
        }
        CKobface* face = m_pOwner;
        // The simulated interface gets nothing.
        if (face && face->m_pStream && face->m_pStream->IsOpen()) {
            if (code == kP3Formula) {
                SendTable(table, 1);
            } else {
                SendAckedBytes(Stream(), {kCmdP3Function, static_cast<uint8_t>(code)});
            }
        }
        return true;
    } catch (const CFPException& e) {
        e.ReportError();
        return false;
    }
}

void C3PhaseGen::SendDcMode(uint8_t on) {
    g_bP3DcMode = on;
    PutDcMode(on);
}

void C3PhaseGen::PutDcMode(uint8_t on) {
    SendAckedBytes(Stream(), {kCmdP3DcMode, on});
}

void C3PhaseGen::SendPhaseSwitches() {
    SendAckedBytes(Stream(), {kCmdP3Switches, uint8_t{g_abP3PhaseOn[0]}, uint8_t{g_abP3PhaseOn[1]},
                              uint8_t{g_abP3PhaseOn[2]}});
}

void C3PhaseGen::SetPhaseSwitches(uint8_t s1, uint8_t s2, uint8_t s3) {
    g_abP3PhaseOn[0] = s1;
    g_abP3PhaseOn[1] = s2;
    g_abP3PhaseOn[2] = s3;
    SendPhaseSwitches();
}

bool C3PhaseGen::SetFormula(const WString& text, bool report) {
    WString upper;
    if (!CompileFormula(text, report, upper)) {
        return false;
    }
    SetLocked(g_strP3Formula, upper, 0);
    return true;
}

void C3PhaseGen::ToggleEnable() {
    Lock();
    g_byP3Enable = g_byP3Enable ? 0 : 1;
    UnlockChanged(kP3ChangedEnable);
}
void C3PhaseGen::SetEnable(uint8_t on) {
    SetLockedSetting(*this, g_byP3Enable, on, kP3ChangedEnable);
}
void C3PhaseGen::SetDcMode(uint8_t on) {
    SetLockedSetting(*this, g_bP3DcMode, on, kP3ChangedDcMode);
}
void C3PhaseGen::SetClock(uint32_t clock) {
    SetLockedSetting(*this, g_nP3Clock, clock, kP3ChangedClock);
}
void C3PhaseGen::SetFunction(uint32_t code) {
    SetLockedSetting(*this, g_nP3Function, code, kP3ChangedFunction);
}

void C3PhaseGen::SetAmplitudes(uint32_t a1, uint32_t a2, uint32_t a3) {
    Lock();
    g_anP3Amplitude[0] = a1;
    g_anP3Amplitude[1] = a2;
    g_anP3Amplitude[2] = a3;
    UnlockChanged(kP3ChangedAmplitudes);
}

void C3PhaseGen::SetFrequency(uint32_t frequency) {
    Lock();
    const bool changed = frequency != g_nP3Frequency;
    if (changed) {
        g_nP3Frequency = frequency;
    }
    UnlockChanged(changed ? kP3ChangedFrequency : 0);
}

void C3PhaseGen::SetPhases(uint32_t deg2, uint32_t deg3) {
    Lock();
    g_nP3Phase2 = deg2;
    g_nP3Phase3 = deg3;
    UnlockChanged(kP3ChangedPhases);
}

CSettings* C3PhaseGen::GetSettings() {
    auto* s = new C3PhaseSettings;
    s->on = g_byP3Enable;
    s->dcMode = g_bP3DcMode;
    for (int i = 0; i < 3; ++i) {
        s->phaseOn[i] = g_abP3PhaseOn[i];
        s->amplitude[i] = g_anP3Amplitude[i];
    }
    s->function = g_nP3Function;
    s->clock = g_nP3Clock;
    s->frequency = g_nP3Frequency;
    s->phase2 = g_nP3Phase2;
    s->phase3 = g_nP3Phase3;
    s->formula = P3Formula();
    return s;
}

void C3PhaseGen::SetSettings(CSettings* settings) {
    if (auto* s = dynamic_cast<C3PhaseSettings*>(settings)) {
        g_byP3Enable = s->on;
        g_bP3DcMode = s->dcMode;
        for (int i = 0; i < 3; ++i) {
            g_abP3PhaseOn[i] = s->phaseOn[i];
            g_anP3Amplitude[i] = s->amplitude[i];
        }
        g_nP3Function = s->function;
        g_nP3Clock = s->clock;
        g_nP3Frequency = s->frequency;
        g_nP3Phase2 = s->phase2;
        g_nP3Phase3 = s->phase3;
        Lock();
        g_strP3Formula = s->formula;
        UnlockChanged(kP3ChangedAll);
    }
    delete settings;
}

void C3PhaseGen::SendChanges() {
    uint16_t bits = TakeChanged();
    if (!bits) {
        return;
    }
    // The settings are only read here: a window's change made while they
    // are on their way sets its bit again and goes out next pass instead of
    // being overwritten with what this pass sent.
    const std::unique_ptr<C3PhaseSettings> s(static_cast<C3PhaseSettings*>(GetSettings()));
    // The outputs go off before anything else changes, and on only after.
    if (!s->on && (bits & kP3ChangedEnable)) {
        PutEnable(0);
        bits &= static_cast<uint16_t>(~kP3ChangedEnable);
    }
    if (bits & kP3ChangedClock) {
        PutClock(s->clock);
    }
    if (bits & kP3ChangedFrequency) {
        PutFrequency(s->frequency);
    }
    if (bits & kP3ChangedAmplitudes) {
        PutAmplitudes(s->amplitude[0], s->amplitude[1], s->amplitude[2]);
    }
    if (bits & kP3ChangedPhases) {
        PutPhases(static_cast<int32_t>(s->phase2), static_cast<int32_t>(s->phase3));
    }
    if (bits & kP3ChangedFunction) {
        PutFunction(s->function);
    }
    if (bits & kP3ChangedDcMode) {
        PutDcMode(s->dcMode);
    }
    if (bits & kP3ChangedSwitches) {
        SendPhaseSwitches();
    }
    if (bits & kP3ChangedEnable) {
        PutEnable(s->on);
    }
}

void C3PhaseGen::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{2} << uint32_t{g_bP3DcMode};
        for (const Relaxed<uint8_t>& on : g_abP3PhaseOn) {
            ar << uint32_t{on ? 1u : 0u};
        }
        ar << uint32_t{g_nP3Function} << uint32_t{g_nP3Clock} << uint32_t{g_nP3Frequency}
           << uint32_t{g_anP3Amplitude[0]} << uint32_t{g_anP3Amplitude[1]}
           << uint32_t{g_anP3Amplitude[2]} << uint32_t{g_nP3Phase2} << uint32_t{g_nP3Phase3}
           << P3Formula();
        return;
    }
    uint32_t version = 0;
    ar >> version;
    if (version >= 2) {
        // Read everything first: a record that ends early changes no setting.
        uint32_t dc = 0;
        uint32_t on[3] = {};
        C3PhaseSettings s;
        ar >> dc >> on[0] >> on[1] >> on[2] >> s.function >> s.clock >> s.frequency >>
            s.amplitude[0] >> s.amplitude[1] >> s.amplitude[2] >> s.phase2 >> s.phase3 >> s.formula;
        g_bP3DcMode = dc ? 1 : 0;
        for (int i = 0; i < 3; ++i) {
            g_abP3PhaseOn[i] = on[i] ? 1 : 0;
            g_anP3Amplitude[i] = s.amplitude[i];
        }
        g_nP3Function = s.function;
        g_nP3Clock = s.clock;
        g_nP3Frequency = s.frequency;
        g_nP3Phase2 = s.phase2;
        g_nP3Phase3 = s.phase3;
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        g_strP3Formula = s.formula;
    }
    g_byP3Enable = 0;
    SetChanged(kP3ChangedAll);
}
