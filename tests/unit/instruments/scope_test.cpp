// The oscilloscope model: its commands on the wire for both box models, the
// conversion of samples, the channel buffers and the stored settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "device/kobface.h"
#include "instruments/scope/scope.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "support/stored.h"

namespace {

// Every setting the scope keeps: time base pending and applied, show A and
// B, coupling and range of A and B, trigger mode, source, post share and
// level, buffer size, single and hold.
using State =
    std::tuple<uint32_t, uint32_t, uint8_t, uint8_t, uint32_t, uint32_t, uint32_t, uint32_t,
               uint32_t, uint32_t, uint32_t, int32_t, uint32_t, uint8_t, uint8_t>;
const State kFresh{0, 0, 1, 1, 0, 8, 0, 8, 0, 0, 100, 0, kScopeBufferSamples, 0, 0};

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
        g_nRangeB = 8;
        g_nCouplingA = 0;
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
    auto Settings() {
        return std::tie(g_nTimeBase, g_nTimeBaseApplied, g_bShowA, g_bShowB, g_nCouplingA,
                        g_nRangeA, g_nCouplingB, g_nRangeB, g_nTriggerMode, scope->m_nTriggerSource,
                        g_nPostTrigger, g_nTriggerLevel, g_nScopeBufferSize, scope->m_bSingle,
                        scope->m_bHold);
    }
    // The command went out as one block of exactly these bytes; `unread` is
    // what is left of the reply (0 when the command reads its '!').
    void ExpectOneBlock(const Bytes& bytes, size_t unread) {
        ASSERT_EQ(stream->Blocks().size(), 1u);
        EXPECT_EQ(stream->Blocks()[0], bytes);
        EXPECT_EQ(stream->Written(), bytes);
        EXPECT_EQ(stream->Unread(), unread);
        stream->Purge();
        stream->ClearWritten();
    }

    ScriptedUi ui;
    CKobface kobface;
    ScriptedStream* stream = nullptr;
    std::unique_ptr<CScope> scope;
};

std::vector<int16_t> First(const int16_t* p, size_t n) {
    return {p, p + n};
}

} // namespace

TEST_F(ScopeTest, TimeBaseTablesRecordTenDivisionsAtTheModelsSampleTime) {
    for (uint8_t model : {1, 2}) {
        SCOPED_TRACE(int(model));
        CScope& s = Make(model);
        const TimeBaseRow* table = model == 2 ? g_aTimeBases2 : g_aTimeBases1;
        EXPECT_EQ(g_pTimeBases, table);
        for (uint32_t i = 0; i < kTimeBaseRows; ++i) {
            const TimeBaseRow& r = table[i];
            EXPECT_EQ(r.online, i >= 14 ? 1 : 0) << i;
            if (i < 14) {
                double intervals = model == 2 ? r.values - 1 : r.values;
                EXPECT_NEAR(intervals * s.GetSampleTime(r.prescale), 10 * r.secondsPerDiv,
                            1e-9 * r.secondsPerDiv)
                    << i;
            } else {
                EXPECT_EQ(r.values, model == 2 ? 501 : 500);
                EXPECT_EQ(r.prescale, std::lround(r.secondsPerDiv * 200)) << i;
            }
        }
    }
}

