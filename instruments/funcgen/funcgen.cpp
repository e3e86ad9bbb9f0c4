#include "instruments/funcgen/funcgen.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

#include "device/exchange.h"
#include "device/kobface.h"
#include "formula/forcomp.h"
#include "framework/archive.h"
#include "framework/exception.h"
#include "platform/ui/ui.h"

Relaxed<uint8_t> g_byFGenEnable{0};
Relaxed<uint32_t> g_nFGenFunction{0};
Relaxed<uint32_t> g_nFGenFreqRange{0};
Relaxed<double> g_dFGenFrequency{1.0};
Relaxed<uint32_t> g_nFGenReserved{0};
Relaxed<uint32_t> g_nFGenAmplitude{0};
Relaxed<uint32_t> g_nFGenOutRange{0};
WString g_strFGenFormula;
Relaxed<uint8_t> g_bFGenFormulaPending{1};
Relaxed<uint32_t> g_nFGenPulseWidth{50};

WString FGenFormula() {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return g_strFGenFormula;
}

void SetFGenFormula(const WString& text) {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    g_strFGenFormula = text;
}

const FGenFreqRange g_aFGenFreqRanges[kFGenFreqRanges] = {
    {0.5, 20, 0.1},      {1, 100, 1},           {10, 1000, 1},           {100, 10000, 10},
    {1000, 100000, 100}, {10000, 500000, 1000}, {50000, 1000000, 10000},
};

namespace {

// Model 1 counts a 32 MHz clock, model 2 an 80 MHz one.
constexpr double kClock1 = 32000000.0;
constexpr double kClock2 = 80000000.0;
// Model 1 reaches at most 1 MHz (32 samples, no prescaling).
constexpr double kMaxHertz1 = 1000000.0;

bool CalcTiming1(double hertz, FGenTiming& out) {
    if (hertz > kMaxHertz1) {
        return false;
    }
    const double lo = hertz - hertz * 0.01;
    const double hi = hertz + hertz * 0.01;
    double bestError = 3000000.0;
    FGenTiming best;
    auto consider = [&](const FGenTiming& t) {
        const double f = TimingFrequency(t);
        if (lo <= f && f <= hi) {
            out = t;
            return true;
        }
        if (std::fabs(f - hertz) < bestError) {
            best = t;
            bestError = std::fabs(f - hertz);
        }
        return false;
    };
    for (int k = 14; k >= 6; --k) {
        const auto p = static_cast<uint16_t>(1u << (k - 1));
        const double n = std::trunc(kClock1 / p / hertz - 1.0);
        if (n < 0 || n > 8192) {
            continue;
        }
        FGenTiming t{p, static_cast<uint16_t>(n), 0};
        if (consider(t)) {
            return true;
        }
        const double d = std::trunc(1.0 / ((kClock1 / hertz / (n + 1) - p) / p) + 0.5);
        if (!(d >= 1 && d <= 255)) {
            continue;
        }
        t.fine = static_cast<uint8_t>(d);
        if (consider(t)) {
            return true;
        }
    }
    if (best.samples == 0) {
        return false;
    }
    out = best;
    return true;
}

// The box's integer arithmetic, done wide so that what would wrap on the
// box is refused instead; so is what its command cannot carry in tenths of
// a hertz (below 0.1 Hz it would be told 0).
bool CalcTiming2(double hertz, FGenTiming& out) {
    const double periods = kClock2 / hertz + 0.5;
    if (!(periods >= 1.0 && periods < 4294967296.0) || hertz * 10.0 < 1.0 ||
        hertz * 10.0 >= 4294967296.0) {
        return false;
    }
    const auto t = static_cast<int64_t>(periods);
    int64_t p = 800;
    int64_t n = 0;
    for (;;) {
        n = t / p;
        if (n < 2) {
            n = 2;
        } else if (n > 65535) {
            p += 100;
            continue;
        }
        break;
    }
    const int64_t r = t - p * n;
    if (r < INT16_MIN || r > INT16_MAX) {
        return false;
    }
    p += r / n;
    if (p < 1 || p > 65535) {
        return false;
    }
    out = {static_cast<uint16_t>(p), static_cast<uint16_t>(n), 0};
    return true;
}

uint8_t AmplitudeByte(int32_t percent) {
    const int32_t residue = ((percent % 256) + 256) % 256;
    return static_cast<uint8_t>(residue * 255 / 100);
}

} // namespace

double TimingFrequency(const FGenTiming& t) {
    if (g_byModel == 2) {
        const uint32_t product = uint32_t{t.samples} * t.prescale;
        return product ? kClock2 / product : 0.0;
    }
    if (t.samples == 0) {
        return 0.0;
    }
    const double p = t.samples;
    const double n1 = t.prescale + 1.0;
    if (t.fine == 0) {
        return kClock1 / p / n1;
    }
    return kClock1 / (p + p / t.fine) / n1;
}

