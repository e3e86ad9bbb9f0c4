// Random well-formed formulas, written out from the grammar with spaces where
// it allows them, compile and run to the values that a recursive evaluator of
// their syntax tree computes.
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formula/forcomp.h"
#include "framework/exception.h"

namespace {

constexpr double kPi = 3.141592653589793;

double Sign(double v) {
    return v >= 0 ? 1.0 : -1.0;
}
double Frac(double v) {
    return v - std::trunc(v);
}
double P(double v) {
    return 2 * kPi * Frac(std::fabs(v) / (2 * kPi));
}
double Q(double v) {
    return 2 * kPi * Frac(v / (2 * kPi));
}

using Fn1 = std::function<double(double x, double v)>;
using Fn2 = std::function<double(double x, double a, double b)>;

const std::map<std::string, Fn1>& Functions() {
    static const std::map<std::string, Fn1> table = {
        {"SIN", [](double, double v) { return std::sin(v); }},
        {"COS", [](double, double v) { return std::cos(v); }},
        {"TAN", [](double, double v) { return std::tan(v); }},
        {"ASIN", [](double, double v) { return std::asin(v); }},
        {"ACOS", [](double, double v) { return std::acos(v); }},
        {"ATAN", [](double, double v) { return std::atan(v); }},
        {"SINH", [](double, double v) { return std::sinh(v); }},
        {"COSH", [](double, double v) { return std::cosh(v); }},
        {"TANH", [](double, double v) { return std::tanh(v); }},
        {"EXP", [](double, double v) { return std::exp(v); }},
        {"LN", [](double, double v) { return std::log(v); }},
        {"LOG", [](double, double v) { return std::log10(v); }},
        {"SQR", [](double, double v) { return v * v; }},
        {"SQRT", [](double, double v) { return std::sqrt(v); }},
        {"ABS", [](double, double v) { return std::fabs(v); }},
        {"SQU", [](double, double v) { return (P(v) < kPi ? 1 : -1) * Sign(v); }},
        {"SAW",
         [](double, double v) {
             double p = P(v);
             return (p < kPi ? p / kPi : (p - kPi) / kPi - 1) * Sign(v);
         }},
        {"TRI",
         [](double, double v) {
             double p = P(v);
             double t = p < kPi / 2       ? 2 * p / kPi
                        : p < 3 * kPi / 2 ? 2 - 2 * p / kPi
                                          : 2 * (p - 3 * kPi / 2) / kPi - 1;
             return t * Sign(v);
         }},
        {"RAD", [](double, double v) { return v * 0.017453292519943295; }},
        {"DEG", [](double, double v) { return v * 57.29577951308232; }},
        {"POS", [](double, double v) { return v > 0 ? v : 0; }},
        {"NEG", [](double, double v) { return v < 0 ? v : 0; }},
        {"SGN", [](double, double v) { return Sign(v); }},
        {"INT", [](double, double v) { return std::trunc(v); }},
        {"FRC", [](double, double v) { return Frac(v); }},
        {"GE", [](double x, double v) { return x >= v ? 1.0 : 0.0; }},
        {"GT", [](double x, double v) { return x > v ? 1.0 : 0.0; }},
        {"LE", [](double x, double v) { return x <= v ? 1.0 : 0.0; }},
        {"LT", [](double x, double v) { return x < v ? 1.0 : 0.0; }},
    };
    return table;
}

const std::map<std::string, Fn2>& Functions2() {
    static const std::map<std::string, Fn2> table = {
        {"PWM",
         [](double, double a, double b) {
             return Frac(std::fabs(a) / (2 * kPi)) < std::fabs(b) ? Sign(b) : 0.0;
         }},
        {"PHA",
         [](double, double a, double b) {
             double p = Q(a);
             return (b <= p && p < kPi) || p >= kPi + b ? std::sin(p) : 0.0;
         }},
        {"PUL",
         [](double, double a, double b) {
             double p = Q(a);
             double h = b / 2;
             if (p < kPi) {
                 return kPi / 2 - h <= p && p < kPi / 2 + h ? 1.0 : 0.0;
             }
             return 3 * kPi / 2 - h <= p && p < 3 * kPi / 2 + h ? -1.0 : 0.0;
         }},
        {"IN", [](double x, double a, double b) { return a <= x && x <= b ? 1.0 : 0.0; }},
    };
    return table;
}

// A formula as text, the grammar level it stands at (0 expression, 1 term,
// 2 factor), whether it is a negation, and its value at x; failed is set
// when any part's value is not finite (a domain error, a division by zero or
// an overflow on the way).
struct Formula {
    std::string text;
    int level = 2;
    bool negation = false;
    std::function<double(double x, bool& failed)> value;
};

double Checked(double v, bool& failed) {
    failed = failed || !std::isfinite(v);
    return v;
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    Formula MakeFormula() {
        m_nBudget = 30;
        return Make(6);
    }

private:
    Formula Make(int depth) {
        switch (depth <= 0 || --m_nBudget <= 0 ? Pick(3) : Pick(10)) {
        case 0:
            return Number();
        case 1:
        case 2:
            if (Pick(5) == 0) {
                return {"PI", 2, false, [](double, bool&) { return kPi; }};
            }
            return {"X", 2, false, [](double x, bool&) { return x; }};
        case 3: {
            auto f = Make(depth - 1);
            return {"-" + Space() + Wrap(f, 2, true), 2, true,
                    [f = f.value](double x, bool& failed) { return -f(x, failed); }};
        }
        case 4:
        case 5:
        case 6: {
            const char op = "+-*/"[Pick(4)];
            const int level = op == '+' || op == '-' ? 0 : 1;
            auto a = Make(depth - 1);
            auto b = Make(depth - 1);
            return {Wrap(a, level) + Space() + op + Space() + Wrap(b, level + 1), level, false,
                    [op, a = a.value, b = b.value](double x, bool& failed) {
                        double u = a(x, failed);
                        double v = b(x, failed);
                        return Checked(op == '+'   ? u + v
                                       : op == '-' ? u - v
                                       : op == '*' ? u * v
                                                   : u / v,
                                       failed);
                    }};
        }
        case 7:
        case 8: {
            auto it = std::next(Functions().begin(), Pick(static_cast<int>(Functions().size())));
            auto a = Make(depth - 1);
            return {it->first + "(" + Space() + Wrap(a, 0) + Space() + ")", 2, false,
                    [fn = it->second, a = a.value](double x, bool& failed) {
                        return Checked(fn(x, a(x, failed)), failed);
                    }};
        }
        default: {
            auto it = std::next(Functions2().begin(), Pick(static_cast<int>(Functions2().size())));
            auto a = Make(depth - 1);
            auto b = Make(depth - 1);
            return {it->first + "(" + Space() + Wrap(a, 0) + Space() + ";" + Space() + Wrap(b, 0) +
                        Space() + ")",
                    2, false, [fn = it->second, a = a.value, b = b.value](double x, bool& failed) {
                        double u = a(x, failed);
                        return Checked(fn(x, u, b(x, failed)), failed);
                    }};
        }
        }
    }

    // Brackets where the grammar needs a higher level, and around a
    // negation that is itself negated.
    std::string Wrap(const Formula& f, int need, bool inNegation = false) {
        if (f.level < need || (inNegation && f.negation)) {
            return "(" + Space() + f.text + Space() + ")";
        }
        return f.text;
    }

    Formula Number() {
        char buf[32];
        double scale = 1;
        switch (Pick(4)) {
        case 0:
            std::snprintf(buf, sizeof buf, "%d", Pick(20));
            break;
        case 1:
            std::snprintf(buf, sizeof buf, "%d.%03d", Pick(10), Pick(1000));
            break;
        case 2:
            std::snprintf(buf, sizeof buf, "%d.%dE%d", 1 + Pick(9), Pick(100), Pick(7) - 3);
            break;
        default:
            std::snprintf(buf, sizeof buf, "%d", 15 * Pick(25));
            scale = 0.017453292519943295;
        }
        const double v = std::strtod(buf, nullptr) * scale;
        return {buf + (scale == 1 ? "" : Space() + "°"), 2, false,
                [v](double, bool&) { return v; }};
    }

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::string Space() { return Pick(4) == 0 ? " " : ""; }

    std::mt19937 m_rng;
    int m_nBudget = 0;
};

TEST(FormulaProperty, RandomFormulasRunAsTheirSyntaxTreeEvaluates) {
    Generator gen(20261207);
    const double points[] = {-3.5, -2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 3.5};
    int failures = 0;
    int computed = 0;
    for (int round = 0; round < 600 && failures < 5; ++round) {
        const Formula formula = gen.MakeFormula();
        const std::string& text = formula.text;
        WString wide = Widen(text);
        CForComp comp;
        if (!comp.Compile(wide.c_str())) {
            ADD_FAILURE() << text << ": error " << comp.Error() << " at " << comp.ErrorPos();
            ++failures;
            continue;
        }
        std::vector<double> ran;
        for (double x : points) {
            bool fails = false;
            double expected = formula.value(x, fails);
            std::feclearexcept(FE_ALL_EXCEPT);
            if (fails) {
                EXPECT_THROW(comp.Run(x), CFPException) << text << " at " << x;
                break;
            }
            double got = 0;
            EXPECT_NO_THROW(got = comp.Run(x)) << text << " at " << x;
            ran.push_back(got);
            ++computed;
            if (std::fabs(got - expected) > 1e-12 * std::fabs(expected)) {
                ADD_FAILURE() << text << " at " << x << ": " << got << " instead of " << expected;
                ++failures;
            }
        }
        // A table of the same points holds what Run gave, up to the first failure.
        double table[8];
        bool whole = comp.Evaluate(wide.c_str(), 8, -3.5, 4.5, table);
        EXPECT_EQ(whole, ran.size() == 8) << text;
        ASSERT_EQ(comp.EvaluatedPoints(), static_cast<int>(ran.size())) << text;
        for (size_t i = 0; i < ran.size(); ++i) {
            EXPECT_EQ(table[i], ran[i]) << text << " at point " << i;
        }
    }
    // Most formulas must be computable, or the test would prove little.
    EXPECT_GT(computed, 2000);
}

} // namespace