TEST_F(ScopeTest, CommandsOnTheWireForBothModels) {
    // Trigger flags: 0x02 triggered, 0x04 on A, 0x08 falling; the post word
    // is a share of the values, computed wide enough for any percentage.
    // The level byte is a signed share of 127; the box does not answer it.
    auto trigger = [this](uint32_t source, uint32_t mode, uint32_t percent, uint16_t values) {
        return [=, this] {
            std::tie(scope->m_nTriggerSource, g_nTriggerMode, g_nPostTrigger) =
                std::tuple(source, mode, percent);
            scope->SendTrigger(values);
        };
    };
    auto level = [this](int32_t l) {
        return [=, this] { g_nTriggerLevel = l, scope->SendLevel(); };
    };
    struct Case {
        uint8_t model;
        std::function<void()> op;
        Bytes reply, bytes;
        size_t blocks, unread;
    };
    // clang-format off
    const Case cases[] = {
        {1, [&] { scope->SendTiming(199, 0, 800); }, {'!'}, {0xD8, 0x00, 0x00, 0xC7, 0x03, 0x20}, 1, 0},
        {2, [&] { scope->SendTiming(0x1234, 1, 501); }, {'!'}, {0xDB, 0x01, 0x12, 0x34, 0x01, 0xF5}, 1, 0},
        {1, trigger(0, 1, 100, 800), {'!'}, {0xD0, 0x03, 0x20, 0x00}, 1, 0},
        {1, trigger(1, 1, 100, 800), {'!'}, {0xD0, 0x03, 0x20, 0x0E}, 1, 0},
        {1, trigger(2, 0, 100, 800), {'!'}, {0xD0, 0x03, 0x20, 0x02}, 1, 0},
        {1, trigger(0, 0, 10, 0xFFFF), {'!'}, {0xD0, 0x19, 0x99, 0x00}, 1, 0},
        {1, trigger(0, 0, 0xFFFFFFFFu, 800), {'!'}, {0xD0, 0xFF, 0xF8, 0x00}, 1, 0}, // -1 %: -8
        {1, level(50), {'!'}, {0xD1, 0x3F}, 1, 1},
        {1, level(-100), {'!'}, {0xD1, 0x81}, 1, 1},
        {1, [&] { scope->Start(); }, {'!'}, {0xD2}, 0, 0},
        {1, [&] { scope->Stop(); }, {'!'}, {0xD3}, 0, 1},
        {1, [&] { EXPECT_EQ(scope->GetStatus(), kScopeFailure); }, {0x80}, {0xD5}, 0, 0},
        {2, [&] { EXPECT_EQ(scope->GetStatus(), 0x42); }, {0x42}, {0xD5}, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        Make(c.model);
        stream->Reply(c.reply);
        c.op();
        EXPECT_EQ(stream->Blocks(), std::vector<Bytes>(c.blocks, c.bytes));
        EXPECT_EQ(stream->Written(), c.bytes);
        EXPECT_EQ(stream->Unread(), c.unread);
    }
}

TEST_F(ScopeTest, InputAndChannelReadsScaleToTheRange) {
    CScope& s = Make(1);
    stream->Reply({'!'});
    s.SetInput(8, 1, 1, 2);
    EXPECT_EQ(stream->Written(), (Bytes{0xD9, 0x01, 0x88}));
    EXPECT_EQ(stream->Unread(), 0u);
    stream->ClearWritten();
    const auto input = std::make_tuple<uint32_t, uint32_t, uint32_t, uint32_t>(
        g_nRangeA, g_nCouplingA, g_nRangeB, g_nCouplingB);
    EXPECT_EQ(input, std::make_tuple(8u, 1u, 1u, 2u));
    EXPECT_DOUBLE_EQ(g_dDisplayFactorA, 1.25);        // 50 V on 10 V/div
    EXPECT_DOUBLE_EQ(g_dDisplayFactorB, 1.0);         // 0.2 V on 0.05 V/div
    EXPECT_EQ(s.MakeInputWord(20, 0, 14, 1), 0x8E14); // a range outside the table: no factor
    EXPECT_EQ(g_dDisplayFactorA, 0.0);

    // Model 1: start address counted down from the top, count, step, mask;
    // one divisor on both sides of zero.
    std::vector<double> a(3, -9), b(3, -9);
    g_nCouplingA = 0;
    g_nCouplingB = 0;
    g_nRangeA = 5;  // 5 V
    g_nRangeB = 14; // 5000 V
    stream->Reply({127, 0x81, 64, 0x80, 0, 127});
    s.ReadChannels(3, a.data(), b.data());
    ExpectOneBlock({0xD4, 0x1F, 0xFD, 0x00, 0x03, 0x00, 0x01, 0x03}, 0);
    EXPECT_EQ(a, (std::vector<double>{5.0, -5.0, 64 / 127.0 * 5}));
    EXPECT_EQ(b, (std::vector<double>{-128 / 127.0 * 5000, 0.0, 5000.0}));
    // Model 2, both grounded: the command goes out with mask 0, nothing is read.
    Make(2);
    g_nCouplingA = kCouplingGround;
    g_nCouplingB = kCouplingGround;
    stream->Reply({0x55});
    scope->ReadChannels(3, a.data(), b.data());
    EXPECT_EQ(b, std::vector<double>(3, 0.0));
    ExpectOneBlock({0xDC, 0x00, 0x03, 0x00}, 1);
}

TEST_F(ScopeTest, OnlinePairsGoToArraysInVoltsAndToTheBufferRing) {
    struct Case {
        uint8_t model;
        uint32_t couplingB;
        Bytes reply;
        std::vector<double> a, b; // A on 5 V, B on 1 V
    };
    // clang-format off
    const Case cases[] = {
        // B grounded: read, but zero.
        {2, kCouplingGround, Cat({Be16(2), Be16(511), Be16(100), Be16(0xFE01), Be16(200)}),
         {5.0, -5.0}, {0, 0}},
        // One byte a sample: below zero a step is 1/128 of the range.
        {1, 0, {0x00, 0x02, 0x7F, 0x80, 0x81, 0x01}, {5.0, -5.0}, {-128 / 127.0, 1 / 127.0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.size());
        CScope& s = Make(c.model);
        g_nRangeA = 5;
        g_nRangeB = 3;
        g_nCouplingB = c.couplingB;
        stream->Reply(c.reply);
        VARIANT a, b;
        ASSERT_EQ(s.ReadOnlineArrays(&a, &b), S_OK);
        for (auto [v, want] : {std::pair{&a, &c.a}, std::pair{&b, &c.b}}) {
            ASSERT_EQ(v->vt, VT_ARRAY | VT_R8);
            auto* d = static_cast<double*>(v->parray->pvData);
            ASSERT_EQ(v->parray->rgsabound[0].cElements, want->size());
            EXPECT_EQ(std::vector<double>(d, d + want->size()), *want);
            EXPECT_EQ(VariantClear(v), S_OK);
        }
    }
    // The same pairs go to a full ring at 16-bit scale, dropping the oldest.
    g_ScopeBufferA.Resize(3);
    g_ScopeBufferB.Resize(3);
    stream->Reply({0x00, 0x02, 0x7F, 0x80, 0x81, 0x01});
    EXPECT_TRUE(scope->ReadOnlineToBuffers());
    EXPECT_EQ(stream->Written(), (Bytes{0xDA, 0xDA}));
    EXPECT_EQ(First(g_ScopeBufferA.Front(), 3), (std::vector<int16_t>{0, 127 * 256, -127 * 256}));
    EXPECT_EQ(First(g_ScopeBufferB.Front(), 3), (std::vector<int16_t>{0, -32768, 256}));
    // A box that stops answering is reported once; nothing to hand back.
    EXPECT_EQ(scope->ReadOnlineArrays(nullptr, nullptr), E_POINTER);
    VARIANT a, b;
    EXPECT_EQ(scope->ReadOnlineArrays(&a, &b), S_FALSE);
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(a.vt, VT_EMPTY);
}

TEST_F(ScopeTest, MemoryRecordGoesToTheBackArraysWhichThenBecomeTheFront) {
    // Model 2: words, the command and count in an inner block of their own;
    // a grounded channel is cleared, not read.
    CScope& s2 = Make(2);
    g_ScopeBufferA.Resize(401); // time base row 0: 401 values
    g_ScopeBufferB.Resize(401);
    g_nCouplingB = kCouplingGround;
    g_ScopeBufferB.Back()[5] = 99;
    Bytes samples;
    for (int i = 0; i < 401; ++i) {
        samples = Cat({samples, Be16(static_cast<uint16_t>(i - 200))});
    }
    stream->Reply(samples);
    s2.ReadMemoryToBuffers();
    ASSERT_EQ(stream->Blocks().size(), 2u);
    EXPECT_EQ(stream->Blocks()[1], (Bytes{0xDC, 0x01, 0x91}));
    EXPECT_EQ(stream->Written(), (Bytes{0xDC, 0x01, 0x91, 0x01}));
    EXPECT_EQ(stream->Unread(), 0u);
    EXPECT_EQ(std::tuple(g_bFrontFirst, g_ScopeBufferA.Front()[0], g_ScopeBufferA.Front()[400],
                         g_ScopeBufferB.Front()[5], g_ScopeBufferA.m_nIndex),
              std::tuple(uint8_t{1}, int16_t{-200 * 64}, int16_t{200 * 64}, int16_t{0}, 400));

    // Model 1: bytes, A then B, from the row last applied (800 values).
    CScope& s1 = Make(1);
    g_nCouplingB = 0;
    g_nTimeBaseApplied = 2;
    g_ScopeBufferA.Resize(800);
    g_ScopeBufferB.Resize(800);
    Bytes bytes(1600, 0);
    bytes[0] = 0x80;
    bytes[800] = 0x01;
    stream->Reply(bytes);
    s1.ReadMemoryToBuffers();
    EXPECT_EQ(std::tuple(g_bFrontFirst, g_ScopeBufferA.Front()[0], g_ScopeBufferB.Front()[0]),
              std::tuple(uint8_t{0}, int16_t{-32768}, int16_t{256}));
    EXPECT_EQ(stream->Written(), (Bytes{0xD4, 0x1C, 0xE0, 0x03, 0x20, 0x00, 0x01, 0x03}));
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
    // Sent once; the trigger alone then uses the row last applied, not the
    // pending one.
    g_nTimeBase = 15;
    g_nPostTrigger = 100;
    s.SetTriggerSource(2);
    stream->ClearWritten();
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

TEST_F(ScopeTest, SettingsSnapshotAndStoredSettingsRestoreEverySetting) {
    CScope& s = Make(1);
    // Pending time base 9, applied 7.
    const State set{9, 7, 0, 1, 1, 3, 2, 12, 1, 2, 40, -30, 500, 1, 1};
    Settings() = set;
    CSettings* snap = s.GetSettings();
    ASSERT_NE(dynamic_cast<CScopeSettings*>(snap), nullptr);
    Settings() = kFresh;
    s.SetSettings(nullptr);
    EXPECT_EQ(s.TakeChanged(), 0);
    s.SetSettings(snap);
    EXPECT_EQ(s.TakeChanged(), 0xFFFF);
    // The snapshot holds the applied row, sent again by the next SendChanges.
    EXPECT_EQ(State(Settings()),
              (State{7, 0, 0, 1, 1, 3, 2, 12, 1, 2, 40, -30, kScopeBufferSamples, 1, 1}));

    // Stored: both rows, the buffer size and the single flag, then both
    // buffers; hold is not kept.
    Settings() = set;
    g_ScopeBufferA.Resize(2);
    g_ScopeBufferB.Resize(1);
    g_ScopeBufferA.Front()[1] = 77;
    const Bytes out = Stored(s);
    Bytes head =
        Cat({Le32(1), Le32(7), Le32(9), Le32(0), Le32(1), Le32(3), Le32(1), Le32(2), Le32(12),
             Le32(1), Le32(2), Le32(40), Le32(static_cast<uint32_t>(-30)), Le32(500), Le32(1)});
    ASSERT_EQ(out.size(), head.size() + 2 * 20 + 2 * 3);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(head.size())), head);
    Settings() = kFresh;
    g_ScopeBufferA.Resize(0);
    s.TakeChanged();
    EXPECT_EQ(Load(s, out), 0u);
    EXPECT_EQ(s.TakeChanged(), 0xFFFF);
    EXPECT_EQ(State(Settings()), (State{9, 7, 0, 1, 1, 3, 2, 12, 1, 2, 40, -30, 500, 1, 0}));
    EXPECT_EQ(g_ScopeBufferA.Front()[1], 77);
    // A file that ends inside the settings, or names a range row the inputs
    // do not have, is refused and changes nothing.
    Bytes badRange = out;
    badRange[20] = 15;
    Settings() = kFresh;
    for (size_t n : {size_t{30}, out.size()}) {
        EXPECT_THROW(Load(s, n == 30 ? out : badRange, n), CArchiveException);
        EXPECT_EQ(State(Settings()), kFresh);
    }
}

TEST_F(ScopeTest, BufferIsARingThatStoresItsFront) {
    CScopeBuffer buf;
    buf.m_pData[0][2] = buf.m_pData[1][2] = buf.m_pData[0][4] = 7;
    buf.Resize(4);
    EXPECT_EQ(buf.m_nIndex, 3);
    EXPECT_EQ(buf.m_pData[0][2] + buf.m_pData[1][2], 0);
    EXPECT_EQ(buf.m_pData[0][4], 7); // beyond the record: untouched
    // Full: each new sample drops the oldest; after a restart it fills in place.
    for (int16_t v : {1, 2, 3, 4, 5}) {
        buf.Append(v);
    }
    EXPECT_EQ(First(buf.Front(), 4), (std::vector<int16_t>{2, 3, 4, 5}));
    buf.m_nIndex = -1;
    for (int16_t v : {9, 8, 7, 6}) {
        buf.Append(v);
    }
    EXPECT_EQ(buf.m_nIndex, 3);
    EXPECT_EQ(First(buf.Front(), 4), (std::vector<int16_t>{9, 8, 7, 6}));
    buf.Resize(100000);
    EXPECT_EQ(buf.m_nCount, kScopeBufferSamples);

    buf.Resize(3);
    buf.m_dFactor = 2.5;
    const int16_t samples[] = {-2, 0x1234, 7};
    std::copy_n(samples, 3, buf.Front());
    buf.m_nIndex = 1;
    Bytes stored = Stored(buf);
    EXPECT_EQ(stored,
              Cat({Le32(2), Le32(3), Le32(1), Le64(2.5), {0xFE, 0xFF, 0x34, 0x12, 0x07, 0x00}}));
    struct Case {
        Bytes data;
        std::vector<int16_t> samples;
        double factor;
    } cases[] = {
        {stored, {-2, 0x1234, 7}, 2.5},
        // Version 1: one byte a sample, the high byte of the 16-bit value.
        {Cat({Le32(1), Le32(4), Le32(0), Le64(1.0), {0x01, 0x80, 0xFF, 0x7F}}),
         {256, -32768, -256, 0x7F00},
         1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples.size());
        g_bFrontFirst = 0;
        CScopeBuffer back;
        Load(back, c.data);
        EXPECT_EQ(g_bFrontFirst, 1);
        EXPECT_EQ(back.m_nIndex, static_cast<int32_t>(c.samples.size()) - 1); // last is newest
        EXPECT_EQ(back.m_dFactor, c.factor);
        EXPECT_EQ(First(back.m_pData[0], c.samples.size()), c.samples);
        EXPECT_EQ(First(back.m_pData[1], c.samples.size()), c.samples);
    }
    // A record ending early is refused before anything changes.
    EXPECT_THROW(Load(buf, Cat({Le32(2), Le32(5), Le32(0), Le64(1.0), {1, 0, 2, 0}})),
                 CArchiveException);
    EXPECT_EQ(buf.m_nCount, 3u);
}
