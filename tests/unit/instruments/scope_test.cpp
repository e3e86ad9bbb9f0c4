// The oscilloscope model: its commands on the wire for both box models, the
// conversion of samples, the channel buffers and the stored settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/scope/scope.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"

namespace {

// The module-wide settings as a fresh program has them, restored after each
// test; a scope on a scripted line of the chosen box model.
class ScopeTest : public ::testing::Test {
protected:
    void SetUp() override { Defaults(); }
    void TearDown() override {
        scope.reset();
        Defaults();
    }
    static void Defaults() {
        g_byModel = 1;
        g_nRangeA = 8;
        g_nCouplingA = 0;
        g_nRangeB = 8;
        g_nCouplingB = 0;
        g_pTimeBases = g_aTimeBases1;
        g_nTimeBase = 0;
        g_nTimeBaseApplied = 0;
        g_nTriggerMode = 0;
        g_nPostTrigger = 100;
        g_nTriggerLevel = 0;
        g_nScopeBufferSize = kScopeBufferSamples;
        g_bShowA = 1;
        g_bShowB = 1;
        g_dDisplayFactorA = 0;
        g_dDisplayFactorB = 0;
        g_bFrontFirst = 0;
        g_ScopeBufferA.Resize(0);
        g_ScopeBufferB.Resize(0);
    }
    CScope& Make(uint8_t model) {
        g_byModel = model;
        stream = new ScriptedStream;
        kobface.SetStream(stream);
        scope = std::make_unique<CScope>(&kobface);
        scope->TakeChanged();
        return *scope;
    }

