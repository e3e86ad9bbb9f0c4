// The simulated box's oscilloscope and DVM, driven by raw command bytes:
// records of the signals on inputs A and B, scaled, clipped and quantised
// as the box's converters do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "sim/analog.h"
#include "sim/box.h"

using kobsim::Box;
using kobsim::Bytes;
using kobsim::Signal;

namespace {

uint8_t Hi(int w) {
    return static_cast<uint8_t>((w >> 8) & 0xFF);
}
uint8_t Lo(int w) {
    return static_cast<uint8_t>(w & 0xFF);
}

const Bytes kAck{'!'};
const Bytes kRefused{'?'};

// A box with a clock the test sets.
struct Bench {
    explicit Bench(int model, bool fast = true) : box(Config(model, fast)) {
        box.AnalogInputs().SetClock([this] { return now; });
    }
    static kobsim::BoxConfig Config(int model, bool fast) {
        kobsim::BoxConfig c;
        c.model = model;
        c.fast = fast;
        return c;
    }
    bool Two() const { return box.Config().model == 2; }
    Bytes Send(const Bytes& host) { return box.Feed(host.data(), host.size()).bytes; }
    void SetSignal(char channel, const std::string& text) {
        Signal s;
        std::string error;
        ASSERT_TRUE(kobsim::ParseSignal(text, s, error)) << error;
        box.AnalogInputs().SetSignal(channel, s);
    }
    Bytes Input(int word) { return Send({0xD9, Hi(word), Lo(word)}); }
    Bytes Timing(int online, int prescale, int values) {
        return Send({static_cast<uint8_t>(Two() ? 0xDB : 0xD8), static_cast<uint8_t>(online),
                     Hi(prescale), Lo(prescale), Hi(values), Lo(values)});
    }
    Bytes Trigger(int post, int flags) {
        return Send({0xD0, Hi(post), Lo(post), static_cast<uint8_t>(flags)});
    }
    Bytes Start() { return Send({0xD2}); }
    uint8_t Status() {
        Bytes r = Send({0xD5});
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? 0xFF : r[0];
    }
    // Starts a record and reads it: A's samples, then B's.
    std::vector<int> Take(int n, int mask) {
        Start();
        return Read(n, mask);
    }
    std::vector<int> Read(int n, int mask) {
        auto m = static_cast<uint8_t>(mask);
        return Decode(Two() ? Send({0xDC, Hi(n), Lo(n), m})
                            : Send({0xD4, Hi(0x2000 - n), Lo(0x2000 - n), Hi(n), Lo(n), 0, 1, m}));
    }
    std::vector<int> Online() { return Decode(Send({static_cast<uint8_t>(Two() ? 0xDD : 0xDA)})); }
    // Signed samples of the box's width; an online reply's count reads as
    // one more sample at its front.
    std::vector<int> Decode(const Bytes& r) const {
        std::vector<int> v;
        const size_t width = Two() ? 2 : 1;
        for (size_t i = 0; i + width <= r.size(); i += width) {
            v.push_back(width == 2 ? static_cast<int16_t>((r[i] << 8) | r[i + 1])
                                   : static_cast<int8_t>(r[i]));
        }
        return v;
    }
    // The DVM's reply in its order: currents A and B, first, second and
    // third sums of A and B, then minimum and maximum of A and of B.
    std::vector<int64_t> Meter() {
        Bytes r = Send({static_cast<uint8_t>(Two() ? 0x66 : 0x64)});
        const size_t w = Two() ? 2 : 1;
        std::vector<int64_t> m;
        EXPECT_EQ(r.size(), 6 * w + 24);
        size_t at = 0;
        for (int field = 0; field < 12 && at < r.size(); ++field) {
            bool isLong = field >= 2 && field < 8;
            if (!isLong) {
                m.push_back(Decode(Bytes(r.begin() + at, r.begin() + at + w))[0]);
                at += w;
                continue;
            }
            uint32_t v = (uint32_t(r[at]) << 24) | (uint32_t(r[at + 1]) << 16) |
                         (uint32_t(r[at + 2]) << 8) | r[at + 3];
            m.push_back(field < 6 ? int64_t{static_cast<int32_t>(v)} : int64_t{v});
            at += 4;
        }
        return m;
    }
    double now = 0.0;
    Box box;
};

// clang-format off
enum { kCurA, kCurB, kFirstA, kFirstB, kSecondA, kSecondB, kThirdA, kThirdB,
       kMinA, kMaxA, kMinB, kMaxB };
// clang-format on

Bytes MeterTiming(int time, int input, int buffer) {
    return {0x61, Hi(time), Lo(time), Hi(input), Lo(input), Hi(buffer), Lo(buffer)};
}

// The lowest and highest sample from `from` up to `to`.
std::pair<int, int> Span(const std::vector<int>& v, size_t from, size_t to) {
    auto [lo, hi] =
        std::minmax_element(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(to));
    return {*lo, *hi};
}

} // namespace

