// The multimeter and counter models: their commands on the wire, the
// decoding of the box's sums into volts, the periodic service and the
// stored settings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/meter/meter.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"

namespace {

// What the box sends after a read command, before encoding.
struct BoxSums {
    int currentA = 0;
    int currentB = 0;
    int64_t firstA = 0;
    int64_t firstB = 0;
    int64_t secondA = 0;
    int64_t secondB = 0;
    int64_t thirdA = 0;
    int64_t thirdB = 0;
    int minA = 0;
    int maxA = 0;
    int minB = 0;
    int maxB = 0;
};

void PutLong(Bytes& out, int64_t v) {
    auto u = static_cast<uint32_t>(v);
    out.push_back(static_cast<uint8_t>(u >> 24));
    out.push_back(static_cast<uint8_t>(u >> 16));
    out.push_back(static_cast<uint8_t>(u >> 8));
    out.push_back(static_cast<uint8_t>(u));
}

// A model-2 box sends samples as words, a model-1 box as single bytes.
void PutSample(Bytes& out, int v, bool wide) {
    auto u = static_cast<uint16_t>(v);
    if (wide) {
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    out.push_back(static_cast<uint8_t>(u & 0xFF));
}

Bytes Encode(const BoxSums& s, bool wide) {
    Bytes out;
    PutSample(out, s.currentA, wide);
    PutSample(out, s.currentB, wide);
    PutLong(out, s.firstA);
    PutLong(out, s.firstB);
    PutLong(out, s.secondA);
    PutLong(out, s.secondB);
    PutLong(out, s.thirdA);
    PutLong(out, s.thirdB);
    PutSample(out, s.minA, wide);
    PutSample(out, s.maxA, wide);
    PutSample(out, s.minB, wide);
    PutSample(out, s.maxB, wide);
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
    }
    void TearDown() override {
        ResetGlobals();
        g_byModel = m_savedModel;
    }
    static void ResetGlobals() {
        g_wMeterTime = 10;
        g_wBufferSize = 2048;
        g_dShunt1 = 10.0;
        g_dShunt2 = 10.0;
        g_MeterA = MeterRecord{};
        g_MeterB = MeterRecord{};
        g_bOverA = 0;
        g_bOverB = 0;
        g_nRangeA = 8;
        g_nCouplingA = 0;
        g_nRangeB = 8;
        g_nCouplingB = 0;
    }
    // A meter whose first settings went out already.
    void Quiet(CKobDevice& d) { d.TakeChanged(); }

    CKobface kobface;
    ScriptedStream* stream = nullptr;

private:
    uint8_t m_savedModel = 0;
};

MeterRecord Filled(double v) {
    MeterRecord r;
    for (double& x : r.v) {
        x = v;
    }
    return r;
}

} // namespace

TEST_F(MeterTest, InputAndTimingCommandsCarryTheInputWordAndAreAcknowledged) {
    CKobMeter meter(&kobface);
    stream->Reply("!");
    meter.SetInput(3, 1, 12, 2);
    EXPECT_EQ(stream->Written(), (Bytes{0x60, 0x0C, 0x83}));
    EXPECT_EQ(g_nRangeA, 3u);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeB, 12u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(stream->Unread(), 0u);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF); // sent at once: no change bit added or taken

    stream->ClearWritten();
    stream->Reply("!");
    meter.SetTiming(0x0102, 0x0800);
    EXPECT_EQ(stream->Written(), (Bytes{0x61, 0x01, 0x02, 0x0C, 0x83, 0x08, 0x00}));
    EXPECT_EQ(stream->Writes().size(), 1u); // one transfer on USB
    EXPECT_EQ(g_wMeterTime, 0x0102);
    EXPECT_EQ(g_wBufferSize, 0x0800);

    // A box that does not take the command: the error reaches the caller.
    stream->ClearWritten();
    stream->Reply("?");
    try {
        meter.SetInput(8, 0, 8, 1);
        FAIL() << "a refused input command passed";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20014u);
    }
    EXPECT_EQ(stream->Written(), (Bytes{0x60, 0x88, 0x08}));
    stream->Reply("?");
    EXPECT_THROW(meter.SendTiming(), CCommException);
}

