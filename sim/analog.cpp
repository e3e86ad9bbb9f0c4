#include "sim/analog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "sim/box.h"

namespace kobsim {

namespace {

constexpr uint8_t kAck = 0x21;
constexpr uint8_t kUnknown = 0x3F;
constexpr double kPi = 3.14159265358979323846;
// Samples the box's memory holds per channel.
constexpr uint16_t kMemory = 0x2000;
// Online rows carry their pair interval in units of 0.1 ms: row 14's
// prescale 10 takes a pair every millisecond, so its 500 values span the
// row's 10 divisions of 50 ms, and so on up to row 21.
constexpr double kOnlineUnit = 100e-6;
// The DVM's time value counts in 10 ms: the default 10 measures for
// 100 ms, whole periods of 50 Hz and 1 kHz, and the buffer's samples are
// spread evenly over that time.
constexpr double kMeterUnit = 10e-3;
// How far the scope looks for a trigger, in samples beyond two periods of
// the trigger signal; a signal that never crosses the level leaves the
// scope waiting.
constexpr int64_t kTriggerSearchCap = 4000000;

const double kFullScale[Analog::kRanges] = {0.1, 0.2, 0.5, 1,   2,    5,    10,  20,
                                            50,  100, 200, 500, 1000, 2000, 5000};

uint16_t Word(const Bytes& op, size_t at) {
    return static_cast<uint16_t>((op[at] << 8) | op[at + 1]);
}

void PutWord(Bytes& out, uint16_t w) {
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w & 0xFF));
}

void PutLong(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>((v >> 16) & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

bool Number(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == 0 && std::isfinite(value);
}

std::string Format(const char* fmt, double a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

std::string InputText(char name, int range, bool ac) {
    return std::string(1, name) + " range " + std::to_string(range) + (ac ? " AC" : " DC");
}

} // namespace

double Signal::At(double t) const {
    double phase = frequency * t;
    phase -= std::floor(phase);
    double shape = 0.0;
    switch (kind) {
    case Kind::Sine:
        shape = std::sin(2.0 * kPi * phase);
        break;
    case Kind::Square:
        shape = phase < 0.5 ? 1.0 : -1.0;
        break;
    case Kind::Triangle:
        // Rises through zero at the start of a period, as the sine does.
        shape = phase < 0.25 ? 4.0 * phase : phase < 0.75 ? 2.0 - 4.0 * phase : 4.0 * phase - 4.0;
        break;
    case Kind::Dc:
        shape = 1.0;
        break;
    case Kind::Table:
        if (table && !table->empty()) {
            const auto n = table->size();
            shape = (*table)[std::min(n - 1, static_cast<size_t>(phase * static_cast<double>(n)))];
        }
        break;
    }
    return offset + amplitude * shape;
}

double Signal::Mean() const {
    switch (kind) {
    case Kind::Dc:
        return amplitude + offset;
    case Kind::Table:
        return amplitude * tableMean + offset;
    default:
        return offset;
    }
}

bool ParseSignal(const std::string& text, Signal& signal, std::string& error) {
    const std::vector<std::string> parts = SplitFields(text);
    static const std::pair<const char*, Signal::Kind> kinds[] = {
        {"sine", Signal::Kind::Sine},
        {"square", Signal::Kind::Square},
        {"triangle", Signal::Kind::Triangle},
        {"dc", Signal::Kind::Dc}};
    Signal s;
    bool known = false;
    for (const auto& k : kinds) {
        if (parts[0] == k.first) {
            s.kind = k.second;
            known = true;
        }
    }
    if (!known) {
        error = "unknown signal kind '" + parts[0] + "' (sine, square, triangle, dc)";
        return false;
    }
    std::vector<double> values;
    for (size_t i = 1; i < parts.size(); ++i) {
        double v = 0.0;
        if (!Number(parts[i], v)) {
            error = "'" + parts[i] + "' is not a number";
            return false;
        }
        values.push_back(v);
    }
    if (s.kind == Signal::Kind::Dc && values.size() == 1) {
        s.frequency = 0.0;
        s.amplitude = values[0];
        s.offset = 0.0;
    } else if (values.size() == 2 || values.size() == 3) {
        s.frequency = values[0];
        s.amplitude = values[1];
        s.offset = values.size() == 3 ? values[2] : 0.0;
    } else {
        error = "expected KIND:FREQUENCY:AMPLITUDE[:OFFSET] or dc:LEVEL";
        return false;
    }
    if (s.frequency < 0.0 || s.frequency > 1e8) {
        error = "the frequency lies from 0 to 100 MHz";
        return false;
    }
    if (std::fabs(s.amplitude) > 1e6 || std::fabs(s.offset) > 1e6) {
        error = "amplitude and offset lie within 1 MV";
        return false;
    }
    signal = s;
    return true;
}

double Analog::FullScale(int range) {
    return range >= 0 && range < kRanges ? kFullScale[range] : kFullScale[kRanges - 1];
}

namespace {
std::function<double()> SteadyClock() {
    auto epoch = std::chrono::steady_clock::now();
    return [epoch] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
    };
}
} // namespace

Analog::Analog(Box& box, bool fast)
    : m_box(box), m_nModel(box.Config().model), m_bFast(fast), m_clock(SteadyClock()) {
    AddScope();
    AddMeter();
}

void Analog::SetSignal(char channel, const Signal& signal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    (channel == 'B' ? m_signalB : m_signalA) = signal;
}

Signal Analog::GetSignal(char channel) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return channel == 'B' ? m_signalB : m_signalA;
}