TEST(AnalogSim, Model2MemoryRecordOfTheDefaultSignals) {
    Bench b(2);
    EXPECT_EQ(b.Status(), 0);                // ready
    EXPECT_EQ(b.Input(0x0805), kAck);        // A on 5 V, B on 50 V
    EXPECT_EQ(b.Timing(0, 1000, 801), kAck); // 1 ms/div: every 12.5 us
    EXPECT_EQ(b.Trigger(801, 0), kAck);      // free run
    EXPECT_EQ(b.Start(), kAck);
    EXPECT_EQ(b.Status(), 3); // measured at once with the fast box

    std::vector<int> s = b.Read(801, 3);
    ASSERT_EQ(s.size(), 1602u);
    // A: 1 kHz, 2 V on 5 V full scale: rising through 0 every 80 samples.
    std::vector<size_t> rising;
    for (size_t i = 1; i < 801; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            rising.push_back(i);
        }
    }
    EXPECT_EQ(rising, (std::vector<size_t>{80, 160, 240, 320, 400, 480, 560, 640, 720, 800}));
    EXPECT_EQ(Span(s, 0, 801), (std::pair{-204, 204})); // round(2 / 5 * 511)
    // B: half a period of 50 Hz, 5 V on 50 V full scale, peaking after 5 ms.
    EXPECT_EQ(Span(s, 801, 1602), (std::pair{0, 51}));
    EXPECT_EQ(s[801 + 400], 51);
    // Only B asked for: just its 801 words.
    EXPECT_EQ(b.Read(801, 2), std::vector<int>(s.begin() + 801, s.end()));
    EXPECT_TRUE(b.Read(801, 0).empty());

    EXPECT_TRUE(b.Send({0xD3}).empty());
    EXPECT_EQ(b.Status(), 0);
    // Timings the memory cannot hold are refused and the last one stays.
    EXPECT_EQ(b.Timing(0, 1000, 0), kRefused);
    EXPECT_EQ(b.Timing(0, 1000, 8193), kRefused);
    EXPECT_EQ(b.Timing(2, 1000, 801), kRefused);
    EXPECT_EQ(b.Take(801, 1), std::vector<int>(s.begin(), s.begin() + 801));
}