TEST_F(MeterTest, StartIsAcknowledgedStopIsNot) {
    CKobMeter meter(&kobface);
    stream->Reply("!");
    meter.Start();
    EXPECT_EQ(stream->Written(), (Bytes{0x62}));
    EXPECT_EQ(stream->Unread(), 0u);

    stream->ClearWritten();
    stream->Reply("!");
    meter.Stop();
    EXPECT_EQ(stream->Written(), (Bytes{0x63}));
    EXPECT_EQ(stream->Unread(), 1u); // Stop leaves the byte for the next reader

    stream->Purge();
    EXPECT_THROW(meter.Start(), CCommException); // silent box
    stream->Reply("?");
    EXPECT_THROW(meter.Start(), CCommException);
}

TEST_F(MeterTest, StatusIsTheBoxByteAndAFailedExchangeIs128WithoutAMessage) {
    ScriptedUi ui;
    CKobMeter meter(&kobface);
    stream->Reply({1});
    EXPECT_EQ(meter.GetStatus(), 1);
    EXPECT_EQ(stream->Written(), (Bytes{0x65}));
    stream->Reply({2});
    EXPECT_EQ(meter.GetStatus(), 2);

    // Nothing comes back.
    EXPECT_EQ(meter.GetStatus(), 128);
    // The line fails on the way out.
    stream->FailNextWrite(20013);
    EXPECT_EQ(meter.GetStatus(), 128);
    // No line at all.
    CKobface lineless;
    CKobMeter orphan(&lineless);
    EXPECT_EQ(orphan.GetStatus(), 128);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.beeps, 0);
}

TEST_F(MeterTest, Model2ReplyOfSignedWordsBigEndian) {
    g_nRangeA = 8; // 50 V
    g_nRangeB = 5; // 5 V
    CKobMeter meter(&kobface);
    // Written out by hand: current A -1, current B 511; first sums
    // 2048*511 and -2048*255; second sums -2048*100 and 0; third sums
    // 2048*511^2 and 0; A from -510 to 511, B from -300 to 200.
    stream->Reply({0xFF, 0xFF, 0x01, 0xFF,                         // current samples
                   0x00, 0x0F, 0xF8, 0x00, 0xFF, 0xF8, 0x08, 0x00, // first sums
                   0xFF, 0xFC, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x00, // second sums
                   0x1F, 0xE0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, // third sums
                   0xFE, 0x02, 0x01, 0xFF,                         // A min, max
                   0xFE, 0xD4, 0x00, 0xC8});                       // B min, max
    MeterRecord a;
    MeterRecord b;
    meter.ReadValues(a, b);
    EXPECT_EQ(stream->Written(), (Bytes{0x66}));
    EXPECT_EQ(stream->Unread(), 0u);

    EXPECT_DOUBLE_EQ(a.v[kMeterCurrent], -50.0 / 511);
    EXPECT_DOUBLE_EQ(b.v[kMeterCurrent], 5.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterMean], 50.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterMean], -255.0 / 511 * 5);
    EXPECT_DOUBLE_EQ(a.v[kMeterSecondSum], -100.0 / 511 * 50);
    EXPECT_DOUBLE_EQ(b.v[kMeterSecondSum], 0.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterRms], 50.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterRms], 0.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterMax], 50.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterPeakToPeak], 1021.0 / 511 * 50);
    EXPECT_DOUBLE_EQ(b.v[kMeterMax], 200.0 / 511 * 5);
    EXPECT_DOUBLE_EQ(b.v[kMeterPeakToPeak], 500.0 / 511 * 5);
    EXPECT_EQ(g_bOverA, 1); // maximum 511
    EXPECT_EQ(g_bOverB, 0);
    // The caller's records only: the module-wide results stay.
    EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 0.0);
}

