// The three-phase generator model: its commands on the wire, the inverted
// 257-word table, the order of its changes and its stored settings.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <tuple>

#include "device/exchange.h"
#include "device/kobface.h"
#include "instruments/threephase/threephase.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "support/stored.h"

namespace {

class ThreePhaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        stream = new ScriptedStream;
        kobface.SetStream(stream);
    }
    Bytes Sent(const std::function<void()>& op, int acks = 1) {
        stream->ClearWritten();
        for (int i = 0; i < acks; ++i) {
            stream->Reply({kAck});
        }
        op();
        EXPECT_EQ(stream->Unread(), 0u);
        return stream->Written();
    }

    ScriptedUi ui;
    CKobface kobface;
    ScriptedStream* stream = nullptr;
    C3PhaseGen gen{&kobface};
};

TEST_F(ThreePhaseTest, CommandsOnTheWire) {
    std::array<double, kP3TablePoints> ones;
    ones.fill(1.0);
    Bytes table{0x49, 1};
    for (size_t i = 0; i < kP3TablePoints; ++i) {
        table.insert(table.end(), {0xFE, 0x00});
    }
    struct Case {
        std::function<void(C3PhaseGen&)> op;
        Bytes wire;
    } cases[] = {
        {[](C3PhaseGen& g) { g.SendPhases(120, 240); }, {0x47, 0x00, 0xF0, 0x00, 0x78}},
        {[](C3PhaseGen& g) { g.SendPhases(-120, 0); }, {0x47, 0x01, 0xE0, 0x01, 0x68}},
        {[](C3PhaseGen& g) { g.SendAmplitudes(100, 50, 0); }, {0x45, 0xFF, 0x7F, 0x00}},
        {[](C3PhaseGen& g) { g.SendEnable(7); }, {0x40}},
        {[](C3PhaseGen& g) { g.SendClock(300); }, {0x43, 0x2C}},
        {[](C3PhaseGen& g) { g.SendFrequency(150); }, {0x44, 150}},
        {[](C3PhaseGen& g) { g.SendFunction(2); }, {0x48, 2}},
        {[](C3PhaseGen& g) { g.SendDcMode(1); }, {0x4A, 1}},
        {[](C3PhaseGen& g) { g.SetPhaseSwitches(1, 0, 1); }, {0x4B, 1, 0, 1}},
        {[&](C3PhaseGen& g) { g.SendUserTable(ones, 1); }, table},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sent([&] { c.op(gen); }), c.wire) << testing::PrintToString(c.wire);
        EXPECT_TRUE(stream->Blocks().empty());
    }
    EXPECT_EQ(std::tuple(uint32_t{g_nP3Phase2}, uint8_t{g_abP3PhaseOn[0]}),
              std::tuple(static_cast<uint32_t>(-120), 1));
}

TEST_F(ThreePhaseTest, FormulaTableIsComputedAndSentOnlyOnAnOpenLine) {
    ASSERT_TRUE(gen.SetFormula(u"sin(x)", false));
    Bytes wire = Sent([&] { gen.SendFunction(6); });
    ASSERT_EQ(wire.size(), 2 + 2 * kP3TablePoints);
    EXPECT_EQ(wire[1], 1);
    for (size_t i = 0; i < kP3TablePoints; i += 16) {
        const auto word = static_cast<int16_t>((wire[2 + 2 * i] << 8) | wire[3 + 2 * i]);
        EXPECT_EQ(word, std::trunc(-512 * std::sin(2 * std::numbers::pi * i / 257))) << i;
    }
    EXPECT_EQ(g_nP3Function, 6u);
    // A formula that cannot be evaluated sends nothing and keeps the waveform.
    ASSERT_TRUE(gen.SetFormula(u"LN(X-7)", false));
    EXPECT_TRUE(Sent([&] { gen.SendFunction(6); }, 0).empty());
    EXPECT_EQ(g_nP3Function, 6u);
    // The simulated interface gets nothing, the waveform is still taken.
    auto* closed = new ScriptedStream(ScriptedStream::Kind::closed);
    kobface.SetStream(closed);
    gen.SendFunction(2);
    EXPECT_TRUE(closed->Written().empty());
    EXPECT_EQ(g_nP3Function, 2u);
}

TEST_F(ThreePhaseTest, OutputsGoOffFirstAndOnLast) {
    gen.SetFrequency(60);
    gen.SetEnable(1);
    EXPECT_EQ(Sent([&] { gen.SendChanges(); }, 2), (Bytes{0x44, 60, 0x40}));
    gen.SetFrequency(50);
    gen.SetEnable(0);
    EXPECT_EQ(Sent([&] { gen.SendChanges(); }, 2), (Bytes{0x41, 0x44, 50}));
}

TEST_F(ThreePhaseTest, PhasesClickedWhileThePassSendsGoOutNextPass) {
    gen.SetPhases(90, 180);
    stream->OnWrite(0x47, [&] { gen.SetPhases(30, 60); });
    EXPECT_EQ(Sent([&] { gen.SendChanges(); }), (Bytes{0x47, 0x01, 0x0E, 0x00, 0xB4}));
    EXPECT_EQ(std::tuple(uint32_t{g_nP3Phase2}, uint32_t{g_nP3Phase3}), std::tuple(30u, 60u));
    EXPECT_EQ(Sent([&] { gen.SendChanges(); }), (Bytes{0x47, 0x01, 0x4A, 0x01, 0x2C}));
}

TEST_F(ThreePhaseTest, StoredSettingsAndAnOldRecord) {
    g_abP3PhaseOn[1] = 1;
    g_nP3Frequency = 42;
    g_bP3DcMode = 0;
    g_strP3Formula = u"X*2";
    const Bytes stored = Stored(gen);
    ASSERT_EQ(stored.size(), 13 * 4 + 4 + 6u);

    g_abP3PhaseOn[1] = 0;
    g_nP3Frequency = 1;
    g_byP3Enable = 1;
    g_bP3DcMode = 1;
    Load(gen, stored);
    EXPECT_EQ(std::tuple(uint8_t{g_abP3PhaseOn[1]}, uint32_t{g_nP3Frequency}, uint8_t{g_byP3Enable},
                         uint8_t{g_bP3DcMode}),
              std::tuple(uint8_t{1}, 42u, uint8_t{0}, uint8_t{0}));
    EXPECT_EQ(g_strP3Formula, u"X*2");
    EXPECT_EQ(gen.TakeChanged(), kP3ChangedAll);

    // Version 1 ends the record: only the switch goes off.
    g_byP3Enable = 1;
    Load(gen, {1, 0, 0, 0});
    EXPECT_EQ(g_byP3Enable, 0);
    EXPECT_EQ(g_nP3Frequency, 42u);
}

} // namespace
