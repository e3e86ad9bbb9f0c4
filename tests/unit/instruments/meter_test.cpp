// The multimeter and counter models: their commands on the wire, the
// decoding of the box's sums into volts, the periodic service and the
// stored settings.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "instruments/meter/meter.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "support/stored.h"

namespace {

using State =
    std::tuple<uint16_t, uint16_t, double, double, uint32_t, uint32_t, uint32_t, uint32_t>;

// What the box sends after a read command, before encoding.
struct BoxSums {
    int currentA = 0, currentB = 0;
    int64_t firstA = 0, firstB = 0, secondA = 0, secondB = 0, thirdA = 0, thirdB = 0;
    int minA = 0, maxA = 0, minB = 0, maxB = 0;
};

// Samples are words from a model-2 box, single bytes from a model-1 box.
Bytes Encode(const BoxSums& s, bool wide) {
    Bytes out;
    auto sample = [&](int v) { out = Cat({out, wide ? Be16(uint16_t(v)) : Bytes{uint8_t(v)}}); };
    sample(s.currentA);
    sample(s.currentB);
    for (int64_t v : {s.firstA, s.firstB, s.secondA, s.secondB, s.thirdA, s.thirdB}) {
        out = Cat({out, Be16(uint16_t(uint64_t(v) >> 16)), Be16(uint16_t(v))});
    }
    for (int v : {s.minA, s.maxA, s.minB, s.maxB}) {
        sample(v);
    }
    return out;
}

// The module-wide settings and results outlive every test: each test
// starts from the defaults and a connected model-2 box.
class MeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGlobals();
        stream = new ScriptedStream;
        kobface.SetStream(stream);
        meter.TakeChanged(); // its first settings went out already
    }
    static void ResetGlobals() {
        g_byModel = 2;
        g_wMeterTime = 10;
        g_wBufferSize = 2048;
        g_dShunt1 = 10.0;
        g_dShunt2 = 10.0;
        g_MeterA = g_MeterB = MeterRecord{};
        g_bOverA = 0;
        g_bOverB = 0;
        g_nRangeA = 8;
        g_nRangeB = 8;
        g_nCouplingA = 0;
        g_nCouplingB = 0;
    }
    // Time, buffer size, shunts 1 and 2, coupling and range of A and of B.
    static auto Settings() {
        return std::tie(g_wMeterTime, g_wBufferSize, g_dShunt1, g_dShunt2, g_nCouplingA, g_nRangeA,
                        g_nCouplingB, g_nRangeB);
    }
    // Bytes written since the last look.
    Bytes Sent() {
        Bytes out = stream->Written();
        stream->ClearWritten();
        return out;
    }
    CKobface kobface;
    ScriptedStream* stream = nullptr;
    CKobMeter meter{&kobface};
    MeterRecord a, b;
};

} // namespace

