// The simulated box's oscilloscope and DVM, driven by raw command bytes:
// records of the signals on inputs A and B, scaled, clipped and quantised
// as the box's converters do.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "sim/analog.h"
#include "sim/box.h"

using kobsim::Box;
using kobsim::BoxConfig;
using kobsim::Bytes;
using kobsim::FaultKind;
using kobsim::Signal;

namespace {

Bytes Send(Box& box, const Bytes& host) {
    return box.Feed(host.data(), host.size()).bytes;
}

uint8_t Hi(int w) {
    return static_cast<uint8_t>((w >> 8) & 0xFF);
}
uint8_t Lo(int w) {
    return static_cast<uint8_t>(w & 0xFF);
}

// A box with a clock the test sets.
struct Bench {
    explicit Bench(int model, bool fast = true) : box(Config(model, fast)) {
        box.AnalogInputs().SetClock([this] { return now; });
    }
    static BoxConfig Config(int model, bool fast) {
        BoxConfig c;
        c.model = model;
        c.fast = fast;
        return c;
    }
    void SetSignal(char channel, const std::string& text) {
        Signal s;
        std::string error;
        ASSERT_TRUE(kobsim::ParseSignal(text, s, error)) << error;
        box.AnalogInputs().SetSignal(channel, s);
    }
    Bytes Input(int word) { return Send(box, {0xD9, Hi(word), Lo(word)}); }
    Bytes Timing(int online, int prescale, int values) {
        uint8_t cmd = box.Config().model == 2 ? 0xDB : 0xD8;
        return Send(box, {cmd, static_cast<uint8_t>(online), Hi(prescale), Lo(prescale), Hi(values),
                          Lo(values)});
    }
    Bytes Trigger(int post, int flags) {
        return Send(box, {0xD0, Hi(post), Lo(post), static_cast<uint8_t>(flags)});
    }
    uint8_t Status() {
        Bytes r = Send(box, {0xD5});
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? 0xFF : r[0];
    }
    // Samples of a memory read, A's then B's, as signed numbers.
    std::vector<int> Read(int n, int mask) {
        Bytes r = box.Config().model == 2
                      ? Send(box, {0xDC, Hi(n), Lo(n), static_cast<uint8_t>(mask)})
                      : Send(box, {0xD4, Hi(0x2000 - n), Lo(0x2000 - n), Hi(n), Lo(n), 0, 1,
                                   static_cast<uint8_t>(mask)});
        return Decode(r, 0);
    }
    std::vector<int> Decode(const Bytes& r, size_t from) {
        std::vector<int> v;
        const size_t width = box.Config().model == 2 ? 2 : 1;
        for (size_t i = from; i + width <= r.size(); i += width) {
            v.push_back(width == 2 ? static_cast<int16_t>((r[i] << 8) | r[i + 1])
                                   : static_cast<int8_t>(r[i]));
        }
        return v;
    }
    double now = 0.0;
    Box box;
};

int Max(const std::vector<int>& v, size_t from, size_t to) {
    int m = v[from];
    for (size_t i = from; i < to; ++i) {
        m = std::max(m, v[i]);
    }
    return m;
}

int Min(const std::vector<int>& v, size_t from, size_t to) {
    int m = v[from];
    for (size_t i = from; i < to; ++i) {
        m = std::min(m, v[i]);
    }
    return m;
}

const Bytes kAck{'!'};

} // namespace

