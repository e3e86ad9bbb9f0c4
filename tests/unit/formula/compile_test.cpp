// Compiling formulas: number forms, the errors with their positions, the
// limits of the code buffer and the value stack, and the function table.
#include <string>

#include <gtest/gtest.h>

#include "formula/forcomp.h"

namespace {

// Number forms the random formulas do not write: a bare point, a signed and
// zero-padded exponent.
TEST(FormulaCompile, NumbersInTheirRarerForms) {
    const std::pair<const char16_t*, double> cases[] = {
        {u"1.E1+007", 17.0}, {u"1E+2*2E-1", 20.0}, {u"0.5E0", 0.5}, {u"007.250", 7.25}};
    for (const auto& [text, value] : cases) {
        CForComp comp;
        ASSERT_TRUE(comp.Compile(text)) << Narrow(text);
        EXPECT_EQ(comp.Run(0.0), value) << Narrow(text);
    }
}

TEST(FormulaCompile, ReportsTheFirstErrorAndWhereItWasFound) {
    struct Case {
        const char* text;
        int error;
        int position;
    } cases[] = {
        {"SIN (X)", 3, 3},   {"SIN", 3, 3},    {"FOO(X)", 4, 4},      {"SINX(X)", 4, 5},
        {"SIN(X", 5, 5},     {"(", 5, 1},      {"SIN(", 5, 4},        {"IN(1;2", 5, 6},
        {"IN(1;2;3)", 5, 7}, {"X+", 6, 2},     {"-", 6, 1},           {"2*", 6, 2},
        {".5", 6, 1},        {"sin(x)", 6, 1}, {"\tX", 6, 1},         {"+X", 6, 1},
        {"--X", 6, 2},       {"X**2", 6, 3},   {"1E999", 7, 0},       {"X+1E-400", 7, 2},
        {"X Y", 8, 3},       {"X)", 8, 2},     {"PI(", 8, 3},         {"0X10", 8, 2},
        {"2E", 8, 2},        {"X°", 8, 2},     {"PWM(X 0.5)", 11, 7}, {"IN(1)", 11, 5},
    };
    for (const Case& c : cases) {
        CForComp comp;
        WString text = Widen(c.text);
        EXPECT_FALSE(comp.Compile(text.c_str())) << c.text;
        EXPECT_EQ(comp.Error(), c.error) << c.text;
        EXPECT_EQ(comp.ErrorPos(), c.position) << c.text;
    }
    // A later successful compilation clears the error.
    CForComp comp;
    EXPECT_FALSE(comp.Compile(u"X+"));
    EXPECT_TRUE(comp.Compile(u"X"));
    EXPECT_EQ(comp.Error(), 0);
    EXPECT_EQ(comp.ErrorPos(), 0);
}

TEST(FormulaCompile, RefusesWhatWouldOverrunTheCodeOrTheStack) {
    // X followed by 511 times +X is exactly 1024 bytes of code; one more is too many.
    std::u16string sum = u"X";
    for (int i = 0; i < 511; ++i) {
        sum += u"+X";
    }
    CForComp comp;
    ASSERT_TRUE(comp.Compile(sum.c_str()));
    EXPECT_EQ(comp.CodeLength(), 1024);
    sum += u"+X";
    EXPECT_FALSE(comp.Compile(sum.c_str()));
    EXPECT_EQ(comp.Error(), 1);

    // X+(X+(...(X)...)) with n terms needs n stack values: 40 fit, 41 do not.
    auto nested = [](int n) {
        std::u16string s;
        for (int i = 1; i < n; ++i) {
            s += u"X+(";
        }
        return s + u"X" + std::u16string(n - 1, u')');
    };
    ASSERT_TRUE(comp.Compile(nested(40).c_str()));
    EXPECT_EQ(comp.Run(0.5), 20.0);
    EXPECT_FALSE(comp.Compile(nested(41).c_str()));
    EXPECT_EQ(comp.Error(), 1);
    EXPECT_EQ(comp.ErrorPos(), 122); // just after the 41st X
    // Constants are pushed too: 2*(2*(...)) the same.
    std::u16string products;
    for (int i = 0; i < 40; ++i) {
        products += u"2*(";
    }
    products += u"1" + std::u16string(40, u')');
    EXPECT_FALSE(comp.Compile(products.c_str()));
    EXPECT_EQ(comp.Error(), 1);

    // Brackets that push nothing still nest; a hostile depth is refused, not
    // followed until the thread's stack runs out.
    std::u16string deep = std::u16string(200, u'(') + u"X" + std::u16string(200, u')');
    ASSERT_TRUE(comp.Compile(deep.c_str()));
    EXPECT_EQ(comp.Run(3.0), 3.0);
    std::u16string hostile = std::u16string(100000, u'(') + u"X";
    EXPECT_FALSE(comp.Compile(hostile.c_str()));
    EXPECT_EQ(comp.Error(), 1);
}

// A compiler whose code buffer could not be allocated.
class WithoutBuffer : public CForComp {
public:
    WithoutBuffer() { m_nCapacity = 0; }
};

TEST(FormulaCompile, WithoutACodeBufferEveryFormulaIsOutOfMemory) {
    WithoutBuffer comp;
    EXPECT_FALSE(comp.Compile(u""));
    EXPECT_EQ(comp.Error(), 1);
    EXPECT_FALSE(comp.Compile(u"SIN(X)"));
    EXPECT_EQ(comp.Error(), 1);
    EXPECT_EQ(comp.Run(1.0), 0.0);
    double out[2] = {7.0, 7.0};
    EXPECT_FALSE(comp.Evaluate(u"X", 2, 0.0, 1.0, out));
    EXPECT_EQ(out[0], 7.0);
}

TEST(FormulaCompile, NameLookupAndCompletion) {
    CForComp comp;
    // X is no table row: only a lookup that wants a code finds it.
    int code = -1;
    int kind = -1;
    comp.LookupName(u"X", &code, kind);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(kind, 1);
    comp.LookupName(u"X", nullptr, kind);
    EXPECT_EQ(kind, 0);
    comp.LookupName(u"sin", &code, kind);
    EXPECT_EQ(kind, 0);

    struct Completion {
        const char16_t* name;
        bool known;
        const char16_t* completed;
        int caret;
    } completions[] = {
        {u"IN", true, u"IN(;)", 3}, {u"SIN", true, u"SIN()", 4}, {u"PI", true, u"PI", 2},
        {u"X", false, u"X", 1},     {u"SI", false, u"SI", 2},
    };
    for (const Completion& c : completions) {
        WString name = c.name;
        int caret = -1;
        EXPECT_EQ(comp.CompleteName(name, caret), c.known) << Narrow(c.name);
        EXPECT_EQ(name, c.completed);
        EXPECT_EQ(caret, c.caret) << Narrow(c.name);
    }
}

} // namespace
