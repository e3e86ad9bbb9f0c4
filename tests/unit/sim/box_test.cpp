// The simulated box's side of the protocol, fed byte by byte as the host
// sends it.
#include <gtest/gtest.h>

#include <string>

#include "sim/box.h"

using kobsim::Box;
using kobsim::BoxConfig;
using kobsim::Bytes;
using kobsim::Fault;
using kobsim::FaultKind;

namespace {

Bytes Send(Box& box, const Bytes& host) {
    return box.Feed(host.data(), host.size()).bytes;
}

Bytes Text(const std::string& s, bool zero = true) {
    Bytes b(s.begin(), s.end());
    if (zero) {
        b.push_back(0);
    }
    return b;
}

} // namespace

TEST(SimBox, IdentifiesBothModelsWithTheVersionFromIndexEighteen) {
    Box two;
    EXPECT_EQ(Send(two, {0x02}), Text("KX7710-3B2 Vers.  105 KOBALTIX Interface"));
    EXPECT_EQ(Send(two, {0x0B}), (Bytes{0x02}));

    BoxConfig cfg;
    cfg.model = 1;
    cfg.version = 98;
    Box one(cfg);
    Bytes id = Send(one, {0x02});
    std::string text(id.begin(), id.end() - 1);
    EXPECT_EQ(text.substr(0, 10), "KX7710-3B ");
    EXPECT_EQ(text.substr(18, 2), "98");
    EXPECT_EQ(Send(one, {0x0B}), (Bytes{0x01}));

    cfg.oldBox = true;
    Box old(cfg);
    EXPECT_EQ(Send(old, {0x0B}), (Bytes{'?'}));

    cfg.identity = "MX9 something else";
    Box stranger(cfg);
    EXPECT_EQ(Send(stranger, {0x02}), Text("MX9 something else"));
}

TEST(SimBox, AnnouncesAndReleasesInstrumentsEvenWhenBytesArriveOneByOne) {
    Box box;
    Bytes out;
    for (uint8_t b : Bytes{0x0E, 0x05, 0x0E, 0x06, 0x0F}) {
        Bytes r = Send(box, {b});
        out.insert(out.end(), r.begin(), r.end());
    }
    EXPECT_EQ(out, (Bytes{'!', '!'})); // the release still lacks its type
    EXPECT_EQ(Send(box, {0x05}), (Bytes{'!'}));
    EXPECT_EQ(box.Announced(), (std::vector<int>{6}));
    EXPECT_EQ(Send(box, {0x0E, 0x09}), (Bytes{'?'})); // no such instrument
    EXPECT_FALSE(box.Closed());
    EXPECT_TRUE(Send(box, {0x11}).empty());
    EXPECT_TRUE(box.Closed());
    EXPECT_EQ(box.Commands(), (Bytes{0x0E, 0x0E, 0x0F, 0x0E, 0x11}));
    std::vector<std::string> log = box.Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "0x0E announce instrument [05] (oscilloscope) -> 21");
}

TEST(SimBox, EveryUnknownByteIsAnsweredWithAQuestionMark) {
    Box box;
    EXPECT_EQ(Send(box, {0xC7, 0x12, 0x0B}), (Bytes{'?', '?', 0x02}));
}

TEST(SimBox, FaultsChangeTheReplyAsToldAndRunOut) {
    Box box;
    box.AddFault(0x0E, {FaultKind::WrongAck, 0, 1});
    EXPECT_EQ(Send(box, {0x0E, 0x05}), (Bytes{0x15}));
    EXPECT_EQ(Send(box, {0x0E, 0x05}), (Bytes{'!'})); // used up

    box.AddFault(0x02, {FaultKind::ShortReply, 4, -1});
    EXPECT_EQ(Send(box, {0x02}), Text("KX77", false));
    EXPECT_EQ(Send(box, {0x02}), Text("KX77", false));
    box.ClearFaults();

    box.AddFault(0x0B, {FaultKind::Garbage, 2, 1});
    Bytes g = Send(box, {0x0B});
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0], 0x02);

    box.AddFault(0x0F, {FaultKind::NoReply, 0, 1});
    EXPECT_TRUE(Send(box, {0x0F, 0x05}).empty());

    box.AddFault(0x0B, {FaultKind::Delay, 250, 1});
    auto delayed = box.Feed(Bytes{0x0B}.data(), 1);
    EXPECT_EQ(delayed.delayMs, 250);
    EXPECT_EQ(delayed.bytes, (Bytes{0x02}));

    // A hang-up drops the line: what followed the command is not taken.
    box.AddFault(0x02, {FaultKind::HangUp, 0, 1});
    Bytes host{0x02, 0x0B};
    auto dropped = box.Feed(host.data(), host.size());
    EXPECT_TRUE(dropped.hangUp);
    EXPECT_TRUE(dropped.bytes.empty());
}

TEST(SimBox, FaultTextsFromTheCommandLine) {
    struct Case {
        const char* text;
        bool ok;
        uint8_t command;
        FaultKind kind;
        int arg;
        int count;
    };
    const Case cases[] = {
        {"0x0e:wrong-ack", true, 0x0E, FaultKind::WrongAck, 0, -1},
        {"2:delay:1500", true, 0x02, FaultKind::Delay, 1500, -1},
        {"0x0b:hangupx2", true, 0x0B, FaultKind::HangUp, 0, 2},
        {"0x02:short:5x1", true, 0x02, FaultKind::ShortReply, 5, 1},
        {"0x0b:garbage", true, 0x0B, FaultKind::Garbage, 3, -1},
        {"0x0b:no-reply", true, 0x0B, FaultKind::NoReply, 0, -1},
        {"0x0b", false, 0, FaultKind::NoReply, 0, 0},
        {"0x100:no-reply", false, 0, FaultKind::NoReply, 0, 0},
        {"0x0b:explode", false, 0, FaultKind::NoReply, 0, 0},
        {"0x0b:delay:soon", false, 0, FaultKind::NoReply, 0, 0},
        {"zz:no-reply", false, 0, FaultKind::NoReply, 0, 0},
    };
    for (const Case& c : cases) {
        uint8_t command = 0;
        Fault fault;
        std::string error;
        ASSERT_EQ(kobsim::ParseFault(c.text, command, fault, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(command, c.command) << c.text;
        EXPECT_EQ(fault.kind, c.kind) << c.text;
        EXPECT_EQ(fault.arg, c.arg) << c.text;
        EXPECT_EQ(fault.count, c.count) << c.text;
    }
}
