// The simulated box's digital port in real time on a clock the test sets:
// the analyser waits for its trigger, measures, and serves the counting
// inputs in order; the hand-held meter answers per family.
#include <gtest/gtest.h>

#include "sim/box.h"
#include "sim/digital.h"
#include "sim/handheld.h"

using kobsim::Bytes;

namespace {

struct Bench {
    Bench() {
        box.DigitalPort().SetClock([this] { return now; });
    }
    Bytes Send(const Bytes& host) { return box.Feed(host.data(), host.size()).bytes; }
    kobsim::Box box;
    double now = 0;
};

} // namespace

TEST(DigitalSim, AnalyserRecordsTheCountingInputsAfterTheTrigger) {
    Bench b;
    b.box.DigitalPort().SetInputs({kobsim::DigInputs::Kind::Counting, 0});
    EXPECT_EQ(b.Send({0x20, 0x20}), (Bytes{0, 0, 0, 1})); // a step a read
    // Timer 100 (1 ms a sample), trigger on 0x0010 in the low byte, 4 samples.
    EXPECT_EQ(b.Send({0x23, 0, 100, 0, 0xFF, 0, 0x10, 0, 4, 0, 0x28}), (Bytes{'!', '!'}));
    // The counter stood at 2: the trigger comes at sample 14.
    const std::pair<double, uint8_t> states[] = {
        {0.0, 1}, {0.0135, 1}, {0.0145, 2}, {0.0165, 2}, {0.0175, 3}};
    for (auto [t, state] : states) {
        b.now = t;
        EXPECT_EQ(b.Send({0x26}), Bytes{state}) << t;
    }
    EXPECT_EQ(b.Send({0x24, 0, 5}), (Bytes{0, 0x10, 0, 0x11, 0, 0x12, 0, 0x13, 0, 0, '!'}));
    EXPECT_EQ(b.Send({0x26}), Bytes{4});
    // A trigger that cannot come keeps it waiting until stopped.
    b.box.DigitalPort().SetInputs({kobsim::DigInputs::Kind::Fixed, 0x00FF});
    b.now = 10;
    EXPECT_EQ(b.Send({0x23, 0, 1, 0x01, 0, 0x01, 0, 0, 4, 0, 0x28}), (Bytes{'!', '!'}));
    EXPECT_EQ(b.Send({0x26}), Bytes{1});
    EXPECT_EQ(b.Send({0x29, 0x26}), (Bytes{'!', 0}));
}

TEST(DigitalSim, HandheldAnswersItsFamilyOrNoReading) {
    Bench b;
    kobsim::HandheldReading r;
    std::string error;
    ASSERT_TRUE(kobsim::ParseHandheldReading("2:1:-1.234:over", r, error)) << error;
    EXPECT_FALSE(kobsim::ParseHandheldReading("2:1", r, error));
    EXPECT_EQ(b.Send({0x50}), Bytes(9, 0));
    b.box.HandheldMeter().SetReading(r);
    b.box.HandheldMeter().SetFamily(3);
    EXPECT_EQ(b.Send({0x51}), (Bytes{13, 2, 0, 0, 0x09, ':', '0', ';', ';', ';'}));
    ASSERT_TRUE(kobsim::ParseHandheldReading("12:3:123", r, error));
    b.box.HandheldMeter().SetReading(r);
    b.box.HandheldMeter().SetFamily(1);
    EXPECT_EQ(b.Send({0x50}), (Bytes{1, 12, 3, 0, 0, 0, 3, 2, 1}));
    EXPECT_EQ(b.Send({0x51})[0], 0xFF);
}