TEST(AnalogSim, Model2MemoryRecordOfTheDefaultSignals) {
    Bench b(2);
    EXPECT_EQ(b.Status(), 0);                // ready
    EXPECT_EQ(b.Input(0x0805), kAck);        // A on 5 V, B on 50 V
    EXPECT_EQ(b.Timing(0, 1000, 801), kAck); // 1 ms/div: every 12.5 us
    EXPECT_EQ(b.Trigger(801, 0), kAck);      // free run
    EXPECT_EQ(Send(b.box, {0xD2}), kAck);
    EXPECT_EQ(b.Status(), 3); // measured at once with the fast box

    std::vector<int> s = b.Read(801, 3);
    ASSERT_EQ(s.size(), 1602u);
    // A: 1 kHz, 2 V on 5 V full scale.
    std::vector<size_t> rising;
    for (size_t i = 1; i < 801; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            rising.push_back(i);
        }
    }
    // Every 80 samples of 12.5 us, the first at the start itself.
    EXPECT_EQ(rising, (std::vector<size_t>{80, 160, 240, 320, 400, 480, 560, 640, 720, 800}));
    ASSERT_GE(rising.size(), 2u);
    double periods = static_cast<double>(rising.size() - 1);
    double seconds = static_cast<double>(rising.back() - rising.front()) * 12.5e-6;
    EXPECT_NEAR(periods / seconds, 1000.0, 5.0);
    EXPECT_EQ(Max(s, 0, 801), 204); // round(2 / 5 * 511)
    EXPECT_EQ(Min(s, 0, 801), -204);
    // B: half a period of 50 Hz, 5 V on 50 V full scale, peaking after 5 ms.
    EXPECT_EQ(Max(s, 801, 1602), 51);
    EXPECT_EQ(s[801 + 400], 51);
    EXPECT_GE(Min(s, 801, 1602), 0);

    // Only B asked for: just its 801 words.
    std::vector<int> onlyB = b.Read(801, 2);
    EXPECT_EQ(onlyB, std::vector<int>(s.begin() + 801, s.end()));
    EXPECT_TRUE(b.Read(801, 0).empty());

    Send(b.box, {0xD3});
    EXPECT_EQ(b.Status(), 0);

    // Timings the memory cannot hold are refused and the last one stays.
    EXPECT_EQ(b.Timing(0, 1000, 0), (Bytes{'?'}));
    EXPECT_EQ(b.Timing(0, 1000, 8193), (Bytes{'?'}));
    EXPECT_EQ(b.Timing(2, 1000, 801), (Bytes{'?'}));
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Read(801, 1), std::vector<int>(s.begin(), s.begin() + 801));
}

TEST(AnalogSim, RangeClipsAndAcCouplingRemovesTheOffset) {
    Bench b(2);
    b.SetSignal('A', "sine:1000:2:0.5"); // from -1.5 V to 2.5 V
    b.Timing(0, 1000, 801);
    b.Trigger(801, 0);

    b.Input(0x0804); // A on 2 V, DC
    Send(b.box, {0xD2});
    std::vector<int> dc = b.Read(801, 1);
    EXPECT_EQ(Max(dc, 0, 801), 511); // clipped at full scale
    int atTop = 0;
    for (int v : dc) {
        atTop += v == 511;
    }
    EXPECT_GT(atTop, 100);            // a flat top, not a single peak
    EXPECT_EQ(Min(dc, 0, 801), -383); // round(-1.5 / 2 * 511)

    b.Input(0x0885); // A on 5 V, AC
    Send(b.box, {0xD2});
    std::vector<int> ac = b.Read(801, 1);
    EXPECT_EQ(Max(ac, 0, 801), 204);
    EXPECT_EQ(Min(ac, 0, 801), -204);

    // A dc level under AC coupling is gone entirely.
    b.SetSignal('B', "dc:3");
    b.Input(0x8505);
    Send(b.box, {0xD2});
    std::vector<int> both = b.Read(801, 3);
    EXPECT_EQ(Max(both, 801, 1602), 0);
    EXPECT_EQ(Min(both, 801, 1602), 0);
    b.Input(0x0505);
    Send(b.box, {0xD2});
    both = b.Read(801, 3);
    EXPECT_EQ(Min(both, 801, 1602), 307); // round(3 / 5 * 511)

    // No row 15: the word is refused and the ranges stay.
    EXPECT_EQ(b.Input(0x050F), (Bytes{'?'}));
    Send(b.box, {0xD2});
    EXPECT_EQ(Min(b.Read(801, 3), 801, 1602), 307);
}

