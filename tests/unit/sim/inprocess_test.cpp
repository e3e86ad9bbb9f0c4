// The interface device against the simulated box, attached in-process as a
// serial line and as the USB pipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "device/stream.h"
#include "sim/inprocess.h"
#include "support/comm_code.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

using kobsim::BoxConfig;
using kobsim::FaultKind;
using kobsim::InProcessBox;

namespace {

struct Connected {
    explicit Connected(bool usb, BoxConfig cfg = {}) : box(cfg) {
        profile.Set("Settings", "Port", "1");
        if (usb) {
            box.AttachUsb();
            kobface.SetStream(new CKobUsb);
        } else {
            box.AttachSerial(200);
            kobface.SetStream(new CStreamCOM);
        }
        opened = kobface.m_pStream->Open();
    }
    TempProfile profile;
    ScriptedUi ui;
    InProcessBox box;
    CKobface kobface;
    bool opened = false;
};

} // namespace

TEST(InProcessBox, IdentifiesOverBothLinesAndAnnouncesEveryInstrument) {
    for (bool usb : {false, true}) {
        SCOPED_TRACE(usb ? "usb" : "serial");
        BoxConfig cfg;
        cfg.model = usb ? 2 : 1;
        Connected c(usb, cfg);
        ASSERT_TRUE(c.opened);
        ASSERT_TRUE(c.kobface.Identify());
        EXPECT_EQ(g_byModel, cfg.model);
        EXPECT_EQ(c.kobface.GetVersionNumber(), 105);
        c.kobface.CreateAllDevices();
        EXPECT_EQ(c.box.TheBox().Announced(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_TRUE(c.ui.messages.empty());
    }
}

TEST(InProcessBox, UsbExchangeIsOneWriteAndPacketsUntilTheReply) {
    Connected c(true);
    ASSERT_TRUE(c.opened);
    int writes = c.box.UsbWrites();
    int reads = c.box.UsbReads();
    c.kobface.CreateDevice(kTypeScope);
    EXPECT_EQ(c.box.UsbWrites() - writes, 1); // command and type together
    EXPECT_GE(c.box.UsbReads() - reads, 1);
    EXPECT_EQ(c.box.TheBox().Announced(), (std::vector<int>{5}));
}

TEST(InProcessBox, SilenceAndHangUpEndTheExchangeWithinTheTimeOut) {
    Connected c(false);
    ASSERT_TRUE(c.opened);
    c.box.TheBox().AddFault(0x0B, {FaultKind::NoReply, 0, 1});
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(c.kobface.Identify(), CCommException);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(c.kobface.Identify()); // the line is still good

    c.box.TheBox().AddFault(0x02, {FaultKind::HangUp, 0, 1});
    EXPECT_THROW(c.kobface.Identify(), CCommException);
}

TEST(InProcessBox, ScopeAndMeterRepliesReadWithTheHostsExchange) {
    for (bool usb : {false, true}) {
        SCOPED_TRACE(usb ? "usb" : "serial");
        BoxConfig cfg;
        cfg.fast = true;
        Connected c(usb, cfg);
        ASSERT_TRUE(c.opened);
        CStreamIO& s = *c.kobface.m_pStream;
        auto send = [&s](std::vector<uint8_t> bytes) {
            SendCommand(s, bytes.data(), static_cast<uint32_t>(bytes.size()));
        };
        send({0x60, 0x08, 0x05}); // A on 5 V, B on 50 V
        CheckAck(s);
        send({0x62});
        CheckAck(s);
        send({0x65});
        EXPECT_EQ(ReadByte(s), 2); // measured
        send({0x66});
        int16_t currentA = static_cast<int16_t>(ReadWord(s));
        ReadWord(s);
        EXPECT_GE(currentA, -204);
        EXPECT_LE(currentA, 204);
        uint32_t longs[6];
        for (uint32_t& l : longs) {
            l = ReadLong(s);
        }
        // 100 whole periods of A's 1 kHz sine: a mean near 0, an RMS near
        // 2 V / sqrt 2 in counts of 5 V / 511.
        EXPECT_LT(std::abs(static_cast<int32_t>(longs[0]) / 2048.0), 2.0);
        EXPECT_NEAR(std::sqrt(longs[4] / 2048.0), 204.4 / std::sqrt(2.0), 1.5);
        int16_t extremes[4];
        for (int16_t& e : extremes) {
            e = static_cast<int16_t>(ReadWord(s));
        }
        EXPECT_EQ(extremes[0], -204);
        EXPECT_EQ(extremes[1], 204);
        EXPECT_EQ(extremes[3], 51); // B: 5 V on 50 V
        EXPECT_EQ(s.GetInQueue(), 0u);

        // A refused scope start is the host's error 20014.
        c.box.TheBox().AddFault(0xD2, {FaultKind::WrongAck, 0, 1});
        EXPECT_EQ(CodeOf([&] {
                      send({0xD2});
                      CheckAck(s);
                  }),
                  20014u);
    }
}
