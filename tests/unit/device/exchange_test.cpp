// The command exchange and the interface device on the wire.
#include <gtest/gtest.h>

#include <tuple>

#include "support/comm_code.h"

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/device_base.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "support/stored.h"

namespace {

// An interface device on a scripted line (owned by the device).
struct Rig {
    Rig() : stream(new ScriptedStream) { kobface.SetStream(stream); }
    ScriptedUi ui;
    CKobface kobface;
    ScriptedStream* stream;
};

} // namespace

// An old box answers the model query with '?': model one. A model byte no
// box sends, garbled or contradicting the name, fails the exchange.
TEST(Identify, BothModelsAreAcceptedAndNamed) {
    const std::tuple<const char*, uint8_t, int, const char*> cases[] = {
        {"KX7710-3B2 Vers.  105 KOBALTIX", 0x02, 2, "KX7710-3B2"},
        {"KX7710-3B  Vers.  98", '?', 1, "KX7710-3B"},
        {"KX7710-3B2 Vers.", 165, 0, nullptr},
        {"KX7710-3B2 Vers.", 1, 0, nullptr},
        {"KX7710-3B  Vers.", 2, 0, nullptr}};
    for (const auto& [identity, answer, model, name] : cases) {
        Rig r;
        r.stream->Reply(identity);
        r.stream->Reply({0x00, answer});
        if (!name) {
            EXPECT_EQ(CodeOf([&] { r.kobface.Identify(); }), 20011u) << identity << int{answer};
            EXPECT_FALSE(r.kobface.m_bIdentified);
            continue;
        }
        ASSERT_TRUE(r.kobface.Identify()) << identity;
        EXPECT_EQ(r.stream->Written(), (Bytes{0x02, 0x0B}));
        EXPECT_EQ(Narrow(r.kobface.m_strName), identity);
        EXPECT_EQ(g_byModel, model);
        EXPECT_EQ(r.stream->Purges(), 2); // before and after
        EXPECT_EQ(Narrow(CKobUsb().GetName()), name);
        EXPECT_TRUE(r.ui.messages.empty());
    }
}

TEST(Identify, OtherDevicesAreNamedAnEmptyAnswerIsSilentAndAnEndlessOneFails) {
    Rig r;
    r.stream->Reply({'M', 'X', '9', 0x00});
    EXPECT_FALSE(r.kobface.Identify());
    EXPECT_EQ(r.stream->Written(), (Bytes{0x02})); // no model query for a stranger
    ASSERT_EQ(r.ui.Messages().size(), 1u);
    EXPECT_EQ(r.ui.Messages()[0],
              "Device \"MX9\" found.\nThe program requires device \"KX7710-3B\".");

    r.stream->Reply({0x00});
    EXPECT_FALSE(r.kobface.Identify());
    EXPECT_EQ(r.ui.Messages().size(), 1u);
    // An endless identity fails the exchange at the bound.
    r.stream->Reply(Bytes(300, 'K'));
    EXPECT_EQ(CodeOf([&] { r.kobface.Identify(); }), 20011u);
    EXPECT_EQ(r.stream->Unread(), 0u); // the rest was purged
}

TEST(Identify, VersionNumberReadsDigitsFromIndexEighteen) {
    Rig r;
    const std::pair<const char16_t*, int> cases[] = {{u"KX7710-3B2 Vers.  105 X", 105},
                                                     {u"KX7710-3B2 Vers.  ", 0},
                                                     {u"KX7710-3B2 Vers.  V1", 0},
                                                     {u"KX7710-3B2 Vers.  99999999999", 0xFFFF}};
    for (const auto& [name, version] : cases) {
        r.kobface.m_strName = name;
        EXPECT_EQ(r.kobface.GetVersionNumber(), version) << Narrow(name);
    }
}

TEST(Exchange, AcknowledgementsAndFlushing) {
    // An acknowledgement other than '!' purges and throws.
    ScriptedStream s;
    s.Reply({'!', 'X', 0x55, 0x66});
    EXPECT_EQ(CodeOf([&] { CheckAck(s); }), 0u);
    EXPECT_EQ(CodeOf([&] { CheckAck(s); }), 20014u);
    EXPECT_EQ(s.Unread(), 0u);
    EXPECT_EQ(s.Purges(), 1);

    ScriptedStream closed(ScriptedStream::Kind::closed);
    EXPECT_EQ(CodeOf([&] { CheckAck(closed); }), 0u); // nothing to read on a line that is not open
    EXPECT_TRUE(ReadString(closed).empty());

    // Only input that is there is flushed.
    FlushInput(s);
    EXPECT_EQ(s.Purges(), 1);
    s.Reply({1, 2});
    FlushInput(s);
    EXPECT_EQ(s.Purges(), 2);
    uint8_t b[2];
    EXPECT_FALSE(TryRead(s, b, 2));
    s.Reply({7, 8});
    EXPECT_TRUE(TryRead(s, b, 2));
    EXPECT_EQ(b[1], 8);
}