TEST(AnalogSim, Model1SendsSignedBytesAndKnowsOnlyItsOwnCommands) {
    Bench b(1);
    EXPECT_EQ(b.Input(0x0805), kAck);
    EXPECT_EQ(b.Timing(0, 399, 800), kAck); // (399 + 1) * 31.25 ns = 12.5 us
    EXPECT_EQ(b.Trigger(800, 0), kAck);
    EXPECT_EQ(Send(b.box, {0xD2}), kAck);
    EXPECT_EQ(b.Status(), 3);
    Bytes raw = Send(b.box, {0xD4, 0x1C, 0xE0, 0x03, 0x20, 0x00, 0x01, 0x03});
    ASSERT_EQ(raw.size(), 1600u);
    std::vector<int> s = b.Decode(raw, 0);
    EXPECT_EQ(Max(s, 0, 800), 51); // round(2 / 5 * 127)
    EXPECT_EQ(Min(s, 0, 800), -51);
    EXPECT_EQ(s[20], 51); // a quarter of the 1 kHz period in
    for (size_t i = 80; i < 800; i += 80) {
        EXPECT_EQ(s[i], 0) << i; // whole periods of 1 kHz at 12.5 us a sample
        EXPECT_LT(s[i - 1], 0) << i;
    }
    EXPECT_EQ(Max(s, 800, 1600), 13); // round(5 / 50 * 127)

    // The converter runs from -128 to 127.
    b.Input(0x0803);
    Send(b.box, {0xD2});
    s = b.Read(800, 1);
    EXPECT_EQ(Max(s, 0, 800), 127);
    EXPECT_EQ(Min(s, 0, 800), -128);

    // The model-2 commands are unknown here, and the other way about.
    EXPECT_EQ(Send(b.box, {0xDB}), (Bytes{'?'}));
    EXPECT_EQ(Send(b.box, {0xDD}), (Bytes{'?'}));
    EXPECT_EQ(Send(b.box, {0x66}), (Bytes{'?'}));
    Bench two(2);
    EXPECT_EQ(Send(two.box, {0xD8}), (Bytes{'?'}));
    EXPECT_EQ(Send(two.box, {0xDA}), (Bytes{'?'}));
    EXPECT_EQ(Send(two.box, {0x64}), (Bytes{'?'}));
}

TEST(AnalogSim, TheRecordStartsWhereTheTriggerSaysOnEitherEdge) {
    Bench b(2);
    b.now = 0.000123; // not at a zero of the signals
    b.Input(0x0805);
    b.Timing(0, 1000, 801);
    // Level 20 % of 5 V: byte 25, that is 25 / 127 * 511 = 100.6 counts.
    EXPECT_TRUE(Send(b.box, {0xD1, 25}).empty());
    for (int flags : {0x06, 0x0E}) {
        SCOPED_TRACE(flags);
        EXPECT_EQ(b.Trigger(400, flags), kAck); // 401 values before the trigger
        Send(b.box, {0xD2});
        EXPECT_EQ(b.Status(), 3);
        std::vector<int> s = b.Read(801, 1);
        ASSERT_EQ(s.size(), 801u);
        if (flags == 0x06) { // rising
            EXPECT_LE(s[400], 100);
            EXPECT_GE(s[401], 101);
        } else { // falling
            EXPECT_GE(s[400], 101);
            EXPECT_LE(s[401], 100);
        }
        // The part before the trigger is a recorded signal, not padding.
        EXPECT_EQ(Max(s, 0, 401), 204);
        EXPECT_EQ(Min(s, 0, 401), -204);
    }

    // On B, everything after the trigger: B's first sample is the first at
    // or above 6 / 127 * 511 = 24.1 counts on a slope of 0.2 counts a sample.
    Send(b.box, {0xD1, 6});
    b.Trigger(801, 0x02);
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 3);
    std::vector<int> s = b.Read(801, 3);
    EXPECT_EQ(s[801], 25);
    EXPECT_GE(s[802], 25);

    // A level beyond B's 5 V (byte 127 is all of 50 V): the scope waits.
    Send(b.box, {0xD1, 127});
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 1);
    b.now += 1.0;
    EXPECT_EQ(b.Status(), 1);
    Send(b.box, {0xD3});
    EXPECT_EQ(b.Status(), 0);
}

