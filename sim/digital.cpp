#include "sim/digital.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "sim/box.h"

namespace kobsim {

namespace {

constexpr uint8_t kAck = 0x21;

uint16_t Word(const Bytes& op, size_t at) {
    return static_cast<uint16_t>((op[at] << 8) | op[at + 1]);
}

void PutWord(Bytes& out, uint16_t w) {
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w & 0xFF));
}

std::function<double()> SteadyClock() {
    auto epoch = std::chrono::steady_clock::now();
    return [epoch] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
    };
}

constexpr uint64_t kAll = std::numeric_limits<uint64_t>::max() / 2;

} // namespace

bool ParseDigInputs(const std::string& text, DigInputs& inputs, std::string& error) {
    if (text == "loop") {
        inputs = {DigInputs::Kind::Loop, 0};
        return true;
    }
    if (text == "count") {
        inputs = {DigInputs::Kind::Counting, 0};
        return true;
    }
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end || v < 0 || v > 0xFFFF) {
        error = "expected loop, count or a word 0-0xffff";
        return false;
    }
    inputs = {DigInputs::Kind::Fixed, static_cast<uint16_t>(v)};
    return true;
}

Digital::Digital(Box& box, bool fast) : m_box(box), m_bFast(fast), m_clock(SteadyClock()) {
    AddPort();
    AddAnalyser();
}

void Digital::SetInputs(const DigInputs& inputs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inputs = inputs;
}

void Digital::SetClock(std::function<double()> clock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = clock ? std::move(clock) : SteadyClock();
}

uint16_t Digital::Outputs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_wOut;
}

uint8_t Digital::Relays() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_byRelays;
}

double Digital::Now() const {
    return m_clock();
}

void Digital::AddPort() {
    m_box.AddCommand(0x20, "read inputs", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        PutWord(reply, SampleInputs());
    });
    m_box.AddCommand(0x21, "write outputs", 2, [this](uint8_t, const Bytes& op, Bytes&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wOut = Word(op, 0);
    });
    m_box.AddCommand(0x32, "set relays", 1, [this](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_byRelays = op[0];
        reply.push_back(kAck);
    });
    m_box.AddCommand(0x33, "relay status", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply.push_back(m_byRelays);
    });
}

void Digital::AddAnalyser() {
    m_box.AddCommand(0x23, "analyser setup", 9, [this](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wTimer = Word(op, 0);
        m_wMask = Word(op, 2);
        m_wTrigger = Word(op, 4);
        m_wCount = Word(op, 6);
        m_bOnline = op[8] != 0;
        reply.push_back(kAck);
    });
    // The count word, then a value and a length word per step.
    auto patternNeed = [](const Bytes& op) -> size_t {
        return op.size() < 2 ? 2 : 2 + 4 * size_t{Word(op, 0)};
    };
    m_box.AddCommand(
        0x25, "output pattern", patternNeed, [this](uint8_t, const Bytes& op, Bytes& reply) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pattern.clear();
            for (size_t at = 2; at + 4 <= op.size(); at += 4) {
                m_pattern.push_back({Word(op, at), std::max<uint32_t>(Word(op, at + 2), 1)});
            }
            m_box.Detail(std::to_string(m_pattern.size()) + " steps");
            reply.push_back(kAck);
        });
    m_box.AddCommand(0x28, "analyser start", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Start();
        reply.push_back(kAck);
    });
    m_box.AddCommand(0x29, "analyser stop", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_byState == kDigMeasuring) {
            Finish(Taken());
        }
        m_byState = kDigReady;
        reply.push_back(kAck);
    });
    m_box.AddCommand(0x26, "analyser status", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply.push_back(State());
    });
    m_box.AddCommand(0x24, "analyser memory", 2, [this](uint8_t, const Bytes& op, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint8_t state = State();
        size_t have = m_record.size();
        if (state == kDigMeasuring && m_nTriggerAt >= 0) {
            have = std::min<uint64_t>(have, Taken() - static_cast<uint64_t>(m_nTriggerAt));
        } else if (state == kDigTrigger) {
            have = 0;
        }
        const uint16_t n = Word(op, 0);
        for (size_t i = 0; i < n; ++i) {
            PutWord(reply, i < have ? m_record[i] : 0);
        }
        if (state == kDigMeasured) {
            m_byState = kDigTransmitted;
        }
        reply.push_back(kAck);
    });
    m_box.AddCommand(0x2A, "analyser online", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        uint64_t from = m_nOnlineRead;
        uint64_t to = from;
        if (m_byState == kDigMeasuring && m_bOnline && m_nTriggerAt >= 0) {
            const uint64_t taken = Taken();
            const uint64_t since = taken - std::min<uint64_t>(taken, m_nTriggerAt);
            to = std::min<uint64_t>(since, from + kOnlineMax);
            to = std::max(to, from);
        }
        PutWord(reply, static_cast<uint16_t>(to - from));
        for (uint64_t k = from; k < to; ++k) {
            PutWord(reply, InputAt(static_cast<uint64_t>(m_nTriggerAt) + k));
        }
        m_nOnlineRead = to;
    });
}