    ScriptedUi ui;
    CKobface kobface;
    ScriptedStream* stream = nullptr;
    std::unique_ptr<CScope> scope;
};

Bytes Word(uint16_t w) {
    return {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Store(CScopeBuffer& buffer) {
    Bytes out;
    CArchive ar(out);
    buffer.Serialize(ar);
    return out;
}

void Load(CScopeBuffer& buffer, const Bytes& data) {
    CArchive ar(data.data(), data.size());
    buffer.Serialize(ar);
}

Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

Bytes Le64Of(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return Cat({Le32(static_cast<uint32_t>(u)), Le32(static_cast<uint32_t>(u >> 32))});
}

} // namespace

TEST_F(ScopeTest, EveryMemoryRowRecordsTenDivisionsAndTheTableFollowsTheBoxModel) {
    for (uint8_t model : {1, 2}) {
        CScope& s = Make(model);
        const TimeBaseRow* table = model == 2 ? g_aTimeBases2 : g_aTimeBases1;
        EXPECT_EQ(g_pTimeBases, table);
        for (uint32_t i = 0; i < 14; ++i) {
            const TimeBaseRow& r = table[i];
            double intervals = model == 2 ? r.values - 1 : r.values;
            EXPECT_NEAR(intervals * s.GetSampleTime(r.prescale), 10 * r.secondsPerDiv,
                        1e-9 * r.secondsPerDiv)
                << "model " << int(model) << " row " << i;
            EXPECT_EQ(r.online, 0);
        }
        for (uint32_t i = 14; i < kTimeBaseRows; ++i) {
            EXPECT_EQ(table[i].online, 1) << i;
            EXPECT_EQ(table[i].values, model == 2 ? 501 : 500);
            EXPECT_EQ(table[i].prescale, std::lround(table[i].secondsPerDiv * 200)) << i;
        }
        EXPECT_EQ(table[kTimeBaseRows].values, 0);
        EXPECT_EQ(table[kTimeBaseRows].prescale, 0);
        EXPECT_EQ(table[kTimeBaseRows].secondsPerDiv, 0.0);
    }
}

TEST_F(ScopeTest, SampleTimesOfBothModels) {
    CScope& s1 = Make(1);
    EXPECT_DOUBLE_EQ(s1.GetSampleTime(0), 31.25e-9);
    EXPECT_DOUBLE_EQ(s1.GetSampleTime(199), 6.25e-6);
    EXPECT_DOUBLE_EQ(s1.GetSampleTime(0xFFFF), 65536 * 31.25e-9);
    CScope& s2 = Make(2);
    EXPECT_DOUBLE_EQ(s2.GetSampleTime(0), 12.5e-9);
    EXPECT_DOUBLE_EQ(s2.GetSampleTime(1), 12.5e-9);
    EXPECT_DOUBLE_EQ(s2.GetSampleTime(500), 6.25e-6);
}

TEST_F(ScopeTest, ConstructionSizesTheBuffersAndMarksEverythingChanged) {
    g_nScopeBufferSize = 1000;
    g_byModel = 2;
    kobface.SetStream(new ScriptedStream);
    CScope s(&kobface);
    EXPECT_EQ(s.m_wChanged, 0xFFFF);
    EXPECT_EQ(s.m_nTriggerSource, 0u);
    EXPECT_EQ(s.m_bSingle, 0);
    EXPECT_EQ(s.m_bHold, 0);
    EXPECT_EQ(g_ScopeBufferA.m_nCount, 1000u);
    EXPECT_EQ(g_ScopeBufferB.m_nIndex, 999);
    g_nScopeBufferSize = 100000; // from a stored file
    CScope big(&kobface);
    EXPECT_EQ(g_ScopeBufferA.m_nCount, kScopeBufferSamples);
}

TEST_F(ScopeTest, TimingIsOneBlockWithTheModelsCommandAndIsAcknowledged) {
    CScope& s1 = Make(1);
    stream->Reply({'!'});
    s1.SendTiming(199, 0, 800);
    EXPECT_EQ(stream->Written(), (Bytes{0xD8, 0x00, 0x00, 0xC7, 0x03, 0x20}));
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_EQ(stream->Blocks()[0], stream->Written());
    EXPECT_EQ(stream->Unread(), 0u);

    CScope& s2 = Make(2);
    stream->Reply({'!'});
    s2.SendTiming(0x1234, 1, 501);
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_EQ(stream->Blocks()[0], (Bytes{0xDB, 0x01, 0x12, 0x34, 0x01, 0xF5}));

    stream->ClearWritten();
    stream->Reply({'?'});
    try {
        s2.SendTiming(10, 1, 501);
        FAIL() << "a refused command passed";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20014u);
    }
    // A write failing inside the block leaves the stream out of block mode:
    // the next command is a block of its own.
    stream->ClearWritten();
    stream->FailNextWrite(20013);
    EXPECT_THROW(s2.SendTiming(1, 0, 2), CCommException);
    stream->Reply({'!'});
    s2.Start();
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_TRUE(stream->Blocks()[0].empty());
    EXPECT_EQ(stream->Written(), (Bytes{0xD2}));
}

TEST_F(ScopeTest, TriggerFlagsFollowSourceAndModeAndThePostWordIsAPercentOfTheValues) {
    CScope& s = Make(1);
    struct Case {
        uint32_t source, mode;
        uint8_t flags;
    } cases[] = {{0, 0, 0x00}, {0, 1, 0x00}, {1, 0, 0x06}, {1, 1, 0x0E},
                 {2, 0, 0x02}, {2, 1, 0x0A}, {2, 3, 0x02}};
    for (const Case& c : cases) {
        stream->ClearWritten();
        s.m_nTriggerSource = c.source;
        g_nTriggerMode = c.mode;
        stream->Reply({'!'});
        s.SendTrigger(800);
        ASSERT_EQ(stream->Blocks().size(), 1u);
        EXPECT_EQ(stream->Blocks()[0], (Bytes{0xD0, 0x03, 0x20, c.flags}))
            << c.source << "/" << c.mode;
        EXPECT_EQ(stream->Unread(), 0u); // acknowledged
    }
    struct Post {
        uint32_t percent;
        uint16_t values, expected;
    } posts[] = {{100, 800, 800}, {0, 800, 0}, {50, 801, 400}, {33, 501, 165}, {10, 0xFFFF, 6553}};
    s.m_nTriggerSource = 0;
    for (const Post& p : posts) {
        stream->ClearWritten();
        g_nPostTrigger = p.percent;
        stream->Reply({'!'});
        s.SendTrigger(p.values);
        EXPECT_EQ(stream->Written(), Cat({{0xD0}, Word(p.expected), {0x00}})) << p.percent;
    }
    // A stored percentage beyond 32 bits of product stays well defined.
    stream->ClearWritten();
    g_nPostTrigger = 0xFFFFFFFFu; // -1 as signed
    stream->Reply({'!'});
    s.SendTrigger(800);
    EXPECT_EQ(stream->Written(), (Bytes{0xD0, 0xFF, 0xF8, 0x00})); // -8
}

TEST_F(ScopeTest, LevelByteIsASignedShareOf127AndIsNotAcknowledged) {
    CScope& s = Make(2);
    struct Case {
        int32_t level;
        uint8_t byte;
    } cases[] = {{50, 0x3F}, {-50, 0xC1}, {100, 0x7F}, {-100, 0x81},
                 {0, 0x00},  {1, 0x01},   {-1, 0xFF}};
    for (const Case& c : cases) {
        stream->ClearWritten();
        g_nTriggerLevel = c.level;
        stream->Reply({'!'}); // stays unread
        s.SendLevel();
        ASSERT_EQ(stream->Blocks().size(), 1u);
        EXPECT_EQ(stream->Blocks()[0], (Bytes{0xD1, c.byte})) << c.level;
        EXPECT_EQ(stream->Written(), stream->Blocks()[0]);
        EXPECT_EQ(stream->Unread(), 1u);
        stream->Purge();
    }
}

TEST_F(ScopeTest, StartStopAndStatus) {
    CScope& s = Make(1);
    stream->Reply({'!'});
    s.Start();
    stream->Reply({'!'});
    s.Stop();
    EXPECT_EQ(stream->Unread(), 1u); // Stop reads nothing
    stream->Purge();
    stream->Reply({0x80});
    EXPECT_EQ(s.GetStatus(), kScopeFailure);
    stream->Reply({0x42});
    EXPECT_EQ(s.GetStatus(), 0x42); // passed on unchanged
    EXPECT_EQ(stream->Written(), (Bytes{0xD2, 0xD3, 0xD5, 0xD5}));
    EXPECT_TRUE(stream->Blocks().empty());
    stream->Reply({'x'});
    EXPECT_THROW(s.Start(), CCommException);
}

TEST_F(ScopeTest, InputStoresTheSettingsSendsTheWordAndSetsTheDisplayFactors) {
    CScope& s = Make(1);
    stream->Reply({'!'});
    s.SetInput(8, 1, 1, 2);
    EXPECT_EQ(g_nRangeA, 8u);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeB, 1u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(stream->Written(), (Bytes{0xD9, 0x01, 0x88}));
    EXPECT_TRUE(stream->Blocks().empty());
    EXPECT_EQ(stream->Unread(), 0u);
    EXPECT_DOUBLE_EQ(g_dDisplayFactorA, 1.25); // 50 V on 10 V/div
    EXPECT_DOUBLE_EQ(g_dDisplayFactorB, 1.0);  // 0.2 V on 0.05 V/div
    EXPECT_EQ(s.TakeChanged(), 0);             // no change bit

    // A range outside the table: no factor, no crash.
    EXPECT_EQ(s.MakeInputWord(20, 0, 14, 1), 0x8E14);
    EXPECT_EQ(g_dDisplayFactorA, 0.0);
    EXPECT_DOUBLE_EQ(g_dDisplayFactorB, 1.25);
}

TEST_F(ScopeTest, ReadMemoryCommandsOfBothModels) {
    CScope& s1 = Make(1);
    std::vector<double> a(800), b(801);
    stream->Reply(Bytes(1600, 0));
    s1.ReadMemory(800, a.data(), 1, b.data(), 1);
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_EQ(stream->Blocks()[0], (Bytes{0xD4, 0x1C, 0xE0, 0x03, 0x20, 0x00, 0x01, 0x03}));
    EXPECT_EQ(stream->Unread(), 0u);

    CScope& s2 = Make(2);
    stream->Reply(Bytes(2 * 801, 0));
    s2.ReadMemory(801, nullptr, 1, b.data(), 1);
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_EQ(stream->Blocks()[0], (Bytes{0xDC, 0x03, 0x21, 0x02}));
    EXPECT_EQ(stream->Unread(), 0u);
}

TEST_F(ScopeTest, ReadChannelsScalesToTheRangeAndGroundedChannelsAreNotAskedFor) {
    CScope& s1 = Make(1);
    g_nRangeA = 5;  // 5 V
    g_nRangeB = 14; // 5000 V
    std::vector<double> a(3, -9), b(3, -9);
    stream->Reply({127, 0x81, 64, 0x80, 0, 127});
    s1.ReadChannels(3, a.data(), b.data());
    EXPECT_DOUBLE_EQ(a[0], 5.0);
    EXPECT_DOUBLE_EQ(a[1], -5.0);
    EXPECT_DOUBLE_EQ(a[2], 64 / 127.0 * 5);
    EXPECT_DOUBLE_EQ(b[0], -128 / 127.0 * 5000); // same divisor below zero
    EXPECT_DOUBLE_EQ(b[1], 0.0);
    EXPECT_DOUBLE_EQ(b[2], 5000.0);
    EXPECT_EQ(stream->Blocks()[0].back(), 0x03);

    CScope& s2 = Make(2);
    g_nRangeB = 3; // 1 V
    g_nCouplingA = kCouplingGround;
    std::fill(a.begin(), a.end(), -9);
    stream->Reply(Cat({Word(511), Word(0xFE01), Word(0xFF00)}));
    s2.ReadChannels(3, a.data(), b.data());
    EXPECT_EQ(a, std::vector<double>(3, 0.0));
    EXPECT_EQ(stream->Blocks()[0], (Bytes{0xDC, 0x00, 0x03, 0x02})); // A not asked for
    EXPECT_DOUBLE_EQ(b[0], 1.0);
    EXPECT_DOUBLE_EQ(b[1], -1.0);
    EXPECT_DOUBLE_EQ(b[2], -256 / 511.0);
    EXPECT_EQ(stream->Unread(), 0u);

    // Both grounded: the command still goes out with mask 0, nothing is read.
    stream->ClearWritten();
    g_nCouplingB = kCouplingGround;
    stream->Reply({0x55});
    s2.ReadChannels(3, a.data(), b.data());
    EXPECT_EQ(stream->Written(), (Bytes{0xDC, 0x00, 0x03, 0x00}));
    EXPECT_EQ(b, std::vector<double>(3, 0.0));
    EXPECT_EQ(stream->Unread(), 1u);
    stream->Purge();

    // A range outside the table reads the samples and measures 0.
    stream->ClearWritten();
    g_nCouplingA = 0;
    g_nRangeA = 99;
    stream->Reply(Word(300));
    s2.ReadChannels(1, a.data(), nullptr);
    EXPECT_EQ(a[0], 0.0);
    EXPECT_EQ(stream->Unread(), 0u);
}

TEST_F(ScopeTest, OnlineArraysHoldThePairsTheBoxReports) {
    CScope& s = Make(2);
    g_nRangeA = 5;
    g_nRangeB = 3;
    g_nCouplingB = kCouplingGround; // read, but zero
    stream->Reply(Cat({Word(2), Word(511), Word(100), Word(0xFE01), Word(200)}));
    VARIANT a, b;
    ASSERT_EQ(s.ReadOnlineArrays(&a, &b), S_OK);
    EXPECT_EQ(stream->Written(), (Bytes{0xDD}));
    EXPECT_EQ(stream->Unread(), 0u);
    for (VARIANT* v : {&a, &b}) {
        ASSERT_EQ(v->vt, VT_ARRAY | VT_R8);
        EXPECT_EQ(SafeArrayGetDim(v->parray), 1u);
        LONG lo = -1, hi = -1;
        SafeArrayGetLBound(v->parray, 1, &lo);
        SafeArrayGetUBound(v->parray, 1, &hi);
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, 1);
        EXPECT_EQ(v->parray->cLocks, 0u);
    }
    auto* da = static_cast<double*>(a.parray->pvData);
    auto* db = static_cast<double*>(b.parray->pvData);
    EXPECT_DOUBLE_EQ(da[0], 5.0);
    EXPECT_DOUBLE_EQ(da[1], -5.0);
    EXPECT_EQ(db[0], 0.0);
    EXPECT_EQ(db[1], 0.0);
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(VariantClear(&b), S_OK);