TEST_F(MeterTest, Model1ReplyOfSignedBytes) {
    g_byModel = 1;
    g_nRangeA = 8; // 50 V
    g_nRangeB = 3; // 1 V
    CKobMeter meter(&kobface);
    // Current A -128, current B 127; first sums -2048*128 and 2048*127;
    // second sums 2048*64 and -2048; third sums 2048*127^2 and 0;
    // A from -128 to 127, B from -127 to 126.
    stream->Reply({0x80, 0x7F,                                     // current samples
                   0xFF, 0xFC, 0x00, 0x00, 0x00, 0x03, 0xF8, 0x00, // first sums
                   0x00, 0x02, 0x00, 0x00, 0xFF, 0xFF, 0xF8, 0x00, // second sums
                   0x01, 0xF8, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, // third sums
                   0x80, 0x7F, 0x81, 0x7E});                       // minima and maxima
    MeterRecord a;
    MeterRecord b;
    meter.ReadValues(a, b);
    EXPECT_EQ(stream->Written(), (Bytes{0x64}));
    EXPECT_EQ(stream->Unread(), 0u);

    EXPECT_DOUBLE_EQ(a.v[kMeterCurrent], -50.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterCurrent], 1.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterMean], -50.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterMean], 1.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterSecondSum], 64.0 / 127 * 50);
    EXPECT_DOUBLE_EQ(b.v[kMeterSecondSum], -1.0 / 128);
    EXPECT_DOUBLE_EQ(a.v[kMeterRms], 50.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterRms], 0.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterMax], 50.0);
    EXPECT_DOUBLE_EQ(a.v[kMeterPeakToPeak], 100.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterMax], 126.0 / 127);
    EXPECT_DOUBLE_EQ(b.v[kMeterPeakToPeak], 126.0 / 127 + 127.0 / 128);
    EXPECT_EQ(g_bOverA, 1); // both ends reached
    EXPECT_EQ(g_bOverB, 0);
}