bool CalcTiming(double& hertz, FGenTiming& timing) {
    if (!std::isfinite(hertz) || hertz <= 0) {
        return false;
    }
    FGenTiming t;
    if (!(g_byModel == 2 ? CalcTiming2(hertz, t) : CalcTiming1(hertz, t))) {
        return false;
    }
    timing = t;
    hertz = TimingFrequency(t);
    return true;
}

std::vector<uint8_t> EncodeFGenSamples(std::span<const double> values) {
    std::vector<uint8_t> out;
    const bool wide = g_byModel == 2;
    out.reserve(values.size() * (wide ? 2 : 1));
    for (double v : values) {
        if (std::isnan(v)) {
            v = 0.0;
        }
        if (wide) {
            const int w = v > 1.0 ? 511 : v < -1.0 ? -511 : static_cast<int>(v * 511.0 + 0.5);
            const auto u = static_cast<uint16_t>(static_cast<int16_t>(w));
            out.push_back(static_cast<uint8_t>(u >> 8));
            out.push_back(static_cast<uint8_t>(u & 0xFF));
        } else {
            out.push_back(v > 1.0    ? 255
                          : v < -1.0 ? 0
                                     : static_cast<uint8_t>((v + 1.0) / 2.0 * 255.0));
        }
    }
    return out;
}

CFuncGen::CFuncGen(CKobface* owner) : CKobDevice(owner) {
    m_wChanged = 0xFFFF;
}

void CFuncGen::SendEnable(uint8_t on) {
    PutEnable(on);
    g_byFGenEnable = on;
}

void CFuncGen::PutEnable(uint8_t on) {
    SendAcked(on ? kCmdFGenOn : kCmdFGenOff);
}

namespace {

// A command and its operands in one block (one USB transfer).
void WriteBlock(CStreamIO& s, std::initializer_list<uint8_t> bytes) {
    BlockGuard block(s);
    SendCommand(s, std::data(bytes), static_cast<uint32_t>(bytes.size()));
    block.End();
}

void SendBlock(CStreamIO& s, std::initializer_list<uint8_t> bytes) {
    WriteBlock(s, bytes);
    CheckAck(s);
}

} // namespace

void CFuncGen::SendTiming(uint16_t samples, uint16_t prescale, uint8_t fine) {
    SendBlock(Stream(), {kCmdFGenTiming, static_cast<uint8_t>(samples >> 8),
                         static_cast<uint8_t>(samples & 0xFF), static_cast<uint8_t>(prescale >> 8),
                         static_cast<uint8_t>(prescale & 0xFF), fine});
    m_wSamples = samples;
    m_wPrescale = prescale;
    m_byFine = fine;
}

void CFuncGen::SendAmplitude(int32_t percent) {
    CStreamIO& s = Stream();
    WriteBlock(s, {kCmdFGenAmplitude, AmplitudeByte(percent)});
    g_nFGenAmplitude = static_cast<uint32_t>(percent);
    CheckAck(s);
}

void CFuncGen::PutAmplitude(int32_t percent) {
    SendBlock(Stream(), {kCmdFGenAmplitude, AmplitudeByte(percent)});
}

void CFuncGen::SendOutRange(uint8_t range) {
    CStreamIO& s = Stream();
    WriteBlock(s, {kCmdFGenOutRange, range});
    g_nFGenOutRange = range;
    CheckAck(s);
}

void CFuncGen::PutOutRange(uint8_t range) {
    SendBlock(Stream(), {kCmdFGenOutRange, range});
}

void CFuncGen::SendPulseWidth(int32_t percent) {
    const auto scaled = static_cast<int64_t>(percent) * 255 / 100;
    SendBlock(Stream(), {kCmdFGenPulseWidth, static_cast<uint8_t>(scaled & 0xFF)});
}

bool CFuncGen::SendFrequency(double hertz) {
    if (!PutFrequency(hertz)) {
        return false;
    }
    g_dFGenFrequency = hertz;
    return true;
}

bool CFuncGen::PutFrequency(double hertz) {
    double produced = hertz;
    FGenTiming t;
    if (!CalcTiming(produced, t)) {
        return false;
    }
    if (g_byModel == 2) {
        const auto tenths = static_cast<uint32_t>(hertz * 10.0);
        CStreamIO& s = Stream();
        BlockGuard block(s);
        WriteByte(s, kCmdFGenFrequency2);
        WriteLong(s, tenths);
        block.End();
        CheckAck(s);
        m_wSamples = t.samples;
        m_wPrescale = t.prescale;
        m_byFine = t.fine;
    } else {
        SendTiming(t.samples, t.prescale, t.fine);
    }
    return true;
}

