// A model-2 scope read of 800 values of both channels: the USB transfers it
// takes beside the minimum, and the time it takes on the serial line beside
// the line's own limit at 9600 baud 8N2.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "device/kobface.h"
#include "device/stream.h"
#include "instruments/scope/scope.h"
#include "sim/analog.h"
#include "sim/inprocess.h"
#include "support/line_limit.h"
#include "support/paced_line.h"

namespace {

constexpr uint16_t kValues = 800;
// Read command (0xDC, count word, mask) and two channels of 16-bit samples.
constexpr double kCommandBytes = 4;
constexpr double kSampleBytes = 2.0 * 2 * kValues;

// An interface device on the given stream, taken for a model-2 box.
struct ScopeOn {
    explicit ScopeOn(CStreamIO* stream) {
        face.SetStream(stream);
        g_byModel = 2;
        scope = std::make_unique<CScope>(&face);
    }
    bool Open() { return face.m_pStream->Open(); }
    CKobface face;
    std::unique_ptr<CScope> scope;
    std::vector<double> a = std::vector<double>(kValues);
    std::vector<double> b = std::vector<double>(kValues);
};

void BM_UsbScopeRead(benchmark::State& state) {
    kobsim::InProcessBox box;
    box.AttachUsb();
    box.TheBox().AnalogInputs().SetFast(true);
    ScopeOn on(new CKobUsb);
    if (!on.Open()) {
        state.SkipWithError("cannot open the simulated pipes");
        return;
    }
    on.scope->SendTiming(1000, 0, kValues);
    on.scope->Start();
    const int writes = box.UsbWrites();
    const int reads = box.UsbReads();
    for (auto _ : state) {
        on.scope->ReadChannels(kValues, on.a.data(), on.b.data());
        benchmark::DoNotOptimize(on.a.data());
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["writes/read"] = (box.UsbWrites() - writes) / n;
    state.counters["packets/read"] = (box.UsbReads() - reads) / n;
    state.counters["minimum writes"] = 1;
    state.counters["minimum packets"] = kSampleBytes / 64;
    on.face.m_pStream->Close();
}

void BM_SerialScopeRead(benchmark::State& state) {
    PacedLine paced({"--fast"});
    if (!paced.Ready(state)) {
        return;
    }
    ScopeOn on(new CStreamCOM);
    if (!on.Open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    on.scope->SendTiming(1000, 0, kValues);
    on.scope->Start();
    for (auto _ : state) {
        on.scope->ReadChannels(kValues, on.a.data(), on.b.data());
        benchmark::DoNotOptimize(on.a.data());
    }
    on.face.m_pStream->Close();
}

} // namespace

BENCHMARK(BM_UsbScopeRead)->UseRealTime();
BENCHMARK(BM_SerialScopeRead)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    LineLimitReporter reporter("BM_SerialScopeRead");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("USB read of 800 values of A and B: minimum 1 write of 4 bytes and %.0f packets "
                "of 64 bytes (counters above)\n",
                kSampleBytes / 64);
    reporter.PrintLineRatio("800 values of A and B", kCommandBytes + kSampleBytes);
    benchmark::Shutdown();
    return 0;
}
