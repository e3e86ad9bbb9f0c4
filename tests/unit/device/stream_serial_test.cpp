// The serial stream over a real pseudo-terminal, the test playing the box.
#include <gtest/gtest.h>

#include "support/comm_code.h"

#include <thread>

#include "device/exchange.h"
#include "device/stream.h"
#include "framework/exception.h"
#include "support/pty_peer.h"

TEST(SerialStream, OpensThePortOfTheProfileAndCountsUsers) {
    SerialRig r;
    CStreamCOM s;
    ASSERT_TRUE(s.Open());
    EXPECT_STREQ(g_szComPort, "COM3");
    EXPECT_TRUE(s.Open()); // a second user only counts
    EXPECT_EQ(s.m_nOpenCount, 2);
    s.Close();
    EXPECT_TRUE(s.IsOpen());
    s.Close();
    EXPECT_FALSE(s.IsOpen());
    s.Close(); // not open: nothing changes
    EXPECT_EQ(s.m_nOpenCount, 0);
}

TEST(SerialStream, AShortReplyTimesOutAndTheLineStaysUsableButNotOverlapped) {
    SerialRig r;
    CStreamCOM s;
    ASSERT_TRUE(s.Open());
    r.peer.Send({1, 2, 3});
    uint8_t b[4] = {};
    EXPECT_EQ(CodeOf([&] { s.Read(b, 4); }), 20012u);
    EXPECT_EQ(b[2], 3); // what came stays in the buffer
    EXPECT_FALSE(g_bSerialReadBusy.load());
    r.peer.Send({0x21});
    EXPECT_NO_THROW(CheckAck(s));

    // So is an overlapping read or write.
    g_bSerialReadBusy = true;
    EXPECT_EQ(CodeOf([&] { s.Read(b, 1); }), 20012u);
    g_bSerialReadBusy = false;
    g_bSerialWriteBusy = true;
    EXPECT_EQ(CodeOf([&] { s.Write(b, 1); }), 20013u);
    g_bSerialWriteBusy = false;
}

TEST(SerialStream, AHangUpMidExchangeIsACleanError) {
    SerialRig r;
    CStreamCOM s;
    ASSERT_TRUE(s.Open());
    std::thread box([&] {
        r.peer.Receive(1);
        r.peer.Send({'K', 'X'});
        r.peer.HangUp();
    });
    uint8_t cmd = 0x02;
    s.Write(&cmd, 1);
    uint8_t b[10];
    EXPECT_EQ(CodeOf([&] { s.Read(b, 10); }), 20012u);
    box.join();
    EXPECT_FALSE(g_bSerialReadBusy.load());
    EXPECT_NE(CodeOf([&] { s.Write(&cmd, 1); }), 0u);
    EXPECT_FALSE(g_bSerialWriteBusy.load());
}

TEST(SerialStream, PortValuesThatAreNoDigitAreRefused) {
    TempProfile profile;
    for (const char* port : {"0", "10", "-1", "x"}) {
        profile.Set("Settings", "Port", port);
        CStreamCOM s;
        EXPECT_FALSE(s.Open()) << "Port=" << port;
        EXPECT_EQ(s.m_nOpenCount, 0);
    }
    profile.Set("Settings", "Port", "7");
    profile.Set("Ports", "COM7", "/nonexistent/tty");
    CStreamCOM s;
    EXPECT_FALSE(s.Open());
}