TEST(AnalogSim, StatusFollowsTheRecordOnTheBoxClock) {
    Bench b(2, false);
    b.Input(0x0805);
    b.Timing(0, 1000, 801); // 801 * 12.5 us = 10.0125 ms
    b.Trigger(801, 0);
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 2); // measuring
    b.now = 0.010;
    EXPECT_EQ(b.Status(), 2);
    b.now = 0.0101;
    EXPECT_EQ(b.Status(), 3);

    // With a trigger on A's rising 0.98 V, about 82 us into the 1 kHz sine.
    Send(b.box, {0xD1, 25});
    b.Trigger(801, 0x06);
    b.now = 1.0;
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 1); // waiting for the trigger
    b.now = 1.00007;
    EXPECT_EQ(b.Status(), 1);
    b.now = 1.0001;
    EXPECT_EQ(b.Status(), 2);
    b.now = 1.0102;
    EXPECT_EQ(b.Status(), 3);
    // A read leaves the record as it is; a new start takes another.
    b.Read(801, 3);
    EXPECT_EQ(b.Status(), 3);
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 1);

    b.box.AnalogInputs().SetFast(true);
    EXPECT_EQ(b.Status(), 3);
}

TEST(AnalogSim, OnlinePairsComeAtTheRowsRateAndEachOnce) {
    Bench b(2, false);
    b.SetSignal('A', "sine:50:2");
    b.Input(0x0805);
    EXPECT_TRUE(b.Decode(Send(b.box, {0xDD}), 0) == std::vector<int>{0}); // nothing started
    EXPECT_EQ(b.Timing(1, 10, 501), kAck); // 50 ms/div: a pair every millisecond
    Send(b.box, {0xD2});
    EXPECT_EQ(b.Status(), 2);

    Bytes first = Send(b.box, {0xDD});
    ASSERT_EQ(first.size(), 2u + 4u); // the pair taken at the start
    b.now = 0.0105;
    Bytes r = Send(b.box, {0xDD});
    ASSERT_GE(r.size(), 2u);
    std::vector<int> v = b.Decode(r, 0);
    ASSERT_EQ(v[0], 10); // pairs 1 to 10
    ASSERT_EQ(r.size(), 2u + 10u * 4u);
    // Pair 5 is at 5 ms, a quarter of both 50 Hz periods: A 2 V on 5 V, B
    // 5 V on 50 V.
    EXPECT_EQ(v[1 + 2 * 4], 204);
    EXPECT_EQ(v[1 + 2 * 4 + 1], 51);
    // Pair 10 at 10 ms: both back at zero.
    EXPECT_EQ(v[1 + 2 * 9], 0);
    EXPECT_EQ(v[1 + 2 * 9 + 1], 0);
    EXPECT_EQ(b.Decode(Send(b.box, {0xDD}), 0), std::vector<int>{0}); // no new pairs

    b.now = 0.6;
    EXPECT_EQ(b.Status(), 3);
    EXPECT_EQ(b.Decode(Send(b.box, {0xDD}), 0)[0], 501 - 11);
    EXPECT_EQ(b.Decode(Send(b.box, {0xDD}), 0)[0], 0);

    // The fast box has the whole record at once; model 1 sends bytes.
    Bench one(1);
    one.Input(0x0805);
    one.Timing(1, 10, 500);
    Send(one.box, {0xD2});
    EXPECT_EQ(one.Status(), 3);
    Bytes all = Send(one.box, {0xDA});
    ASSERT_EQ(all.size(), 2u + 500u * 2u);
    EXPECT_EQ((all[0] << 8) | all[1], 500);
    EXPECT_EQ(static_cast<int8_t>(all[2 + 2 * 5 + 1]), 13); // B at 5 ms
}

namespace {

struct MeterReply {
    int current[2];
    int64_t first[2], second[2];
    uint64_t third[2];
    int min[2], max[2];
};

MeterReply ReadMeter(Bench& b) {
    const bool two = b.box.Config().model == 2;
    Bytes r = Send(b.box, {static_cast<uint8_t>(two ? 0x66 : 0x64)});
    const size_t w = two ? 2 : 1;
    MeterReply m{};
    EXPECT_EQ(r.size(), 6 * w + 24);
    if (r.size() != 6 * w + 24) {
        return m;
    }
    size_t at = 0;
    auto sample = [&] {
        int v = two ? static_cast<int16_t>((r[at] << 8) | r[at + 1]) : static_cast<int8_t>(r[at]);
        at += w;
        return v;
    };
    auto ulong = [&] {
        uint32_t v = (uint32_t(r[at]) << 24) | (uint32_t(r[at + 1]) << 16) |
                     (uint32_t(r[at + 2]) << 8) | r[at + 3];
        at += 4;
        return v;
    };
    m.current[0] = sample();
    m.current[1] = sample();
    for (int64_t& f : m.first) {
        f = static_cast<int32_t>(ulong());
    }
    for (int64_t& s : m.second) {
        s = static_cast<int32_t>(ulong());
    }
    for (uint64_t& t : m.third) {
        t = ulong();
    }
    for (int ch = 0; ch < 2; ++ch) {
        m.min[ch] = sample();
        m.max[ch] = sample();
    }
    return m;
}

Bytes MeterTiming(int time, int input, int buffer) {
    return {0x61, Hi(time), Lo(time), Hi(input), Lo(input), Hi(buffer), Lo(buffer)};
}

} // namespace

