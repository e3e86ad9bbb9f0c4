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
#include "framework/archive.h"
#include "instruments/meter/meter.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"

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
    auto sample = [&](int v) {
        if (wide) {
            out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
        }
        out.push_back(static_cast<uint8_t>(v & 0xFF));
    };
    auto put = [&](int64_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> shift));
        }
    };
    sample(s.currentA);
    sample(s.currentB);
    for (int64_t v : {s.firstA, s.firstB, s.secondA, s.secondB, s.thirdA, s.thirdB}) {
        put(v);
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
        m_savedModel = g_byModel;
        g_byModel = 2;
        ResetGlobals();
        stream = new ScriptedStream;
        kobface.SetStream(stream);
        meter.TakeChanged(); // its first settings went out already
    }
    void TearDown() override {
        ResetGlobals();
        g_byModel = m_savedModel;
    }
    static void ResetGlobals() {
        g_wMeterTime = 10;
        g_wBufferSize = 2048;
        g_dShunt1 = g_dShunt2 = 10.0;
        g_MeterA = g_MeterB = MeterRecord{};
        g_bOverA = g_bOverB = 0;
        g_nRangeA = g_nRangeB = 8;
        g_nCouplingA = g_nCouplingB = 0;
    }
    // Time, buffer size, shunts 1 and 2, coupling and range of A and of B.
    static auto Settings() {
        return std::tie(g_wMeterTime, g_wBufferSize, g_dShunt1, g_dShunt2, g_nCouplingA, g_nRangeA,
                        g_nCouplingB, g_nRangeB);
    }
    static Bytes Store(CKobDevice& d) {
        Bytes out;
        CArchive ar(out);
        d.Serialize(ar);
        return out;
    }
    // Bytes written since the last look.
    Bytes Sent() {
        Bytes out = stream->Written();
        stream->ClearWritten();
        return out;
    }
    static std::vector<double> Values(const MeterRecord& r) { return {r.v, r.v + kMeterValues}; }

    CKobface kobface;
    ScriptedStream* stream = nullptr;
    CKobMeter meter{&kobface};
    MeterRecord a, b;

private:
    uint8_t m_savedModel = 0;
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
        {"input", [&] { meter.SetInput(3, 1, 12, 2); }, {0x60, 0x0C, 0x83}, true},
        {"timing",
         [&] { meter.SetTiming(0x0102, 0x0800); },
         {0x61, 0x01, 0x02, 0x0C, 0x83, 0x08, 0x00},
         true},
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
    EXPECT_EQ(meter.GetStatus(), 128); // nothing comes back
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
        // Current -1 and 511; first sums 2048*511 and -2048*255; second sums
        // -2048*100 and 0; third sums 2048*511^2 and 0; A from -510 to 511,
        // B from -300 to 200.
        {"words", 2, 2048, 8, 5,
         {0xFF, 0xFF, 0x01, 0xFF, 0x00, 0x0F, 0xF8, 0x00, 0xFF, 0xF8, 0x08, 0x00,
          0xFF, 0xFC, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0xE0, 0x08, 0x00,
          0x00, 0x00, 0x00, 0x00, 0xFE, 0x02, 0x01, 0xFF, 0xFE, 0xD4, 0x00, 0xC8},
         {50.0, -100 * up2, 50.0, 1021 * up2, 50.0, -up2},
         {-255.0 / 511 * 5, 0.0, 200.0 / 511 * 5, 500.0 / 511 * 5, 0.0, 5.0}, 1, 0},
        // Current -128 and 127; first sums -2048*128 and 2048*127; second sums
        // 2048*64 and -2048; third sums 2048*127^2 and 0; A from -128 to 127,
        // B from -127 to 126 on 1 V.
        {"bytes", 1, 2048, 8, 3,
         {0x80, 0x7F, 0xFF, 0xFC, 0x00, 0x00, 0x00, 0x03, 0xF8, 0x00, 0x00, 0x02, 0x00, 0x00,
          0xFF, 0xFF, 0xF8, 0x00, 0x01, 0xF8, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x7F,
          0x81, 0x7E},
         {-50.0, 64 * up1, 50.0, 100.0, 50.0, -50.0},
         {1.0, -1.0 / 128, 126.0 / 127, 126.0 / 127 + 127.0 / 128, 0.0, 1.0}, 1, 0},
        {"unsigned third sum", 2, 16384, 14, 0,
         Encode({.firstB = -16384 * 511, .thirdA = int64_t{16384} * 511 * 511,
                 .thirdB = 16384 * 100}, true),
         {0, 0, 0, 0, 5000.0, 0}, {-0.1, 0, 0, 0, 10.0 / 511 * 0.1, 0}, 0, 0},
        {"fractions of a step", 2, 4, 8, 8, Encode({.firstA = 1, .secondA = -2, .thirdA = 1}, true),
         {0.25 * up2, -0.5 * up2, 0, 0, 0.5 * up2, 0}, zero, 0, 0},
        {"range outside the table", 2, 1, 40, 8,
         Encode({.currentA = 100, .firstA = 100, .maxA = 100}, true), zero, zero, 0, 0},
        {"no samples, words", 2, 0, 8, 8,
         Encode({.currentA = 60, .firstA = 5000, .firstB = -1, .secondA = -7000, .thirdA = 90000,
                 .minA = -50, .maxA = 100}, true),
         {0, 0, 100 * up2, 150 * up2, 0, 60 * up2}, zero, 0, 0},
        {"no samples, bytes", 1, 0, 8, 8,
         Encode({.currentA = 60, .firstA = 5000, .firstB = -1, .secondA = -7000, .thirdA = 90000,
                 .minA = -50, .maxA = 100}, false),
         {0, 0, 100 * up1, 100 * up1 + 50 * down1, 0, 60 * up1}, zero, 0, 0},
        {"word ends", 2, 2048, 8, 8, Encode({.minA = -510, .maxA = 510, .minB = -511}, true),
         {}, {}, 0, 1},
        {"byte bottom", 1, 2048, 8, 8, Encode({.minA = -128}, false), {}, {}, 1, 0},
        {"bytes inside", 1, 2048, 8, 8,
         Encode({.minA = -127, .maxA = 126, .minB = -1, .maxB = 1}, false), {}, {}, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_byModel = c.model;
        g_wBufferSize = c.buffer;
        g_nRangeA = c.rangeA;
        g_nRangeB = c.rangeB;
        g_bOverA = g_bOverB = 7;
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
    EXPECT_EQ(Values(g_MeterA), zero); // the caller's records only
}

