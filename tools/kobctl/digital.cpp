#include "tools/kobctl/digital.h"

#include <cstdio>
#include <cstdlib>

#include "tools/kobctl/com_module.h"

bool ParseWord(const std::string& text, unsigned long hi, unsigned long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (*end || v > hi) {
        return false;
    }
    out = v;
    return true;
}

bool TakeWord(const char* command, const Args& args, size_t& i, unsigned long hi,
              unsigned long& out) {
    if (i + 1 >= args.size() || !ParseWord(args[i + 1], hi, out)) {
        std::fprintf(stderr, "kobctl %s: %s takes a number from 0 to %lu (or 0x%lX)\n", command,
                     args[i].c_str(), hi, hi);
        return false;
    }
    ++i;
    return true;
}

std::string Bits(unsigned value, int n) {
    std::string s;
    for (int b = n - 1; b >= 0; --b) {
        s += (value >> b) & 1 ? '1' : '0';
        if (b % 4 == 0 && b > 0) {
            s += ' ';
        }
    }
    return s;
}

bool ParseWordCommand(const char* command, const char* option, unsigned long hi, const Args& argsIn,
                      WordCommand& out) {
    Args args = argsIn;
    if (!ParseLineOptions(args, out.line)) {
        return false;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            out.json = true;
        } else if (args[i] == option) {
            if (!TakeWord(command, args, i, hi, out.value)) {
                return false;
            }
            out.write = true;
        } else {
            std::fprintf(stderr, "kobctl %s: unknown option %s\n", command, args[i].c_str());
            return false;
        }
    }
    return true;
}

int WithComBox(const LineOptions& line,
               const std::function<int(IKobaltix* kob, const std::string& version)>& body) {
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    const int rc = body(kob, version);
    kob->Release();
    return rc;
}
