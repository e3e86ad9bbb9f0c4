// kobctl identify: connect, identify the box, and say what happened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "platform/profile/profile.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"
#include "tools/kobctl/terminal_ui.h"

namespace {

const char* InstrumentName(int type) {
    static const char* names[] = {"",
                                  "digital I/O",
                                  "relays",
                                  "function generator",
                                  "three-phase generator",
                                  "oscilloscope",
                                  "multimeter",
                                  "counter",
                                  "hand-held meter"};
    return type >= 1 && type <= 8 ? names[type] : "?";
}

HRESULT CreateInstrument(IKobaltix* kob, int type) {
    IUnknown* made = nullptr;
    void** out = reinterpret_cast<void**>(&made);
    HRESULT hr = E_INVALIDARG;
    switch (type) {
    case 1:
        hr = kob->CreateDigIO(reinterpret_cast<IDigIO**>(out));
        break;
    case 2:
        hr = kob->CreateRelays(reinterpret_cast<IRelays**>(out));
        break;
    case 3:
        hr = kob->CreateFuncGen(reinterpret_cast<IFuncGen**>(out));
        break;
    case 4:
        hr = kob->CreatePowerSupply(reinterpret_cast<IPowerSupply**>(out));
        break;
    case 5:
        hr = kob->CreateScope(reinterpret_cast<IScope**>(out));
        break;
    case 6:
        hr = kob->CreateMeter(reinterpret_cast<IMeter**>(out));
        break;
    default:
        break;
    }
    if (made) {
        made->Release();
    }
    return hr;
}

// What identification found, for a person or as one JSON object.
struct Found {
    std::string identity;
    int modelByte = 0;
    int version = 0;
    int announce = 0;
    bool accepted = false;
};

std::string ModelName(const std::string& identity) {
    return identity.rfind("KX7710-3B2", 0) == 0 ? "KX7710-3B2" : "KX7710-3B";
}

void PrintJson(const Found& f) {
    JsonObject o;
    o.String("identity", f.identity).String("model", ModelName(f.identity));
    if (f.modelByte) {
        o.Integer("model_byte", f.modelByte).Integer("firmware", f.version);
    }
    if (f.announce) {
        o.Integer("announced", f.announce).Bool("accepted", f.accepted);
    }
    o.Print();
}

int IdentifyThroughCom(const LineOptions& line, int announce, bool json) {
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    Found f{version, 0, 0, announce, false};
    int rc = 0;
    if (!json) {
        std::printf("Connected through the COM server %s.\n  identity: \"%s\"\n  model:    %s\n",
                    module.Path().c_str(), version.c_str(), ModelName(version).c_str());
    }
    if (announce) {
        HRESULT hr = CreateInstrument(kob, announce);
        f.accepted = hr == S_OK;
        if (!f.accepted) {
            std::fprintf(stderr, "kobctl identify: the create method of the %s: %s\n",
                         InstrumentName(announce), DescribeFailure(hr).c_str());
            rc = 1;
        } else if (!json) {
            std::printf("The box accepted the %s.\n", InstrumentName(announce));
        }
    }
    kob->Release();
    if (json && rc == 0) {
        PrintJson(f);
    }
    return rc;
}

} // namespace

int RunIdentify(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    if (!ParseLineOptions(args, line)) {
        return 2;
    }
    int announce = 0;
    bool com = false;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        long t = 0;
        if (args[i] == "--com") {
            com = true;
        } else if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--announce") {
            if (!TakeNumber("identify", args, i, 1, 8, t)) {
                return 2;
            }
            announce = static_cast<int>(t);
        } else {
            UnknownOption("identify", args[i]);
            return 2;
        }
    }

    if (com) {
        if (line.trace || announce > 6) {
            std::fprintf(stderr, "kobctl identify --com: no --trace; --announce takes 1-6\n");
            return 2;
        }
        return IdentifyThroughCom(line, announce, json);
    }
    if (json && line.trace) {
        std::fprintf(stderr, "kobctl identify: --json and --trace both write to standard output\n");
        return 2;
    }

    CKobface kobface;
    kobface.SetStream(MakeStream(line).release());
    if (!json) {
        std::printf("Opening %s ...\n", DescribeLine(line).c_str());
    }
    if (!kobface.m_pStream->Open()) {
        std::fprintf(stderr, "%s\n", LineFailure(line, true).c_str());
        return 1;
    }
    bool identified = false;
    try {
        platform::WaitCursor wait;
        identified = kobface.Identify();
    } catch (const CCommException& e) {
        FlushLineTrace();
        std::fprintf(stderr, "kobctl: the exchange with the box on %s failed: %s\n",
                     DescribeLine(line).c_str(), Narrow(e.GetErrorText()).c_str());
        return 1;
    }
    FlushLineTrace();
    if (!identified) {
        if (kobface.m_strName.empty()) {
            std::fprintf(stderr, "%s\n", LineFailure(line, false).c_str());
        } else {
            std::fprintf(stderr, "kobctl: the device found is not a KOBALTIX Interface\n");
        }
        return 1;
    }
    Found f{Narrow(kobface.m_strName), g_byModel, kobface.GetVersionNumber(), announce, false};
    if (!json) {
        std::printf("Box identified.\n");
        std::printf("  identity: %s\n", f.identity.c_str());
        std::printf("  model:    %s (model byte %u)\n", ModelName(f.identity).c_str(),
                    static_cast<unsigned>(g_byModel));
        std::printf("  firmware: version %d\n", f.version);
    }
    int rc = 0;
    if (announce) {
        if (!json) {
            std::printf("Announcing the %s (instrument type %d) ...\n", InstrumentName(announce),
                        announce);
        }
        int before = Terminal().MessageCount();
        kobface.CreateDevice(static_cast<uint8_t>(announce));
        FlushLineTrace();
        f.accepted = Terminal().MessageCount() == before;
        if (!f.accepted) {
            std::fprintf(stderr, "kobctl identify: the box refused the %s\n",
                         InstrumentName(announce));
            rc = 1;
        } else if (!json) {
            std::printf("The box accepted the instrument.\n");
        }
    }
    if (json && rc == 0) {
        PrintJson(f);
    } else if (!json) {
        std::printf("Closing the line (the box is told with its closing command).\n");
    }
    return rc;
}
