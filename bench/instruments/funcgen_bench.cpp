// An 8192-sample formula table to a model-2 function generator: the USB
// transfers it takes beside the minimum, the time on the paced serial line
// beside what its bytes need at 9600 baud 8N2, and the time to compute the
// table beside the time the line needs to carry it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include "device/kobface.h"
#include "device/stream.h"
#include "formula/forcomp.h"
#include "instruments/funcgen/funcgen.h"
#include "sim/inprocess.h"
#include "support/paced_line.h"
#include "support/ratio_report.h"

namespace {

constexpr double kPoints = kFGenFormulaPoints;
// Header and count, the samples as words, two acknowledgements.
constexpr double kTableBytes = 3 + 2 * kPoints + 2;
constexpr double kLineBytesPerSecond = 9600.0 / 11;
// One header write, the samples in 256-byte pieces; one packet per "!".
constexpr double kMinimumWrites = 1 + 2 * kPoints / 256;
constexpr double kMinimumReads = 2;
const char16_t* const kFormula = u"SIN(X)+0.3*SIN(3*X)";

double g_dSerialSeconds = 0;
double g_dSerialBytes = 0;
double g_dEvaluateSeconds = 0;

// The serial stream, counting the bytes that cross the line either way.
class CountingCOM : public CStreamCOM {
public:
    void Write(const void* buffer, uint32_t count) override {
        m_nBytes += count;
        CStreamCOM::Write(buffer, count);
    }
    void Read(void* buffer, uint32_t count) override {
        CStreamCOM::Read(buffer, count);
        m_nBytes += count;
    }
    uint64_t m_nBytes = 0;
};

std::vector<double> FormulaTable() {
    std::vector<double> t(kFGenFormulaPoints);
    CForComp comp;
    comp.Evaluate(kFormula, kFGenFormulaPoints, 0, 2 * std::numbers::pi, t.data());
    return t;
}

struct GeneratorOn {
    explicit GeneratorOn(CStreamIO* stream) {
        face.SetStream(stream);
        g_byModel = 2;
        gen = std::make_unique<CFuncGen>(&face);
    }
    CKobface face;
    std::unique_ptr<CFuncGen> gen;
    std::vector<double> table = FormulaTable();
};

void BM_UsbFormulaTable(benchmark::State& state) {
    kobsim::InProcessBox box;
    box.AttachUsb();
    GeneratorOn on(new CKobUsb);
    if (!on.face.m_pStream->Open()) {
        state.SkipWithError("cannot open the simulated pipes");
        return;
    }
    const int writes = box.UsbWrites();
    const int reads = box.UsbReads();
    for (auto _ : state) {
        on.gen->SendTable(on.table);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["writes/table"] = (box.UsbWrites() - writes) / n;
    state.counters["packets/table"] = (box.UsbReads() - reads) / n;
    state.counters["minimum writes"] = kMinimumWrites;
    state.counters["minimum packets"] = kMinimumReads;
    on.face.m_pStream->Close();
}

void BM_SerialFormulaTable(benchmark::State& state) {
    PacedLine paced;
    if (!paced.Ready(state)) {
        return;
    }
    auto* line = new CountingCOM;
    GeneratorOn on(line);
    if (!line->Open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        on.gen->SendTable(on.table);
    }
    g_dSerialBytes = static_cast<double>(line->m_nBytes) / static_cast<double>(state.iterations());
    line->Close();
}

void BM_EvaluateFormulaTable(benchmark::State& state) {
    std::vector<double> t(kFGenFormulaPoints);
    for (auto _ : state) {
        CForComp comp;
        comp.Evaluate(kFormula, kFGenFormulaPoints, 0, 2 * std::numbers::pi, t.data());
        benchmark::DoNotOptimize(t.data());
    }
}

class TableReporter : public RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) {
                continue;
            }
            // Per iteration, in seconds.
            const double seconds =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            if (r.benchmark_name().rfind("BM_SerialFormulaTable", 0) == 0) {
                g_dSerialSeconds = seconds;
            } else if (r.benchmark_name().rfind("BM_EvaluateFormulaTable", 0) == 0) {
                g_dEvaluateSeconds = seconds;
            }
        }
        RatioReporter::ReportRuns(runs);
    }
};

} // namespace

BENCHMARK(BM_UsbFormulaTable)->UseRealTime();
BENCHMARK(BM_EvaluateFormulaTable);
BENCHMARK(BM_SerialFormulaTable)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double limit = kTableBytes / kLineBytesPerSecond;
    std::printf("USB table of 8192 samples: minimum %.0f writes and %.0f packets (counters "
                "above)\n",
                kMinimumWrites, kMinimumReads);
    if (g_dSerialBytes > 0) {
        std::printf("serial table of 8192 samples: %.0f bytes on the wire against the table's "
                    "own %.0f: ratio %.3f (%.2f s: the simulator paces only its replies)\n",
                    g_dSerialBytes, kTableBytes, g_dSerialBytes / kTableBytes, g_dSerialSeconds);
    }
    if (g_dEvaluateSeconds > 0) {
        std::printf("computing the table: %.3g s against %.2f s the serial line needs to carry "
                    "it: ratio %.2g\n",
                    g_dEvaluateSeconds, limit, g_dEvaluateSeconds / limit);
    }
    benchmark::Shutdown();
    return 0;
}
