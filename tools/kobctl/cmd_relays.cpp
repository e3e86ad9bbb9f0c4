// kobctl relays: the relay board through the COM server: sets the relays
// when asked, then reads their state back from the box.
#include <cstdio>
#include <string>

#include "tools/kobctl/com_module.h"
#include "tools/kobctl/digital.h"
#include "tools/kobctl/json.h"

int RunRelays(const Args& args) {
    WordCommand c;
    if (!ParseWordCommand("relays", "--set", 0xFF, args, c)) {
        return 2;
    }
    return WithComBox(c.line, [&](IKobaltix* kob, const std::string& version) {
        IRelays* relays = nullptr;
        unsigned char now = 0;
        const bool ok = Succeeded("IKobaltix::CreateRelays", kob->CreateRelays(&relays)) &&
                        (!c.write || Succeeded("IRelays::Set",
                                               relays->Set(static_cast<unsigned char>(c.value)))) &&
                        Succeeded("IRelays::Status", relays->Status(&now));
        if (relays) {
            relays->Release();
        }
        if (!ok) {
            return 1;
        }
        if (c.json) {
            JsonObject o;
            if (c.write) {
                o.Integer("set", static_cast<long long>(c.value));
            }
            o.Integer("relays", now).Print();
            return 0;
        }
        std::string on;
        for (int r = 0; r < 8; ++r) {
            if (now & (1 << r)) {
                on += (on.empty() ? "" : ", ") + std::to_string(r);
            }
        }
        std::printf("Box: \"%s\"\nrelays: 0x%02X  %s  (relay 7 ... 0)\non:     %s\n",
                    version.c_str(), now, Bits(now, 8).c_str(), on.empty() ? "none" : on.c_str());
        return 0;
    });
}