void Analog::SetFast(bool fast) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFast = fast;
}

void Analog::SetClock(std::function<double()> clock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = clock ? std::move(clock) : SteadyClock();
}

double Analog::Now() const {
    return m_clock();
}

int Analog::Quantise(double volts, int range) const {
    const double top = m_nModel == 2 ? 511.0 : 127.0;
    const double low = m_nModel == 2 ? -511.0 : -128.0;
    double raw = std::round(volts / FullScale(range) * top);
    return static_cast<int>(std::clamp(raw, low, top));
}

double Analog::SampleInterval(uint16_t prescale) const {
    if (m_nModel == 2) {
        return std::max<uint16_t>(prescale, 1) * 12.5e-9;
    }
    return (prescale + 1.0) * 31.25e-9;
}

bool Analog::SetInputs(uint16_t word) {
    Inputs in;
    in.a.range = word & 0x7F;
    in.a.ac = (word & 0x0080) != 0;
    in.b.range = (word >> 8) & 0x7F;
    in.b.ac = (word & 0x8000) != 0;
    if (in.a.range >= kRanges || in.b.range >= kRanges) {
        return false; // no such range row: the box refuses the whole word
    }
    m_inputs = in;
    return true;
}

int Analog::SampleOf(const Take& take, char channel, double t) const {
    const Signal& s = channel == 'A' ? take.a : take.b;
    const Input& in = channel == 'A' ? take.inputs.a : take.inputs.b;
    double v = s.At(t) - (in.ac ? s.Mean() : 0.0);
    return Quantise(v, in.range);
}

void Analog::PutSample(Bytes& out, int value) const {
    if (m_nModel == 2) {
        PutWord(out, static_cast<uint16_t>(static_cast<int16_t>(value)));
    } else {
        out.push_back(static_cast<uint8_t>(static_cast<int8_t>(value)));
    }
}

