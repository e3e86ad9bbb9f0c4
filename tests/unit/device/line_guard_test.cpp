// What keeps the line to the box honest: only a terminal is ever opened and
// written to, exclusive use ends with the stream, bytes that belong to no
// exchange are an error, and identification starts on a quiet line.
#include <gtest/gtest.h>

#include "support/comm_code.h"

#include <fstream>
#include <iterator>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "support/pty_peer.h"

TEST(LineGuard, WhatIsNoTerminalIsNeverOpenedNorWrittenTo) {
    TempProfile profile;
    const std::string file = profile.Path() + ".line";
    std::ofstream(file, std::ios::binary) << "vm\n";
    for (const std::string& path : {file, std::string("/dev/null")}) {
        profile.Set("Ports", "COM1", path);
        CKobface kobface; // closing the line on the way out
        kobface.SetStream(new CStreamCOM);
        EXPECT_FALSE(kobface.m_pStream->Open()) << path;
        EXPECT_FALSE(kobface.IsConnected()) << path;
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "vm\n");
    std::remove(file.c_str());
}

TEST(LineGuard, ExclusiveUseEndsWithTheStream) {
    SerialRig r;
    int exclusive[2] = {-1, -1};
    {
        CStreamCOM s;
        ASSERT_TRUE(s.Open());
        ioctl(r.peer.SlaveFd(), TIOCGEXCL, &exclusive[0]);
    }
    ioctl(r.peer.SlaveFd(), TIOCGEXCL, &exclusive[1]);
    EXPECT_EQ(exclusive[0], 1);
    EXPECT_EQ(exclusive[1], 0);
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
        r.peer.Receive(1, 3000);
        r.peer.Send({'K', 'X', '7', '7', '1', '0', '-', '3', 'B', '2', 0x00});
        r.peer.Receive(1, 1000);
        r.peer.Send({0x02});
    });
    EXPECT_TRUE(kobface.Identify());
    box.join();
}
