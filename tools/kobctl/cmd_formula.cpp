#include <cstdio>

#include "tools/kobctl/commands.h"

int RunFormula(const Args&) {
    std::fputs("kobctl formula: not built yet\n", stderr);
    return 1;
}
