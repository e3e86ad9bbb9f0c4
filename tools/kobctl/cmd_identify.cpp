#include <cstdio>

#include "tools/kobctl/commands.h"

int RunIdentify(const Args&) {
    std::fputs("kobctl identify: not built yet\n", stderr);
    return 1;
}
