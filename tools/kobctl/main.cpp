// kobctl: the command-line client of the box.
#include <cstdio>
#include <cstring>

#include "tools/kobctl/commands.h"

namespace {

void Usage() {
    std::fputs("usage: kobctl <command> [options]\n"
               "  identify [--port COMn|--device PATH|--usb] [--trace]\n"
               "      connect, identify the box, print identity, model and version\n"
               "  formula TEXT [--points N] [--from X0] [--to X1]\n"
               "      evaluate a waveform formula in X, one line per point\n",
               stderr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    Args args(argv + 2, argv + argc);
    if (std::strcmp(argv[1], "identify") == 0) {
        return RunIdentify(args);
    }
    if (std::strcmp(argv[1], "formula") == 0) {
        return RunFormula(args);
    }
    Usage();
    return 2;
}