TEST_F(MeterTest, OverRangeAtTheConverterEndsOfEachModel) {
    CKobMeter meter(&kobface);
    MeterRecord a;
    MeterRecord b;
    struct Case {
        uint8_t model;
        int minA, maxA, minB, maxB;
        uint8_t overA, overB;
    };
    // clang-format off
    const Case cases[] = {
        {2, -510, 510, -511, 0,   0, 1}, // a minimum of -511 is at the end
        {2, -510, 0,   0,    511, 0, 1}, // so is a maximum of 511
        {2, -200, 200, -510, 510, 0, 0},
        {1, 0,    127, -127, 126, 1, 0}, // the top byte
        {1, -128, 0,   0,    0,   1, 0}, // the bottom byte
        {1, -127, 126, -1,   1,   0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        g_byModel = c.model;
        g_bOverA = 7;
        g_bOverB = 7;
        BoxSums s;
        s.minA = c.minA;
        s.maxA = c.maxA;
        s.minB = c.minB;
        s.maxB = c.maxB;
        stream->Reply(Encode(s, c.model == 2));
        meter.ReadValues(a, b);
        EXPECT_EQ(g_bOverA, c.overA) << int(c.model) << " " << c.minA << ".." << c.maxA;
        EXPECT_EQ(g_bOverB, c.overB) << int(c.model) << " " << c.minB << ".." << c.maxB;
        EXPECT_EQ(stream->Unread(), 0u);
    }
}

TEST_F(MeterTest, MeanAndRmsFollowTheBufferSizeAndTheRangeRow) {
    CKobMeter meter(&kobface);
    MeterRecord a;
    MeterRecord b;

    // A third sum above 2^31 is unsigned: 16384 samples at 511.
    g_wBufferSize = 16384;
    g_nRangeA = 14; // 5000 V
    g_nRangeB = 0;  // 0.1 V
    BoxSums big;
    big.thirdA = int64_t{16384} * 511 * 511;
    big.thirdB = int64_t{16384} * 100;
    big.firstB = -16384 * 511;
    stream->Reply(Encode(big, true));
    meter.ReadValues(a, b);
    EXPECT_DOUBLE_EQ(a.v[kMeterRms], 5000.0);
    EXPECT_DOUBLE_EQ(b.v[kMeterRms], 10.0 / 511 * 0.1);
    EXPECT_DOUBLE_EQ(b.v[kMeterMean], -0.1);

    // The division is in floating point: a mean between two steps.
    g_wBufferSize = 4;
    g_nRangeA = 8;
    BoxSums frac;
    frac.firstA = 1;   // a quarter step
    frac.secondA = -2; // half a step below
    frac.thirdA = 1;   // RMS of half a step
    stream->Reply(Encode(frac, true));
    meter.ReadValues(a, b);
    EXPECT_DOUBLE_EQ(a.v[kMeterMean], 0.25 / 511 * 50);
    EXPECT_DOUBLE_EQ(a.v[kMeterSecondSum], -0.5 / 511 * 50);
    EXPECT_DOUBLE_EQ(a.v[kMeterRms], 0.5 / 511 * 50);

    // A range row outside the table (from a stored file) gives 0, not a
    // read outside the table.
    g_nRangeA = 40;
    g_wBufferSize = 1;
    BoxSums any;
    any.currentA = 100;
    any.firstA = 100;
    any.maxA = 100;
    stream->Reply(Encode(any, true));
    meter.ReadValues(a, b);
    for (double v : a.v) {
        EXPECT_EQ(v, 0.0);
    }
}

TEST_F(MeterTest, ABufferSizeOf0ReadsTheWholeReplyAndGivesNoMean) {
    CKobMeter meter(&kobface);
    g_wBufferSize = 0;
    BoxSums s;
    s.currentA = 60;
    s.firstA = 5000;
    s.secondA = -7000;
    s.thirdA = 90000;
    s.firstB = -1;
    s.minA = -50;
    s.maxA = 100;
    for (uint8_t model : {uint8_t{2}, uint8_t{1}}) {
        g_byModel = model;
        stream->Reply(Encode(s, model == 2));
        stream->Reply({kMeterMeasuring}); // the next reply must stay in step
        MeterRecord a = Filled(99);
        MeterRecord b = Filled(99);
        meter.ReadValues(a, b);
        for (const MeterRecord* r : {&a, &b}) {
            EXPECT_EQ(r->v[kMeterMean], 0.0);
            EXPECT_EQ(r->v[kMeterSecondSum], 0.0);
            EXPECT_EQ(r->v[kMeterRms], 0.0);
            for (double v : r->v) {
                EXPECT_TRUE(std::isfinite(v));
            }
        }
        const double step = model == 2 ? 50.0 / 511 : 50.0 / 127;
        const double stepDown = model == 2 ? 50.0 / 511 : 50.0 / 128;
        EXPECT_DOUBLE_EQ(a.v[kMeterMax], 100 * step);
        EXPECT_DOUBLE_EQ(a.v[kMeterCurrent], 60 * step);
        EXPECT_DOUBLE_EQ(a.v[kMeterPeakToPeak], 100 * step + 50 * stepDown);
        EXPECT_EQ(meter.GetStatus(), kMeterMeasuring) << int(model);
    }
}

TEST_F(MeterTest, AShortReplyFailsAndLeavesTheRecordsAsTheyWere) {
    CKobMeter meter(&kobface);
    BoxSums s;
    s.firstA = 2048 * 511;
    s.maxA = 511;
    Bytes reply = Encode(s, true);
    reply.resize(reply.size() - 1);
    stream->Reply(reply);
    MeterRecord a = Filled(1.5);
    MeterRecord b = Filled(2.5);
    g_bOverA = 0;
    try {
        meter.ReadValues(a, b);
        FAIL() << "a short reply was taken";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20012u);
    }
    for (int i = 0; i < kMeterValues; ++i) {
        EXPECT_EQ(a.v[i], 1.5);
        EXPECT_EQ(b.v[i], 2.5);
    }
    EXPECT_EQ(g_bOverA, 0);
}

