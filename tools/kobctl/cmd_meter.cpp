// kobctl meter: one DVM measurement of both channels through the COM
// server, the six values of each channel labelled.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "instruments/device_base.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/line.h"

namespace {

const char* const kLabels[] = {"mean", "second sum / buffer", "maximum", "peak to peak",
                               "RMS",  "current sample"};

} // namespace

int RunMeter(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    if (!ParseLineOptions(args, line)) {
        return 2;
    }
    long rangeA = 5, rangeB = 8, time = 10, buffer = 2048;
    for (size_t i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == "--range-a") {
            ok = TakeNumber("meter", args, i, 0, kRangeCount - 1, rangeA);
        } else if (args[i] == "--range-b") {
            ok = TakeNumber("meter", args, i, 0, kRangeCount - 1, rangeB);
        } else if (args[i] == "--time") {
            ok = TakeNumber("meter", args, i, 0, 65535, time);
        } else if (args[i] == "--buffer") {
            ok = TakeNumber("meter", args, i, 1, 65535, buffer);
        } else {
            std::fprintf(stderr, "kobctl meter: unknown option %s\n", args[i].c_str());
        }
        if (!ok) {
            return 2;
        }
    }
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    std::printf("Box: \"%s\"\nDVM: ranges A %g V, B %g V full scale, %ld samples\n",
                version.c_str(), g_aRanges[rangeA].fullScale, g_aRanges[rangeB].fullScale, buffer);
    int rc = 1;
    IMeter* meter = nullptr;
    if (Succeeded("IKobaltix::CreateMeter", kob->CreateMeter(&meter)) &&
        Succeeded("IMeter::Config", meter->Config(static_cast<unsigned char>(rangeA), 0,
                                                  static_cast<unsigned char>(rangeB), 0)) &&
        Succeeded("IMeter::Timing", meter->Timing(static_cast<unsigned short>(time),
                                                  static_cast<unsigned short>(buffer))) &&
        Succeeded("IMeter::Start", meter->Start())) {
        MeterStatus status = MTR_READY;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (meter->Status(&status) == S_OK && status != MTR_MEASURED && status != MTR_FAILURE &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (status != MTR_MEASURED) {
            std::printf("The DVM did not finish its measurement (status %d).\n",
                        static_cast<int>(status));
        } else {
            double values[2][6] = {};
            bool ok = true;
            for (unsigned char type = 0; type < 6 && ok; ++type) {
                ok = Succeeded("IMeter::ReadA", meter->ReadA(type, &values[0][type])) &&
                     Succeeded("IMeter::ReadB", meter->ReadB(type, &values[1][type]));
            }
            if (ok) {
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
