// The digital port's and the relays' models: every command byte-exact with
// its acknowledgement, the change bits, and the stored settings with the
// pattern list.
#include <gtest/gtest.h>

#include <functional>

#include "device/kobface.h"
#include "instruments/digio/digio.h"
#include "instruments/relays/relays.h"
#include "support/comm_code.h"
#include "support/scripted_stream.h"
#include "support/stored.h"

namespace {

class DigitalTest : public ::testing::Test {
protected:
    void SetUp() override {
        stream = new ScriptedStream;
        kobface.SetStream(stream);
        g_wDigOut = 0;
        g_byRelays = 0;
        g_dwRelaysChanged = 0;
    }
    CKobface kobface;
    ScriptedStream* stream = nullptr;
    CDigIO dig{&kobface};
    CRelays relays{&kobface};
};

} // namespace

TEST_F(DigitalTest, CommandsOnTheWire) {
    uint16_t words[3] = {};
    const uint16_t values[2] = {0x0102, 0xFFFF};
    const uint16_t lengths[2] = {1, 7};
    struct Case {
        const char* name;
        std::function<void()> run;
        Bytes reply;
        Bytes sent;
    } cases[] = {
        {"inputs", [&] { EXPECT_EQ(dig.ReadInputs(), 0xBEEF); }, {0xBE, 0xEF}, {0x20}},
        {"outputs, nothing read back", [&] { dig.WriteOutputs(0x1234); }, {}, {0x21, 0x12, 0x34}},
        // clang-format off
        {"setup after timing and trigger (online 2 is 1)",
         [&] { dig.SetTiming(0x0A0B, 0x0100, 2), dig.SetTrigger(0x00F0, 0x0030), dig.SendSetup(); },
         {'!'}, {0x23, 0x0A, 0x0B, 0x00, 0xF0, 0x00, 0x30, 0x01, 0x00, 0x01}},
        {"setup offline", [&] { dig.SetTiming(1, 2, false), dig.SendSetup(); },
         {'!'}, {0x23, 0, 1, 0, 0xF0, 0, 0x30, 0, 2, 0}},
        // clang-format on
        {"start", [&] { dig.StartAnalyser(); }, {'!'}, {0x28}},
        {"stop", [&] { dig.StopAnalyser(); }, {'!'}, {0x29}},
        {"status", [&] { EXPECT_EQ(dig.GetStatus(), 3); }, {3}, {0x26}},
        {"memory of 3 words in order",
         [&] {
             dig.ReadMemory(3, words);
             EXPECT_EQ(std::vector<uint16_t>(words, words + 3),
                       (std::vector<uint16_t>{0x0001, 0x0203, 0xFFFE}));
         },
         {0, 1, 2, 3, 0xFF, 0xFE, '!'},
         {0x24, 0, 3}},
        {"pattern of value and length pairs",
         [&] { dig.WritePattern(2, values, lengths); },
         {'!'},
         {0x25, 0, 2, 1, 2, 0, 1, 0xFF, 0xFF, 0, 7}},
        {"online count then words",
         [&] {
             ASSERT_EQ(dig.RequestOnline(), 2);
             dig.ReadOnlineWords({words, 2});
             EXPECT_EQ(words[1], 0x0A0B);
         },
         {0, 2, 0, 1, 0x0A, 0x0B},
         {0x2A}},
        {"relay status", [&] { EXPECT_EQ(relays.GetStatus(), 0x5A); }, {0x5A}, {0x33}},
        {"relays set", [&] { relays.SetRelays(0xA5); }, {'!'}, {0x32, 0xA5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stream->ClearWritten();
        stream->Reply(c.reply);
        c.run();
        EXPECT_EQ(stream->Written(), c.sent);
        EXPECT_EQ(stream->Unread(), 0u);
    }
}

TEST_F(DigitalTest, RefusedCommandsThrowAndKeepTheirChangesPending) {
    g_byRelays = 0x81;
    CRelays::MarkRelaysChanged(0x0001);
    CRelays::MarkRelaysChanged(0x0100);
    stream->ClearWritten();
    stream->Reply({'?'});
    EXPECT_EQ(CodeOf([&] { relays.SendChanges(); }), 20014u);
    stream->Reply({'!'});
    relays.SendChanges(); // tried again, once, with the latest byte
    relays.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x32, 0x81, 0x32, 0x81}));

    // Only the low 16 bits of the mask count; only bit 0 of the model's.
    g_dwRelaysChanged = 0x10000;
    g_wDigOut = 0xC003;
    dig.SetChanged(3);
    stream->ClearWritten();
    relays.SendChanges();
    dig.SendChanges();
    dig.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x21, 0xC0, 0x03}));
}

TEST_F(DigitalTest, StoredSettingsComeBackWithBufferAndPatterns) {
    dig.SetTiming(0x1234, 3, true);
    dig.SetTrigger(0x8001, 0x0001);
    dig.m_dwAux = 777;
    dig.m_wIndex = 2;
    dig.m_Buffer = {7, 8, 9};
    for (uint32_t v : {5u, 6u}) {
        auto* d = new CDigData;
        d->m_dwValue = v;
        d->m_dwLength = v * 10;
        dig.m_Patterns.push_back(d);
    }
    const Bytes data = Stored(dig);

    CDigIO back(&kobface);
    back.ResizeBuffer(1);
    back.m_Patterns.push_back(new CDigData);
    Load(back, data);
    EXPECT_EQ(Stored(back), data); // the extra pattern and buffer are gone

    // Every shorter file is refused and changes nothing.
    for (size_t n = 0; n < data.size(); ++n) {
        CDigIO fresh(&kobface);
        const Bytes before = Stored(fresh);
        EXPECT_THROW(Load(fresh, data, n), CArchiveException) << n << " bytes";
        EXPECT_EQ(Stored(fresh), before);
    }

    // Relays: the loaded byte goes out even when it is the current one.
    g_byRelays = 0x3C;
    const Bytes relayData = Stored(relays);
    EXPECT_EQ(relayData, (Bytes{1, 0, 0, 0, 0x3C}));
    Load(relays, relayData);
    stream->ClearWritten();
    stream->Reply({'!'});
    relays.SendChanges();
    EXPECT_EQ(stream->Written(), (Bytes{0x32, 0x3C}));
}
