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
               "  digio [line] [--out WORD] [--json]\n"
               "      writes the output word when given, reads the inputs (hex and bits)\n"
               "  analyser [line] --count N [--timer T] [--trigger MASK:PATTERN] [--online]\n"
               "        [--pattern FILE] [--csv FILE] [--png FILE] [--json]\n"
               "      one logic-analyser record: a timing diagram here, CSV\n"
               "      (index,word,b0..b15) and PNG; --pattern plays words onto the outputs\n"
               "  relays [line] [--set BYTE] [--json]\n"
               "      sets the relays when asked, reads their state back\n"
               "  handheld [line] --format 1|2|3 [--watch] [--json]\n"
               "      reads the hand-held meter on the box's pass-through port\n"
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
    if (std::strcmp(argv[1], "digio") == 0) {
        return RunDigIO(args);
    }
    if (std::strcmp(argv[1], "analyser") == 0) {
        return RunAnalyser(args);
    }
    if (std::strcmp(argv[1], "relays") == 0) {
        return RunRelays(args);
    }
    if (std::strcmp(argv[1], "handheld") == 0) {
        return RunHandheld(args);
    }
    if (std::strcmp(argv[1], "formula") == 0) {
        return RunFormula(args);
    }
    Usage();
    return 2;
}
