// kobctl identify: connect, identify the box, and say what happened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
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

} // namespace

int RunIdentify(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    if (!ParseLineOptions(args, line)) {
        return 2;
    }
    int announce = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--announce" && i + 1 < args.size()) {
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