namespace {

class MarkerModel : public CKobDevice {
public:
    using CKobDevice::CKobDevice;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar << marker;
        } else {
            ar >> marker;
        }
    }
    void SendChanges() override {}
    uint32_t marker = 0xABCD;
};

} // namespace

TEST(CreateDevice, AskingTwiceAnnouncesTwiceCreatesOnceAndARefusalIsOnlyShown) {
    Rig r;
    auto* model = new MarkerModel(&r.kobface);
    r.kobface.m_pScope = model;
    r.stream->Reply({'!', '!'});
    r.kobface.CreateDevice(kTypeScope);
    r.kobface.CreateDevice(kTypeScope);
    EXPECT_EQ(r.stream->Written(), (Bytes{0x0E, 0x05, 0x0E, 0x05}));
    EXPECT_EQ(r.kobface.m_pScope, model);

    // Another type tells the box and gets its own model.
    r.stream->ClearWritten();
    r.stream->Reply({'!'});
    r.kobface.CreateDevice(kTypeRelays);
    EXPECT_EQ(r.stream->Written(), (Bytes{0x0E, 0x02}));
    EXPECT_NE(r.kobface.m_pRelays, nullptr);
    EXPECT_TRUE(r.ui.messages.empty());

    // A refusal is shown and not passed on.
    r.stream->ClearWritten();
    r.stream->Reply({'?'});
    EXPECT_NO_THROW(r.kobface.CreateDevice(kTypeMeter));
    ASSERT_EQ(r.ui.Messages().size(), 1u);
    EXPECT_EQ(r.ui.Messages()[0], "The interface did not accept the command sended.");
    EXPECT_GE(r.ui.beeps, 1);

    // Release passes the failure to its caller.
    r.stream->Reply({'?'});
    EXPECT_EQ(CodeOf([&] { r.kobface.ReleaseDevice(kTypeMetraHit); }), 20014u);
    EXPECT_EQ(r.stream->Written(), (Bytes{0x0E, 0x06, 0x0F, 0x08}));
}

TEST(InterfaceDevice, StoresPresenceFlagsInTypeOrderAndRefusesWhatItCannotLoad) {
    Rig r;
    auto* scope = new MarkerModel(&r.kobface);
    scope->marker = 0x11223344;
    r.kobface.m_pScope = scope;
    const Bytes data = Stored(r.kobface);
    Bytes expected;
    for (uint32_t v : {1u, 0u, 0u, 0u, 0u, 1u, 0x11223344u, 0u, 0u, 0u}) {
        expected = Cat({expected, Le32(v)});
    }
    EXPECT_EQ(data, expected);
    scope->marker = 0;
    EXPECT_EQ(Load(r.kobface, data), 0u);
    EXPECT_EQ(scope->marker, 0x11223344u);
    // Every shorter file is refused, and so is a part for a model that is
    // not there (the digital I/O's).
    for (size_t n = 0; n < data.size(); ++n) {
        EXPECT_THROW(Load(r.kobface, data, n), CArchiveException) << n;
    }
    EXPECT_THROW(Load(r.kobface, Cat({Le32(1), Le32(1), Le32(0xDDCCBBAA)})), CArchiveException);
}

TEST(InterfaceDevice, ClosingCommandOnlyToAnIdentifiedBox) {
    // All a device ever wrote, its stream deleted with it.
    auto sent = [](bool identify) {
        Bytes out;
        {
            CKobface k;
            auto* s = new ScriptedStream;
            s->MirrorWritesTo(&out);
            k.SetStream(s);
            if (identify) {
                s->Reply("KX7710-3B Vers.");
                s->Reply({0x00, 0x01});
                EXPECT_TRUE(k.Identify());
            }
        }
        return out;
    };
    EXPECT_EQ(sent(true), (Bytes{0x02, 0x0B, 0x11}));
    EXPECT_TRUE(sent(false).empty());
}
