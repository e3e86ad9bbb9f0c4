// The worker thread's cost: the CPU time of one idle pass (the digital I/O
// window open, nothing changing) against the time the pass's exchanges
// take on the serial line paced at 9600 baud; and the same pass on the
// simulated line, which answers at once, so that only the worker's turn
// period spaces the passes.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "device/kobface.h"
#include "device/stream.h"
#include "support/paced_line.h"
#include "support/ratio_report.h"
#include "vi/digio/digvi.h"

namespace {

// Passes settle after the models' first changes have gone out.
constexpr int kWarmUpPasses = 5;

// The interface device of kobpanel: every model, one digital I/O window
// (without a platform window: it is polled, never notified).
struct CountingKobface : CKobface {
    bool Exchange() override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++passes;
        }
        passed.notify_all();
        return true;
    }
    void WaitPasses(long n) {
        std::unique_lock<std::mutex> lock(mutex);
        const long until = passes + n;
        passed.wait(lock, [&] { return passes >= until; });
    }
    bool Start(bool identify = true) {
        if (identify && (!m_pStream->Open() || !Identify())) {
            return false;
        }
        CreateAllDevices();
        AddWindow(CreateDigVI(m_pDigIO, m_pRelays));
        WaitPasses(kWarmUpPasses);
        return true;
    }
    ~CountingKobface() override { ForceStopWorker(); }
    std::mutex mutex;
    std::condition_variable passed;
    long passes = 0;
};

void Passes(benchmark::State& state, CountingKobface& face) {
    for (auto _ : state) {
        face.WaitPasses(1);
    }
}

void BM_IdlePassPacedLine(benchmark::State& state) {
    PacedLine paced;
    if (!paced.Ready(state)) {
        return;
    }
    CountingKobface face;
    face.SetStream(new CStreamCOM);
    if (!face.Start()) {
        state.SkipWithError("no box on the pseudo-terminal");
        return;
    }
    Passes(state, face);
}

void BM_IdlePassSimulatedLine(benchmark::State& state) {
    CountingKobface face;
    face.SetStream(new CStreamNUL); // "Demo-Interface": every answer at once
    face.Start(false);
    Passes(state, face);
}

} // namespace

// Real time is the pass's length; CPU time is the whole process's (the
// simulator runs in a process of its own on the paced line).
BENCHMARK(BM_IdlePassPacedLine)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdlePassSimulatedLine)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

namespace {

// CPU time against real time of the same run.
class WorkerReporter : public RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.iterations > 0 && !r.error_occurred && r.GetAdjustedRealTime() > 0) {
                m_lines.push_back(
                    r.benchmark_name() + ": CPU " + std::to_string(r.GetAdjustedCPUTime()) +
                    " ms per pass of " + std::to_string(r.GetAdjustedRealTime()) + " ms, " +
                    std::to_string(100 * r.GetAdjustedCPUTime() / r.GetAdjustedRealTime()) +
                    " % of the pass");
            }
        }
        RatioReporter::ReportRuns(runs);
    }
    void Print() const {
        for (const std::string& l : m_lines) {
            std::printf("%s\n", l.c_str());
        }
    }

private:
    std::vector<std::string> m_lines;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    WorkerReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print();
    benchmark::Shutdown();
    return 0;
}