TEST(AnalogSim, MeterSumsGiveMeanRmsAndPeaksOfDcAndSine) {
    Bench b(2);
    b.SetSignal('A', "dc:1.5");
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{0}));                  // ready
    EXPECT_EQ(Send(b.box, MeterTiming(10, 0x0705, 2048)), kAck); // A on 5 V, B on 20 V
    EXPECT_EQ(Send(b.box, {0x62}), kAck);
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{2}));
    MeterReply m = ReadMeter(b);
    // A: 1.5 V is round(1.5 / 5 * 511) = 153 in every sample.
    EXPECT_EQ(m.current[0], 153);
    EXPECT_EQ(m.first[0], 2048 * 153);
    EXPECT_EQ(m.second[0], 2048 * 153);
    EXPECT_EQ(m.third[0], 2048u * 153u * 153u);
    EXPECT_EQ(m.min[0], 153);
    EXPECT_EQ(m.max[0], 153);
    // B: 50 Hz, 5 V peak on 20 V: 127.75 counts peak.
    const double peak = 5.0 / 20.0 * 511.0;
    EXPECT_LT(std::fabs(m.first[1] / 2048.0), 0.01 * peak);
    EXPECT_NEAR(std::sqrt(static_cast<double>(m.third[1]) / 2048.0), peak / std::sqrt(2.0),
                0.01 * peak / std::sqrt(2.0));
    EXPECT_NEAR(m.second[1] / 2048.0, 2.0 / std::numbers::pi * peak, 0.01 * peak);
    EXPECT_EQ(m.max[1] - m.min[1], 256);
    // Reading ends the measurement.
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{0}));

    // AC coupling takes the offset out of the mean.
    b.SetSignal('A', "sine:1000:2:1");
    for (bool ac : {false, true}) {
        SCOPED_TRACE(ac);
        EXPECT_EQ(Send(b.box, {0x60, 0x07, static_cast<uint8_t>(ac ? 0x85 : 0x05)}), kAck);
        Send(b.box, {0x62});
        m = ReadMeter(b);
        EXPECT_NEAR(m.first[0] / 2048.0, ac ? 0.0 : 1.0 / 5.0 * 511.0, 0.01 * 511.0);
    }

    // A buffer of no samples is refused; a huge one saturates the squares.
    EXPECT_EQ(Send(b.box, MeterTiming(10, 0x0705, 0)), (Bytes{'?'}));
    b.SetSignal('A', "dc:6");
    EXPECT_EQ(Send(b.box, MeterTiming(10, 0x0705, 65535)), kAck);
    Send(b.box, {0x62});
    m = ReadMeter(b);
    EXPECT_EQ(m.max[0], 511); // clipped at the 5 V full scale
    EXPECT_EQ(m.first[0], 65535 * 511);
    EXPECT_EQ(m.third[0], 0xFFFFFFFFu);
}

TEST(AnalogSim, Model1MeterAnswersBytesAndTakesItsTime) {
    Bench b(1, false);
    b.SetSignal('A', "dc:-4.5");
    EXPECT_EQ(Send(b.box, MeterTiming(10, 0x0705, 2048)), kAck);
    EXPECT_EQ(Send(b.box, {0x62}), kAck);
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{1})); // measuring for 10 * 10 ms
    b.now = 0.099;
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{1}));
    b.now = 0.1;
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{2}));
    MeterReply m = ReadMeter(b);
    EXPECT_EQ(m.current[0], -114); // round(-4.5 / 5 * 127)
    EXPECT_EQ(m.first[0], -2048 * 114);
    EXPECT_EQ(m.second[0], 2048 * 114);
    EXPECT_EQ(m.third[0], 2048u * 114u * 114u);
    EXPECT_EQ(m.min[0], -114);
    EXPECT_EQ(m.max[1], 32); // round(5 / 20 * 127)
    EXPECT_EQ(m.min[1], -32);

    Send(b.box, {0x62});
    EXPECT_TRUE(Send(b.box, {0x63}).empty()); // stop reads no acknowledgement
    EXPECT_EQ(Send(b.box, {0x65}), (Bytes{0}));
}