TEST_F(MeterTest, SendChangesSendsInputBeforeTimingAndOnlyWhatChanged) {
    CKobMeter meter(&kobface);
    EXPECT_EQ(meter.m_wChanged, 0xFFFF); // a new meter sends everything first
    g_nRangeA = 5;
    g_nCouplingB = 1;
    g_wMeterTime = 20;
    stream->Reply("!!");
    meter.SendChanges();
    EXPECT_EQ(stream->Written(),
              (Bytes{0x60, 0x88, 0x05, 0x61, 0x00, 0x14, 0x88, 0x05, 0x08, 0x00}));
    stream->ClearWritten();
    meter.SendChanges();
    EXPECT_TRUE(stream->Written().empty());

    // The window setters only mark the input; the worker sends it later.
    meter.SetRangeA(2);
    meter.SetRangeB(11);
    meter.SetCouplingA(1);
    meter.SetCouplingB(2);
    EXPECT_TRUE(stream->Written().empty());
    EXPECT_EQ(g_nRangeA, 2u);
    EXPECT_EQ(g_nRangeB, 11u);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nCouplingB, 2u);
    stream->Reply("!");
    meter.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x60, 0x0B, 0x82}));

    stream->ClearWritten();
    meter.SetChanged(kMeterChangedTiming);
    stream->Reply("!");
    meter.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x61, 0x00, 0x14, 0x0B, 0x82, 0x08, 0x00}));

    // A refused command is not sent again.
    stream->ClearWritten();
    meter.SetChanged(0xFFFF);
    stream->Reply("?");
    EXPECT_THROW(meter.SendChanges(), CCommException);
    EXPECT_EQ(stream->Written(), (Bytes{0x60, 0x0B, 0x82}));
    stream->ClearWritten();
    meter.SendChanges();
    EXPECT_TRUE(stream->Written().empty());
}

TEST_F(MeterTest, PollReadsAMeasurementStartsAReadyMeterAndWaitsOtherwise) {
    CKobMeter meter(&kobface);
    Quiet(meter);

    // Measured: the values go into the module-wide records.
    BoxSums s;
    s.firstA = 2048 * 511;
    s.firstB = -2048 * 511;
    s.maxB = 511;
    stream->Reply({kMeterMeasured});
    stream->Reply(Encode(s, true));
    meter.Poll();
    EXPECT_EQ(stream->Written(), (Bytes{0x65, 0x66}));
    EXPECT_EQ(meter.m_byStatus, kMeterMeasured);
    EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 50.0);
    EXPECT_DOUBLE_EQ(g_MeterB.v[kMeterMean], -50.0);
    EXPECT_EQ(g_bOverB, 1);
    EXPECT_EQ(stream->Unread(), 0u);

    // Ready: started again.
    stream->ClearWritten();
    stream->Reply({kMeterReady, kAck});
    meter.Poll();
    EXPECT_EQ(stream->Written(), (Bytes{0x65, 0x62}));
    EXPECT_EQ(meter.m_byStatus, kMeterReady);
    EXPECT_EQ(stream->Unread(), 0u);

    // Measuring: only the status.
    stream->ClearWritten();
    stream->Reply({kMeterMeasuring});
    meter.Poll();
    EXPECT_EQ(stream->Written(), (Bytes{0x65}));
    EXPECT_EQ(meter.m_byStatus, kMeterMeasuring);

    // Pending changes go first; a silent box is a failure status and
    // leaves the last values.
    stream->ClearWritten();
    meter.SetRangeB(3);
    stream->Reply("!");
    meter.Poll();
    EXPECT_EQ(stream->Written(), (Bytes{0x60, 0x03, 0x08, 0x65}));
    EXPECT_EQ(meter.m_byStatus, kMeterFailure);
    EXPECT_DOUBLE_EQ(g_MeterA.v[kMeterMean], 50.0);
}