TEST(AnalogSim, RangeClipsAndAcCouplingRemovesTheOffset) {
    Bench b(2);
    b.SetSignal('A', "sine:1000:2:0.5"); // from -1.5 V to 2.5 V
    b.Timing(0, 1000, 801);
    b.Trigger(801, 0);
    b.Input(0x0804); // A on 2 V, DC
    std::vector<int> dc = b.Take(801, 1);
    // Clipped at full scale with a flat top; round(-1.5 / 2 * 511) below.
    EXPECT_EQ(Span(dc, 0, 801), (std::pair{-383, 511}));
    EXPECT_GT(std::count(dc.begin(), dc.end(), 511), 100);
    b.Input(0x0885); // A on 5 V, AC
    std::vector<int> ac = b.Take(801, 1);
    EXPECT_EQ(Span(ac, 0, 801), (std::pair{-204, 204}));

    // A dc level under AC coupling is gone entirely.
    b.SetSignal('B', "dc:3");
    b.Input(0x8505);
    std::vector<int> both = b.Take(801, 3);
    EXPECT_EQ(Span(both, 801, 1602), (std::pair{0, 0}));
    b.Input(0x0505);
    EXPECT_EQ(Span(b.Take(801, 3), 801, 1602), (std::pair{307, 307})); // round(3 / 5 * 511)
    // No row 15: the word is refused and the ranges stay.
    EXPECT_EQ(b.Input(0x050F), kRefused);
    EXPECT_EQ(Span(b.Take(801, 3), 801, 1602), (std::pair{307, 307}));
}

TEST(AnalogSim, Model1SendsSignedBytesAndEachModelKnowsOnlyItsOwnCommands) {
    Bench b(1);
    EXPECT_EQ(b.Input(0x0805), kAck);
    EXPECT_EQ(b.Timing(0, 399, 800), kAck); // (399 + 1) * 31.25 ns = 12.5 us
    EXPECT_EQ(b.Trigger(800, 0), kAck);
    EXPECT_EQ(b.Start(), kAck);
    EXPECT_EQ(b.Status(), 3);
    Bytes raw = b.Send({0xD4, 0x1C, 0xE0, 0x03, 0x20, 0x00, 0x01, 0x03});
    ASSERT_EQ(raw.size(), 1600u);
    std::vector<int> s = b.Decode(raw);
    EXPECT_EQ(Span(s, 0, 800), (std::pair{-51, 51})); // round(2 / 5 * 127)
    EXPECT_EQ(s[20], 51);                             // a quarter of the 1 kHz period in
    for (size_t i = 80; i < 800; i += 80) {
        EXPECT_EQ(s[i], 0) << i; // whole periods of 1 kHz at 12.5 us a sample
        EXPECT_LT(s[i - 1], 0) << i;
    }
    EXPECT_EQ(Span(s, 800, 1600).second, 13); // round(5 / 50 * 127)
    // The converter runs from -128 to 127.
    b.Input(0x0803);
    s = b.Take(800, 1);
    EXPECT_EQ(Span(s, 0, 800), (std::pair{-128, 127}));

    Bench two(2);
    const std::pair<Bench*, int> unknown[] = {{&b, 0xDB},   {&b, 0xDD},   {&b, 0x66},
                                              {&two, 0xD8}, {&two, 0xDA}, {&two, 0x64}};
    for (auto [bench, cmd] : unknown) {
        EXPECT_EQ(bench->Send({static_cast<uint8_t>(cmd)}), kRefused) << cmd;
    }
}

TEST(AnalogSim, TheRecordStartsWhereTheTriggerSaysOnEitherEdge) {
    Bench b(2);
    b.now = 0.000123; // not at a zero of the signals
    b.Input(0x0805);
    b.Timing(0, 1000, 801);
    // Level 20 % of 5 V: byte 25, that is 25 / 127 * 511 = 100.6 counts.
    EXPECT_TRUE(b.Send({0xD1, 25}).empty());
    for (int flags : {0x06, 0x0E}) {
        SCOPED_TRACE(flags);
        EXPECT_EQ(b.Trigger(400, flags), kAck); // 401 values before the trigger
        b.Start();
        EXPECT_EQ(b.Status(), 3);
        std::vector<int> s = b.Read(801, 1);
        ASSERT_EQ(s.size(), 801u);
        bool rising = flags == 0x06;
        EXPECT_EQ(s[400] <= 100, rising);
        EXPECT_EQ(s[401] >= 101, rising);
        EXPECT_EQ(s[400] >= 101, !rising);
        EXPECT_EQ(s[401] <= 100, !rising);
        // The part before the trigger is a recorded signal, not padding.
        EXPECT_EQ(Span(s, 0, 401), (std::pair{-204, 204}));
    }
    // On B, everything after the trigger: B's first sample is the first at
    // or above 6 / 127 * 511 = 24.1 counts on a slope of 0.2 counts a sample.
    b.Send({0xD1, 6});
    b.Trigger(801, 0x02);
    std::vector<int> s = b.Take(801, 3);
    EXPECT_EQ(s[801], 25);
    EXPECT_GE(s[802], 25);
    // A level beyond B's 5 V (byte 127 is all of 50 V): the scope waits.
    b.Send({0xD1, 127});
    b.Start();
    EXPECT_EQ(b.Status(), 1);
    b.now += 1.0;
    EXPECT_EQ(b.Status(), 1);
    b.Send({0xD3});
    EXPECT_EQ(b.Status(), 0);
}