    // Model 1: one byte a sample, none collected yet gives empty arrays.
    CScope& s1 = Make(1);
    g_nCouplingB = 0;
    stream->Reply({0x00, 0x01, 0x81, 127});
    ASSERT_EQ(s1.ReadOnlineArrays(&a, &b), S_OK);
    EXPECT_EQ(stream->Written(), (Bytes{0xDA}));
    EXPECT_DOUBLE_EQ(static_cast<double*>(a.parray->pvData)[0], -5.0);
    EXPECT_DOUBLE_EQ(static_cast<double*>(b.parray->pvData)[0], 1.0); // 1 V range
    VariantClear(&a);
    VariantClear(&b);
    stream->Reply({0x00, 0x00});
    ASSERT_EQ(s1.ReadOnlineArrays(&a, &b), S_OK);
    EXPECT_EQ(a.parray->rgsabound[0].cElements, 0u);
    EXPECT_EQ(b.parray->rgsabound[0].cElements, 0u);
    VariantClear(&a);
    VariantClear(&b);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(s1.ReadOnlineArrays(nullptr, &b), E_POINTER);
}

TEST_F(ScopeTest, OnlineArraysFromABoxThatStopsAnsweringAreReportedAndKeepWhatCame) {
    CScope& s = Make(1);
    g_nRangeA = 5;
    // Says 4 pairs, sends one and a half.
    stream->Reply({0x00, 0x04, 127, 0x81, 127});
    VARIANT a, b;
    EXPECT_EQ(s.ReadOnlineArrays(&a, &b), S_FALSE);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0],
              "Error reading from the serial device.\nThe requested data could not be read.");
    ASSERT_EQ(a.vt, VT_ARRAY | VT_R8);
    ASSERT_EQ(a.parray->rgsabound[0].cElements, 4u);
    auto* da = static_cast<double*>(a.parray->pvData);
    auto* db = static_cast<double*>(b.parray->pvData);
    EXPECT_DOUBLE_EQ(da[0], 5.0);
    EXPECT_DOUBLE_EQ(db[0], -50.0);
    EXPECT_EQ(da[1], 0.0);
    EXPECT_EQ(db[3], 0.0);
    EXPECT_EQ(a.parray->cLocks, 0u);
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(VariantClear(&b), S_OK);

    // No count at all: empty variants.
    EXPECT_EQ(s.ReadOnlineArrays(&a, &b), S_FALSE);
    EXPECT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(b.vt, VT_EMPTY);
}

