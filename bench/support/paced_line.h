// The simulator on a pseudo-terminal with its replies paced at 9600 baud,
// as COM1 ("Port" 1) of a profile of the run's own.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "support/sim_process.h"
#include "support/temp_profile.h"

class PacedLine {
public:
    explicit PacedLine(std::vector<std::string> extra = {}) : m_sim(Args(std::move(extra))) {
        if (!m_sim.Path().empty()) {
            m_profile.Set("Settings", "Port", "1");
            m_profile.Set("Ports", "COM1", m_sim.Path());
        }
    }
    // False (the run skipped) when the simulator did not start.
    bool Ready(benchmark::State& state) const {
        if (m_sim.Path().empty()) {
            state.SkipWithError("the simulator did not start");
            return false;
        }
        return true;
    }

private:
    static std::vector<std::string> Args(std::vector<std::string> extra) {
        extra.insert(extra.begin(), "--line-rate");
        return extra;
    }
    SimProcess m_sim;
    TempProfile m_profile{"kob-bench"};
};
