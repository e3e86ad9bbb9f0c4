// A client's scope and meter on a box that misbehaves: a refused start
// under both error policies, a box that stops answering in the middle of a
// read, a status nobody answers. Every call comes back with a clean HRESULT
// and the next call works.
#include <gtest/gtest.h>

#include "client/host.h"

namespace {

const char kRefused[] = "The interface did not accept the command sended.";
const char kOutOfStep[] = "Data transfer error to or from the device.";
const char kReadFailed[] =
    "Error reading from the serial device.\nThe requested data could not be read.";

class FaultyBoxTest : public ::testing::Test {
protected:
    explicit FaultyBoxTest(std::vector<std::string> faults) : host(WithFast(std::move(faults))) {}
    static std::vector<std::string> WithFast(std::vector<std::string> args) {
        args.insert(args.begin(), "--fast");
        return args;
    }
    void SetUp() override {
        host.SetProfile(host.BoxLine(), {{host.BoxLine(), host.BoxPath()}});
        ASSERT_EQ(host.Create(&kob), S_OK);
        ASSERT_EQ(kob->Connect(), S_OK);
        ASSERT_EQ(kob->CreateScope(&scope), S_OK);
        ASSERT_EQ(kob->CreateMeter(&meter), S_OK);
    }
    void TearDown() override {
        for (IUnknown* p : {static_cast<IUnknown*>(scope), static_cast<IUnknown*>(meter),
                            static_cast<IUnknown*>(kob)}) {
            if (p) {
                p->Release();
            }
        }
    }
    client::Host host;
    IKobaltix* kob = nullptr;
    IScope* scope = nullptr;
    IMeter* meter = nullptr;
};

class RefusedStartTest : public FaultyBoxTest {
protected:
    RefusedStartTest()
        : FaultyBoxTest({"--fault", "0xd2:wrong-ack", "--fault", "0x62:wrong-ack"}) {}
};

TEST_F(RefusedStartTest, ARefusalIsShownAndReportedAsTheClientChose) {
    // By default: the message, and S_FALSE.
    EXPECT_EQ(scope->Start(), S_FALSE);
    auto messages = host.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], kRefused);
    EXPECT_EQ(meter->Start(), S_FALSE);
    EXPECT_EQ(host.Messages().size(), 2u);

    // Silent failure on request.
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    EXPECT_EQ(scope->Start(), E_FAIL);
    EXPECT_EQ(meter->Start(), E_FAIL);
    EXPECT_EQ(host.Messages().size(), 2u);

    // The line is still in step: the next commands work.
    ScopeStatus status = SC_FAILURE;
    EXPECT_EQ(scope->Status(&status), S_OK);
    EXPECT_NE(status, SC_FAILURE);
    EXPECT_EQ(scope->Input(5, 1, 8, 1), S_OK);
    ASSERT_EQ(kob->ComErrorFlags(1, 0), S_OK);
}

class StoppingBoxTest : public FaultyBoxTest {
protected:
    // The memory read and the meter read answer only part of their reply,
    // once; the meter's status is never answered.
    StoppingBoxTest()
        : FaultyBoxTest({"--fault", "0xdc:short:100x1", "--fault", "0x66:short:6x1", "--fault",
                         "0x65:no-reply"}) {}
};

TEST_F(StoppingBoxTest, ABoxThatStopsAnsweringLeavesACleanResult) {
    ASSERT_EQ(scope->Input(5, 1, 8, 1), S_OK);
    ASSERT_EQ(scope->Timing(1000, 0, 801), S_OK);
    ASSERT_EQ(scope->Trigger(0, 0, 100), S_OK);
    ASSERT_EQ(scope->Start(), S_OK);
    VARIANT a, b;
    EXPECT_EQ(scope->Read(&a, &b), S_FALSE);
    // The arrays hold what came; the client can free them.
    EXPECT_EQ(a.vt, VT_ARRAY | VT_R8);
    VariantClear(&a);
    VariantClear(&b);
    auto messages = host.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], kReadFailed);

    // The next read gets the whole record.
    ASSERT_EQ(scope->Start(), S_OK);
    ASSERT_EQ(scope->Read(&a, &b), S_OK);
    LONG hi = 0;
    SafeArrayGetUBound(a.parray, 1, &hi);
    EXPECT_EQ(hi, 800);
    VariantClear(&a);
    VariantClear(&b);

    double v = 0;
    EXPECT_EQ(meter->ReadA(4, &v), S_FALSE);
    EXPECT_EQ(host.Messages().size(), 2u);
    ASSERT_EQ(meter->Config(5, 0, 8, 0), S_OK);
    EXPECT_EQ(meter->ReadA(4, &v), S_OK);

    // A status the box never answers is a failure status, without a message.
    MeterStatus status = MTR_READY;
    EXPECT_EQ(meter->Status(&status), S_OK);
    EXPECT_EQ(status, MTR_FAILURE);
    EXPECT_EQ(host.Messages().size(), 2u);
}

class OutOfStepTest : public FaultyBoxTest {
protected:
    // Garbage after one scope status and one meter reading; the first
    // online reply is cut short.
    OutOfStepTest()
        : FaultyBoxTest({"--fault", "0xd5:garbage:3x1", "--fault", "0x66:garbage:3x1", "--fault",
                         "0xdd:short:1x1"}) {}
};

TEST_F(OutOfStepTest, LeftoverBytesFailTheCallAndReadOnlineFollowsTheErrorPolicy) {
    ScopeStatus status = SC_FAILURE;
    EXPECT_EQ(scope->Status(&status), S_FALSE);
    EXPECT_EQ(scope->Status(&status), S_OK); // the line is back in step
    EXPECT_LE(static_cast<int>(status), static_cast<int>(SC_TRANSMITTED));
    double v = 0;
    EXPECT_EQ(meter->ReadA(0, &v), S_FALSE);
    EXPECT_EQ(meter->ReadA(0, &v), S_OK);
    EXPECT_EQ(host.Messages(), std::vector<std::string>(2, kOutOfStep));

    ASSERT_EQ(scope->Timing(1000, 1, 801), S_OK);
    ASSERT_EQ(scope->Start(), S_OK);
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    VARIANT a, b;
    for (HRESULT expected : {E_FAIL, S_OK}) {
        EXPECT_EQ(scope->ReadOnline(&a, &b), expected);
        VariantClear(&a);
        VariantClear(&b);
    }
    EXPECT_EQ(host.Messages().size(), 2u); // no message while switched off
    ASSERT_EQ(kob->ComErrorFlags(1, 0), S_OK);
}

} // namespace
