// A COM client playing the simulated box's generators into its own scope:
// the function generator on input A, phase 1 of the three-phase generator
// on input B. The box refuses the first table header it gets. The same
// source runs natively and under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "client/fixture.h"

namespace {

using client::Peak;
using client::Table;
using client::ZeroCrossingFrequency;

// Scope rows of 1 V, 5 V, 20 V full scale on 511 steps.
constexpr unsigned char kRange1V = 3, kRange5V = 5, kRange20V = 7;

// OLECHAR is wchar_t on Windows, char16_t elsewhere.
BSTR Text(std::string_view s) {
    const std::basic_string<OLECHAR> w(s.begin(), s.end());
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

// Within 1 % and one converter step of the range's full scale.
void ExpectNear(double value, double expected, double fullScale) {
    EXPECT_NEAR(value, expected, std::fabs(expected) * 0.01 + fullScale / 511);
}

class GeneratorsTest : public client::ClientTest {
protected:
    GeneratorsTest() : ClientTest({"--fast", "--fault", "0xcb:wrong-ackx1"}) {}
    void SetUp() override {
        ClientTest::SetUp();
        ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK); // failures as E_FAIL, no boxes
        ASSERT_EQ(kob->CreateScope(&scope), S_OK);
    }
    std::vector<double> a, b;
};

// The outputs: range 0 has 10 V full scale, range 1 has 1 V; amplitudes
// travel as 255ths.
TEST_F(GeneratorsTest, FormulaAndUserTablePlayOnInputA) {
    ASSERT_EQ(kob->CreateFuncGen(&gen), S_OK);
    BSTR formula = Text("SIN(X)+0.3*SIN(3*X)");
    ASSERT_EQ(gen->Formula(formula), S_OK);
    SysFreeString(formula);
    // The refused table header fails the call; the next one sends it.
    EXPECT_EQ(gen->Config(1, 1000, 50, 0, FGEN_FORMULA), E_FAIL);
    ASSERT_EQ(gen->Waveform(FGEN_FORMULA), S_OK);
    ASSERT_EQ(scope->Input(kRange5V, 1, kRange20V, 1), S_OK);
    client::Record(scope, 1000, a, b); // 10 ms
    double crest = 0;                  // of the formula, over one period
    for (double x = 0; x < 2 * std::numbers::pi; x += 1e-4) {
        crest = std::max(crest, std::fabs(std::sin(x) + 0.3 * std::sin(3 * x)));
    }
    ExpectNear(ZeroCrossingFrequency(a, 12.5e-6), 1000, 0);
    ExpectNear(Peak(a), 10.0 * 127 / 255 * crest, 5);

    // A sine of 1000 samples at 250 Hz, 80 % of the 1 V range.
    std::vector<double> sine(1000);
    for (size_t i = 0; i < sine.size(); ++i) {
        sine[i] = std::sin(2 * std::numbers::pi * i / sine.size());
    }
    Table table(VT_R8, sine);
    ASSERT_EQ(gen->UserTable(&table.v), S_OK);
    ASSERT_EQ(gen->Frequency(250), S_OK);
    ASSERT_EQ(gen->Amplitude(80), S_OK);
    ASSERT_EQ(gen->OutRange(1), S_OK);
    ASSERT_EQ(gen->Waveform(FGEN_TABLE), S_OK);
    ASSERT_EQ(scope->Input(kRange1V, 1, kRange20V, 1), S_OK);
    client::Record(scope, 4000, a, b); // 40 ms
    ExpectNear(ZeroCrossingFrequency(a, 50e-6), 250, 0);
    ExpectNear(Peak(a), 1.0 * 204 / 255, 1);
}

TEST_F(GeneratorsTest, ThreePhaseShowsPhaseOneOnInputB) {
    ASSERT_EQ(kob->CreatePowerSupply(&power), S_OK);
    ASSERT_EQ(power->Frequency(30), S_OK);
    ASSERT_EQ(power->Amplitude(100, 20, 20), S_OK);
    ASSERT_EQ(power->Waveform(PH3_SIN), S_OK);
    ASSERT_EQ(power->Enable(1), S_OK);
    ASSERT_EQ(scope->Input(kRange5V, 1, kRange20V, 1), S_OK);
    client::Record(scope, 20000, a, b); // 200 ms
    ExpectNear(ZeroCrossingFrequency(b, 250e-6), 30, 0);
    ExpectNear(Peak(b), 10, 20);

    // In DC mode with phase 1 switched off its output is 0 V; disabled, B
    // has its own 50 Hz signal back.
    ASSERT_EQ(power->DcMode(1), S_OK);
    ASSERT_EQ(power->PhaseSwitches(0, 1, 1), S_OK);
    client::Record(scope, 20000, a, b);
    EXPECT_EQ(Peak(b), 0.0);
    ASSERT_EQ(power->Enable(0), S_OK);
    client::Record(scope, 20000, a, b);
    ExpectNear(ZeroCrossingFrequency(b, 250e-6), 50, 0);
}

TEST_F(GeneratorsTest, ReturnCodesOfTheInterfaces) {
    ASSERT_EQ(kob->CreateFuncGen(&gen), S_OK);
    ASSERT_EQ(kob->CreatePowerSupply(&power), S_OK);

    for (double hz : {0.0, -1.0, std::nan(""), HUGE_VAL, 1e-3, 1e9}) {
        EXPECT_EQ(gen->Frequency(hz), E_INVALIDARG) << hz;
        EXPECT_EQ(gen->Config(0, hz, 0, 0, FGEN_SIN), E_INVALIDARG) << hz;
    }
    EXPECT_EQ(gen->Timing(0, 5), E_INVALIDARG);
    EXPECT_EQ(gen->UserTable(nullptr), E_POINTER);
    EXPECT_EQ(power->UserTable(nullptr), E_POINTER);
    struct Case {
        VARTYPE type;
        size_t count;
        HRESULT funcGen, threePhase;
    } cases[] = {
        {VT_R4, 300, S_FALSE, E_INVALIDARG}, {VT_R8, 0, S_OK, E_INVALIDARG},
        {VT_R8, 256, S_OK, E_INVALIDARG},    {VT_R8, 300, S_OK, S_OK},
        {VT_R8, 32768, E_INVALIDARG, S_OK},
    };
    // Natively every test has a box of its own, with its one refused header
    // still ahead; under Wine the first test took it.
    Table empty(VT_R8, std::vector<double>{});
    gen->UserTable(&empty.v);
    for (const Case& c : cases) {
        Table t(c.type, std::vector<double>(c.count, 0.5));
        EXPECT_EQ(gen->UserTable(&t.v), c.funcGen) << c.count;
        EXPECT_EQ(power->UserTable(&t.v), c.threePhase) << c.count;
        EXPECT_EQ(VariantClear(&t.v), S_OK) << "the client's table is left locked";
    }

    // A formula that does not compile is shown and leaves S_FALSE.
    BSTR bad = Text("SIN(");
    EXPECT_EQ(gen->Formula(bad), S_FALSE);
    EXPECT_EQ(power->Formula(bad), S_FALSE);
    SysFreeString(bad);
    EXPECT_EQ(host.Messages().size(), 2u);
    EXPECT_EQ(gen->Formula(nullptr), S_OK); // the empty formula is 0
}

} // namespace