TEST(AnalogSim, StatusFollowsTheRecordOnTheBoxClock) {
    Bench b(2, false);
    b.Input(0x0805);
    b.Timing(0, 1000, 801); // 801 * 12.5 us = 10.0125 ms
    b.Trigger(801, 0);
    b.Start();
    for (auto [now, status] : {std::pair{0.0, 2}, std::pair{0.010, 2}, std::pair{0.0101, 3}}) {
        b.now = now;
        EXPECT_EQ(b.Status(), status) << now;
    }
    // With a trigger on A's rising 0.98 V, about 82 us into the 1 kHz sine.
    b.Send({0xD1, 25});
    b.Trigger(801, 0x06);
    b.now = 1.0;
    b.Start();
    for (auto [now, status] :
         {std::pair{1.0, 1}, std::pair{1.00007, 1}, std::pair{1.0001, 2}, std::pair{1.0102, 3}}) {
        b.now = now;
        EXPECT_EQ(b.Status(), status) << now;
    }
    // A read leaves the record as it is; a new start takes another.
    b.Read(801, 3);
    EXPECT_EQ(b.Status(), 3);
    b.Start();
    EXPECT_EQ(b.Status(), 1);
    b.box.AnalogInputs().SetFast(true);
    EXPECT_EQ(b.Status(), 3);
}

TEST(AnalogSim, OnlinePairsComeAtTheRowsRateAndEachOnce) {
    Bench b(2, false);
    b.SetSignal('A', "sine:50:2");
    b.Input(0x0805);
    EXPECT_EQ(b.Online(), std::vector<int>{0}); // nothing started
    EXPECT_EQ(b.Timing(1, 10, 501), kAck);      // 50 ms/div: a pair every millisecond
    b.Start();
    EXPECT_EQ(b.Status(), 2);
    EXPECT_EQ(b.Online().size(), 1u + 2u); // the pair taken at the start
    b.now = 0.0105;
    std::vector<int> v = b.Online();
    ASSERT_EQ(v.size(), 1u + 10u * 2u); // pairs 1 to 10
    EXPECT_EQ(v[0], 10);
    // Pair 5 at 5 ms is a quarter of both 50 Hz periods: A 2 V on 5 V, B 5 V
    // on 50 V; pair 10 at 10 ms is back at zero.
    EXPECT_EQ((std::vector<int>{v[9], v[10], v[19], v[20]}), (std::vector<int>{204, 51, 0, 0}));
    EXPECT_EQ(b.Online(), std::vector<int>{0}); // no new pairs
    b.now = 0.6;
    EXPECT_EQ(b.Status(), 3);
    EXPECT_EQ(b.Online()[0], 501 - 11);
    EXPECT_EQ(b.Online(), std::vector<int>{0});

    // The fast box has the whole record at once; model 1 sends bytes.
    Bench one(1);
    one.Input(0x0805);
    one.Timing(1, 10, 500);
    one.Start();
    EXPECT_EQ(one.Status(), 3);
    Bytes all = one.Send({0xDA});
    ASSERT_EQ(all.size(), 2u + 500u * 2u);
    EXPECT_EQ((all[0] << 8) | all[1], 500);
    EXPECT_EQ(static_cast<int8_t>(all[2 + 2 * 5 + 1]), 13); // B at 5 ms
}