TEST_F(MeterTest, SettingsSnapshotCopiesOutAndBack) {
    CKobMeter meter(&kobface);
    Quiet(meter);
    g_wMeterTime = 33;
    g_wBufferSize = 512;
    g_dShunt1 = 0.5;
    g_dShunt2 = 2.25;
    g_nCouplingA = 1;
    g_nRangeA = 4;
    g_nCouplingB = 2;
    g_nRangeB = 13;
    CSettings* snap = meter.GetSettings();
    auto* ms = dynamic_cast<CMeterSettings*>(snap);
    ASSERT_NE(ms, nullptr);
    EXPECT_EQ(ms->time, 33);
    EXPECT_EQ(ms->bufferSize, 512);
    EXPECT_EQ(ms->shunt1, 0.5);
    EXPECT_EQ(ms->shunt2, 2.25);
    EXPECT_EQ(ms->couplingA, 1u);
    EXPECT_EQ(ms->rangeA, 4u);
    EXPECT_EQ(ms->couplingB, 2u);
    EXPECT_EQ(ms->rangeB, 13u);

    ResetGlobals();
    meter.SetSettings(nullptr);
    EXPECT_EQ(meter.TakeChanged(), 0);
    EXPECT_EQ(g_wMeterTime, 10);
    meter.SetSettings(snap);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF);
    EXPECT_EQ(g_wMeterTime, 33);
    EXPECT_EQ(g_wBufferSize, 512);
    EXPECT_EQ(g_dShunt1, 0.5);
    EXPECT_EQ(g_dShunt2, 2.25);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeA, 4u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(g_nRangeB, 13u);
    EXPECT_TRUE(stream->Written().empty());

    // Another model's snapshot is freed and changes nothing.
    meter.SetSettings(new CSettings);
    EXPECT_EQ(meter.TakeChanged(), 0);
    EXPECT_EQ(g_wMeterTime, 33);
}

TEST_F(MeterTest, StoredSettingsAreVersion2WithShuntsAndVersion1Loads) {
    CKobMeter meter(&kobface);
    Quiet(meter);
    g_nCouplingA = 1;
    g_nRangeA = 0x0D;
    g_nCouplingB = 2;
    g_nRangeB = 0x0203;
    g_dShunt1 = 1.0;
    g_dShunt2 = -2.0;
    std::vector<uint8_t> out;
    {
        CArchive ar(out);
        meter.Serialize(ar);
    }
    // clang-format off
    EXPECT_EQ(out, (Bytes{0x02, 0, 0, 0,                    // version
                          0x01, 0, 0, 0,                    // coupling A
                          0x0D, 0, 0, 0,                    // range A
                          0x02, 0, 0, 0,                    // coupling B
                          0x03, 0x02, 0, 0,                 // range B
                          0, 0, 0, 0, 0, 0, 0xF0, 0x3F,     // shunt 1: 1.0
                          0, 0, 0, 0, 0, 0, 0, 0xC0}));     // shunt 2: -2.0
    // clang-format on

    // Time and buffer size are not kept.
    ResetGlobals();
    g_wMeterTime = 77;
    g_wBufferSize = 100;
    {
        CArchive ar(out.data(), out.size());
        meter.Serialize(ar);
        EXPECT_EQ(ar.Remaining(), 0u);
    }
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeA, 0x0Du);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(g_nRangeB, 0x0203u);
    EXPECT_EQ(g_dShunt1, 1.0);
    EXPECT_EQ(g_dShunt2, -2.0);
    EXPECT_EQ(g_wMeterTime, 77);
    EXPECT_EQ(g_wBufferSize, 100);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF);

    // Version 1 has no shunts; the ones in use stay.
    const Bytes v1 = {1, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0xEE};
    {
        CArchive ar(v1.data(), v1.size());
        meter.Serialize(ar);
        EXPECT_EQ(ar.Remaining(), 1u);
    }
    EXPECT_EQ(g_nCouplingA, 0u);
    EXPECT_EQ(g_nRangeA, 5u);
    EXPECT_EQ(g_nCouplingB, 1u);
    EXPECT_EQ(g_nRangeB, 6u);
    EXPECT_EQ(g_dShunt1, 1.0);
    EXPECT_EQ(g_dShunt2, -2.0);
    EXPECT_EQ(meter.TakeChanged(), 0xFFFF);

    // A file that ends inside the block changes nothing.
    Bytes cut(out.begin(), out.end() - 3);
    {
        CArchive ar(cut.data(), cut.size());
        EXPECT_THROW(meter.Serialize(ar), CArchiveException);
    }
    EXPECT_EQ(g_nRangeA, 5u);
    EXPECT_EQ(g_dShunt1, 1.0);
    EXPECT_EQ(meter.TakeChanged(), 0);
}

