// Evaluating formulas into an 8192-point table, beside the same formulas
// written in C++ and compiled by muparser, in one run. Prints nanoseconds
// per point and the two ratios.
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <muParser.h>

#include "formula/forcomp.h"

namespace {

constexpr int kPoints = 8192;
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2 * kPi;
constexpr int kNest = 10; // levels of the continued fraction

// The wave shapes as a C++ programmer would write them.
double Sign(double v) {
    return v >= 0 ? 1.0 : -1.0;
}
double Fold(double v) {
    double t = std::fabs(v) / kTwoPi;
    return kTwoPi * (t - std::trunc(t));
}
double Squ(double v) {
    return (Fold(v) < kPi ? 1.0 : -1.0) * Sign(v);
}
double Tri(double v) {
    double p = Fold(v);
    double t = p < kPi / 2       ? 2 * p / kPi
               : p < 3 * kPi / 2 ? 2 - 2 * p / kPi
                                 : 2 * (p - 3 * kPi / 2) / kPi - 1;
    return t * Sign(v);
}
double Pwm(double a, double b) {
    double t = std::fabs(a) / kTwoPi;
    return t - std::trunc(t) < std::fabs(b) ? Sign(b) : 0.0;
}

struct Formula {
    const char* name;
    std::u16string text;      // for the formula compiler
    std::string muText;       // for muparser
    double (*direct)(double); // hand-written
};

std::string Nested(const char* one, const char* x) {
    std::string s = std::string(one) + "/";
    for (int i = 0; i < kNest; ++i) {
        s += std::string("(") + one + "+" + one + "/";
    }
    s += std::string("(") + one + "+" + x + "*" + x + ")";
    return s + std::string(kNest, ')');
}

std::vector<Formula> Formulas() {
    std::string nest = Nested("1", "X");
    std::string muNest = Nested("1", "x");
    return {
        {"x", u"X", "x", [](double x) { return x; }},
        {"trig", u"SIN(X)+0.3*SIN(3*X)", "sin(x)+0.3*sin(3*x)",
         [](double x) { return std::sin(x) + 0.3 * std::sin(3 * x); }},
        {"waves", u"SQU(X)*0.5+TRI(2*X)*0.3+PWM(X;0.2)", "squ(x)*0.5+tri(2*x)*0.3+pwm(x,0.2)",
         [](double x) { return Squ(x) * 0.5 + Tri(2 * x) * 0.3 + Pwm(x, 0.2); }},
        {"nest", std::u16string(nest.begin(), nest.end()), muNest,
         [](double x) {
             double v = 1 + x * x;
             for (int i = 0; i < kNest; ++i) {
                 v = 1 + 1 / v;
             }
             return 1 / v;
         }},
    };
}

double PointX(int i) {
    return static_cast<double>(i) / kPoints * kTwoPi;
}

void PerPoint(benchmark::State& state) {
    state.counters["ns/point"] = benchmark::Counter(
        kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RunCompiler(benchmark::State& state, const Formula& f) {
    std::vector<double> out(kPoints);
    CForComp comp;
    for (auto _ : state) {
        if (!comp.Evaluate(f.text.c_str(), kPoints, 0.0, kTwoPi, out.data())) {
            state.SkipWithError("the formula failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    PerPoint(state);
}

void RunHandWritten(benchmark::State& state, const Formula& f) {
    std::vector<double> out(kPoints);
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            out[i] = f.direct(PointX(i));
        }
        benchmark::DoNotOptimize(out.data());
    }
    PerPoint(state);
}

void RunMuParser(benchmark::State& state, const Formula& f) {
    std::vector<double> out(kPoints);
    double x = 0;
    mu::Parser parser;
    parser.DefineVar("x", &x);
    parser.DefineFun("squ", Squ);
    parser.DefineFun("tri", Tri);
    parser.DefineFun("pwm", Pwm);
    parser.SetExpr(f.muText);
    parser.Eval(); // from here on muparser runs its bytecode
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            x = PointX(i);
            out[i] = parser.Eval();
        }
        benchmark::DoNotOptimize(out.data());
    }
    PerPoint(state);
}

// Keeps the time per point of every benchmark for the summary: the median
// when the run is repeated, else the one measurement.
class Collector : public benchmark::ConsoleReporter {
public:
    explicit Collector(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) {
                continue;
            }
            const std::string name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                nsPerPoint[name] = r.GetAdjustedRealTime() / kPoints;
                medians.insert(name);
            } else if (r.run_type == Run::RT_Iteration && !medians.count(name)) {
                nsPerPoint[name] = r.GetAdjustedRealTime() / kPoints;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerPoint;
    std::set<std::string> medians;
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<Formula> formulas = Formulas();
    for (const Formula& f : formulas) {
        benchmark::RegisterBenchmark((std::string("compiler/") + f.name).c_str(), RunCompiler, f);
        benchmark::RegisterBenchmark((std::string("cpp/") + f.name).c_str(), RunHandWritten, f);
        benchmark::RegisterBenchmark((std::string("muparser/") + f.name).c_str(), RunMuParser, f);
    }
    bool color = isatty(STDOUT_FILENO);
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        color = color && a != "--benchmark_color=false" && a != "--benchmark_color=no";
    }
    benchmark::Initialize(&argc, argv);
    Collector collector(color);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    std::printf("\n%-8s %12s %12s %12s %10s %12s\n", "formula", "compiler", "C++", "muparser",
                "vs C++", "vs muparser");
    std::printf("%-8s %12s %12s %12s %10s %12s\n", "", "ns/point", "ns/point", "ns/point",
                "(<= 1.5)", "(<= 0.5)");
    for (const Formula& f : formulas) {
        auto find = [&](const char* kind) {
            auto it = collector.nsPerPoint.find(std::string(kind) + "/" + f.name);
            return it == collector.nsPerPoint.end() ? NAN : it->second;
        };
        double ours = find("compiler");
        double cpp = find("cpp");
        double mu = find("muparser");
        std::printf("%-8s %12.2f %12.2f %12.2f %9.2fx %11.2fx\n", f.name, ours, cpp, mu, ours / cpp,
                    ours / mu);
    }
    return 0;
}
