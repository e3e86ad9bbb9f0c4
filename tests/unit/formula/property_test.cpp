// Random well-formed formulas, written out from the grammar with spaces where
// it allows them, compile and run to the values that a recursive evaluator of
// their syntax tree computes.
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
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

struct Node {
    enum Kind { Number, VarX, Pi, Minus, Binary, Call1, Call2 } kind = Number;
    std::string text; // the number as written, or the function name
    double value = 0; // the number's value
    char op = 0;
    std::unique_ptr<Node> a, b;
};

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    std::unique_ptr<Node> Make(int depth) {
        auto n = std::make_unique<Node>();
        int choice = depth <= 0 || --m_nBudget <= 0 ? Pick(3) : Pick(10);
        switch (choice) {
        case 0:
            MakeNumber(*n);
            break;
        case 1:
            n->kind = Node::VarX;
            break;
        case 2:
            n->kind = Pick(4) ? Node::VarX : Node::Pi;
            break;
        case 3:
            n->kind = Node::Minus;
            n->a = Make(depth - 1);
            break;
        case 4:
        case 5:
        case 6:
            n->kind = Node::Binary;
            n->op = "+-*/"[Pick(4)];
            n->a = Make(depth - 1);
            n->b = Make(depth - 1);
            break;
        case 7:
        case 8: {
            n->kind = Node::Call1;
            auto it = Functions().begin();
            std::advance(it, Pick(static_cast<int>(Functions().size())));
            n->text = it->first;
            n->a = Make(depth - 1);
            break;
        }
        default: {
            n->kind = Node::Call2;
            auto it = Functions2().begin();
            std::advance(it, Pick(static_cast<int>(Functions2().size())));
            n->text = it->first;
            n->a = Make(depth - 1);
            n->b = Make(depth - 1);
            break;
        }
        }
        return n;
    }

    std::unique_ptr<Node> MakeFormula() {
        m_nBudget = 30;
        return Make(6);
    }

    // The text of a node where the grammar needs at least the given level
    // (0 expression, 1 term, 2 factor).
    std::string Render(const Node& n, int need, bool minusAllowed = true) {
        int level = n.kind == Node::Binary ? (n.op == '+' || n.op == '-' ? 0 : 1) : 2;
        std::string s = Bare(n);
        if (level < need || (!minusAllowed && n.kind == Node::Minus)) {
            s = "(" + Space() + s + Space() + ")";
        }
        return s;
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::string Space() { return Pick(4) == 0 ? " " : ""; }

    void MakeNumber(Node& n) {
        char buf[32];
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
            n.text = buf;
            n.value = std::strtod(buf, nullptr) * 0.017453292519943295;
            n.text += Space() + "°";
            return;
        }
        n.text = buf;
        n.value = std::strtod(buf, nullptr);
    }

    std::string Bare(const Node& n) {
        switch (n.kind) {
        case Node::Number:
            return n.text;
        case Node::VarX:
            return "X";
        case Node::Pi:
            return "PI";
        case Node::Minus:
            return "-" + Space() + Render(*n.a, 2, false);
        case Node::Binary:
            if (n.op == '+' || n.op == '-') {
                return Render(*n.a, 0) + Space() + n.op + Space() + Render(*n.b, 1);
            }
            return Render(*n.a, 1) + Space() + n.op + Space() + Render(*n.b, 2);
        case Node::Call1:
            return n.text + "(" + Space() + Render(*n.a, 0) + Space() + ")";
        case Node::Call2:
            return n.text + "(" + Space() + Render(*n.a, 0) + Space() + ";" + Space() +
                   Render(*n.b, 0) + Space() + ")";
        }
        return {};
    }

    std::mt19937 m_rng;
    int m_nBudget = 0;
};

// The value of a tree at x; failed is set when any node's value is not
// finite (a domain error, a division by zero or an overflow on the way).
double Evaluate(const Node& n, double x, bool& failed) {
    double v = 0;
    switch (n.kind) {
    case Node::Number:
        v = n.value;
        break;
    case Node::VarX:
        v = x;
        break;
    case Node::Pi:
        v = kPi;
        break;
    case Node::Minus:
        v = -Evaluate(*n.a, x, failed);
        break;
    case Node::Binary: {
        double a = Evaluate(*n.a, x, failed);
        double b = Evaluate(*n.b, x, failed);
        v = n.op == '+' ? a + b : n.op == '-' ? a - b : n.op == '*' ? a * b : a / b;
        break;
    }
    case Node::Call1:
        v = Functions().at(n.text)(x, Evaluate(*n.a, x, failed));
        break;
    case Node::Call2: {
        double a = Evaluate(*n.a, x, failed);
        double b = Evaluate(*n.b, x, failed);
        v = Functions2().at(n.text)(x, a, b);
        break;
    }
    }
    failed = failed || !std::isfinite(v);
    return v;
}

TEST(FormulaProperty, RandomFormulasRunAsTheirSyntaxTreeEvaluates) {
    Generator gen(20261207);
    const double points[] = {-3.5, -2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 3.5};
    int failures = 0;
    int computed = 0;
    for (int round = 0; round < 600 && failures < 5; ++round) {
        auto tree = gen.MakeFormula();
        std::string text = gen.Render(*tree, 0);
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
            double expected = Evaluate(*tree, x, fails);
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