TEST(AnalogSim, FaultsApplyToTheNewCommandsAndTheLogTellsWhatHappened) {
    Bench b(2);
    b.box.AddFault(0xD2, {FaultKind::WrongAck, 0, 1});
    EXPECT_EQ(Send(b.box, {0xD2}), (Bytes{0x15}));
    EXPECT_EQ(Send(b.box, {0xD2}), kAck);

    uint8_t cmd = 0;
    kobsim::Fault fault;
    std::string error;
    ASSERT_TRUE(kobsim::ParseFault("0x66:short:10", cmd, fault, error));
    b.box.AddFault(cmd, fault);
    EXPECT_EQ(Send(b.box, {0x66}).size(), 10u);

    b.Timing(0, 1000, 801);
    b.Read(801, 3);
    Send(b.box, {0xD1, 0xC1});
    std::vector<std::string> log = b.box.Log();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], "0xD2 scope start memory -> 15");
    EXPECT_EQ(log[3],
              "0xDB scope timing memory, 801 values every 1.25e-05 s [00 03 E8 03 21] -> 21");
    EXPECT_EQ(log[4], "0xDC scope read memory 801 values A B [03 21 03] -> 3204 bytes");
    EXPECT_EQ(log[5], "0xD1 scope level -63/127 of full scale [C1] -> no reply");
}

TEST(AnalogSim, SignalTexts) {
    struct Case {
        const char* text;
        bool ok;
        Signal::Kind kind;
        double frequency, amplitude, offset;
    };
    const Case cases[] = {
        {"sine:1000:2", true, Signal::Kind::Sine, 1000, 2, 0},
        {"square:50:5:-1", true, Signal::Kind::Square, 50, 5, -1},
        {"triangle:0.5:1e-3", true, Signal::Kind::Triangle, 0.5, 1e-3, 0},
        {"dc:-2.5", true, Signal::Kind::Dc, 0, -2.5, 0},
        {"dc:0:1:0.5", true, Signal::Kind::Dc, 0, 1, 0.5},
        {"saw:10:1", false, Signal::Kind::Sine, 0, 0, 0},
        {"sine:1000", false, Signal::Kind::Sine, 0, 0, 0},
        {"sine:fast:2", false, Signal::Kind::Sine, 0, 0, 0},
        {"sine:-5:2", false, Signal::Kind::Sine, 0, 0, 0},
        {"sine:1:2:3:4", false, Signal::Kind::Sine, 0, 0, 0},
        {"sine:1:nan", false, Signal::Kind::Sine, 0, 0, 0},
        {"", false, Signal::Kind::Sine, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Signal s;
        s.amplitude = 99;
        std::string error;
        ASSERT_EQ(kobsim::ParseSignal(c.text, s, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            EXPECT_EQ(s.amplitude, 99) << c.text; // left as it was
            continue;
        }
        EXPECT_EQ(s.kind, c.kind) << c.text;
        EXPECT_DOUBLE_EQ(s.frequency, c.frequency) << c.text;
        EXPECT_DOUBLE_EQ(s.amplitude, c.amplitude) << c.text;
        EXPECT_DOUBLE_EQ(s.offset, c.offset) << c.text;
    }
    // Shapes at known phases of a 1 Hz signal.
    Signal sq{Signal::Kind::Square, 1, 2, 1};
    EXPECT_EQ(sq.At(0.25), 3);
    EXPECT_EQ(sq.At(0.75), -1);
    Signal tri{Signal::Kind::Triangle, 1, 2, 0};
    EXPECT_DOUBLE_EQ(tri.At(0.125), 1);
    EXPECT_DOUBLE_EQ(tri.At(0.25), 2);
    EXPECT_DOUBLE_EQ(tri.At(0.625), -1);
    EXPECT_DOUBLE_EQ(tri.At(1.875), -1);
}
