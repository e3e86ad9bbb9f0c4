// kobctl power: the three-phase generator through the COM server, each
// option one method of IPowerSupply.
#include <cstdio>
#include <string>
#include <vector>

#include "instruments/threephase/threephase.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/generator_options.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"

namespace {

const GeneratorOptions kPower{
    "power",
    "IPowerSupply",
    {"sine", "sine3", "rectangle", "pulse", "dc+", "dc-", "formula", "table"}};

struct PowerOptions : GeneratorCommon {
    long frequency = -1;
    long clock = -1;
    std::vector<long> amplitudes;
    std::vector<long> phases;
    int dcMode = -1;
    std::vector<long> switches;
};

bool Parse(Args& args, PowerOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool ok = true;
        std::string text;
        if (TakeCommon(kPower, args, i, o, ok)) {
            if (ok && o.hasTable && o.table.size() < kP3TablePoints) {
                std::fprintf(stderr, "kobctl power: a table needs at least %zu values\n",
                             kP3TablePoints);
                ok = false;
            }
        } else if (a == "--freq") {
            ok = TakeNumber("power", args, i, 0, 255, o.frequency);
        } else if (a == "--clock") {
            ok = TakeNumber("power", args, i, 0, 255, o.clock);
        } else if (a == "--amplitudes") {
            ok = TakeList(kPower, args, i, 3, 0, 100, o.amplitudes);
        } else if (a == "--phases") {
            ok = TakeList(kPower, args, i, 2, -360, 720, o.phases);
        } else if (a == "--dc-mode") {
            ok = TakeText(kPower, args, i, text) && (text == "on" || text == "off");
            o.dcMode = text == "on";
            if (!ok) {
                std::fprintf(stderr, "kobctl power: --dc-mode takes on or off\n");
            }
        } else if (a == "--switches") {
            ok = TakeList(kPower, args, i, 3, 0, 1, o.switches);
        } else {
            std::fprintf(stderr, "kobctl power: unknown option %s\n", a.c_str());
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    ImplyWaveform(o);
    return true;
}

unsigned char Byte(long v) {
    return static_cast<unsigned char>(v);
}

bool Send(IPowerSupply* p, const PowerOptions& o) {
    if (!SendFormulaAndTable(kPower, p, o.formula, o.hasTable ? &o.table : nullptr)) {
        return false;
    }
    // Switched off first when asked to, on only after everything else.
    return (o.on != 0 || Succeeded("IPowerSupply::Enable", p->Enable(0))) &&
           (o.clock < 0 || Succeeded("IPowerSupply::Clock", p->Clock(Byte(o.clock)))) &&
           (o.frequency < 0 ||
            Succeeded("IPowerSupply::Frequency", p->Frequency(Byte(o.frequency)))) &&
           (o.amplitudes.empty() ||
            Succeeded("IPowerSupply::Amplitude",
                      p->Amplitude(Byte(o.amplitudes[0]), Byte(o.amplitudes[1]),
                                   Byte(o.amplitudes[2])))) &&
           (o.phases.empty() ||
            Succeeded("IPowerSupply::Phase23", p->Phase23(static_cast<short>(o.phases[0]),
                                                          static_cast<short>(o.phases[1])))) &&
           (o.waveform < 0 || Succeeded("IPowerSupply::Waveform",
                                        p->Waveform(static_cast<P3Function>(o.waveform)))) &&
           (o.dcMode < 0 ||
            Succeeded("IPowerSupply::DcMode", p->DcMode(static_cast<unsigned char>(o.dcMode)))) &&
           (o.switches.empty() ||
            Succeeded(
                "IPowerSupply::PhaseSwitches",
                p->PhaseSwitches(Byte(o.switches[0]), Byte(o.switches[1]), Byte(o.switches[2])))) &&
           (o.on != 1 || Succeeded("IPowerSupply::Enable", p->Enable(1)));
}

void Report(const PowerOptions& o, const std::string& version) {
    if (o.json) {
        JsonObject j;
        j.String("box", version);
        if (o.on >= 0) {
            j.Bool("on", o.on == 1);
        }
        if (o.frequency >= 0) {
            j.Integer("frequency", o.frequency);
        }
        if (o.clock >= 0) {
            j.Integer("clock", o.clock);
        }
        if (o.waveform >= 0) {
            j.Integer("waveform", o.waveform);
        }
        if (!o.amplitudes.empty()) {
            const std::vector<double> a(o.amplitudes.begin(), o.amplitudes.end());
            j.Numbers("amplitudes_pct", a);
        }
        if (!o.phases.empty()) {
            const std::vector<double> ph(o.phases.begin(), o.phases.end());
            j.Numbers("phases_deg", ph);
        }
        j.Print();
        return;
    }
    std::printf("Box: \"%s\"\nThree-phase generator: settings sent%s\n", version.c_str(),
                o.on == 1   ? ", outputs on"
                : o.on == 0 ? ", outputs off"
                            : "");
}

} // namespace

int RunPower(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    PowerOptions o;
    if (!ParseLineOptions(args, line) || !Parse(args, o)) {
        return 2;
    }
    return RunGenerator<IPowerSupply>(
        kPower, line, [](IKobaltix* kob, IPowerSupply** p) { return kob->CreatePowerSupply(p); },
        [&](IPowerSupply* power, const std::string& version) {
            if (!Send(power, o)) {
                return false;
            }
            Report(o, version);
            return true;
        });
}
