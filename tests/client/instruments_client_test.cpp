// A COM client measuring with the scope and the meter of the simulated box:
// the box's inputs carry a 1 kHz sine of 2 V on A and a 50 Hz sine of 5 V
// on B. The same source runs natively and under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "client/host.h"

namespace {

constexpr double kAmplitudeA = 2.0;
constexpr double kFrequencyA = 1000.0;
constexpr double kAmplitudeB = 5.0;
constexpr double kFrequencyB = 50.0;
const double kPi = std::acos(-1.0);

// Model-2 time bases: 801 values, prescale x 12.5 ns.
constexpr unsigned short kValues = 801;
constexpr unsigned short kPrescale1msDiv = 1000;   // 10 ms record
constexpr unsigned short kPrescale20msDiv = 20000; // 200 ms record

// Ranges: row 5 is 5 V full scale, row 8 is 50 V; couplings of IScope are
// 1-based (1 = DC, 3 = ground).
constexpr unsigned char kRange5V = 5;
constexpr unsigned char kRange50V = 8;

std::vector<double> Values(VARIANT& v) {
    std::vector<double> out;
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R8);
    if (v.vt != (VT_ARRAY | VT_R8) || !v.parray) {
        return out;
    }
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    EXPECT_EQ(lo, 0);
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
        auto* d = static_cast<double*>(data);
        out.assign(d, d + (hi - lo + 1));
        SafeArrayUnaccessData(v.parray);
    }
    return out;
}

// Frequency from the rising zero crossings, interpolated between samples.
double ZeroCrossingFrequency(const std::vector<double>& v, double delta) {
    std::vector<double> crossings;
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i - 1] < 0 && v[i] >= 0) {
            crossings.push_back((i - 1 + v[i - 1] / (v[i - 1] - v[i])) * delta);
        }
    }
    if (crossings.size() < 2) {
        return 0;
    }
    return (crossings.size() - 1) / (crossings.back() - crossings.front());
}

double Peak(const std::vector<double>& v) {
    double m = 0;
    for (double x : v) {
        m = std::max(m, std::fabs(x));
    }
    return m;
}