TEST(AnalogSim, MeterSumsGiveMeanRmsAndPeaksOfDcAndSine) {
    Bench b(2);
    b.SetSignal('A', "dc:1.5");
    EXPECT_EQ(b.Send({0x65}), (Bytes{0}));                  // ready
    EXPECT_EQ(b.Send(MeterTiming(10, 0x0705, 2048)), kAck); // A on 5 V, B on 20 V
    EXPECT_EQ(b.Send({0x62}), kAck);
    EXPECT_EQ(b.Send({0x65}), (Bytes{2}));
    std::vector<int64_t> m = b.Meter();
    ASSERT_EQ(m.size(), 12u);
    // A: 1.5 V is round(1.5 / 5 * 511) = 153 in every sample.
    EXPECT_EQ(
        (std::vector<int64_t>{m[kCurA], m[kFirstA], m[kSecondA], m[kThirdA], m[kMinA], m[kMaxA]}),
        (std::vector<int64_t>{153, 2048 * 153, 2048 * 153, 2048 * 153 * 153, 153, 153}));
    // B: 50 Hz, 5 V peak on 20 V: 127.75 counts peak.
    const double peak = 5.0 / 20.0 * 511.0;
    EXPECT_LT(std::fabs(m[kFirstB] / 2048.0), 0.01 * peak);
    EXPECT_NEAR(std::sqrt(m[kThirdB] / 2048.0), peak / std::sqrt(2.0), 0.01 * peak);
    EXPECT_NEAR(m[kSecondB] / 2048.0, 2.0 / std::numbers::pi * peak, 0.01 * peak);
    EXPECT_EQ(m[kMaxB] - m[kMinB], 256);
    EXPECT_EQ(b.Send({0x65}), (Bytes{0})); // reading ends the measurement

    // AC coupling takes the offset out of the mean.
    b.SetSignal('A', "sine:1000:2:1");
    for (bool ac : {false, true}) {
        SCOPED_TRACE(ac);
        EXPECT_EQ(b.Send({0x60, 0x07, static_cast<uint8_t>(ac ? 0x85 : 0x05)}), kAck);
        b.Send({0x62});
        EXPECT_NEAR(b.Meter()[kFirstA] / 2048.0, ac ? 0.0 : 1.0 / 5.0 * 511.0, 0.01 * 511.0);
    }
    // A buffer of no samples is refused; a huge one saturates the squares.
    EXPECT_EQ(b.Send(MeterTiming(10, 0x0705, 0)), kRefused);
    b.SetSignal('A', "dc:6");
    EXPECT_EQ(b.Send(MeterTiming(10, 0x0705, 65535)), kAck);
    b.Send({0x62});
    m = b.Meter();
    ASSERT_EQ(m.size(), 12u);
    EXPECT_EQ(m[kMaxA], 511); // clipped at the 5 V full scale
    EXPECT_EQ(m[kFirstA], 65535 * 511);
    EXPECT_EQ(m[kThirdA], 0xFFFFFFFFll);
}

