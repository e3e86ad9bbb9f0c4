// kobctl meter: one DVM measurement of both channels through the COM
// server, the six values of each channel labelled.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include <algorithm>

#include "instruments/device_base.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"

namespace {

const char* const kLabels[] = {"mean", "second sum / buffer", "maximum", "peak to peak",
                               "RMS",  "current sample"};
// The same values as keys of --json, in volts.
const char* const kKeys[] = {
    "mean_V", "second_sum_per_buffer", "maximum_V", "peak_to_peak_V", "rms_V", "current_V"};

// Waits until the DVM has measured for as long as its time asks (time in
// 10 ms), with the time so far on a terminal when that is long.
MeterStatus AwaitMeasurement(IMeter* meter, long time) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto span = std::chrono::milliseconds(std::max(time, 1L) * 10);
    const auto deadline = start + span + std::chrono::seconds(5);
    const bool progress = span > std::chrono::seconds(2) && isatty(STDERR_FILENO);
    auto shown = start;
    MeterStatus status = MTR_READY;
    while (meter->Status(&status) == S_OK && status != MTR_MEASURED && status != MTR_FAILURE &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (progress && Clock::now() - shown > std::chrono::milliseconds(500)) {
            shown = Clock::now();
            std::fprintf(stderr, "\rmeasuring: %.0f s of %.0f s ",
                         std::chrono::duration<double>(shown - start).count(),
                         std::chrono::duration<double>(span).count());
        }
    }
    if (progress) {
        std::fprintf(stderr, "\r%40s\r", "");
    }
    return status;
}

} // namespace

int RunMeter(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    if (!ParseLineOptions(args, line)) {
        return 2;
    }
    long rangeA = 5, rangeB = 8, time = 10, buffer = 2048;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == "--range-a") {
            ok = TakeNumber("meter", args, i, 0, kRangeCount - 1, rangeA);
        } else if (args[i] == "--range-b") {
            ok = TakeNumber("meter", args, i, 0, kRangeCount - 1, rangeB);
        } else if (args[i] == "--time") {
            ok = TakeNumber("meter", args, i, 0, 65535, time);
        } else if (args[i] == "--buffer") {
            ok = TakeNumber("meter", args, i, 1, 65535, buffer);
        } else if (args[i] == "--json") {
            json = true;
        } else {
            ok = UnknownOption("meter", args[i]);
        }
        if (!ok) {
            return 2;
        }
    }
    if (line.trace) {
        std::fprintf(stderr, "kobctl meter: no --trace (the COM server owns the line)\n");
        return 2;
    }
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    if (!json) {
        std::printf("Box: \"%s\"\nDVM: ranges A %g V, B %g V full scale, %ld samples in %g s\n",
                    version.c_str(), g_aRanges[rangeA].fullScale, g_aRanges[rangeB].fullScale,
                    buffer, std::max(time, 1L) * 0.01);
    }
    int rc = 1;
    IMeter* meter = nullptr;
    if (Succeeded("IKobaltix::CreateMeter", kob->CreateMeter(&meter)) &&
        Succeeded("IMeter::Config", meter->Config(static_cast<unsigned char>(rangeA), 0,
                                                  static_cast<unsigned char>(rangeB), 0)) &&
        Succeeded("IMeter::Timing", meter->Timing(static_cast<unsigned short>(time),
                                                  static_cast<unsigned short>(buffer))) &&
        Succeeded("IMeter::Start", meter->Start())) {
        MeterStatus status = AwaitMeasurement(meter, time);
        if (status != MTR_MEASURED) {
            std::fprintf(stderr,
                         "kobctl meter: the DVM did not finish its measurement (status %d)\n",
                         static_cast<int>(status));
        } else {
            double values[2][6] = {};
            bool ok = true;
            for (unsigned char type = 0; type < 6 && ok; ++type) {
                ok = Succeeded("IMeter::ReadA", meter->ReadA(type, &values[0][type])) &&
                     Succeeded("IMeter::ReadB", meter->ReadB(type, &values[1][type]));
            }
            if (ok && json) {
                JsonObject o;
                o.String("box", version);
                const char* names[2] = {"A", "B"};
                for (int c = 0; c < 2; ++c) {
                    JsonObject channel;
                    for (int type = 0; type < 6; ++type) {
                        channel.Number(kKeys[type], values[c][type]);
                    }
                    o.Object(names[c], channel);
                }
                o.Print();
                rc = 0;
            } else if (ok) {
                std::printf("  %-22s %12s %12s\n", "", "channel A", "channel B");
                for (int type = 0; type < 6; ++type) {
                    std::printf("  %-22s %10.4f V %10.4f V\n", kLabels[type], values[0][type],
                                values[1][type]);
                }
                rc = 0;
            }
        }
        meter->Stop();
    }
    if (meter) {
        meter->Release();
    }
    kob->Release();
    return rc;
}
