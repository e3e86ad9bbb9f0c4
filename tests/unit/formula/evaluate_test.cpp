// Evaluating formulas into tables, floating-point errors during evaluation,
// and the error messages shown to the user.
#include <cfenv>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "formula/forcomp.h"
#include "framework/exception.h"
#include "framework/strings.h"
#include "support/scripted_ui.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kUntouched = -12345.0;
constexpr int kFPErrors = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

TEST(FormulaEvaluate, PointsStepFromTheFirstXByTheWidthOverTheCount) {
    CForComp comp;
    std::vector<double> out(4, kUntouched);
    ASSERT_TRUE(comp.Evaluate(u"X", 4, 0.0, 2 * kPi, out.data()));
    EXPECT_EQ(out, (std::vector<double>{0.0, kPi / 2, kPi, 3 * kPi / 2}));
    // The other way round the points still climb from x0.
    ASSERT_TRUE(comp.Evaluate(u"X", 4, 2 * kPi, 0.0, out.data()));
    EXPECT_EQ(out, (std::vector<double>{2 * kPi, 5 * kPi / 2, 3 * kPi, 7 * kPi / 2}));
    EXPECT_EQ(comp.EvaluatedPoints(), 4);

    // The function generator's table: 8192 points over one period, more than
    // one block of points at a time.
    std::vector<double> table(8192);
    ASSERT_TRUE(comp.Evaluate(u"SIN(X)+0.3*SIN(3*X)", 8192, 0.0, 2 * kPi, table.data()));
    for (int i : {0, 1, 255, 256, 257, 4095, 8191}) {
        double x = static_cast<double>(i) / 8192 * (2 * kPi);
        EXPECT_EQ(table[i], std::sin(x) + 0.3 * std::sin(3 * x)) << i;
    }
    // An empty formula yields 0 everywhere; no points is no work.
    ASSERT_TRUE(comp.Evaluate(u"  ", 4, 1.0, 2.0, out.data()));
    EXPECT_EQ(out, std::vector<double>(4, 0.0));
    EXPECT_TRUE(comp.Evaluate(u"X", 0, 0.0, 1.0, nullptr));
    // A formula that does not compile leaves the table alone.
    out.assign(4, kUntouched);
    EXPECT_FALSE(comp.Evaluate(u"SIN(", 4, 0.0, 1.0, out.data()));
    EXPECT_EQ(comp.Error(), 5);
    EXPECT_EQ(out, std::vector<double>(4, kUntouched));
    EXPECT_EQ(comp.EvaluatedPoints(), 0);
}

TEST(FormulaEvaluate, FloatingPointErrorsStopAtTheFailingPoint) {
    // Each formula fails at X = 2, the third of the points 0, 1, 2, 3.
    struct Case {
        const char16_t* text;
        uint32_t message;
    } cases[] = {
        {u"LN(2-X)", 21011},     // logarithm of zero
        {u"1/(X-2)", 21011},     // division by zero
        {u"EXP(X*500)", 21012},  // overflow
        {u"SQRT(1-X)", 21010},   // square root of a negative number
        {u"ACOS(X-0.5)", 21010}, // arc cosine of 1.5
    };
    for (const Case& c : cases) {
        ScriptedUi ui;
        CForComp comp;
        std::vector<double> out(4, kUntouched);
        EXPECT_FALSE(comp.Evaluate(c.text, 4, 0.0, 4.0, out.data())) << Narrow(c.text);
        EXPECT_EQ(comp.EvaluatedPoints(), 2) << Narrow(c.text);
        EXPECT_EQ(comp.EvaluationFailure(), c.message) << Narrow(c.text);
        EXPECT_NE(out[1], kUntouched);
        EXPECT_EQ(std::vector<double>(out.begin() + 2, out.end()),
                  std::vector<double>(2, kUntouched));
        EXPECT_EQ(ui.beeps, 1);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(std::fetestexcept(kFPErrors), 0) << Narrow(c.text);
    }
}

TEST(FormulaEvaluate, NoNaNOrInfinityReachesATable) {
    ScriptedUi ui;
    CForComp comp;
    std::vector<double> out(2, kUntouched);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = std::numeric_limits<double>::max();
    // A NaN passed in raises no flag of its own.
    EXPECT_FALSE(comp.Evaluate(u"X", 2, nan, 1.0, out.data()));
    EXPECT_EQ(out[0], kUntouched);
    EXPECT_EQ(comp.EvaluationFailure(), 21010u); // invalid, as for a domain error
    // Nor does a formula that ignores X cover a range that overflows.
    EXPECT_FALSE(comp.Evaluate(u"X", 2, -huge, huge, out.data()));
    EXPECT_EQ(out[1], kUntouched);

    // Run on its own throws as well and leaves the flags clean.
    ASSERT_TRUE(comp.Compile(u"LN(X)"));
    EXPECT_THROW(comp.Run(0.0), CFPException);
    EXPECT_EQ(std::fetestexcept(kFPErrors), 0);
    EXPECT_EQ(comp.Run(1.0), 0.0);
    ASSERT_TRUE(comp.Compile(u"X"));
    EXPECT_THROW(comp.Run(nan), CFPException);
    try { // an infinity that raised no flag is an overflow
        comp.Run(std::numeric_limits<double>::infinity());
        ADD_FAILURE();
    } catch (const CFPException& e) {
        EXPECT_EQ(e.m_nCode, CFPException::overflow);
    }
    EXPECT_EQ(comp.Run(2.0), 2.0);
}

TEST(FormulaErrors, ShowErrorBeepsAndShowsTheMessage) {
    SetThreadLanguage(kLangEnglish);
    ScriptedUi ui;
    CForComp comp;
    EXPECT_FALSE(comp.Compile(u"PWM(X 0.5)"));
    WString text;
    comp.GetErrorText(text);
    EXPECT_EQ(Narrow(text), "\";\" expected.");
    comp.ShowError();
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"\";\" expected."});
    EXPECT_EQ(ui.styles, std::vector<unsigned>{platform::kMbOk});
    SetThreadLanguage(0);
}

TEST(FormulaErrors, UpperCaseAsTheGeneratorsCompile) {
    EXPECT_EQ(CForComp::ToUpper(u"sin(x)+0.3*pwm(x;-0.25)"), u"SIN(X)+0.3*PWM(X;-0.25)");
    EXPECT_EQ(CForComp::ToUpper(u"90°+é"), u"90°+É");
}

} // namespace