class InstrumentsTest : public ::testing::Test {
protected:
    InstrumentsTest() : host({"--fast"}) {}
    void SetUp() override {
        host.SetProfile(host.BoxLine(), {{host.BoxLine(), host.BoxPath()}});
        ASSERT_EQ(host.Create(&kob), S_OK);
        ASSERT_EQ(kob->Connect(), S_OK);
    }
    void TearDown() override {
        if (scope) {
            scope->Release();
        }
        if (meter) {
            meter->Release();
        }
        if (kob) {
            kob->Release();
        }
    }
    // Starts a record and waits for the box to have it.
    void Measure() {
        ASSERT_EQ(scope->Start(), S_OK);
        ScopeStatus status = SC_FAILURE;
        for (int i = 0; i < 500; ++i) {
            ASSERT_EQ(scope->Status(&status), S_OK);
            if (status == SC_MEASURED) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(status, SC_MEASURED);
    }
    void Read(std::vector<double>& a, std::vector<double>& b) {
        VARIANT va, vb;
        ASSERT_EQ(scope->Read(&va, &vb), S_OK);
        a = Values(va);
        b = Values(vb);
        VariantClear(&va);
        VariantClear(&vb);
    }

    client::Host host;
    IKobaltix* kob = nullptr;
    IScope* scope = nullptr;
    IMeter* meter = nullptr;
};

TEST_F(InstrumentsTest, ScopeRecordsBothSinesInVolts) {
    ASSERT_EQ(kob->CreateScope(&scope), S_OK);
    ASSERT_EQ(scope->Input(kRange5V, 1, kRange50V, 1), S_OK);
    ASSERT_EQ(scope->Timing(kPrescale1msDiv, 0, kValues), S_OK);
    ASSERT_EQ(scope->Trigger(0, 1, 50), S_OK);
    ASSERT_EQ(scope->TriggerLevel(0), S_OK);
    double delta = 0, total = 0;
    unsigned char online = 9;
    ASSERT_EQ(scope->GetTiming(&delta, &total, &online), S_OK);
    EXPECT_DOUBLE_EQ(delta, 12.5e-6);
    EXPECT_DOUBLE_EQ(total, 10e-3);
    EXPECT_EQ(online, 0);

    Measure();
    std::vector<double> a, b;
    Read(a, b);
    ASSERT_EQ(a.size(), kValues);
    ASSERT_EQ(b.size(), kValues);
    // Ten periods of A in the record; amplitude within one step of the
    // 10-bit converter on 5 V plus 1 %.
    EXPECT_NEAR(ZeroCrossingFrequency(a, delta), kFrequencyA, kFrequencyA * 0.01);
    EXPECT_NEAR(Peak(a), kAmplitudeA, 5.0 / 511 + kAmplitudeA * 0.01);
    // Half a period of B: it stays within its amplitude.
    EXPECT_LE(Peak(b), kAmplitudeB + 50.0 / 511);
    EXPECT_GT(Peak(b), 0.5);

    // A slower time base shows B's ten periods on the 50 V range.
    ASSERT_EQ(scope->Timing(kPrescale20msDiv, 0, kValues), S_OK);
    ASSERT_EQ(scope->Trigger(0, 2, 50), S_OK);
    ASSERT_EQ(scope->GetTiming(&delta, &total, &online), S_OK);
    EXPECT_DOUBLE_EQ(delta, 250e-6);
    Measure();
    Read(a, b);
    ASSERT_EQ(b.size(), kValues);
    EXPECT_NEAR(ZeroCrossingFrequency(b, delta), kFrequencyB, kFrequencyB * 0.01);
    EXPECT_NEAR(Peak(b), kAmplitudeB, 50.0 / 511 + kAmplitudeB * 0.01);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(InstrumentsTest, ScopeEdgesOfTheInterface) {
    // The interface exists before the model: Timing is kept, not sent.
    ASSERT_EQ(kob->QueryInterface(IID_IScope, reinterpret_cast<void**>(&scope)), S_OK);
    EXPECT_EQ(scope->Timing(kPrescale1msDiv, 1, 0), E_FAIL);
    EXPECT_EQ(scope->Start(), E_FAIL);
    EXPECT_EQ(scope->Status(nullptr), E_FAIL); // the instrument check comes first
    IScope* created = nullptr;
    ASSERT_EQ(kob->CreateScope(&created), S_OK);
    EXPECT_EQ(created, scope);
    created->Release();

    // The stored timing: no values give no record length.
    double delta = 0, total = 1;
    unsigned char online = 0;
    ASSERT_EQ(scope->GetTiming(&delta, &total, &online), S_OK);
    EXPECT_DOUBLE_EQ(delta, 12.5e-6);
    EXPECT_EQ(total, 0.0);
    EXPECT_EQ(online, 1);
    EXPECT_EQ(scope->GetTiming(nullptr, &total, &online), E_POINTER);
    EXPECT_EQ(scope->Status(nullptr), E_POINTER);

    // Read with no values returns two empty arrays.
    std::vector<double> a{1}, b{1};
    Read(a, b);
    EXPECT_TRUE(a.empty());
    EXPECT_TRUE(b.empty());

    // Values a table or the wire cannot hold are refused.
    EXPECT_EQ(scope->Input(15, 1, kRange5V, 1), E_INVALIDARG);
    EXPECT_EQ(scope->Input(kRange5V, 4, kRange5V, 1), E_INVALIDARG);
    EXPECT_EQ(scope->Trigger(0, 3, 50), E_INVALIDARG);
    EXPECT_EQ(scope->Trigger(0, 1, 101), E_INVALIDARG);
    EXPECT_EQ(scope->TriggerLevel(101), E_INVALIDARG);
    EXPECT_EQ(scope->TriggerLevel(-101), E_INVALIDARG);
    EXPECT_EQ(scope->Timing(kPrescale1msDiv, 0, 8193), E_INVALIDARG);

    // Coupling 3 grounds channel A: zeros, while B still measures.
    ASSERT_EQ(scope->Input(kRange5V, 3, kRange50V, 1), S_OK);
    ASSERT_EQ(scope->Timing(kPrescale1msDiv, 0, kValues), S_OK);
    ASSERT_EQ(scope->Trigger(0, 0, 100), S_OK);
    Measure();
    Read(a, b);
    ASSERT_EQ(a.size(), kValues);
    EXPECT_EQ(Peak(a), 0.0);
    EXPECT_GT(Peak(b), 0.5);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(InstrumentsTest, MeterMeasuresMeanRmsAndPeakToPeak) {
    ASSERT_EQ(kob->CreateMeter(&meter), S_OK);
    ASSERT_EQ(meter->Config(kRange5V, 0, kRange50V, 0), S_OK);
    ASSERT_EQ(meter->Timing(10, 2048), S_OK);
    ASSERT_EQ(meter->Start(), S_OK);
    MeterStatus status = MTR_FAILURE;
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(meter->Status(&status), S_OK);
        if (status == MTR_MEASURED) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(status, MTR_MEASURED);

    double v = 0;
    ASSERT_EQ(meter->ReadA(4, &v), S_OK);
    EXPECT_NEAR(v, kAmplitudeA / std::sqrt(2.0), kAmplitudeA / std::sqrt(2.0) * 0.01);
    ASSERT_EQ(meter->ReadA(3, &v), S_OK);
    EXPECT_NEAR(v, 2 * kAmplitudeA, 2 * kAmplitudeA * 0.01);
    ASSERT_EQ(meter->ReadA(0, &v), S_OK);
    EXPECT_NEAR(v, 0.0, kAmplitudeA * 0.01);
    ASSERT_EQ(meter->ReadA(2, &v), S_OK);
    EXPECT_NEAR(v, kAmplitudeA, kAmplitudeA * 0.01);
    ASSERT_EQ(meter->ReadB(4, &v), S_OK);
    EXPECT_NEAR(v, kAmplitudeB / std::sqrt(2.0), kAmplitudeB / std::sqrt(2.0) * 0.01);
    ASSERT_EQ(meter->ReadB(3, &v), S_OK);
    EXPECT_NEAR(v, 2 * kAmplitudeB, 2 * kAmplitudeB * 0.01);
    ASSERT_EQ(meter->ReadB(0, &v), S_OK);
    EXPECT_NEAR(v, 0.0, kAmplitudeB * 0.01);

    // ConfigA keeps B's range: B still reads on 50 V.
    ASSERT_EQ(meter->ConfigA(kRange50V, 0), S_OK);
    ASSERT_EQ(meter->ReadB(3, &v), S_OK);
    EXPECT_NEAR(v, 2 * kAmplitudeB, 2 * kAmplitudeB * 0.01);

    // Refused before anything is sent.
    EXPECT_EQ(meter->ReadA(6, &v), E_INVALIDARG);
    EXPECT_EQ(meter->ReadB(0, nullptr), E_POINTER);
    EXPECT_EQ(meter->Timing(10, 0), E_INVALIDARG);
    EXPECT_EQ(meter->Config(15, 0, kRange5V, 0), E_INVALIDARG);
    EXPECT_EQ(meter->ConfigB(kRange5V, 3), E_INVALIDARG);
    EXPECT_EQ(meter->Stop(), S_OK);
    EXPECT_TRUE(host.Messages().empty());
}

} // namespace
