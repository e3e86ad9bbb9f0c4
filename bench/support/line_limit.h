// The figure of a read over the paced serial line beside the line's own
// limit at 9600 baud 8N2 (11 bits a byte).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/ratio_report.h"

inline constexpr double kLineBytesPerSecond = 9600.0 / 11;

// Keeps the time of the serial run whose name begins with the given one.
class LineLimitReporter : public RatioReporter {
public:
    explicit LineLimitReporter(std::string serialRun) : m_strRun(std::move(serialRun)) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.benchmark_name().rfind(m_strRun, 0) == 0 && !r.error_occurred &&
                r.iterations > 0) {
                m_dSeconds = r.GetAdjustedRealTime();
            }
        }
        RatioReporter::ReportRuns(runs);
    }
    // "serial read of WHAT: S s against the line's limit of L s ...", when
    // the serial run was measured; bytes is all that crosses the line.
    void PrintLineRatio(const char* what, double bytes) const {
        if (m_dSeconds <= 0) {
            return;
        }
        const double limit = bytes / kLineBytesPerSecond;
        std::printf("serial read of %s: %.2f s against the line's limit of %.2f s (%.0f bytes "
                    "at %.1f bytes/s): ratio %.2f\n",
                    what, m_dSeconds, limit, bytes, kLineBytesPerSecond, m_dSeconds / limit);
    }

private:
    std::string m_strRun;
    double m_dSeconds = 0;
};
