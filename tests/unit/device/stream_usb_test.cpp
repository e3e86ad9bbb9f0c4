// The USB stream's packet logic, on fake pipes.
#include <gtest/gtest.h>

#include <numeric>

#include "support/comm_code.h"

#include "device/stream.h"
#include "framework/exception.h"
#include "support/fake_usb.h"

namespace {

std::vector<uint8_t> Counting(size_t n, uint8_t from = 0) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), from);
    return v;
}

std::vector<size_t> Sizes(const FakeUsbLog& log) {
    std::vector<size_t> s;
    for (const auto& w : log.writes) {
        s.push_back(w.size());
    }
    return s;
}

} // namespace

TEST(UsbStream, RepliesAreTakenFromBufferedPackets) {
    FakeUsbDevice dev;
    CKobUsb s;
    ASSERT_TRUE(s.Open());
    EXPECT_EQ(dev.lastProductId, 0x930C);
    dev.log->packets.push_back(Counting(64));
    dev.log->packets.push_back(Counting(10, 100));

    uint8_t b[70] = {};
    s.Read(b, 1);
    EXPECT_EQ(dev.log->reads, 1);
    EXPECT_EQ(s.GetInQueue(), 63u);
    s.Read(b, 63); // the rest of the packet, without a new transfer
    EXPECT_EQ(dev.log->reads, 1);
    EXPECT_EQ(b[62], 63);
    s.Read(b, 2);
    EXPECT_EQ(dev.log->reads, 2);
    EXPECT_EQ(b[0], 100);
    s.Purge();
    EXPECT_EQ(s.GetInQueue(), 0u);

    // Empty packets are waited through and a read spans packets.
    dev.log->reads = 0;
    dev.log->packets = {{}, {1, 2, 3}, {}, {}, {4, 5}};
    s.Read(b, 5);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(dev.log->reads, 5);
}

TEST(UsbStream, BlockModeGathersPacketsAndDirectWritesGoInPieces) {
    FakeUsbDevice dev;
    CKobUsb s;
    ASSERT_TRUE(s.Open());
    auto data = Counting(70);
    s.BeginBlock();
    s.Write(data.data(), 30);
    s.Write(data.data() + 30, 40);
    EXPECT_EQ(Sizes(*dev.log), (std::vector<size_t>{64})); // sent once the 65th byte came
    s.EndBlock();
    EXPECT_EQ(Sizes(*dev.log), (std::vector<size_t>{64, 6}));
    EXPECT_EQ(dev.log->writes[1][0], 64); // order kept across the packets

    dev.log->writes.clear();
    auto big = Counting(600);
    s.Write(big.data(), 600);
    EXPECT_EQ(Sizes(*dev.log), (std::vector<size_t>{256, 256, 88}));
    EXPECT_EQ(dev.log->writes[2][0], static_cast<uint8_t>(512));

    // An empty block sends nothing.
    dev.log->writes.clear();
    s.BeginBlock();
    s.EndBlock();
    EXPECT_TRUE(dev.log->writes.empty());
}

TEST(UsbStream, ClosedStreamDoesNothingAndCountsUsers) {
    FakeUsbDevice dev;
    CKobUsb s;
    uint8_t b[4] = {9, 9, 9, 9};
    EXPECT_NO_THROW(s.Read(b, 4));
    EXPECT_NO_THROW(s.Write(b, 4));
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ(dev.log->reads, 0);
    EXPECT_TRUE(dev.log->writes.empty());

    s.Close(); // not open: the count stays at 0
    EXPECT_EQ(s.m_nOpenCount, 0);
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(s.Open());
    s.Close();
    EXPECT_TRUE(s.IsOpen());
    s.Close();
    EXPECT_FALSE(s.IsOpen());

    dev.present = false;
    EXPECT_FALSE(s.Open());
    EXPECT_EQ(s.m_nOpenCount, 0);
}

TEST(UsbStream, FailuresThrowAndLeaveTheStreamUsable) {
    FakeUsbDevice dev;
    CKobUsb s;
    ASSERT_TRUE(s.Open());
    uint8_t b[2] = {};

    dev.log->failRead = true;
    EXPECT_EQ(CodeOf([&] { s.Read(b, 1); }), 20009u);
    EXPECT_FALSE(g_bUsbReadBusy.load());
    dev.log->failRead = false;
    dev.log->packets.push_back({0x21});
    EXPECT_EQ(CodeOf([&] { s.Read(b, 1); }), 0u);
    EXPECT_EQ(b[0], 0x21);

    dev.log->failWrite = true;
    EXPECT_EQ(CodeOf([&] { s.Write(b, 1); }), 20010u);
    EXPECT_FALSE(g_bUsbWriteBusy.load());
    dev.log->failWrite = false;
    dev.log->shortWrite = 1;
    EXPECT_EQ(CodeOf([&] { s.Write(b, 2); }), 20010u);
    EXPECT_EQ(CodeOf([&] { s.Write(b, 2); }), 0u);

    // A read already in progress elsewhere makes a second one fail cleanly.
    g_bUsbReadBusy = true;
    EXPECT_EQ(CodeOf([&] { s.Read(b, 1); }), 20009u);
    EXPECT_TRUE(g_bUsbReadBusy.load()); // still the other reader's
    g_bUsbReadBusy = false;

    // A box that only sends empty packets is given up.
    const int reads = dev.log->reads;
    EXPECT_EQ(CodeOf([&] { s.Read(b, 1); }), 20009u);
    EXPECT_GT(dev.log->reads, reads + 1);
    EXPECT_FALSE(g_bUsbReadBusy.load());
}
