// What keeps the line to the box honest: only a terminal is ever opened and
// written to, exclusive use ends with the stream, bytes that belong to no
// exchange are an error, and identification starts on a quiet line.
#include <gtest/gtest.h>

#include "support/comm_code.h"

#include <fstream>
#include <iterator>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>

#include "device/exchange.h"
#include "device/kobface.h"
#include "device/stream.h"
#include "support/fake_usb.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "support/serial_rig.h"
#include "support/temp_profile.h"

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(LineGuard, WhatIsNoTerminalIsNeverOpenedNorWrittenTo) {
    TempProfile profile;
    const std::string file = profile.Path() + ".line";
    const std::string fifo = profile.Path() + ".fifo";
    std::ofstream(file, std::ios::binary) << "vm\n";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, fifo, std::string("/dev/null")}) {
        profile.Set("Settings", "Port", "1");
        profile.Set("Ports", "COM1", path);
        {
            CKobface kobface;
            kobface.SetStream(new CStreamCOM);
            EXPECT_FALSE(kobface.m_pStream->Open()) << path;
            EXPECT_FALSE(kobface.IsConnected()) << path;
            EXPECT_EQ(kobface.m_pStream->m_nOpenCount, 0) << path;
        }
    }
    EXPECT_EQ(Contents(file), "vm\n");
    std::remove(file.c_str());
    std::remove(fifo.c_str());
}

TEST(LineGuard, ExclusiveUseEndsWithTheStream) {
    SerialRig r;
    ASSERT_TRUE(r.peer.Ok());
    int exclusive = -1;
    {
        CStreamCOM s;
        ASSERT_TRUE(s.Open());
        ASSERT_EQ(ioctl(r.peer.SlaveFd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    ASSERT_EQ(ioctl(r.peer.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST(LineGuard, BytesBelongingToNoExchangeAreAnErrorAndPurged) {
    SerialRig r;
    CStreamCOM s;
    ASSERT_TRUE(s.Open());
    const uint8_t status = 0xD5;
    // After the reply: the exchange ends in an error, not in data.
    s.Write(&status, 1);
    EXPECT_EQ(r.peer.Receive(1), (std::vector<uint8_t>{0xD5}));
    r.peer.Send({0x03, 0xA5, 0x5A, 0xFF});
    EXPECT_EQ(ReadByte(s), 0x03);
    EXPECT_EQ(CodeOf([&] { s.EndExchange(); }), 20011u);
    EXPECT_EQ(s.GetInQueue(), 0u);
    // Before a command: the command is not sent.
    r.peer.Send({0x44, 0x44});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(CodeOf([&] { s.Write(&status, 1); }), 20011u);
    EXPECT_TRUE(r.peer.Receive(1, 50).empty());
    // A whole reply leaves the line in step.
    s.Write(&status, 1);
    r.peer.Send({0x03});
    EXPECT_EQ(ReadByte(s), 0x03);
    EXPECT_EQ(CodeOf([&] { s.EndExchange(); }), 0u);
}

TEST(LineGuard, UsbPacketBytesBeyondTheReplyAreAnError) {
    FakeUsbDevice dev;
    CKobUsb s;
    ASSERT_TRUE(s.Open());
    dev.log->packets.push_back({0x21, 0x00, 0x07});
    CheckAck(s);
    EXPECT_EQ(CodeOf([&] { s.EndExchange(); }), 20011u);
    EXPECT_EQ(s.GetInQueue(), 0u);
    dev.log->packets.push_back({0x21});
    CheckAck(s);
    EXPECT_EQ(CodeOf([&] { s.EndExchange(); }), 0u);
}

TEST(LineGuard, IdentificationWaitsForTheRestOfAnOldRecord) {
    SerialRig r;
    CKobface kobface;
    kobface.SetStream(new CStreamCOM);
    ASSERT_TRUE(kobface.m_pStream->Open());
    std::thread box([&] {
        // The box is still sending a record a killed client asked for.
        for (int i = 0; i < 15; ++i) {
            r.peer.Send(std::vector<uint8_t>(20, 0xFF));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        auto cmd = r.peer.Receive(1, 3000);
        r.peer.Send({'K', 'X', '7', '7', '1', '0', '-', '3', 'B', '2', 0x00});
        r.peer.Receive(1, 1000);
        r.peer.Send({0x02});
    });
    EXPECT_TRUE(kobface.Identify());
    box.join();
    EXPECT_EQ(g_byModel, 2);
}

TEST(LineGuard, AModelByteNoBoxSendsIsAnError) {
    struct Case {
        const char* identity;
        uint8_t model;
    };
    const Case cases[] = {{"KX7710-3B2 Vers.", 165}, // garbled
                          {"KX7710-3B2 Vers.", 1},   // the name says model 2
                          {"KX7710-3B2 Vers.", '?'},
                          {"KX7710-3B  Vers.", 2}};
    for (const Case& c : cases) {
        ScriptedUi ui;
        CKobface kobface;
        auto* stream = new ScriptedStream;
        kobface.SetStream(stream);
        stream->Reply(c.identity);
        stream->Reply({0x00, c.model});
        g_byModel = 7;
        EXPECT_EQ(CodeOf([&] { kobface.Identify(); }), 20011u) << c.identity << int{c.model};
        EXPECT_FALSE(kobface.m_bIdentified);
        EXPECT_EQ(g_byModel, 7);
    }
}
