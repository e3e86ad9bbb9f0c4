// Prints, after the usual table, how the measured cases compare with their
// baselines from the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the figures are read in logs as often as on a terminal.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.iterations > 0 && !r.error_occurred) {
                m_times[r.benchmark_name()] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Prints "label: measured / baseline = ratio" for each pair found.
    void PrintRatios(const std::vector<std::pair<std::string, std::string>>& pairs,
                     const char* label) const {
        for (const auto& [measured, baseline] : pairs) {
            auto m = m_times.find(measured);
            auto b = m_times.find(baseline);
            if (m == m_times.end() || b == m_times.end() || b->second <= 0) {
                continue;
            }
            std::printf("%s: %s / %s = %.2f\n", label, measured.c_str(), baseline.c_str(),
                        m->second / b->second);
        }
    }

private:
    std::map<std::string, double> m_times;
};
