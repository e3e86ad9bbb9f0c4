// kobctl handheld: the hand-held meter on the box's pass-through port. It
// has no COM interface, so its model is driven here directly: the box is
// identified, the instrument announced (type 8), and one record read (or
// one after another with --watch, as a live display).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "device/kobface.h"
#include "framework/exception.h"
#include "instruments/handheld/handheld.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnInterrupt(int) {
    g_stop = 1;
}

bool ReadFamily(CMetraHit& meter, long family) {
    switch (family) {
    case 1:
        return meter.ReadFormat1();
    case 2:
        return meter.ReadFormat2();
    default:
        return meter.ReadFormat3();
    }
}

void Show(const CMetraHit& m, bool valid, bool json, bool watch) {
    const std::string display = Narrow(m.Display());
    const std::string mode = Narrow(m.m_pszMode);
    const std::string unit = Narrow(m.m_pszUnit);
    if (json) {
        JsonObject()
            .Bool("valid", valid)
            .String("display", display)
            .String("mode", mode)
            .String("unit", unit)
            .Bool("over", m.m_bOver != 0)
            .Integer("kind", m.m_nKind)
            .Print();
        return;
    }
    if (!valid) {
        std::printf(watch ? "\r%-60s" : "%s\n", "no reading");
    } else {
        char line[160];
        std::snprintf(line, sizeof line, "[%8s] %-5s %-16s%s kind %u", display.c_str(),
                      unit.c_str(), mode.c_str(), m.m_bOver ? " OVER" : "", m.m_nKind);
        std::printf(watch ? "\r%-60s" : "%s\n", line);
    }
    std::fflush(stdout);
}

} // namespace

int RunHandheld(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    if (!ParseLineOptions(args, line)) {
        return 2;
    }
    long family = 0;
    bool watch = false;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == "--format") {
            ok = TakeNumber("handheld", args, i, 1, 3, family);
        } else if (args[i] == "--watch") {
            watch = true;
        } else if (args[i] == "--json") {
            json = true;
        } else {
            std::fprintf(stderr, "kobctl handheld: unknown option %s\n", args[i].c_str());
            ok = false;
        }
        if (!ok) {
            return 2;
        }
    }
    if (family == 0) {
        std::fprintf(stderr, "kobctl handheld: --format 1|2|3 names the meter's family\n");
        return 2;
    }
    CKobface kobface;
    kobface.SetStream(MakeStream(line).release());
    if (!kobface.m_pStream->Open()) {
        std::printf("%s cannot be opened: it does not exist or another program uses it.\n",
                    DescribeLine(line).c_str());
        return 1;
    }
    try {
        if (!kobface.Identify()) {
            FlushLineTrace();
            std::printf("No KOBALTIX Interface answered on %s.\n", DescribeLine(line).c_str());
            return 1;
        }
        kobface.CreateDevice(kTypeMetraHit);
        auto* meter = dynamic_cast<CMetraHit*>(kobface.Device(kTypeMetraHit));
        if (!meter) {
            return 1;
        }
        if (!json) {
            std::printf("Hand-held meter of family %ld on %s:\n", family,
                        DescribeLine(line).c_str());
        }
        std::signal(SIGINT, OnInterrupt);
        do {
            const bool valid = ReadFamily(*meter, family);
            FlushLineTrace();
            Show(*meter, valid, json, watch);
            if (watch) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        } while (watch && !g_stop);
        if (watch && !json) {
            std::printf("\n");
        }
    } catch (const CCommException& e) {
        FlushLineTrace();
        std::printf("\nThe box did not answer: %s\n", Narrow(e.GetErrorText()).c_str());
        return 1;
    }
    return 0;
}