TEST_F(ScopeTest, OnlinePairsAreAppendedToTheBuffersAtSixteenBitScale) {
    CScope& s2 = Make(2);
    g_ScopeBufferA.Resize(3);
    g_ScopeBufferB.Resize(3);
    g_nCouplingB = kCouplingGround;
    stream->Reply(Cat({Word(2), Word(511), Word(7), Word(0xFE01), Word(8)}));
    EXPECT_TRUE(s2.ReadOnlineToBuffers());
    EXPECT_EQ(stream->Written(), (Bytes{0xDD}));
    EXPECT_EQ(stream->Unread(), 0u);
    const int16_t* fa = g_ScopeBufferA.Front();
    // Full buffer of 3: the two new samples push the oldest zeros out.
    EXPECT_EQ(fa[0], 0);
    EXPECT_EQ(fa[1], 511 * 64);
    EXPECT_EQ(fa[2], -511 * 64);
    EXPECT_EQ(g_ScopeBufferA.m_nIndex, 2);
    EXPECT_EQ(g_ScopeBufferB.Front()[1], 0);
    EXPECT_EQ(g_ScopeBufferB.Front()[2], 0);

    CScope& s1 = Make(1);
    g_nCouplingB = 0;
    g_ScopeBufferA.Resize(4);
    g_ScopeBufferB.Resize(4);
    g_ScopeBufferA.m_nIndex = -1;
    g_ScopeBufferB.m_nIndex = -1;
    stream->Reply({0x00, 0x02, 0x7F, 0x80, 0xFF, 0x01});
    EXPECT_TRUE(s1.ReadOnlineToBuffers());
    EXPECT_EQ(stream->Written(), (Bytes{0xDA}));
    EXPECT_EQ(g_ScopeBufferA.Front()[0], 127 * 256);
    EXPECT_EQ(g_ScopeBufferA.Front()[1], -256);
    EXPECT_EQ(g_ScopeBufferB.Front()[0], -128 * 256);
    EXPECT_EQ(g_ScopeBufferB.Front()[1], 256);
    EXPECT_EQ(g_ScopeBufferA.m_nIndex, 1);
    stream->Reply({0x00, 0x00});
    EXPECT_FALSE(s1.ReadOnlineToBuffers());
    EXPECT_EQ(g_ScopeBufferA.m_nIndex, 1);
}

