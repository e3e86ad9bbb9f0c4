// kobctl: the command-line client of the box.
#include <cstdio>
#include <cstring>

#include "tools/kobctl/commands.h"
#include "tools/kobctl/terminal_ui.h"

namespace {

void Usage() {
    std::fputs("usage: kobctl <command> [options]\n"
               "  identify [--port COMn|--device PATH|--usb] [--trace] [--announce TYPE] [--com]\n"
               "      connect, identify the box, print identity, model and version;\n"
               "      --announce tells the box an instrument (1-8) is about to be used;\n"
               "      --trace prints every byte on the wire with direction and time;\n"
               "      --com goes through the COM server (libKobLabVIEW.so) as a client does,\n"
               "      on the line the options name (stored in the profile)\n"
               "  scope [--port COMn|--device PATH|--usb] [--timebase 0-21] [--range-a 0-14]\n"
               "        [--range-b 0-14] [--trigger none|A|B] [--level -100-100] [--post 0-100]\n"
               "        [--png FILE] [--csv FILE]\n"
               "      one record of both channels through the COM server: a sketch here,\n"
               "      the volts as CSV (t_s,a_V,b_V) and a plot as PNG\n"
               "  meter [--port COMn|--device PATH|--usb] [--range-a 0-14] [--range-b 0-14]\n"
               "        [--time N] [--buffer N]\n"
               "      one DVM measurement of both channels: the six values of each\n"
               "  funcgen [--port COMn|--device PATH|--usb] [--on|--off] [--freq HZ]\n"
               "          [--amplitude PCT] [--range N] [--formula TEXT] [--table FILE]\n"
               "          [--waveform sine|triangle|rectangle|ttl|dc+|dc-|formula|table|N]\n"
               "          [--timing SAMPLES:PRESCALE] [--json]\n"
               "      the function generator: sends what the options name and prints the\n"
               "      frequency the box produces (model 1: samples, prescale, fine divisor)\n"
               "  power [--port COMn|--device PATH|--usb] [--on|--off] [--freq N] [--clock N]\n"
               "        [--amplitudes A1,A2,A3] [--phases DEG2,DEG3] [--formula TEXT]\n"
               "        [--waveform sine|sine3|rectangle|pulse|dc+|dc-|formula|table|N]\n"
               "        [--table FILE] [--dc-mode on|off] [--switches S1,S2,S3] [--json]\n"
               "      the three-phase generator; a table file holds one value per line\n"
               "      (or a CSV's first column)\n"
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
    platform::SetUiHandler(&Terminal());
    Args args(argv + 2, argv + argc);
    if (std::strcmp(argv[1], "identify") == 0) {
        return RunIdentify(args);
    }
    if (std::strcmp(argv[1], "scope") == 0) {
        return RunScope(args);
    }
    if (std::strcmp(argv[1], "meter") == 0) {
        return RunMeter(args);
    }
    if (std::strcmp(argv[1], "funcgen") == 0) {
        return RunFuncGen(args);
    }
    if (std::strcmp(argv[1], "power") == 0) {
        return RunPower(args);
    }
    if (std::strcmp(argv[1], "formula") == 0) {
        return RunFormula(args);
    }
    Usage();
    return 2;
}