TEST_F(MeterTest, SendChangesSendsInputBeforeTimingAndOnlyWhatChanged) {
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

    // The window setters only mark the input; the worker sends it later.
    meter.SetRangeA(2);
    meter.SetRangeB(11);
    meter.SetCouplingA(1);
    meter.SetCouplingB(2);
    EXPECT_TRUE(stream->Written().empty());
    stream->Reply("!");
    meter.SendChanges();
    EXPECT_EQ(Sent(), (Bytes{0x60, 0x0B, 0x82}));
    meter.SetChanged(kMeterChangedTiming);
    stream->Reply("!");
    meter.SendChanges();
    EXPECT_EQ(Sent(), (Bytes{0x61, 0x00, 0x14, 0x0B, 0x82, 0x08, 0x00}));

    // A refused command is not sent again, nor what came after it.
    meter.SetChanged(0xFFFF);
    stream->Reply("?");
    EXPECT_THROW(meter.SendChanges(), CCommException);
    EXPECT_EQ(Sent(), (Bytes{0x60, 0x0B, 0x82}));
    meter.SendChanges();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MeterTest, PollReadsAMeasurementStartsAReadyMeterAndWaitsOtherwise) {
    stream->Reply({kMeterMeasured});
    stream->Reply(Encode({.firstA = 2048 * 511, .firstB = -2048 * 511, .maxB = 511}, true));
    meter.Poll();
    EXPECT_EQ(Sent(), (Bytes{0x65, 0x66}));
    EXPECT_EQ(meter.m_byStatus, kMeterMeasured);
    EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 50.0);
    EXPECT_DOUBLE_EQ(g_MeterB.v[kMeterMean], -50.0);
    EXPECT_EQ(g_bOverB, 1);
    EXPECT_EQ(stream->Unread(), 0u);

    stream->Reply({kMeterReady, kAck});
    meter.Poll();
    EXPECT_EQ(Sent(), (Bytes{0x65, 0x62})); // started again
    EXPECT_EQ(meter.m_byStatus, kMeterReady);
    EXPECT_EQ(stream->Unread(), 0u);

    stream->Reply({kMeterMeasuring});
    meter.Poll();
    EXPECT_EQ(Sent(), (Bytes{0x65}));
    EXPECT_EQ(meter.m_byStatus, kMeterMeasuring);

    // Pending changes go first; a silent box is a failure status and
    // leaves the last values.
    meter.SetRangeB(3);
    stream->Reply("!");
    meter.Poll();
    EXPECT_EQ(Sent(), (Bytes{0x60, 0x03, 0x08, 0x65}));
    EXPECT_EQ(meter.m_byStatus, kMeterFailure);
    EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 50.0);
}

