// kobctl identify: connect, identify the box, and say what happened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "platform/profile/profile.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
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

int IdentifyThroughCom(const LineOptions& line, int announce) {
    ChooseLineInProfile(line);
    ComModule module;
    if (!module.Load(&Terminal())) {
        std::printf("The COM server cannot be loaded: %s\n", module.Error().c_str());
        return 1;
    }
    IKobaltix* kob = nullptr;
    HRESULT hr = module.Create(&kob);
    std::printf("Created \"Kobaltix\" from %s: %s\n", module.Path().c_str(),
                DescribeHResult(hr).c_str());
    if (FAILED(hr)) {
        return 1;
    }
    hr = kob->Connect();
    std::printf("IKobaltix::Connect: %s\n", DescribeHResult(hr).c_str());
    int rc = 0;
    if (hr != S_OK) {
        std::printf("No box is connected (the connection dialog ended with \"Exit Program\").\n");
        rc = 1;
    } else {
        BSTR version = nullptr;
        hr = kob->Version(&version);
        std::printf("IKobaltix::Version: %s\n  \"%s\"\n", DescribeHResult(hr).c_str(),
                    version ? Narrow(std::u16string(version, SysStringLen(version))).c_str() : "");
        SysFreeString(version);
        if (announce) {
            hr = CreateInstrument(kob, announce);
            std::printf("Create method of the %s: %s%s\n", InstrumentName(announce),
                        DescribeHResult(hr).c_str(),
                        hr == E_NOINTERFACE ? " (this build has no interface for it yet)" : "");
        }
    }
    kob->Release();
    std::printf("Releasing the module (the box is told with its closing command).\n");
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
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--com") {
            com = true;
        } else if (args[i] == "--announce" && i + 1 < args.size()) {
            char* end = nullptr;
            long t = std::strtol(args[++i].c_str(), &end, 10);
            if (*end || t < 1 || t > 8) {
                std::fprintf(stderr, "kobctl: --announce takes an instrument type 1-8\n");
                return 2;
            }
            announce = static_cast<int>(t);
        } else {
            std::fprintf(stderr, "kobctl identify: unknown option %s\n", args[i].c_str());
            return 2;
        }
    }

    if (com) {
        if (line.trace || announce > 6) {
            std::fprintf(stderr, "kobctl identify --com: no --trace; --announce takes 1-6\n");
            return 2;
        }
        return IdentifyThroughCom(line, announce);
    }

    CKobface kobface;
    kobface.SetStream(MakeStream(line).release());
    std::printf("Opening %s ...\n", DescribeLine(line).c_str());
    if (!kobface.m_pStream->Open()) {
        std::printf("The line cannot be opened: it does not exist or another program uses it.\n");
        return 1;
    }
    bool identified = false;
    try {
        platform::WaitCursor wait;
        identified = kobface.Identify();
    } catch (const CCommException& e) {
        FlushLineTrace();
        std::printf("No answer from a box: %s\n", Narrow(e.GetErrorText()).c_str());
        return 1;
    }
    FlushLineTrace();
    if (!identified) {
        std::printf(kobface.m_strName.empty() ? "No box answered on this line.\n"
                                              : "The device found is not a KOBALTIX Interface.\n");
        return 1;
    }
    std::printf("Box identified.\n");
    std::printf("  identity: %s\n", Narrow(kobface.m_strName).c_str());
    std::printf("  model:    %s (model byte %u)\n", g_byModel == 2 ? "KX7710-3B2" : "KX7710-3B",
                static_cast<unsigned>(g_byModel));
    std::printf("  firmware: version %u\n", static_cast<unsigned>(kobface.GetVersionNumber()));
    if (announce) {
        std::printf("Announcing the %s (instrument type %d) ...\n", InstrumentName(announce),
                    announce);
        int before = Terminal().MessageCount();
        kobface.CreateDevice(static_cast<uint8_t>(announce));
        FlushLineTrace();
        std::printf(Terminal().MessageCount() != before ? "The box refused the instrument.\n"
                                                        : "The box accepted the instrument.\n");
    }
    std::printf("Closing the line (the box is told with its closing command).\n");
    return 0;
}
