// kobctl digio: the digital port through the COM server: writes the output
// word when given, then reads the inputs.
#include <cstdio>
#include <string>

#include "tools/kobctl/com_module.h"
#include "tools/kobctl/digital.h"
#include "tools/kobctl/json.h"

int RunDigIO(const Args& args) {
    WordCommand c;
    if (!ParseWordCommand("digio", "--out", 0xFFFF, args, c)) {
        return 2;
    }
    return WithComBox(c.line, [&](IKobaltix* kob, const std::string& version) {
        IDigIO* dig = nullptr;
        unsigned short in = 0;
        const bool ok = Succeeded("IKobaltix::CreateDigIO", kob->CreateDigIO(&dig)) &&
                        (!c.write || Succeeded("IDigIO::Out",
                                               dig->Out(static_cast<unsigned short>(c.value)))) &&
                        Succeeded("IDigIO::In", dig->In(&in));
        if (dig) {
            dig->Release();
        }
        if (!ok) {
            return 1;
        }
        if (c.json) {
            JsonObject o;
            if (c.write) {
                o.Integer("out", static_cast<long long>(c.value));
            }
            o.Integer("in", in).Print();
            return 0;
        }
        std::printf("Box: \"%s\"\n", version.c_str());
        if (c.write) {
            std::printf("outputs: 0x%04lX  %s\n", c.value,
                        Bits(static_cast<unsigned>(c.value), 16).c_str());
        }
        std::printf("inputs:  0x%04X  %s  (line 15 ... 0)\n", in, Bits(in, 16).c_str());
        return 0;
    });
}