void CFuncGen::SendTable(std::span<const double> values) {
    if (values.size() > kFGenMaxTable) {
        values = values.first(kFGenMaxTable);
    }
    const std::vector<uint8_t> encoded = EncodeFGenSamples(values);
    const auto count = static_cast<uint16_t>(values.size());
    CStreamIO& s = Stream();
    SendBlock(s, {g_byModel == 2 ? kCmdFGenTable2 : kCmdFGenTable1,
                  static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF)});
    if (!encoded.empty()) {
        s.Write(encoded.data(), static_cast<uint32_t>(encoded.size()));
    }
    CheckAck(s);
}

void CFuncGen::SendFunction(uint32_t code) {
    if (PutFunction(code)) {
        g_nFGenFunction = code;
    }
}

bool CFuncGen::PutFunction(uint32_t code) {
    platform::WaitCursor wait;
    // The flag goes down before the formula is read: a formula set while
    // this one is on its way raises it again and goes out next time.
    if (code == kFGenFormula && g_bFGenFormulaPending.Exchange(0)) {
        std::vector<double> table(kFGenFormulaPoints);
        CForComp comp;
        if (!comp.Evaluate(FGenFormula().c_str(), kFGenFormulaPoints, 0.0, 2.0 * std::numbers::pi,
                           table.data())) {
            g_bFGenFormulaPending = 1;
            return false;
        }
        try {
            SendTable(table);
        } catch (const CFPException& e) {
            e.ReportError();
        } catch (...) {
            // Not sent: it goes out with the next call.
            g_bFGenFormulaPending = 1;
            throw;
        }
    } else {
        SendBlock(Stream(), {kCmdFGenFunction, static_cast<uint8_t>(code)});
    }
    return true;
}

void CFuncGen::Config(uint8_t on, double hertz, uint8_t percent, uint8_t range, uint32_t code) {
    if (on != g_byFGenEnable) {
        SendEnable(on);
    }
    if (!(hertz == g_dFGenFrequency)) {
        SendFrequency(hertz);
    }
    if (percent != g_nFGenAmplitude) {
        SendAmplitude(percent);
    }
    if (range != g_nFGenOutRange) {
        SendOutRange(range);
    }
    if (code != g_nFGenFunction || g_bFGenFormulaPending) {
        SendFunction(code);
    }
}

bool CFuncGen::SetFormula(const WString& text, bool report) {
    WString upper;
    if (!CompileFormula(text, report, upper)) {
        return false;
    }
    // The formula before the flag: a worker that sees the flag finds the
    // new formula.
    SetFGenFormula(upper);
    g_bFGenFormulaPending = 1;
    return true;
}

namespace {

// value + delta when it stays within 0-100; false with nothing changed else.
bool StepPercent(CKobDevice& model, Relaxed<uint32_t>& setting, int delta, uint16_t bit) {
    model.Lock();
    const bool ok = delta > 0 ? setting < 100 : setting >= 1;
    if (ok) {
        setting = static_cast<uint32_t>(static_cast<int64_t>(uint32_t{setting}) + delta);
    }
    model.UnlockChanged(ok ? bit : 0);
    return ok;
}

template <class T> void StoreLocked(CKobDevice& model, Relaxed<T>& setting, T value, uint16_t bit) {
    model.Lock();
    setting = value;
    model.UnlockChanged(bit);
}

} // namespace

void CFuncGen::ToggleEnable() {
    Lock();
    g_byFGenEnable = g_byFGenEnable ? uint8_t{0} : uint8_t{1};
    UnlockChanged(kFGenChangedEnable);
}
void CFuncGen::SetEnable(uint8_t on) {
    StoreLocked(*this, g_byFGenEnable, on, kFGenChangedEnable);
}
void CFuncGen::SetAmplitude(uint32_t percent) {
    StoreLocked(*this, g_nFGenAmplitude, percent, kFGenChangedAmplitude);
}
bool CFuncGen::IncAmplitude() {
    return StepPercent(*this, g_nFGenAmplitude, 1, kFGenChangedAmplitude);
}
bool CFuncGen::DecAmplitude() {
    return StepPercent(*this, g_nFGenAmplitude, -1, kFGenChangedAmplitude);
}
void CFuncGen::SetOutRange(uint32_t range) {
    StoreLocked(*this, g_nFGenOutRange, range, kFGenChangedOutRange);
}
bool CFuncGen::IncPulseWidth() {
    return StepPercent(*this, g_nFGenPulseWidth, 1, kFGenChangedPulseWidth);
}
bool CFuncGen::DecPulseWidth() {
    return StepPercent(*this, g_nFGenPulseWidth, -1, kFGenChangedPulseWidth);
}
void CFuncGen::SetFunction(uint32_t code) {
    StoreLocked(*this, g_nFGenFunction, code, kFGenChangedFunction);
}