TEST(AnalogSim, Model1MeterAnswersBytesAndTakesItsTime) {
    Bench b(1, false);
    b.SetSignal('A', "dc:-4.5");
    EXPECT_EQ(b.Send(MeterTiming(10, 0x0705, 2048)), kAck);
    EXPECT_EQ(b.Send({0x62}), kAck);
    for (auto [now, status] : {std::pair{0.0, 1}, std::pair{0.099, 1}, std::pair{0.1, 2}}) {
        b.now = now;
        EXPECT_EQ(b.Send({0x65}), (Bytes{static_cast<uint8_t>(status)})) << now;
    }
    std::vector<int64_t> m = b.Meter();
    // Measured for 10 x 10 ms: round(-4.5 / 5 * 127) = -114 on A; B's 5 V
    // on 20 V peaks at 32.
    ASSERT_EQ(m.size(), 12u);
    EXPECT_EQ((std::vector<int64_t>{m[kCurA], m[kFirstA], m[kSecondA], m[kThirdA], m[kMinA],
                                    m[kMaxA], m[kMinB], m[kMaxB]}),
              (std::vector<int64_t>{-114, -2048 * 114, 2048 * 114, 2048 * 114 * 114, -114, -114,
                                    -32, 32}));
    b.Send({0x62});
    EXPECT_TRUE(b.Send({0x63}).empty()); // stop reads no acknowledgement
    EXPECT_EQ(b.Send({0x65}), (Bytes{0}));
}

TEST(AnalogSim, FaultsApplyToTheNewCommandsAndTheLogTellsWhatHappened) {
    Bench b(2);
    b.box.AddFault(0xD2, {kobsim::FaultKind::WrongAck, 0, 1});
    EXPECT_EQ(b.Start(), (Bytes{0x15}));
    EXPECT_EQ(b.Start(), kAck);
    uint8_t cmd = 0;
    kobsim::Fault fault;
    std::string error;
    ASSERT_TRUE(kobsim::ParseFault("0x66:short:10", cmd, fault, error));
    b.box.AddFault(cmd, fault);
    EXPECT_EQ(b.Send({0x66}).size(), 10u);

    b.Timing(0, 1000, 801);
    b.Read(801, 3);
    b.Send({0xD1, 0xC1});
    std::vector<std::string> log = b.box.Log();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], "0xD2 scope start memory -> 15");
    EXPECT_EQ(log[3],
              "0xDB scope timing memory, 801 values every 1.25e-05 s [00 03 E8 03 21] -> 21");
    EXPECT_EQ(log[4], "0xDC scope read memory 801 values A B [03 21 03] -> 3204 bytes");
    EXPECT_EQ(log[5], "0xD1 scope level -63/127 of full scale [C1] -> no reply");
}

TEST(AnalogSim, SignalTextsAndShapes) {
    struct Case {
        const char* text;
        Signal::Kind kind;
        double frequency, amplitude, offset;
    } cases[] = {
        {"sine:1000:2", Signal::Kind::Sine, 1000, 2, 0},
        {"square:50:5:-1", Signal::Kind::Square, 50, 5, -1},
        {"triangle:0.5:1e-3", Signal::Kind::Triangle, 0.5, 1e-3, 0},
        {"dc:-2.5", Signal::Kind::Dc, 0, -2.5, 0},
        {"dc:0:1:0.5", Signal::Kind::Dc, 0, 1, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Signal s;
        std::string error;
        ASSERT_TRUE(kobsim::ParseSignal(c.text, s, error));
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ((std::vector<double>{s.frequency, s.amplitude, s.offset}),
                  (std::vector<double>{c.frequency, c.amplitude, c.offset}));
    }
    for (const char* bad :
         {"saw:10:1", "sine:1000", "sine:fast:2", "sine:-5:2", "sine:1:2:3:4", "sine:1:nan", ""}) {
        SCOPED_TRACE(bad);
        Signal s;
        s.amplitude = 99;
        std::string error;
        EXPECT_FALSE(kobsim::ParseSignal(bad, s, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(s.amplitude, 99); // left as it was
    }
    // Shapes at known phases of a 1 Hz signal.
    Signal sq{Signal::Kind::Square, 1, 2, 1};
    EXPECT_EQ(sq.At(0.25), 3);
    EXPECT_EQ(sq.At(0.75), -1);
    Signal tri{Signal::Kind::Triangle, 1, 2, 0};
    EXPECT_EQ((std::vector<double>{tri.At(0.125), tri.At(0.25), tri.At(0.625), tri.At(1.875)}),
              (std::vector<double>{1, 2, -1, -1}));
}