void Analog::AddScope() {
    auto ack = [](bool ok, Bytes& reply) { reply.push_back(ok ? kAck : kUnknown); };

    m_box.AddCommand(0xD9, "scope input", 2, [this, ack](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        bool ok = SetInputs(Word(op, 0));
        if (ok) {
            m_box.Detail(InputText('A', m_inputs.a.range, m_inputs.a.ac) + ", " +
                         InputText('B', m_inputs.b.range, m_inputs.b.ac));
        } else {
            m_box.Detail("refused: no such range");
        }
        ack(ok, reply);
    });

    const uint8_t timing = m_nModel == 2 ? 0xDB : 0xD8;
    m_box.AddCommand(
        timing, "scope timing", 5, [this, ack](uint8_t, const Bytes& op, Bytes& reply) {
            std::lock_guard<std::mutex> lock(m_mutex);
            uint8_t online = op[0];
            uint16_t prescale = Word(op, 1);
            uint16_t values = Word(op, 3);
            bool ok = online <= 1 && values >= 1 && values <= kMemory;
            if (ok) {
                m_bOnline = online == 1;
                m_wPrescale = prescale;
                m_wValues = values;
                double dt = m_bOnline ? std::max<uint16_t>(prescale, 1) * kOnlineUnit
                                      : SampleInterval(prescale);
                m_box.Detail(std::string(m_bOnline ? "online" : "memory") + ", " +
                             std::to_string(values) + " values every " + Format("%g s", dt));
            } else {
                m_box.Detail("refused");
            }
            ack(ok, reply);
        });

    m_box.AddCommand(0xD0, "scope trigger", 3, [this, ack](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wPostTrigger = Word(op, 0);
        m_byFlags = op[2];
        if (m_byFlags & 0x02) {
            m_box.Detail(std::to_string(m_wPostTrigger) + " after, on " +
                         ((m_byFlags & 0x04) ? "A" : "B") +
                         ((m_byFlags & 0x08) ? " falling" : " rising"));
        } else {
            m_box.Detail("free run");
        }
        ack(true, reply);
    });

    m_box.AddCommand(0xD1, "scope level", 1, [this](uint8_t, const Bytes& op, Bytes&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nLevel = static_cast<int8_t>(op[0]);
        m_box.Detail(std::to_string(m_nLevel) + "/127 of full scale");
    });

    m_box.AddCommand(0xD2, "scope start", 0, [this, ack](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ScopeStart();
        ack(true, reply);
    });

    m_box.AddCommand(0xD3, "scope stop", 0, [this](uint8_t, const Bytes&, Bytes&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bScopeRunning = false;
    });

    m_box.AddCommand(0xD5, "scope status", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply.push_back(ScopeStatus());
    });

    if (m_nModel == 2) {
        m_box.AddCommand(0xDC, "scope read memory", 3,
                         [this](uint8_t, const Bytes& op, Bytes& reply) {
                             std::lock_guard<std::mutex> lock(m_mutex);
                             ReadMemory(Word(op, 0), op[2], reply);
                         });
    } else {
        // Start address, count and step; the record lies at the end of the
        // memory, so the count alone tells what to send.
        m_box.AddCommand(0xD4, "scope read memory", 7,
                         [this](uint8_t, const Bytes& op, Bytes& reply) {
                             std::lock_guard<std::mutex> lock(m_mutex);
                             ReadMemory(Word(op, 2), op[6], reply);
                         });
    }

    m_box.AddCommand(m_nModel == 2 ? 0xDD : 0xDA, "scope read online", 0,
                     [this](uint8_t, const Bytes&, Bytes& reply) {
                         std::lock_guard<std::mutex> lock(m_mutex);
                         ReadOnline(reply);
                     });
}

void Analog::ScopeStart() {
    const double now = Now();
    Take take;
    take.inputs = m_inputs;
    take.a = m_signalA;
    take.b = m_signalB;
    take.start = now;
    take.first = 0;
    take.interval =
        m_bOnline ? std::max<uint16_t>(m_wPrescale, 1) * kOnlineUnit : SampleInterval(m_wPrescale);
    m_bRecordOnline = m_bOnline;
    m_wRecordValues = m_wValues;
    m_bTriggered = true;
    m_dFire = now;
    m_nOnlineRead = 0;
    std::string detail = m_bOnline ? "online" : "memory";

    // Online pairs run free; a memory record waits for its trigger once the
    // part before the trigger has been taken.
    if (!m_bOnline && (m_byFlags & 0x02)) {
        const char channel = (m_byFlags & 0x04) ? 'A' : 'B';
        const bool falling = (m_byFlags & 0x08) != 0;
        const int64_t values = m_wValues;
        const int64_t pre = values - std::min<int64_t>(m_wPostTrigger, values);
        const double level = m_nModel == 2 ? m_nLevel * 511.0 / 127.0 : m_nLevel;
        const Signal& s = channel == 'A' ? take.a : take.b;
        int64_t span = 2;
        if (s.kind != Signal::Kind::Dc && s.frequency > 0.0) {
            double periods = std::ceil(2.0 / s.frequency / take.interval);
            span += static_cast<int64_t>(std::min<double>(periods, kTriggerSearchCap));
        }
        const int64_t from = std::max<int64_t>(pre, 1);
        m_bTriggered = false;
        int prev = SampleOf(take, channel, now + static_cast<double>(from - 1) * take.interval);
        for (int64_t k = from; k < from + span; ++k) {
            int cur = SampleOf(take, channel, now + static_cast<double>(k) * take.interval);
            if (falling ? (prev > level && cur <= level) : (prev < level && cur >= level)) {
                take.first = k - pre;
                m_dFire = now + static_cast<double>(k) * take.interval;
                m_bTriggered = true;
                break;
            }
            prev = cur;
        }
        detail += std::string(", trigger on ") + channel + (falling ? " falling" : " rising") +
                  (m_bTriggered ? "" : " never comes");
    }
    m_record = take;
    m_bHaveRecord = true;
    m_bScopeRunning = true;
    m_box.Detail(detail);
}

