// Running compiled code: functions and wave shapes at their edges, and code
// bytes that no compiler wrote (the random formulas of the property test
// cover each function over its domain).
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "formula/forcomp.h"

namespace {

constexpr double kPi = 3.141592653589793;

// The edges of each function and wave shape, where the random formulas
// seldom land.
TEST(FormulaRun, FunctionsAndWaveShapesAtTheirEdges) {
    const double q = kPi / 2; // a quarter period
    struct Case {
        const char16_t* text;
        std::vector<std::pair<double, double>> points; // x, value
    } cases[] = {
        {u"SGN(X)", {{0.0, 1.0}, {-1e-300, -1.0}}},
        {u"GE(X)", {{7.0, 1.0}}},
        {u"GT(X)", {{7.0, 0.0}}},
        {u"LE(X)", {{-7.0, 1.0}}},
        {u"LT(X)", {{-7.0, 0.0}}},
        {u"IN(1;2)", {{1.0, 1.0}, {2.0, 1.0}, {2.5, 0.0}}},
        {u"POS(X)", {{0.0, 0.0}}},
        {u"NEG(X)", {{-0.0, 0.0}}},
        {u"SQU(X)", {{kPi - 1e-9, 1.0}, {kPi, -1.0}, {-q, -1.0}}},
        {u"SAW(X)", {{kPi, -1.0}, {-q, -0.5}}},
        {u"TRI(X)", {{q, 1.0}, {3 * q, -1.0}, {-q, -1.0}}},
        {u"PWM(X;0.25)", {{0.24 * 4 * q, 1.0}, {q, 0.0}, {-0.1, 1.0}}},
        {u"PWM(X;-0.25)", {{0.1, -1.0}}},
        {u"PHA(X;PI/2)", {{q / 2, 0.0}, {q, 1.0}, {kPi + q / 2, 0.0}}},
        {u"PUL(X;0.5)",
         {{q - 0.24, 1.0}, {q + 0.26, 0.0}, {3 * q + 0.2, -1.0}, {3 * q + 0.3, 0.0}}},
    };
    for (const Case& c : cases) {
        CForComp comp;
        ASSERT_TRUE(comp.Compile(c.text)) << Narrow(c.text);
        for (auto [x, value] : c.points) {
            EXPECT_NEAR(comp.Run(x), value, 1e-12) << Narrow(c.text) << " at " << x;
        }
    }
}

TEST(FormulaRun, NoiseScalesTheCLibraryGenerator) {
    CForComp comp;
    ASSERT_TRUE(comp.Compile(u"RND(4)"));
    std::srand(17);
    std::vector<double> values;
    for (int i = 0; i < 200; ++i) {
        values.push_back(comp.Run(0.0));
    }
    std::srand(17);
    const unsigned long long span = static_cast<unsigned long long>(RAND_MAX) + 1;
    for (double v : values) {
        double r =
            static_cast<double>(static_cast<unsigned long long>(std::rand()) / (span / 32768));
        EXPECT_EQ(v, (r / 32767.0 - 0.5) * 4);
    }
}

// Code put into the buffer directly, as no compilation would leave it.
class RawCode : public CForComp {
public:
    void Load(const std::vector<uint8_t>& bytes) {
        ASSERT_LE(bytes.size(), static_cast<size_t>(kCodeSize));
        std::memcpy(m_pCode, bytes.data(), bytes.size());
        m_nCodeLength = static_cast<int>(bytes.size());
    }
    void BadOpcode() override { ++badOpcodes; }
    int badOpcodes = 0;
};

TEST(FormulaRun, HostileCodeNeverLeavesTheStackOrTheBuffer) {
    RawCode comp;
    EXPECT_EQ(comp.Run(5.0), 0.0); // no code at all
    // Bytes that are no opcode are handed to BadOpcode and skipped.
    comp.Load({0, 200, 43, 0, 3, 255, 42});
    EXPECT_EQ(comp.Run(5.0), 10.0);
    EXPECT_EQ(comp.badOpcodes, 3);

    std::vector<uint8_t> pushes(41, 0); // 41 values for a stack of 40
    pushes.push_back(42);
    struct Case {
        const char* what;
        std::vector<uint8_t> code;
    } cases[] = {
        {"a sum of one value", {0, 3, 42}},
        {"a function of nothing", {7, 42}},
        {"a constant cut short", {2, 0, 0, 0, 0, 0, 0xF0}},
        {"code without its end", {0, 0, 3}},
        {"more values than the stack holds", pushes},
    };
    for (const Case& c : cases) {
        comp.Load(c.code);
        EXPECT_EQ(comp.Run(5.0), 0.0) << c.what;
    }
    // A whole buffer of pushes stops at the 41st.
    comp.Load(std::vector<uint8_t>(CForComp::kCodeSize, 1));
    EXPECT_EQ(comp.Run(5.0), 0.0);
}

} // namespace