TEST_F(ScopeTest, MemoryRecordGoesToTheBackArraysWhichThenBecomeTheFront) {
    CScope& s2 = Make(2);
    g_nTimeBaseApplied = 0; // 401 values
    g_ScopeBufferA.Resize(401);
    g_ScopeBufferB.Resize(401);
    g_nCouplingB = kCouplingGround;
    g_ScopeBufferB.Back()[5] = 99;
    Bytes samples;
    for (int i = 0; i < 401; ++i) {
        auto v = static_cast<uint16_t>(static_cast<int16_t>(i - 200));
        samples.insert(samples.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }
    stream->Reply(samples);
    g_ScopeBufferA.m_nIndex = 7;
    s2.ReadMemoryToBuffers();
    EXPECT_EQ(stream->Written(), (Bytes{0xDC, 0x01, 0x91, 0x01}));
    // The command and count in an inner block of their own.
    ASSERT_EQ(stream->Blocks().size(), 2u);
    EXPECT_EQ(stream->Blocks()[1], (Bytes{0xDC, 0x01, 0x91}));
    EXPECT_EQ(stream->Unread(), 0u);
    EXPECT_EQ(g_bFrontFirst, 1);
    EXPECT_EQ(g_ScopeBufferA.Front()[0], -200 * 64);
    EXPECT_EQ(g_ScopeBufferA.Front()[400], 200 * 64);
    EXPECT_EQ(g_ScopeBufferB.Front()[5], 0); // cleared, not read
    EXPECT_EQ(g_ScopeBufferA.m_nIndex, 400);
    for (CScopeBuffer* buf : {&g_ScopeBufferA, &g_ScopeBufferB}) {
        EXPECT_EQ(buf->m_nFirst, 0u);
        EXPECT_EQ(buf->m_nEnd, 401u);
        EXPECT_EQ(buf->m_nExtra, 0u);
    }

    CScope& s1 = Make(1);
    g_nCouplingB = 0;
    g_nTimeBaseApplied = 2; // 800 values
    g_ScopeBufferA.Resize(800);
    g_ScopeBufferB.Resize(800);
    Bytes bytes(1600, 0);
    bytes[0] = 0x80;
    bytes[799] = 0x7F;
    bytes[800] = 0x01;
    stream->Reply(bytes);
    s1.ReadMemoryToBuffers();
    ASSERT_EQ(stream->Blocks().size(), 1u);
    EXPECT_EQ(stream->Blocks()[0], (Bytes{0xD4, 0x1C, 0xE0, 0x03, 0x20, 0x00, 0x01, 0x03}));
    EXPECT_EQ(g_bFrontFirst, 0);
    EXPECT_EQ(g_ScopeBufferA.Front()[0], -32768);
    EXPECT_EQ(g_ScopeBufferA.Front()[799], 127 * 256);
    EXPECT_EQ(g_ScopeBufferB.Front()[0], 256);
    EXPECT_EQ(stream->Unread(), 0u);
}

TEST_F(ScopeTest, SendChangesSendsEachMarkedGroupOnceInOrder) {
    CScope& s = Make(1);
    g_nTimeBase = 8; // prescale 199, 800 values
    g_nPostTrigger = 50;
    g_nTriggerLevel = -100;
    s.m_nTriggerSource = 1;
    s.SetChanged(0xFFFF);
    stream->Reply({'!', '!', '!', '!'});
    s.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0xD8, 0x00, 0x00, 0xC7, 0x03, 0x20, // timing
                                        0xD0, 0x01, 0x90, 0x06,             // trigger
                                        0xD9, 0x08, 0x08,                   // input
                                        0xD0, 0x01, 0x90, 0x06,             // trigger
                                        0xD1, 0x81}));                      // level
    EXPECT_EQ(stream->Unread(), 0u);
    EXPECT_EQ(g_nTimeBaseApplied, 8u);
    EXPECT_EQ(g_ScopeBufferA.m_nCount, 800u);
    EXPECT_EQ(g_ScopeBufferB.m_nIndex, 799);
    EXPECT_EQ(s.m_wChanged, 0);
    stream->ClearWritten();
    s.SendChanges();
    EXPECT_TRUE(stream->Written().empty());

    // The trigger alone uses the row last applied, not the pending one.
    g_nTimeBase = 15;
    g_nPostTrigger = 100;
    s.SetTriggerSource(2);
    stream->Reply({'!'});
    s.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0xD0, 0x03, 0x20, 0x02}));

    // A refused command: what was not yet sent is dropped with it.
    stream->ClearWritten();
    s.SetChanged(kScopeChangedTimeBase | kScopeChangedLevel);
    stream->Reply({'?'});
    EXPECT_THROW(s.SendChanges(), CCommException);
    EXPECT_EQ(s.TakeChanged(), 0);
    EXPECT_EQ(stream->Written(), (Bytes{0xD8, 0x01, 0x00, 0x14, 0x01, 0xF4}));
}

