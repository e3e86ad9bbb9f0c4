// The box's analog inputs A and B and the two instruments that measure on
// them: the oscilloscope (memory records and online pairs) and the DVM
// (sums and extremes over a buffer). The signals on the inputs are
// described by text such as "sine:1000:2" and computed at any time, so a
// record is what a converter would have taken at its sample times.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kobsim {

class Box;

struct Signal {
    // Table: one period of samples from -1 to +1, each held for its share of
    // the period, as a generator's converter plays them.
    enum class Kind { Sine, Square, Triangle, Dc, Table };
    Kind kind = Kind::Sine;
    double frequency = 1000.0; // Hz
    double amplitude = 2.0;    // V, peak
    double offset = 0.0;       // V
    std::shared_ptr<const std::vector<double>> table = nullptr;
    double tableMean = 0.0;

    double At(double seconds) const;
    // The part that AC coupling removes: the offset, or all of a dc level.
    double Mean() const;
};

// "KIND:FREQUENCY:AMPLITUDE[:OFFSET]" with KIND sine, square, triangle or
// dc; "dc:LEVEL" as well.
bool ParseSignal(const std::string& text, Signal& signal, std::string& error);

// Status bytes of the scope and of the DVM.
enum ScopeState : uint8_t {
    kScopeReady = 0,
    kScopeTrigger = 1,
    kScopeMeasuring = 2,
    kScopeMeasured = 3
};
enum MeterState : uint8_t { kMeterReady = 0, kMeterMeasuring = 1, kMeterMeasured = 2 };

// How the box behaves where the host leaves it open:
// - one set of ranges and couplings serves both instruments; a word with a
//   range row above 14 is refused ("?") and changes nothing;
// - a memory record waits for its trigger only after the part before the
//   trigger has been taken; mode bit 3 means the falling edge; online pairs
//   run free, a pair every prescale x 0.1 ms;
// - the DVM measures for time x 10 ms with its buffer's samples spread over
//   that time; its second sum is the sum of the samples' magnitudes, and
//   reading a finished measurement makes it ready for the next start.
class Analog {
public:
    // Registers the scope and DVM commands of the box's model with the box.
    explicit Analog(Box& box, bool fast);

    void SetSignal(char channel, const Signal& signal); // 'A' or 'B'
    Signal GetSignal(char channel) const;
    // Records and DVM buffers complete at once instead of in real time.
    void SetFast(bool fast);
    // Seconds on the box's clock; tests pass their own (none: the real one).
    void SetClock(std::function<double()> clock);

    // Raw converter value of a voltage on a range row (clipped).
    int Quantise(double volts, int range) const;
    // The sample interval of a memory row's prescale, in seconds.
    double SampleInterval(uint16_t prescale) const;

    static constexpr int kRanges = 15;
    static double FullScale(int range);

private:
    struct Input {
        int range = 8;
        bool ac = false;
    };
    struct Inputs {
        Input a, b;
    };
    // What a started record or measurement needs, taken at its start so
    // later settings do not change it.
    struct Take {
        Inputs inputs;
        Signal a, b;
        double start = 0.0;    // when it was started
        int64_t first = 0;     // sample taken first, counted from the start
        double interval = 0.0; // between samples
    };

    void AddScope();
    void AddMeter();
    bool SetInputs(uint16_t word);
    int SampleOf(const Take& take, char channel, double t) const;
    double Now() const;
    void PutSample(std::vector<uint8_t>& out, int value) const;

    // Scope.
    void ScopeStart();
    uint8_t ScopeStatus();
    void ReadMemory(uint16_t n, uint8_t mask, std::vector<uint8_t>& reply);
    void ReadOnline(std::vector<uint8_t>& reply);
    // Meter.
    uint8_t MeterStatus();
    void MeterValues(std::vector<uint8_t>& reply);

    Box& m_box;
    int m_nModel;
    mutable std::mutex m_mutex;
    bool m_bFast;
    std::function<double()> m_clock;
    Signal m_signalA;
    Signal m_signalB{Signal::Kind::Sine, 50.0, 5.0, 0.0};
    Inputs m_inputs;

    // Scope settings as last received.
    bool m_bOnline = false;
    uint16_t m_wPrescale = 0;
    uint16_t m_wValues = 0;
    uint16_t m_wPostTrigger = 0;
    uint8_t m_byFlags = 0;
    int8_t m_nLevel = 0;
    // The scope's record.
    bool m_bScopeRunning = false;
    bool m_bHaveRecord = false;
    bool m_bTriggered = false; // the trigger was found (or none was asked)
    double m_dFire = 0.0;      // when the trigger fired
    uint16_t m_wRecordValues = 0;
    bool m_bRecordOnline = false;
    Take m_record;
    uint32_t m_nOnlineRead = 0; // online pairs already sent

    // DVM settings and measurement.
    uint16_t m_wMeterTime = 10;
    uint16_t m_wBufferSize = 2048;
    bool m_bMeterRunning = false;
    bool m_bMeterDone = false; // a measurement was started since power-on
    uint16_t m_wMeterSamples = 0;
    double m_dMeterEnd = 0.0;
    Take m_meter;
};

} // namespace kobsim