uint8_t Analog::ScopeStatus() {
    if (!m_bScopeRunning) {
        return kScopeReady;
    }
    if (!m_bTriggered) {
        return kScopeTrigger;
    }
    if (m_bFast) {
        return kScopeMeasured;
    }
    const double now = Now();
    if (now < m_dFire) {
        return kScopeTrigger;
    }
    double end =
        m_record.start + static_cast<double>(m_record.first + m_wRecordValues) * m_record.interval;
    if (m_bRecordOnline) {
        // The last pair is taken at the start of its interval.
        end -= m_record.interval;
    }
    return now < end ? kScopeMeasuring : kScopeMeasured;
}

void Analog::ReadMemory(uint16_t n, uint8_t mask, Bytes& reply) {
    std::string detail = std::to_string(n) + " values";
    for (int ch = 0; ch < 2; ++ch) {
        if (!(mask & (1 << ch))) {
            continue;
        }
        const char channel = ch == 0 ? 'A' : 'B';
        detail += std::string(" ") + channel;
        for (uint16_t i = 0; i < n; ++i) {
            int v = 0;
            if (m_bHaveRecord) {
                double t =
                    m_record.start + static_cast<double>(m_record.first + i) * m_record.interval;
                v = SampleOf(m_record, channel, t);
            }
            PutSample(reply, v);
        }
    }
    m_box.Detail(detail);
}

void Analog::ReadOnline(Bytes& reply) {
    uint32_t available = 0;
    if (m_bScopeRunning && m_bRecordOnline) {
        available = m_wRecordValues;
        const double elapsed = Now() - m_record.start;
        if (!m_bFast) {
            available = elapsed < 0
                            ? 0
                            : static_cast<uint32_t>(std::min<double>(
                                  std::floor(elapsed / m_record.interval) + 1.0, m_wRecordValues));
        }
    }
    const uint32_t from = std::min(m_nOnlineRead, available);
    const uint16_t count = static_cast<uint16_t>(available - from);
    PutWord(reply, count);
    for (uint32_t k = from; k < available; ++k) {
        double t = m_record.start + static_cast<double>(k) * m_record.interval;
        PutSample(reply, SampleOf(m_record, 'A', t));
        PutSample(reply, SampleOf(m_record, 'B', t));
    }
    m_nOnlineRead = available;
    m_box.Detail(std::to_string(count) + " pairs");
}