TEST_F(ScopeTest, ATimeBaseRowOutsideTheTableAppliesTheZeroRow) {
    CScope& s = Make(2);
    s.SetTimeBase(40);
    stream->Reply({'!', '!'});
    s.SendChanges();
    EXPECT_EQ(stream->Written(),
              (Bytes{0xDB, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x00, 0x00, 0x00}));
    EXPECT_EQ(g_ScopeBufferA.m_nCount, 0u);
    g_ScopeBufferA.Append(5); // no place for it, no harm
    EXPECT_EQ(g_ScopeBufferA.m_nIndex, -1);
    stream->ClearWritten();
    s.ReadMemoryToBuffers();
    EXPECT_EQ(stream->Written(), (Bytes{0xDC, 0x00, 0x00, 0x03}));
}

TEST_F(ScopeTest, SettersMarkTheirGroupAndLevelStepsStopAtTheLimits) {
    CScope& s = Make(1);
    s.SetTimeBase(3);
    EXPECT_EQ(g_nTimeBase, 3u);
    EXPECT_EQ(s.TakeChanged(), kScopeChangedTimeBase);
    s.SetRangeA(1);
    s.SetRangeB(2);
    s.SetCouplingA(1);
    s.SetCouplingB(2);
    EXPECT_EQ(s.TakeChanged(), kScopeChangedInput);
    EXPECT_EQ(g_nRangeA + g_nRangeB * 10 + g_nCouplingA * 100 + g_nCouplingB * 1000, 2121u);
    s.SetTriggerSource(2);
    s.SetTriggerMode(1);
    s.SetPostTrigger(25);
    EXPECT_EQ(s.TakeChanged(), kScopeChangedTrigger);
    EXPECT_EQ(s.m_nTriggerSource, 2u);
    EXPECT_EQ(g_nTriggerMode, 1u);
    EXPECT_EQ(g_nPostTrigger, 25u);
    EXPECT_TRUE(stream->Written().empty());

    g_nTriggerLevel = 99;
    EXPECT_TRUE(s.LevelUp());
    EXPECT_EQ(g_nTriggerLevel, 100);
    EXPECT_EQ(s.TakeChanged(), kScopeChangedLevel);
    EXPECT_FALSE(s.LevelUp());
    EXPECT_EQ(g_nTriggerLevel, 100);
    EXPECT_EQ(s.TakeChanged(), 0);
    g_nTriggerLevel = -99;
    EXPECT_TRUE(s.LevelDown());
    EXPECT_EQ(g_nTriggerLevel, -100);
    EXPECT_EQ(s.TakeChanged(), kScopeChangedLevel);
    EXPECT_FALSE(s.LevelDown());
    EXPECT_EQ(g_nTriggerLevel, -100);
    EXPECT_EQ(s.TakeChanged(), 0);
}

TEST_F(ScopeTest, SettingsSnapshotCopiesOutAndBack) {
    CScope& s = Make(1);
    g_nTimeBaseApplied = 7;
    g_nTimeBase = 9; // pending: not in the snapshot
    g_bShowB = 0;
    g_nCouplingA = 1;
    g_nRangeA = 3;
    g_nCouplingB = 2;
    g_nRangeB = 12;
    g_nTriggerMode = 1;
    s.m_nTriggerSource = 2;
    g_nPostTrigger = 40;
    g_nTriggerLevel = -30;
    s.m_bSingle = 1;
    s.m_bHold = 1;
    CSettings* snap = s.GetSettings();
    auto* ss = dynamic_cast<CScopeSettings*>(snap);
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(ss->timeBase, 7u);
    EXPECT_EQ(ss->triggerLevel, static_cast<uint32_t>(-30));
    EXPECT_EQ(ss->showB, 0);
    EXPECT_EQ(s.TakeChanged(), 0);

    Defaults();
    s.m_nTriggerSource = 0;
    s.m_bSingle = s.m_bHold = 0;
    s.SetSettings(nullptr);
    EXPECT_EQ(s.TakeChanged(), 0);
    s.SetSettings(snap);
    EXPECT_EQ(s.TakeChanged(), 0xFFFF);
    EXPECT_EQ(g_nTimeBase, 7u);
    EXPECT_EQ(g_nTimeBaseApplied, 0u); // applied by the next SendChanges
    EXPECT_EQ(g_bShowA, 1);
    EXPECT_EQ(g_bShowB, 0);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeA, 3u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(g_nRangeB, 12u);
    EXPECT_EQ(g_nTriggerMode, 1u);
    EXPECT_EQ(s.m_nTriggerSource, 2u);
    EXPECT_EQ(g_nPostTrigger, 40u);
    EXPECT_EQ(g_nTriggerLevel, -30);
    EXPECT_EQ(s.m_bSingle, 1);
    EXPECT_EQ(s.m_bHold, 1);
}