TEST_F(MeterTest, CounterStartsAndStopsWithAcknowledgedCommands) {
    CKobCounter counter(&kobface);
    EXPECT_EQ(counter.m_bySetting1, 0xFF);
    EXPECT_EQ(counter.m_bySetting2, 0xFF);
    EXPECT_EQ(counter.m_bRun, 0);
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);

    stream->Reply("!!");
    EXPECT_TRUE(counter.StartCounter());
    counter.StopCounter();
    EXPECT_EQ(stream->Written(), (Bytes{0x59, 0x5A}));
    EXPECT_EQ(stream->Unread(), 0u);
    stream->Reply("?");
    EXPECT_THROW(counter.StartCounter(), CCommException);
    EXPECT_THROW(counter.StopCounter(), CCommException); // silent box
}

TEST_F(MeterTest, CounterSendChangesFollowsTheRunFlagAndClearsTheMask) {
    CKobCounter counter(&kobface);
    counter.SendChanges();
    EXPECT_TRUE(stream->Written().empty());

    counter.m_bRun = 1;
    counter.m_dwCounterChanged = 1;
    stream->Reply("!");
    counter.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x59}));
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);

    stream->ClearWritten();
    counter.m_bRun = 0;
    counter.m_dwCounterChanged = 0x8001;
    stream->Reply("!");
    counter.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x5A}));
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);

    // Other bits are cleared without a command; bits above the low 16 are
    // not looked at.
    stream->ClearWritten();
    counter.m_dwCounterChanged = 2;
    counter.SendChanges();
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);
    counter.m_dwCounterChanged = 0x30000;
    counter.SendChanges();
    EXPECT_EQ(counter.m_dwCounterChanged, 0x30000u);
    EXPECT_TRUE(stream->Written().empty());

    // A refused command is not sent again.
    counter.m_bRun = 1;
    counter.m_dwCounterChanged = 1;
    stream->Reply("?");
    EXPECT_THROW(counter.SendChanges(), CCommException);
    EXPECT_EQ(counter.m_dwCounterChanged, 0u);
    // The counter's mask is its own.
    EXPECT_EQ(counter.m_wChanged, 0);
}

TEST_F(MeterTest, CounterStoresOnlyItsVersion) {
    CKobCounter counter(&kobface);
    std::vector<uint8_t> out;
    {
        CArchive ar(out);
        counter.Serialize(ar);
    }
    EXPECT_EQ(out, (Bytes{1, 0, 0, 0}));
    const Bytes in = {9, 0, 0, 0, 0xAA};
    CArchive ar(in.data(), in.size());
    counter.Serialize(ar);
    EXPECT_EQ(ar.Remaining(), 1u);
    const Bytes cut = {1, 0};
    CArchive bad(cut.data(), cut.size());
    EXPECT_THROW(counter.Serialize(bad), CArchiveException);
}

TEST_F(MeterTest, TheInterfaceDeviceMakesTheMeterAndTheCounter) {
    stream->Reply("!!");
    kobface.CreateDevice(kTypeMeter);
    kobface.CreateDevice(kTypeCounter);
    EXPECT_EQ(stream->Written(), (Bytes{0x0E, 0x06, 0x0E, 0x07}));
    auto* meter = dynamic_cast<CKobMeter*>(kobface.Device(kTypeMeter));
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->m_pOwner, &kobface);
    EXPECT_EQ(meter->m_wChanged, 0xFFFF);
    EXPECT_EQ(meter->m_byStatus, 0);
    auto* counter = dynamic_cast<CKobCounter*>(kobface.Device(kTypeCounter));
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->m_pOwner, &kobface);
}
