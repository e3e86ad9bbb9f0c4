// A model-2 logic-analyser read of 4096 words: the USB transfers it takes
// beside the minimum, and the time it takes on the serial line beside the
// line's own limit at 9600 baud 8N2.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "device/kobface.h"
#include "device/stream.h"
#include "instruments/digio/digio.h"
#include "sim/inprocess.h"
#include "support/line_limit.h"
#include "support/paced_line.h"

namespace {

constexpr uint16_t kWords = 4096;
// The read command (0x24 and the count word), then the words and "!".
constexpr double kCommandBytes = 3;
constexpr double kReplyBytes = 2.0 * kWords + 1;

// A finished record of kWords on the box behind the stream.
struct AnalyserOn {
    explicit AnalyserOn(CStreamIO* stream) {
        face.SetStream(stream);
        g_byModel = 2;
    }
    bool Record() {
        if (!face.m_pStream->Open()) {
            return false;
        }
        dig.SetTiming(1, kWords, false);
        dig.SendSetup();
        dig.StartAnalyser();
        return dig.GetStatus() == kDigMeasured;
    }
    CKobface face;
    CDigIO dig{&face};
    std::vector<uint16_t> words = std::vector<uint16_t>(kWords);
};

void BM_UsbAnalyserRead(benchmark::State& state) {
    kobsim::BoxConfig config;
    config.fast = true;
    kobsim::InProcessBox box(config);
    box.AttachUsb();
    AnalyserOn on(new CKobUsb);
    if (!on.Record()) {
        state.SkipWithError("no record on the simulated pipes");
        return;
    }
    const int writes = box.UsbWrites();
    const int reads = box.UsbReads();
    for (auto _ : state) {
        on.dig.ReadMemory(kWords, on.words.data());
        benchmark::DoNotOptimize(on.words.data());
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["writes/read"] = (box.UsbWrites() - writes) / n;
    state.counters["packets/read"] = (box.UsbReads() - reads) / n;
    state.counters["minimum writes"] = 1;
    state.counters["minimum packets"] = std::ceil(kReplyBytes / 64);
    on.face.m_pStream->Close();
}

void BM_SerialAnalyserRead(benchmark::State& state) {
    PacedLine paced({"--fast"});
    if (!paced.Ready(state)) {
        return;
    }
    AnalyserOn on(new CStreamCOM);
    if (!on.Record()) {
        state.SkipWithError("no record on the pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        on.dig.ReadMemory(kWords, on.words.data());
        benchmark::DoNotOptimize(on.words.data());
    }
    on.face.m_pStream->Close();
}

} // namespace

BENCHMARK(BM_UsbAnalyserRead)->UseRealTime();
BENCHMARK(BM_SerialAnalyserRead)->UseRealTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    LineLimitReporter reporter("BM_SerialAnalyserRead");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("USB read of 4096 analyser words: minimum 1 write of 3 bytes and %.0f packets "
                "of 64 bytes (counters above)\n",
                std::ceil(kReplyBytes / 64));
    reporter.PrintLineRatio("4096 analyser words", kCommandBytes + kReplyBytes);
    benchmark::Shutdown();
    return 0;
}
