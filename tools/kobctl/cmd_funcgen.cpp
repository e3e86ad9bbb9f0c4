// kobctl funcgen: the function generator through the COM server. Sends what
// the options name and tells the frequency the box will produce beside the
// one asked for.
#include <cstdio>
#include <string>
#include <vector>

#include "device/kobface.h"
#include "instruments/funcgen/funcgen.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/generator_options.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"

namespace {

const GeneratorOptions kFuncGen{
    "funcgen",
    "IFuncGen",
    {"sine", "triangle", "rectangle", "ttl", "dc+", "dc-", "formula", "table"}};

struct FuncGenOptions : GeneratorCommon {
    double hertz = 0;
    long amplitude = -1;
    long range = -1;
    std::vector<long> timing;
};

bool Parse(Args& args, FuncGenOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool ok = true;
        if (TakeCommon(kFuncGen, args, i, o, ok)) {
            if (ok && o.table.size() > kFGenMaxTable) {
                std::fprintf(stderr, "kobctl funcgen: a table holds at most %zu values\n",
                             kFGenMaxTable);
                ok = false;
            }
        } else if (a == "--freq") {
            ok = TakePositive(kFuncGen, args, i, o.hertz);
        } else if (a == "--amplitude") {
            ok = TakeNumber("funcgen", args, i, 0, 100, o.amplitude);
        } else if (a == "--range") {
            ok = TakeNumber("funcgen", args, i, 0, 255, o.range);
        } else if (a == "--timing") {
            // SAMPLES:PRESCALE; the box divides by the samples.
            ok = TakeList(kFuncGen, args, i, 2, 0, 65535, o.timing, ':');
            if (ok && o.timing[0] == 0) {
                std::fprintf(stderr, "kobctl funcgen: --timing needs at least 1 sample\n");
                ok = false;
            }
        } else {
            std::fprintf(stderr, "kobctl funcgen: unknown option %s\n", a.c_str());
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    ImplyWaveform(o);
    return true;
}

bool Send(IFuncGen* gen, const FuncGenOptions& o) {
    if (!SendFormulaAndTable(kFuncGen, gen, o.formula, o.hasTable ? &o.table : nullptr)) {
        return false;
    }
    return (o.amplitude < 0 ||
            Succeeded("IFuncGen::Amplitude", gen->Amplitude(static_cast<short>(o.amplitude)))) &&
           (o.range < 0 ||
            Succeeded("IFuncGen::OutRange", gen->OutRange(static_cast<unsigned char>(o.range)))) &&
           (o.hertz <= 0 || Succeeded("IFuncGen::Frequency", gen->Frequency(o.hertz))) &&
           (o.timing.empty() ||
            Succeeded("IFuncGen::Timing", gen->Timing(static_cast<unsigned short>(o.timing[0]),
                                                      static_cast<unsigned short>(o.timing[1])))) &&
           (o.waveform < 0 || Succeeded("IFuncGen::Waveform",
                                        gen->Waveform(static_cast<FGenFunction>(o.waveform)))) &&
           (o.on < 0 ||
            Succeeded("IFuncGen::Enable", gen->Enable(static_cast<unsigned char>(o.on))));
}

void Report(const FuncGenOptions& o, const std::string& version) {
    FGenTiming t;
    double produced = o.hertz;
    bool known = false;
    if (!o.timing.empty()) {
        t = {static_cast<uint16_t>(o.timing[0]), static_cast<uint16_t>(o.timing[1]), 0};
        produced = TimingFrequency(t);
        known = true;
    } else if (o.hertz > 0) {
        known = CalcTiming(produced, t);
    }
    const bool model1 = g_byModel != 2;
    if (o.json) {
        JsonObject j;
        j.String("box", version);
        if (o.hertz > 0) {
            j.Number("requested_hz", o.hertz);
        }
        if (known) {
            j.Number("produced_hz", produced);
            if (model1) {
                j.Integer("samples", t.samples)
                    .Integer("prescale", t.prescale)
                    .Integer("fine", t.fine);
            }
        }
        if (o.waveform >= 0) {
            j.Integer("waveform", o.waveform);
        }
        if (o.amplitude >= 0) {
            j.Integer("amplitude_pct", o.amplitude);
        }
        if (o.on >= 0) {
            j.Bool("on", o.on == 1);
        }
        j.Print();
        return;
    }
    std::printf("Box: \"%s\"\n", version.c_str());
    if (!known) {
        std::printf("Function generator: settings sent\n");
        return;
    }
    if (o.hertz > 0) {
        std::printf("Frequency: %.10g Hz requested, %.10g Hz produced", o.hertz, produced);
    } else {
        std::printf("Frequency: %.10g Hz produced", produced);
    }
    if (model1) {
        std::printf(" (%u samples, prescale %u, fine divisor %u)", t.samples, t.prescale, t.fine);
    }
    std::printf("\n");
}

} // namespace

int RunFuncGen(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    FuncGenOptions o;
    if (!ParseLineOptions(args, line) || !Parse(args, o)) {
        return 2;
    }
    return RunGenerator<IFuncGen>(
        kFuncGen, line, [](IKobaltix* kob, IFuncGen** gen) { return kob->CreateFuncGen(gen); },
        [&](IFuncGen* gen, const std::string& version) {
            // The timing this program computes follows the box the server found.
            g_byModel = version.rfind("KX7710-3B2", 0) == 0 ? 2 : 1;
            double reach = o.hertz;
            FGenTiming unused;
            if (o.hertz > 0 && !CalcTiming(reach, unused)) {
                std::fprintf(stderr, "kobctl funcgen: the %s cannot produce %g Hz\n",
                             g_byModel == 2 ? "KX7710-3B2" : "KX7710-3B", o.hertz);
                return false;
            }
            if (!Send(gen, o)) {
                return false;
            }
            Report(o, version);
            return true;
        });
}