TEST_F(MeterTest, CommandsOnTheWireTheirAcknowledgementsAndTheStatus) {
    CKobCounter counter(&kobface);
    struct Case {
        const char* name;
        std::function<void()> run;
        Bytes bytes;
        bool acked;
    } cases[] = {
        // clang-format off
        {"input", [&] { meter.SetInput(3, 1, 12, 2); }, {0x60, 0x0C, 0x83}, true},
        {"timing", [&] { meter.SetTiming(0x0102, 0x0800); }, {0x61, 0x01, 0x02, 0x0C, 0x83, 0x08, 0x00}, true},
        // clang-format on
        {"start", [&] { meter.Start(); }, {0x62}, true},
        {"stop", [&] { meter.Stop(); }, {0x63}, false},
        {"counter start", [&] { EXPECT_TRUE(counter.StartCounter()); }, {0x59}, true},
        {"counter stop", [&] { counter.StopCounter(); }, {0x5A}, true},
        {"status", [&] { EXPECT_EQ(meter.GetStatus(), '!'); }, {0x65}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stream->Reply("!");
        c.run();
        EXPECT_EQ(stream->Writes(), std::vector<Bytes>{c.bytes}); // one transfer on USB
        EXPECT_EQ(stream->Unread(), c.acked ? 0u : 1u);
        stream->Purge();
        stream->ClearWritten();
    }
    EXPECT_EQ(State(Settings()), (State{0x0102, 0x0800, 10, 10, 1, 3, 2, 12}));
    EXPECT_EQ(meter.TakeChanged(), 0); // sent at once: no change bit added
    // A failed status exchange is 128, without a message.
    ScriptedUi ui;
    stream->FailNextWrite(20013);
    EXPECT_EQ(meter.GetStatus(), 128);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(MeterTest, RepliesDecodeIntoVoltsAndFlagTheConverterEnds) {
    const double up2 = 50.0 / 511, up1 = 50.0 / 127, down1 = 50.0 / 128; // steps at 50 V
    const std::vector<double> zero(kMeterValues, 0.0);
    struct Case {
        const char* what;
        uint8_t model;
        uint16_t buffer;
        uint32_t rangeA, rangeB;
        Bytes reply;
        // mean, second sum, max, peak-to-peak, RMS, current; empty: not looked at
        std::vector<double> a, b;
        uint8_t overA, overB;
    };
    // clang-format off
    const Case cases[] = {
        // Words: A at the top of its range (over), B on 5 V.
        {"words", 2, 2048, 8, 5,
         Encode({.currentA = -1, .currentB = 511, .firstA = 2048 * 511, .firstB = -2048 * 255,
                 .secondA = -2048 * 100, .thirdA = int64_t{2048} * 511 * 511, .minA = -510,
                 .maxA = 511, .minB = -300, .maxB = 200}, true),
         {50.0, -100 * up2, 50.0, 1021 * up2, 50.0, -up2},
         {-255.0 / 511 * 5, 0.0, 200.0 / 511 * 5, 500.0 / 511 * 5, 0.0, 5.0}, 1, 0},
        // Bytes: below zero a step is 1/128 of the range, above it 1/127.
        {"bytes", 1, 2048, 8, 3,
         Encode({.currentA = -128, .currentB = 127, .firstA = -2048 * 128, .firstB = 2048 * 127,
                 .secondA = 2048 * 64, .secondB = -2048, .thirdA = int64_t{2048} * 127 * 127,
                 .minA = -128, .maxA = 127, .minB = -127, .maxB = 126}, false),
         {-50.0, 64 * up1, 50.0, 100.0, 50.0, -50.0},
         {1.0, -1.0 / 128, 126.0 / 127, 126.0 / 127 + 127.0 / 128, 0.0, 1.0}, 1, 0},
        {"unsigned third sum", 2, 16384, 14, 0,
         Encode({.firstB = -16384 * 511, .thirdA = int64_t{16384} * 511 * 511,
                 .thirdB = 16384 * 100}, true),
         {0, 0, 0, 0, 5000.0, 0}, {-0.1, 0, 0, 0, 10.0 / 511 * 0.1, 0}, 0, 0},
        {"fractions of a step", 2, 4, 8, 8, Encode({.firstA = 1, .secondA = -2, .thirdA = 1}, true),
         {0.25 * up2, -0.5 * up2, 0, 0, 0.5 * up2, 0}, zero, 0, 0},
        {"no samples, bytes", 1, 0, 8, 8,
         Encode({.currentA = 60, .firstA = 5000, .firstB = -1, .secondA = -7000, .thirdA = 90000,
                 .minA = -50, .maxA = 100}, false),
         {0, 0, 100 * up1, 100 * up1 + 50 * down1, 0, 60 * up1}, zero, 0, 0},
        {"word ends", 2, 2048, 8, 8, Encode({.minA = -510, .maxA = 510, .minB = -511}, true),
         {}, {}, 0, 1},
        {"byte ends", 1, 2048, 8, 8, Encode({.minA = -127, .maxA = 126, .minB = -128}, false),
         {}, {}, 0, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_byModel = c.model;
        g_wBufferSize = c.buffer;
        g_nRangeA = c.rangeA;
        g_nRangeB = c.rangeB;
        g_bOverA = 7;
        g_bOverB = 7;
        stream->Reply(c.reply);
        meter.ReadValues(a, b);
        EXPECT_EQ(Sent(), (Bytes{static_cast<uint8_t>(c.model == 2 ? 0x66 : 0x64)}));
        EXPECT_EQ(stream->Unread(), 0u); // the whole reply, no more
        for (size_t i = 0; i < c.a.size(); ++i) {
            EXPECT_DOUBLE_EQ(a.v[i], c.a[i]) << i;
            EXPECT_DOUBLE_EQ(b.v[i], c.b[i]) << i;
        }
        EXPECT_EQ(g_bOverA, c.overA);
        EXPECT_EQ(g_bOverB, c.overB);
    }
    EXPECT_EQ(std::vector<double>(g_MeterA.v, g_MeterA.v + kMeterValues),
              zero); // the caller's records only
}

TEST_F(MeterTest, SendChangesAndPollSendInputBeforeTimingAndOnlyWhatChanged) {
    EXPECT_EQ(CKobMeter(&kobface).m_wChanged, 0xFFFF); // a new meter sends everything first
    g_nRangeA = 5;
    g_nCouplingB = 1;
    g_wMeterTime = 20;
    meter.SetChanged(0xFFFF);
    stream->Reply("!!");
    meter.SendChanges();
    EXPECT_EQ(Sent(), (Bytes{0x60, 0x88, 0x05, 0x61, 0x00, 0x14, 0x88, 0x05, 0x08, 0x00}));
    meter.SendChanges();
    EXPECT_TRUE(Sent().empty());
    // A refused command is not sent again, nor what came after it.
    meter.SetChanged(0xFFFF);
    stream->Reply("?");
    EXPECT_THROW(meter.SendChanges(), CCommException);
    EXPECT_EQ(Sent(), (Bytes{0x60, 0x88, 0x05}));
    meter.SendChanges();
    EXPECT_TRUE(Sent().empty());

    // Poll: pending changes first, then the status decides: read, start or wait.
    ResetGlobals();
    struct Case {
        Bytes replies, sent;
        uint8_t status;
    } cases[] = {
        {Cat({{kMeterMeasured}, Encode({.firstA = 2048 * 511}, true)}),
         {0x65, 0x66},
         kMeterMeasured},
        {{kMeterReady, kAck}, {0x65, 0x62}, kMeterReady},
        {{kMeterMeasuring}, {0x65}, kMeterMeasuring},
        {{kAck}, {0x60, 0x03, 0x08, 0x65}, kMeterFailure}, // the range mark, then silence
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        if (c.status == kMeterFailure) {
            meter.SetRangeB(3); // the window only marks it; the worker sends it
            EXPECT_TRUE(stream->Written().empty());
        }
        stream->Reply(c.replies);
        meter.Poll();
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(meter.m_byStatus, c.status);
        EXPECT_EQ(stream->Unread(), 0u);
        EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 50.0); // a failure leaves the last values
    }
}

TEST_F(MeterTest, SettingsSnapshotAndStoredSettings) {
    const State set{33, 512, 0.5, 2.25, 1, 0x0D, 2, 0x0C};
    Settings() = set;
    CSettings* snap = meter.GetSettings();
    ASSERT_NE(dynamic_cast<CMeterSettings*>(snap), nullptr);
    ResetGlobals();
    meter.SetSettings(new CSettings); // another model's snapshot: freed, nothing changes
    meter.SetSettings(nullptr);
    EXPECT_EQ(meter.TakeChanged(), 0);
    EXPECT_EQ(g_wMeterTime, 10);
    meter.SetSettings(snap);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF);
    EXPECT_EQ(State(Settings()), set);
    EXPECT_TRUE(stream->Written().empty());

    // Stored: version 2, couplings and ranges, then the shunts; time and
    // buffer size are not kept. Version 1 has no shunts: the ones in use stay.
    const Bytes out = Stored(meter);
    EXPECT_EQ(out, Cat({Le32(2), Le32(1), Le32(0x0D), Le32(2), Le32(0x0C), Le64(0.5), Le64(2.25)}));
    struct Case {
        Bytes data;
        State settings;
        size_t remaining;
    } cases[] = {
        {out, {77, 100, 0.5, 2.25, 1, 0x0D, 2, 0x0C}, 0},
        {Cat({Le32(1), Le32(0), Le32(5), Le32(1), Le32(6), {0xEE}}),
         {77, 100, 0.5, -2.0, 0, 5, 1, 6},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.data[0]));
        Settings() = State{77, 100, 0.5, -2.0, 0, 8, 0, 8};
        EXPECT_EQ(Load(meter, c.data), c.remaining);
        EXPECT_EQ(State(Settings()), c.settings);
        EXPECT_EQ(meter.TakeChanged(), 0xFFFF);
    }
    // A file that ends early, or names a row past the range table, an
    // unknown coupling or a shunt no current can pass, changes nothing.
    const State before = Settings();
    for (size_t n = 0; n < out.size(); ++n) {
        EXPECT_THROW(Load(meter, out, n), CArchiveException) << n;
        EXPECT_EQ(State(Settings()), before);
    }
    auto block = [](uint32_t rangeB, uint32_t couplingB, double shunt2) {
        return Cat(
            {Le32(2), Le32(0), Le32(3), Le32(couplingB), Le32(rangeB), Le64(1.0), Le64(shunt2)});
    };
    const Bytes bad[] = {block(15, 0, 1.0), block(3, 3, 1.0), block(3, 0, 0.0), block(3, 0, -1.0),
                         block(3, 0, std::nan(""))};
    for (const Bytes& b : bad) {
        EXPECT_THROW(Load(meter, b), CArchiveException);
        EXPECT_EQ(State(Settings()), before);
    }
    EXPECT_EQ(meter.TakeChanged(), 0);
}

TEST_F(MeterTest, CounterSendChangesFollowsTheRunFlagAndStoresOnlyItsVersion) {
    CKobCounter counter(&kobface);
    struct Case {
        uint8_t run;
        uint32_t mask, left;
        Bytes bytes;
    } cases[] = {
        {1, 1, 0, {0x59}},
        {0, 0x8001, 0, {0x5A}},
        {0, 2, 0, {}},             // other low bits are cleared without a command
        {0, 0x30000, 0x30000, {}}, // bits above the low 16 are not looked at
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        counter.m_bRun = c.run;
        counter.m_dwCounterChanged = c.mask;
        stream->Reply(c.bytes.empty() ? "" : "!");
        counter.SendChanges();
        EXPECT_EQ(Sent(), c.bytes);
        EXPECT_EQ(counter.m_dwCounterChanged, c.left);
        EXPECT_EQ(stream->Unread(), 0u);
    }
    EXPECT_EQ(counter.m_wChanged, 0); // the meter's mask is not the counter's
    EXPECT_EQ(Stored(counter), (Bytes{1, 0, 0, 0}));
    EXPECT_THROW(Load(counter, {1, 0}), CArchiveException);
}