uint16_t Digital::SampleInputs() {
    switch (m_inputs.kind) {
    case DigInputs::Kind::Fixed:
        return m_inputs.word;
    case DigInputs::Kind::Counting:
        return m_wCounter++;
    case DigInputs::Kind::Loop:
        break;
    }
    return m_wOut;
}

uint16_t Digital::OutputAt(uint64_t k) const {
    for (const Step& s : m_pattern) {
        if (k < s.samples) {
            return s.value;
        }
        k -= s.samples;
    }
    return m_pattern.empty() ? m_wOutAtStart : m_pattern.back().value;
}

uint16_t Digital::InputAt(uint64_t k) const {
    switch (m_inputs.kind) {
    case DigInputs::Kind::Fixed:
        return m_inputs.word;
    case DigInputs::Kind::Counting:
        return static_cast<uint16_t>(m_wCounterAtStart + k);
    case DigInputs::Kind::Loop:
        break;
    }
    return OutputAt(k);
}

void Digital::Start() {
    m_wCounterAtStart = m_wCounter;
    m_wOutAtStart = m_wOut;
    m_dStart = Now();
    m_dInterval = std::max<uint16_t>(m_wTimer, 1) * kTimerUnit;
    m_nOnlineRead = 0;
    const uint16_t mask = m_wMask;
    auto fires = [&](uint16_t v) { return (v & mask) == (m_wTrigger & mask); };
    m_nTriggerAt = -1;
    if (m_inputs.kind == DigInputs::Kind::Counting) {
        // The counter passes every word once in 65536 samples.
        for (uint32_t k = 0; k < 0x10000 && m_nTriggerAt < 0; ++k) {
            if (fires(static_cast<uint16_t>(m_wCounterAtStart + k))) {
                m_nTriggerAt = k;
            }
        }
    } else {
        // The inputs change only from step to step of the pattern.
        uint64_t at = 0;
        for (const Step& s : m_pattern) {
            if (fires(m_inputs.kind == DigInputs::Kind::Fixed ? m_inputs.word : s.value)) {
                m_nTriggerAt = static_cast<int64_t>(at);
                break;
            }
            at += s.samples;
        }
        if (m_nTriggerAt < 0 && fires(InputAt(at))) {
            m_nTriggerAt = static_cast<int64_t>(at);
        }
    }
    m_record.clear();
    if (m_nTriggerAt >= 0 && !m_bOnline) {
        m_record.reserve(m_wCount);
        for (uint32_t i = 0; i < m_wCount; ++i) {
            m_record.push_back(InputAt(static_cast<uint64_t>(m_nTriggerAt) + i));
        }
    }
    if (m_inputs.kind == DigInputs::Kind::Counting && m_nTriggerAt >= 0) {
        m_wCounter = static_cast<uint16_t>(m_wCounterAtStart + m_nTriggerAt + m_wCount);
    }
    if (!m_pattern.empty()) {
        m_wOut = m_pattern.back().value;
    }
    m_byState = kDigMeasuring;
    m_box.Detail(m_nTriggerAt < 0 ? "(the trigger cannot come)"
                                  : "(trigger at sample " + std::to_string(m_nTriggerAt) + ")");
}

uint64_t Digital::Taken() const {
    if (m_bFast) {
        // Online requests find a full reply each time.
        return m_bOnline ? static_cast<uint64_t>(std::max<int64_t>(m_nTriggerAt, 0)) +
                               m_nOnlineRead + kOnlineMax
                         : kAll;
    }
    // Sample k is taken k intervals after the start.
    const double elapsed = std::max(0.0, Now() - m_dStart);
    return static_cast<uint64_t>(elapsed / m_dInterval) + 1;
}

void Digital::Finish(uint64_t taken) {
    if (m_nTriggerAt < 0 || taken <= static_cast<uint64_t>(m_nTriggerAt)) {
        m_record.clear();
    } else if (taken - static_cast<uint64_t>(m_nTriggerAt) < m_record.size()) {
        m_record.resize(taken - static_cast<uint64_t>(m_nTriggerAt));
    }
}

uint8_t Digital::State() {
    if (m_byState != kDigMeasuring) {
        return m_byState;
    }
    if (m_nTriggerAt < 0) {
        return kDigTrigger;
    }
    const uint64_t taken = Taken();
    const auto trigger = static_cast<uint64_t>(m_nTriggerAt);
    if (taken <= trigger && m_wMask != 0) {
        return kDigTrigger;
    }
    if (!m_bOnline && taken >= trigger + m_wCount) {
        m_byState = kDigMeasured;
    }
    return m_byState;
}

} // namespace kobsim
