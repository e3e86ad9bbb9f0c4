// The interface device against the simulated box, attached in-process as a
// serial line and as the USB pipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "device/kobface.h"
#include "device/stream.h"
#include "sim/inprocess.h"
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

TEST(InProcessBox, ARefusedAnnouncementIsShownAndTheOthersGoOn) {
    Connected c(false);
    ASSERT_TRUE(c.opened);
    ASSERT_TRUE(c.kobface.Identify());
    c.box.TheBox().AddFault(0x0E, {FaultKind::WrongAck, 0, 1});
    c.kobface.CreateAllDevices();
    EXPECT_EQ(c.ui.messages.size(), 1u);
    std::vector<uint8_t> commands = c.box.TheBox().Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x0E), 8);
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

TEST(InProcessBox, AMissingBoxCannotBeOpened) {
    TempProfile profile;
    profile.Set("Settings", "Port", "1");
    InProcessBox box;
    box.SetPresent(false);
    box.AttachSerial(100);
    box.AttachUsb();
    CStreamCOM serial;
    EXPECT_FALSE(serial.Open());
    CKobUsb usb;
    EXPECT_FALSE(usb.Open());
}
