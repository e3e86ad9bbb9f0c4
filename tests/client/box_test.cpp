// What the box sees of a client, and a client's instruments on a box that
// misbehaves: refusals under both error policies, a box that stops
// answering in the middle of a read, a status nobody answers. Every call
// comes back with a clean HRESULT and the next call works.
#include <gtest/gtest.h>

#include <algorithm>

#include "client/fixture.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

class BoxTest : public client::ClientTest {
protected:
    explicit BoxTest(std::vector<std::string> faults = {}) : ClientTest(WithFast(faults)) {}
    static std::vector<std::string> WithFast(std::vector<std::string> args) {
        args.insert(args.begin(), "--fast");
        return args;
    }
    void Instruments() {
        ASSERT_EQ(kob->CreateScope(&scope), S_OK);
        ASSERT_EQ(kob->CreateMeter(&meter), S_OK);
    }
};

TEST_F(BoxTest, CreateAnnouncesTheInstrumentAndUnloadClosesTheBox) {
    ASSERT_EQ(kob->CreateFuncGen(&gen), S_OK);
    EXPECT_TRUE(Contains(host.BoxLog("0x0E", 2000), "0x0E announce instrument [03]"));
    EXPECT_FALSE(Contains(host.BoxLog(), "0x11"));
    gen->Release();
    gen = nullptr;
    kob->Release();
    kob = nullptr;
    host.Unload();
    EXPECT_TRUE(Contains(host.BoxLog("0x11", 2000), "0x11"));
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(BoxTest, AfterDisconnectAnAnnouncementFailsOnTheClosedLineAndIsShown) {
    ASSERT_EQ(kob->Disconnect(), S_OK);
    ASSERT_EQ(kob->CreateRelays(&relays), S_OK);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"Error writing to the serial device.\n"
                                                        "The data could not be written."});
    // The stream is still there: connecting again opens the same line.
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_TRUE(host.Dialogs().empty());
}

class RefusingBoxTest : public BoxTest {
protected:
    RefusingBoxTest()
        : BoxTest({"--fault", "0x0e:wrong-ack", "--fault", "0xd2:wrong-ack", "--fault",
                   "0x62:wrong-ack"}) {}
};

TEST_F(RefusingBoxTest, ARefusalIsShownAndReportedAsTheClientChose) {
    // A refused announcement is shown, not returned; a refused start by
    // default is shown and S_FALSE, on request silent and E_FAIL.
    Instruments();
    EXPECT_EQ(scope->Start(), S_FALSE);
    EXPECT_EQ(meter->Start(), S_FALSE);
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>(4, "The interface did not accept the command sended."));
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    EXPECT_EQ(scope->Start(), E_FAIL);
    EXPECT_EQ(meter->Start(), E_FAIL);
    EXPECT_EQ(host.Messages().size(), 4u);
    // The line is still in step: the next commands work.
    ScopeStatus status = SC_FAILURE;
    EXPECT_EQ(scope->Status(&status), S_OK);
    EXPECT_NE(status, SC_FAILURE);
}

class StoppingBoxTest : public BoxTest {
protected:
    // The memory read and the meter read answer only part of their reply,
    // once; the meter's status is never answered.
    StoppingBoxTest()
        : BoxTest({"--fault", "0xdc:short:100x1", "--fault", "0x66:short:6x1", "--fault",
                   "0x65:no-reply"}) {}
};

TEST_F(StoppingBoxTest, ABoxThatStopsAnsweringLeavesACleanResult) {
    Instruments();
    ASSERT_EQ(scope->Timing(1000, 0, 801), S_OK);
    ASSERT_EQ(scope->Trigger(0, 0, 100), S_OK);
    VARIANT a, b;
    for (HRESULT expected : {S_FALSE, S_OK}) {
        ASSERT_EQ(scope->Start(), S_OK);
        EXPECT_EQ(scope->Read(&a, &b), expected);
        // The whole record's arrays, holding what came; the client frees them.
        LONG hi = 0;
        EXPECT_EQ(SafeArrayGetUBound(a.parray, 1, &hi), S_OK);
        EXPECT_EQ(hi, 800);
        VariantClear(&a);
        VariantClear(&b);
    }
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>{
                  "Error reading from the serial device.\nThe requested data could not be read."});

    double v = 0;
    EXPECT_EQ(meter->ReadA(4, &v), S_FALSE);
    EXPECT_EQ(meter->ReadA(4, &v), S_OK);
    EXPECT_EQ(host.Messages().size(), 2u);
    // A status the box never answers is a failure status, without a message.
    MeterStatus status = MTR_READY;
    EXPECT_EQ(meter->Status(&status), S_OK);
    EXPECT_EQ(status, MTR_FAILURE);
    EXPECT_EQ(host.Messages().size(), 2u);
}

class OutOfStepTest : public BoxTest {
protected:
    // Garbage after one scope status; the first online reply is cut short.
    OutOfStepTest() : BoxTest({"--fault", "0xd5:garbage:3x1", "--fault", "0xdd:short:1x1"}) {}
};

TEST_F(OutOfStepTest, LeftoverBytesFailTheCallAndReadOnlineFollowsTheErrorPolicy) {
    Instruments();
    ScopeStatus status = SC_FAILURE;
    EXPECT_EQ(scope->Status(&status), S_FALSE);
    EXPECT_EQ(scope->Status(&status), S_OK); // the line is back in step
    EXPECT_LE(static_cast<int>(status), static_cast<int>(SC_TRANSMITTED));
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>{"Data transfer error to or from the device."});

    ASSERT_EQ(scope->Timing(1000, 1, 801), S_OK);
    ASSERT_EQ(scope->Start(), S_OK);
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    VARIANT a, b;
    for (HRESULT expected : {E_FAIL, S_OK}) {
        EXPECT_EQ(scope->ReadOnline(&a, &b), expected);
        VariantClear(&a);
        VariantClear(&b);
    }
    EXPECT_EQ(host.Messages().size(), 1u); // no message while switched off
}

} // namespace
