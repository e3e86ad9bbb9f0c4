// A COM client measuring with the scope and the meter of the simulated box:
// the box's inputs carry a 1 kHz sine of 2 V on A and a 50 Hz sine of 5 V
// on B. The same source runs natively and under Wine.
#include <gtest/gtest.h>

#include "client/fixture.h"

namespace {

using client::Peak;
using client::ZeroCrossingFrequency;

// Ranges: row 5 is 5 V full scale, row 8 is 50 V, on 511 steps; couplings
// of IScope are 1-based (1 = DC, 3 = ground).
constexpr unsigned char kRange5V = 5;
constexpr unsigned char kRange50V = 8;

class InstrumentsTest : public client::ClientTest {
protected:
    void TearDown() override {
        ClientTest::TearDown();
        EXPECT_TRUE(host.Messages().empty());
    }
    std::vector<double> a, b;
};

TEST_F(InstrumentsTest, ScopeRecordsBothSinesInVoltsAndRefusesWhatTheWireCannotHold) {
    // The interface exists before the model: Timing is kept, not sent.
    ASSERT_EQ(kob->QueryInterface(IID_IScope, reinterpret_cast<void**>(&scope)), S_OK);
    EXPECT_EQ(scope->Timing(1000, 1, 0), E_FAIL);
    EXPECT_EQ(scope->Status(nullptr), E_FAIL); // the instrument check comes first
    ASSERT_EQ(kob->CreateScope(&scope), S_OK);
    scope->Release();
    double delta = 0, total = 1;
    unsigned char online = 0;
    ASSERT_EQ(scope->GetTiming(&delta, &total, &online), S_OK);
    EXPECT_EQ(total, 0.0); // no values, no record length
    EXPECT_EQ(online, 1);
    VARIANT va, vb;
    ASSERT_EQ(scope->Read(&va, &vb), S_OK);
    EXPECT_TRUE(client::Values(va).empty());
    EXPECT_TRUE(client::Values(vb).empty());
    for (HRESULT hr : {scope->GetTiming(nullptr, &total, &online), scope->Status(nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }
    for (HRESULT hr : {scope->Input(15, 1, kRange5V, 1), scope->Input(kRange5V, 4, kRange5V, 1),
                       scope->Trigger(0, 3, 50), scope->Trigger(0, 1, 101),
                       scope->TriggerLevel(-101), scope->Timing(1000, 0, 8193)}) {
        EXPECT_EQ(hr, E_INVALIDARG);
    }

    // Ten periods of A in a 10 ms record, within one converter step plus 1 %;
    // half a period of B stays within its amplitude.
    ASSERT_EQ(scope->Input(kRange5V, 1, kRange50V, 1), S_OK);
    ASSERT_EQ(scope->TriggerLevel(0), S_OK);
    client::Record(scope, 1000, a, b);
    ASSERT_EQ(scope->GetTiming(&delta, &total, &online), S_OK);
    EXPECT_DOUBLE_EQ(delta, 12.5e-6);
    EXPECT_DOUBLE_EQ(total, 10e-3);
    EXPECT_EQ(online, 0);
    ASSERT_EQ(a.size(), 801u);
    ASSERT_EQ(b.size(), 801u);
    EXPECT_NEAR(ZeroCrossingFrequency(a, delta), 1000, 10);
    EXPECT_NEAR(Peak(a), 2.0, 5.0 / 511 + 0.02);
    EXPECT_LE(Peak(b), 5.0 + 50.0 / 511);
    EXPECT_GT(Peak(b), 0.5);

    // A 200 ms record triggered on B shows its ten periods on the 50 V range.
    client::Record(scope, 20000, a, b, 2);
    EXPECT_NEAR(ZeroCrossingFrequency(b, 250e-6), 50, 0.5);
    EXPECT_NEAR(Peak(b), 5.0, 50.0 / 511 + 0.05);

    // Coupling 3 grounds channel A: zeros, while B still measures.
    ASSERT_EQ(scope->Input(kRange5V, 3, kRange50V, 1), S_OK);
    client::Record(scope, 1000, a, b, 0);
    EXPECT_EQ(Peak(a), 0.0);
    EXPECT_GT(Peak(b), 0.5);
}

TEST_F(InstrumentsTest, MeterMeasuresMeanRmsAndPeakToPeak) {
    ASSERT_EQ(kob->CreateMeter(&meter), S_OK);
    ASSERT_EQ(meter->Config(kRange5V, 0, kRange50V, 0), S_OK);
    ASSERT_EQ(meter->Timing(10, 2048), S_OK);
    ASSERT_EQ(meter->Start(), S_OK);
    MeterStatus status = MTR_FAILURE;
    for (int i = 0; i < 500 && status != MTR_MEASURED; ++i) {
        ASSERT_EQ(meter->Status(&status), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(status, MTR_MEASURED);

    // Function 0 is the mean, 2 the peak, 3 peak to peak, 4 the RMS; within
    // 1 % of the value or, for the mean, of the amplitude.
    struct Case {
        bool channelB;
        unsigned char function;
        double expected, amplitude;
    } cases[] = {{false, 4, 2.0 / std::sqrt(2.0), 2},
                 {false, 3, 4.0, 2},
                 {false, 0, 0.0, 2},
                 {false, 2, 2.0, 2},
                 {true, 4, 5.0 / std::sqrt(2.0), 5},
                 {true, 3, 10.0, 5},
                 {true, 0, 0.0, 5}};
    for (const Case& c : cases) {
        double v = -1;
        ASSERT_EQ(c.channelB ? meter->ReadB(c.function, &v) : meter->ReadA(c.function, &v), S_OK);
        EXPECT_NEAR(v, c.expected, (c.expected != 0 ? c.expected : c.amplitude) * 0.01)
            << c.channelB << c.function;
    }

    // ConfigA keeps B's range: B still reads on 50 V.
    double v = 0;
    ASSERT_EQ(meter->ConfigA(kRange50V, 0), S_OK);
    ASSERT_EQ(meter->ReadB(3, &v), S_OK);
    EXPECT_NEAR(v, 10.0, 0.1);

    // Refused before anything is sent.
    for (HRESULT hr : {meter->ReadA(6, &v), meter->Timing(10, 0), meter->Config(15, 0, kRange5V, 0),
                       meter->ConfigB(kRange5V, 3)}) {
        EXPECT_EQ(hr, E_INVALIDARG);
    }
    EXPECT_EQ(meter->ReadB(0, nullptr), E_POINTER);
    EXPECT_EQ(meter->Stop(), S_OK);
}

} // namespace