bool CFuncGen::SetFreqRange(uint32_t index) {
    if (index == g_nFGenFreqRange || index >= kFGenFreqRanges) {
        return false;
    }
    Lock();
    g_nFGenFreqRange = index;
    g_dFGenFrequency = g_aFGenFreqRanges[index].minimum;
    UnlockChanged(kFGenChangedFrequency);
    return true;
}

bool CFuncGen::StepFrequency(bool up) {
    if (g_nFGenFreqRange >= kFGenFreqRanges) {
        return false;
    }
    const FGenFreqRange& row = g_aFGenFreqRanges[g_nFGenFreqRange];
    Lock();
    double f = g_dFGenFrequency + (up ? row.step : -row.step);
    f = up ? std::fmin(f, row.maximum) : std::fmax(f, row.minimum);
    const bool changed = f != g_dFGenFrequency;
    if (changed) {
        g_dFGenFrequency = f;
    }
    UnlockChanged(changed ? kFGenChangedFrequency : 0);
    return changed;
}

bool CFuncGen::IncFrequency() {
    return StepFrequency(true);
}
bool CFuncGen::DecFrequency() {
    return StepFrequency(false);
}

CSettings* CFuncGen::GetSettings() {
    auto* s = new CFuncGenSettings;
    Lock();
    s->on = g_byFGenEnable;
    s->function = g_nFGenFunction;
    s->freqRange = g_nFGenFreqRange;
    s->frequency = g_dFGenFrequency;
    s->reserved = g_nFGenReserved;
    s->amplitude = g_nFGenAmplitude;
    s->range = g_nFGenOutRange;
    s->formulaPending = g_bFGenFormulaPending;
    s->formula = g_strFGenFormula;
    UnlockChanged(0);
    return s;
}

void CFuncGen::SetSettings(CSettings* settings) {
    if (auto* s = dynamic_cast<CFuncGenSettings*>(settings)) {
        Lock();
        g_byFGenEnable = s->on;
        g_nFGenFunction = s->function;
        g_nFGenFreqRange = s->freqRange;
        g_dFGenFrequency = s->frequency;
        g_nFGenReserved = s->reserved;
        g_nFGenAmplitude = s->amplitude;
        g_nFGenOutRange = s->range;
        g_bFGenFormulaPending = s->formulaPending;
        g_strFGenFormula = s->formula;
        UnlockChanged(0xFFFF);
    }
    delete settings;
}

void CFuncGen::SendChanges() {
    uint16_t bits = TakeChanged();
    if (!bits) {
        return;
    }
    // The settings are the source here and are only read: a window's change
    // made while they are on their way sets its bit again and goes out next
    // pass instead of being overwritten with what this pass sent.
    std::unique_ptr<CFuncGenSettings> s(static_cast<CFuncGenSettings*>(GetSettings()));
    try {
        if (bits & kFGenChangedFrequency) {
            PutFrequency(s->frequency);
        }
        if (bits & kFGenChangedOutRange) {
            // The range is never switched with the amplitude up.
            PutAmplitude(0);
            PutOutRange(static_cast<uint8_t>(s->range));
            bits |= kFGenChangedAmplitude;
        }
        if (bits & kFGenChangedPulseWidth) {
            SendPulseWidth(static_cast<int32_t>(g_nFGenPulseWidth));
        }
        if (bits & kFGenChangedAmplitude) {
            PutAmplitude(static_cast<int32_t>(s->amplitude));
        }
        if (bits & kFGenChangedFunction) {
            PutFunction(s->function);
        }
        if (bits & kFGenChangedEnable) {
            PutEnable(s->on);
        }
    } catch (const CCommException& e) {
        e.ReportError();
        if (m_pOwner && m_pOwner->m_pStream) {
            m_pOwner->m_pStream->Purge();
        }
    }
}

void CFuncGen::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << g_nFGenFunction << g_nFGenFreqRange << g_dFGenFrequency
           << g_nFGenReserved << g_nFGenAmplitude << g_nFGenOutRange << FGenFormula();
        return;
    }
    // Read everything first: a record that ends early changes no setting.
    uint32_t version = 0;
    CFuncGenSettings s;
    ar >> version >> s.function >> s.freqRange >> s.frequency >> s.reserved >> s.amplitude >>
        s.range >> s.formula;
    g_nFGenFunction = s.function;
    g_nFGenFreqRange = s.freqRange;
    g_dFGenFrequency = s.frequency;
    g_nFGenReserved = s.reserved;
    g_nFGenAmplitude = s.amplitude;
    g_nFGenOutRange = s.range;
    SetFGenFormula(s.formula);
    g_bFGenFormulaPending = 1;
    g_byFGenEnable = 0;
    SetChanged(0xFFFF);
}