TEST(ScopeBuffer, ResizeResetAppendAndClear) {
    uint8_t savedFront = g_bFrontFirst;
    CScopeBuffer buf;
    EXPECT_EQ(buf.m_nCount, 0u);
    EXPECT_EQ(buf.m_nIndex, -1);
    EXPECT_EQ(buf.m_dFactor, 1.0);
    g_bFrontFirst = 1;
    EXPECT_EQ(buf.Front(), buf.m_pData[0]);
    EXPECT_EQ(buf.Back(), buf.m_pData[1]);
    g_bFrontFirst = 0;
    EXPECT_EQ(buf.Front(), buf.m_pData[1]);
    EXPECT_EQ(buf.Back(), buf.m_pData[0]);

    buf.m_pData[0][2] = buf.m_pData[1][2] = buf.m_pData[0][4] = 7;
    buf.Resize(4);
    EXPECT_EQ(buf.m_nIndex, 3);
    EXPECT_EQ(buf.m_pData[0][2], 0);
    EXPECT_EQ(buf.m_pData[1][2], 0);
    EXPECT_EQ(buf.m_pData[0][4], 7); // beyond the record: untouched

    // Full: each new sample drops the oldest and goes to the last place.
    for (int16_t v : {1, 2, 3, 4, 5}) {
        buf.Append(v);
    }
    EXPECT_EQ(buf.m_nIndex, 3);
    EXPECT_EQ(std::vector<int16_t>(buf.Front(), buf.Front() + 4),
              (std::vector<int16_t>{2, 3, 4, 5}));
    EXPECT_EQ(buf.Back()[3], 0);

    // After a restart from the beginning it fills in place.
    buf.m_nIndex = -1;
    buf.Append(9);
    buf.Append(8);
    EXPECT_EQ(buf.m_nIndex, 1);
    EXPECT_EQ(std::vector<int16_t>(buf.Front(), buf.Front() + 4),
              (std::vector<int16_t>{9, 8, 4, 5}));
    buf.Reset();
    EXPECT_EQ(buf.m_nIndex, 3);

    buf.Back()[0] = buf.Back()[3] = 6;
    buf.ClearBack();
    EXPECT_EQ(buf.Back()[0], 0);
    EXPECT_EQ(buf.Back()[3], 0);
    EXPECT_EQ(buf.Front()[0], 9);

    buf.Resize(100000);
    EXPECT_EQ(buf.m_nCount, kScopeBufferSamples);
    EXPECT_EQ(buf.m_nIndex, static_cast<int32_t>(kScopeBufferSamples) - 1);

    // A count set past the arrays by hand stays inside them.
    buf.m_nCount = 100000;
    buf.m_nIndex = 99999;
    buf.ClearBack();
    buf.Append(42);
    EXPECT_EQ(buf.Front()[kScopeBufferSamples - 1], 42);
    EXPECT_EQ(buf.m_nIndex, static_cast<int32_t>(kScopeBufferSamples) - 1);
    Bytes stored = Store(buf);
    EXPECT_EQ(Bytes(stored.begin() + 4, stored.begin() + 8), Le32(kScopeBufferSamples));
    EXPECT_EQ(stored.size(), 20 + 2 * kScopeBufferSamples);
    g_bFrontFirst = savedFront;
}

TEST(ScopeBuffer, StoredRecordRoundTripsAndOldRecordsLoad) {
    uint8_t savedFront = g_bFrontFirst;
    g_bFrontFirst = 0;
    CScopeBuffer buf;
    buf.Resize(3);
    buf.m_dFactor = 2.5;
    buf.Front()[0] = -2;
    buf.Front()[1] = 0x1234;
    buf.Front()[2] = 7;
    buf.Back()[0] = 55; // the back array is not stored
    buf.m_nIndex = 1;
    Bytes stored = Store(buf);
    EXPECT_EQ(stored,
              Cat({Le32(2), Le32(3), Le32(1), Le64Of(2.5), {0xFE, 0xFF, 0x34, 0x12, 0x07, 0x00}}));

    CScopeBuffer back;
    Load(back, stored);
    EXPECT_EQ(g_bFrontFirst, 1);
    EXPECT_EQ(back.m_nCount, 3u);
    EXPECT_EQ(back.m_nIndex, 2); // the last sample is the newest
    EXPECT_EQ(back.m_dFactor, 2.5);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::vector<int16_t>(back.m_pData[i], back.m_pData[i] + 3),
                  (std::vector<int16_t>{-2, 0x1234, 7}));
    }

    // Version 1: one byte a sample, high byte of the 16-bit value.
    Bytes v1 = Cat({Le32(1), Le32(4), Le32(0), Le64Of(1.0), {0x01, 0x80, 0xFF, 0x7F}});
    CScopeBuffer old;
    Load(old, v1);
    EXPECT_EQ(std::vector<int16_t>(old.m_pData[1], old.m_pData[1] + 4),
              (std::vector<int16_t>{256, -32768, -256, 0x7F00}));
    EXPECT_EQ(old.m_nIndex, 3);

    // A record ending early is refused before anything changes.
    Bytes cut = Cat({Le32(2), Le32(5), Le32(0), Le64Of(1.0), {1, 0, 2, 0}});
    EXPECT_THROW(Load(old, cut), CArchiveException);
    EXPECT_EQ(old.m_nCount, 4u);
    g_bFrontFirst = savedFront;
}