void Analog::AddMeter() {
    auto ack = [](bool ok, Bytes& reply) { reply.push_back(ok ? kAck : kUnknown); };

    m_box.AddCommand(0x60, "meter input", 2, [this, ack](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        bool ok = SetInputs(Word(op, 0));
        m_box.Detail(ok ? InputText('A', m_inputs.a.range, m_inputs.a.ac) + ", " +
                              InputText('B', m_inputs.b.range, m_inputs.b.ac)
                        : "refused: no such range");
        ack(ok, reply);
    });

    m_box.AddCommand(0x61, "meter timing", 6, [this, ack](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        uint16_t time = Word(op, 0);
        uint16_t buffer = Word(op, 4);
        // A buffer of no samples has no mean: the box refuses it, and the
        // input word with it.
        Inputs before = m_inputs;
        bool ok = buffer >= 1 && SetInputs(Word(op, 2));
        if (ok) {
            m_wMeterTime = time;
            m_wBufferSize = buffer;
            m_box.Detail(std::to_string(buffer) + " samples in " +
                         Format("%g s", std::max<uint16_t>(time, 1) * kMeterUnit));
        } else {
            m_inputs = before;
            m_box.Detail("refused");
        }
        ack(ok, reply);
    });

    m_box.AddCommand(0x62, "meter start", 0, [this, ack](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double now = Now();
        const double span = std::max<uint16_t>(m_wMeterTime, 1) * kMeterUnit;
        m_meter.inputs = m_inputs;
        m_meter.a = m_signalA;
        m_meter.b = m_signalB;
        m_meter.start = now;
        m_meter.first = 0;
        m_meter.interval = span / m_wBufferSize;
        m_wMeterSamples = m_wBufferSize;
        m_dMeterEnd = now + span;
        m_bMeterRunning = true;
        m_bMeterDone = true;
        ack(true, reply);
    });

    m_box.AddCommand(0x63, "meter stop", 0, [this](uint8_t, const Bytes&, Bytes&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bMeterRunning = false;
    });

    m_box.AddCommand(0x65, "meter status", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply.push_back(MeterStatus());
    });

    m_box.AddCommand(m_nModel == 2 ? 0x66 : 0x64, "meter read", 0,
                     [this](uint8_t, const Bytes&, Bytes& reply) {
                         std::lock_guard<std::mutex> lock(m_mutex);
                         MeterValues(reply);
                     });
}

uint8_t Analog::MeterStatus() {
    if (!m_bMeterRunning) {
        return kMeterReady;
    }
    return m_bFast || Now() >= m_dMeterEnd ? kMeterMeasured : kMeterMeasuring;
}

void Analog::MeterValues(Bytes& reply) {
    struct Sums {
        int64_t first = 0, second = 0, third = 0;
        int min = 0, max = 0;
    } sums[2];
    if (m_bMeterDone) {
        for (int ch = 0; ch < 2; ++ch) {
            Sums& s = sums[ch];
            s.min = std::numeric_limits<int>::max();
            s.max = std::numeric_limits<int>::min();
            for (uint16_t i = 0; i < m_wMeterSamples; ++i) {
                double t = m_meter.start + static_cast<double>(i) * m_meter.interval;
                int v = SampleOf(m_meter, ch == 0 ? 'A' : 'B', t);
                s.first += v;
                s.second += v < 0 ? -v : v;
                s.third += static_cast<int64_t>(v) * v;
                s.min = std::min(s.min, v);
                s.max = std::max(s.max, v);
            }
        }
    }
    // The current sample: what the inputs show now, with today's settings.
    Take now;
    now.inputs = m_inputs;
    now.a = m_signalA;
    now.b = m_signalB;
    const double t = Now();
    PutSample(reply, SampleOf(now, 'A', t));
    PutSample(reply, SampleOf(now, 'B', t));
    // Sums that do not fit the box's longs stay at their limit.
    auto signedLong = [](int64_t v) {
        return static_cast<uint32_t>(static_cast<int32_t>(std::clamp<int64_t>(
            v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
    };
    auto unsignedLong = [](int64_t v) {
        return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 0xFFFFFFFFll));
    };
    for (const Sums& s : sums) {
        PutLong(reply, signedLong(s.first));
    }
    // The second sum is the box's sum of the samples' magnitudes.
    for (const Sums& s : sums) {
        PutLong(reply, signedLong(s.second));
    }
    for (const Sums& s : sums) {
        PutLong(reply, unsignedLong(s.third));
    }
    for (const Sums& s : sums) {
        PutSample(reply, s.min);
        PutSample(reply, s.max);
    }
    // Reading ends a finished measurement: the next start begins a new one.
    if (m_bMeterRunning && MeterStatus() == kMeterMeasured) {
        m_bMeterRunning = false;
    }
    m_box.Detail(m_bMeterDone ? std::to_string(m_wMeterSamples) + " samples" : "nothing measured");
}

} // namespace kobsim
