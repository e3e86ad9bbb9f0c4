// The box's 16-bit digital port with its logic analyser and pattern output,
// and the relay board.
//
// How the box behaves where the host leaves it open:
// - the 16 outputs are wired to the 16 inputs, unless the inputs carry a
//   fixed word or a counting pattern (which steps by one at every sample:
//   each read of the inputs and each analyser sample);
// - the analyser's timer counts in 10 us: one sample every timer x 10 us
//   (0 taken as 1); the record begins with the first sample whose masked
//   bits equal the masked trigger word, and a trigger that cannot come
//   leaves the analyser waiting until it is stopped;
// - a pattern table plays at every analyser start, each value held for its
//   length in samples (0 taken as 1); the outputs keep the last value;
// - reading the memory of a finished record makes it "transmitted"; a stop
//   makes the analyser ready and keeps what was recorded so far;
// - in online mode the analyser runs free and each online request gets the
//   samples taken since the last one, at most kOnlineMax.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kobsim {

class Box;

enum DigState : uint8_t {
    kDigReady = 0,
    kDigTrigger = 1,
    kDigMeasuring = 2,
    kDigMeasured = 3,
    kDigTransmitted = 4,
};

struct DigInputs {
    enum class Kind { Loop, Fixed, Counting };
    Kind kind = Kind::Loop;
    uint16_t word = 0; // the fixed word
};

// "loop", "count" or a word such as 0x1234.
bool ParseDigInputs(const std::string& text, DigInputs& inputs, std::string& error);

class Digital {
public:
    // Registers the digital port's and the relays' commands with the box.
    Digital(Box& box, bool fast);

    void SetInputs(const DigInputs& inputs);
    // Seconds on the box's clock; tests pass their own (none: the real one).
    void SetClock(std::function<double()> clock);
    uint16_t Outputs() const;
    uint8_t Relays() const;

    static constexpr double kTimerUnit = 10e-6;
    static constexpr uint16_t kOnlineMax = 256;

private:
    struct Step {
        uint16_t value;
        uint32_t samples;
    };
    void AddPort();
    void AddAnalyser();
    // The input word at sample k of the running record (k counted from the
    // start), and the output word then.
    uint16_t InputAt(uint64_t k) const;
    uint16_t OutputAt(uint64_t k) const;
    uint16_t SampleInputs();
    void Start();
    // Samples taken since the start, by the clock (all of them when fast).
    uint64_t Taken() const;
    uint8_t State();
    void Finish(uint64_t taken);
    double Now() const;

    Box& m_box;
    bool m_bFast;
    mutable std::mutex m_mutex;
    std::function<double()> m_clock;
    DigInputs m_inputs;
    uint16_t m_wOut = 0;
    uint16_t m_wCounter = 0;
    uint8_t m_byRelays = 0;

    // Analyser settings as last received.
    uint16_t m_wTimer = 10;
    uint16_t m_wMask = 0;
    uint16_t m_wTrigger = 0;
    uint16_t m_wCount = 0;
    bool m_bOnline = false;
    std::vector<Step> m_pattern;

    // The running or finished record.
    uint8_t m_byState = kDigReady;
    double m_dStart = 0.0;
    double m_dInterval = 0.0;
    int64_t m_nTriggerAt = -1; // the sample that triggered; -1: never
    uint16_t m_wCounterAtStart = 0;
    uint16_t m_wOutAtStart = 0;
    std::vector<uint16_t> m_record;
    uint64_t m_nOnlineRead = 0;
};

} // namespace kobsim