TEST(ScopeBuffer, ALongerStoredRecordKeepsItsFirstSamplesAndTheFileReadsOn) {
    uint8_t savedFront = g_bFrontFirst;
    for (uint32_t version : {1u, 2u}) {
        uint32_t count = kScopeBufferSamples + 3;
        Bytes data = Cat({Le32(version), Le32(count), Le32(0), Le64Of(1.0)});
        for (uint32_t i = 0; i < count; ++i) {
            if (version == 1) {
                data.push_back(static_cast<uint8_t>(i % 100));
            } else {
                data.insert(data.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
            }
        }
        data.push_back(0xAB); // what the file holds next
        CScopeBuffer buf;
        CArchive ar(data.data(), data.size());
        buf.Serialize(ar);
        EXPECT_EQ(buf.m_nCount, kScopeBufferSamples);
        int16_t last = buf.m_pData[0][kScopeBufferSamples - 1];
        EXPECT_EQ(last, version == 1 ? static_cast<int16_t>(((kScopeBufferSamples - 1) % 100) << 8)
                                     : static_cast<int16_t>(kScopeBufferSamples - 1))
            << version;
        EXPECT_EQ(buf.m_pData[1][kScopeBufferSamples - 1], last);
        uint8_t next = 0;
        ar >> next;
        EXPECT_EQ(next, 0xAB) << version;
    }
    g_bFrontFirst = savedFront;
}

TEST_F(ScopeTest, StoredSettingsRoundTripWithBothBuffers) {
    CScope& s = Make(1);
    g_nTimeBaseApplied = 4;
    g_nTimeBase = 5;
    g_bShowA = 0;
    g_nCouplingA = 1;
    g_nRangeA = 2;
    g_nCouplingB = 2;
    g_nRangeB = 11;
    g_nTriggerMode = 1;
    s.m_nTriggerSource = 1;
    g_nPostTrigger = 30;
    g_nTriggerLevel = -42;
    g_nScopeBufferSize = 500;
    s.m_bSingle = 1;
    g_ScopeBufferA.Resize(2);
    g_ScopeBufferB.Resize(1);
    g_ScopeBufferA.Front()[1] = 77;
    g_ScopeBufferB.Front()[0] = -5;
    Bytes out;
    {
        CArchive ar(out);
        s.Serialize(ar);
    }
    Bytes head =
        Cat({Le32(1), Le32(4), Le32(5), Le32(0), Le32(1), Le32(2), Le32(1), Le32(2), Le32(11),
             Le32(1), Le32(1), Le32(30), Le32(static_cast<uint32_t>(-42)), Le32(500), Le32(1)});
    ASSERT_EQ(out.size(), head.size() + 2 * 20 + 2 * 3);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(head.size())), head);

    Defaults();
    s.m_nTriggerSource = 0;
    s.m_bSingle = 0;
    s.TakeChanged();
    {
        CArchive ar(out.data(), out.size());
        s.Serialize(ar);
        EXPECT_EQ(ar.Remaining(), 0u);
    }
    EXPECT_EQ(s.TakeChanged(), 0xFFFF);
    EXPECT_EQ(g_nTimeBaseApplied, 4u);
    EXPECT_EQ(g_nTimeBase, 5u);
    EXPECT_EQ(g_bShowA, 0);
    EXPECT_EQ(g_bShowB, 1);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeA, 2u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(g_nRangeB, 11u);
    EXPECT_EQ(g_nTriggerMode, 1u);
    EXPECT_EQ(s.m_nTriggerSource, 1u);
    EXPECT_EQ(g_nPostTrigger, 30u);
    EXPECT_EQ(g_nTriggerLevel, -42);
    EXPECT_EQ(g_nScopeBufferSize, 500u);
    EXPECT_EQ(s.m_bSingle, 1);
    EXPECT_EQ(g_ScopeBufferA.m_nCount, 2u);
    EXPECT_EQ(g_ScopeBufferA.Front()[1], 77);
    EXPECT_EQ(g_ScopeBufferB.Front()[0], -5);

    // A file that ends inside the settings is refused.
    Bytes cut(out.begin(), out.begin() + 30);
    CArchive ar(cut.data(), cut.size());
    EXPECT_THROW(s.Serialize(ar), CArchiveException);
}

TEST_F(ScopeTest, TheFactoryMakesTheScopeForItsType) {
    g_byModel = 2;
    std::unique_ptr<CKobDevice> made(CreateModel(kTypeScope, &kobface));
    auto* s = dynamic_cast<CScope*>(made.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_pOwner, &kobface);
    EXPECT_EQ(g_pTimeBases, g_aTimeBases2);
}