TEST_F(MeterTest, SettingsSnapshotCopiesOutAndBack) {
    const State set{33, 512, 0.5, 2.25, 1, 4, 2, 13};
    Settings() = set;
    CSettings* snap = meter.GetSettings();
    ASSERT_NE(dynamic_cast<CMeterSettings*>(snap), nullptr);
    ResetGlobals();
    meter.SetSettings(nullptr);
    EXPECT_EQ(meter.TakeChanged(), 0);
    meter.SetSettings(snap);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF);
    EXPECT_EQ(State(Settings()), set);
    EXPECT_TRUE(stream->Written().empty());
    // Another model's snapshot is freed and changes nothing.
    ResetGlobals();
    meter.SetSettings(new CSettings);
    EXPECT_EQ(meter.TakeChanged(), 0);
    EXPECT_EQ(g_wMeterTime, 10);
}

TEST_F(MeterTest, StoredSettingsAreVersion2WithShuntsAndVersion1Loads) {
    Settings() = State{10, 2048, 1.0, -2.0, 1, 0x0D, 2, 0x0203};
    const Bytes out = Store(meter);
    // Version, couplings and ranges, then the shunts 1.0 and -2.0.
    EXPECT_EQ(out, (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 0x0D, 0,    0, 0, 2, 0, 0, 0, 3, 2,
                          0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0xC0}));

    struct Case {
        Bytes data;
        State settings;
        size_t remaining;
    } cases[] = {
        // Time and buffer size are not kept.
        {out, {77, 100, 1.0, -2.0, 1, 0x0D, 2, 0x0203}, 0},
        // Version 1 has no shunts: the ones in use stay.
        {{1, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0xEE},
         {77, 100, 1.0, -2.0, 0, 5, 1, 6},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.data[0]));
        Settings() = State{77, 100, 1.0, -2.0, 0, 8, 0, 8};
        CArchive ar(c.data.data(), c.data.size());
        meter.Serialize(ar);
        EXPECT_EQ(ar.Remaining(), c.remaining);
        EXPECT_EQ(State(Settings()), c.settings);
        EXPECT_EQ(meter.TakeChanged(), 0xFFFF);
    }

    // A file that ends inside the block changes nothing.
    const State before = Settings();
    Bytes cut(out.begin(), out.end() - 3);
    CArchive ar(cut.data(), cut.size());
    EXPECT_THROW(meter.Serialize(ar), CArchiveException);
    EXPECT_EQ(State(Settings()), before);
    EXPECT_EQ(meter.TakeChanged(), 0);
}

TEST_F(MeterTest, CounterSendChangesFollowsTheRunFlagAndStoresOnlyItsVersion) {
    CKobCounter counter(&kobface);
    struct Case {
        uint8_t run;
        uint32_t mask, left;
        Bytes bytes;
    } cases[] = {
        {0, 0, 0, {}},
        {1, 1, 0, {0x59}},
        {0, 0x8001, 0, {0x5A}},
        {0, 2, 0, {}},             // other low bits are cleared without a command
        {0, 0x30000, 0x30000, {}}, // bits above the low 16 are not looked at
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        counter.m_bRun = c.run;
        counter.m_dwCounterChanged = c.mask;
        if (!c.bytes.empty()) {
            stream->Reply("!");
        }
        counter.SendChanges();
        EXPECT_EQ(Sent(), c.bytes);
        EXPECT_EQ(counter.m_dwCounterChanged, c.left);
        EXPECT_EQ(stream->Unread(), 0u);
    }
    // A refused command is not sent again; the meter's mask is not the counter's.
    counter.m_bRun = 1;
    counter.m_dwCounterChanged = 1;
    stream->Reply("?");
    EXPECT_THROW(counter.SendChanges(), CCommException);
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);
    EXPECT_EQ(counter.m_wChanged, 0);

    EXPECT_EQ(Store(counter), (Bytes{1, 0, 0, 0}));
    const Bytes cut = {1, 0};
    CArchive bad(cut.data(), cut.size());
    EXPECT_THROW(counter.Serialize(bad), CArchiveException);
}
