// kobctl: the command-line client of the box.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/kobctl/commands.h"
#include "tools/kobctl/terminal_ui.h"

namespace {

#define KOB_LINE_OPTIONS "[--port COMn|--device PATH|--usb] [--save-port]"

// One row per command: its name, what runs it, and its help (the first
// line is the synopsis after the name).
struct Command {
    const char* name;
    int (*run)(const Args& args);
    const char* help;
};

const Command kCommands[] = {
    {"identify", RunIdentify,
     KOB_LINE_OPTIONS
     " [--trace] [--announce TYPE] [--com] [--json]\n"
     "    connect, identify the box, print identity, model and version;\n"
     "    --announce TYPE tells the box an instrument is about to be used\n"
     "      (1 digital I/O, 2 relays, 3 function generator, 4 three-phase\n"
     "      generator, 5 oscilloscope, 6 multimeter, 7 counter, 8 hand-held\n"
     "      meter; through --com 1-6);\n"
     "    --trace prints every byte on the wire with direction and time;\n"
     "    --com goes through the COM server (libKobLabVIEW.so) as a client does\n"},
    {"scope", RunScope,
     KOB_LINE_OPTIONS " [--timebase 0-21] [--range-a 0-14]\n"
                      "      [--range-b 0-14] [--trigger none|A|B] [--level -100-100 (% of full\n"
                      "      scale)] [--post 0-100 (% of the record after the trigger)]\n"
                      "      [--png FILE] [--csv FILE] [--json]\n"
                      "    one record of both channels through the COM server: a sketch here,\n"
                      "    the volts as CSV (t_s,a_V,b_V) and a plot as PNG; --json prints the\n"
                      "    record as one object (seconds and volts)\n"},
    {"meter", RunMeter,
     KOB_LINE_OPTIONS
     " [--range-a 0-14] [--range-b 0-14]\n"
     "      [--time N (units of 10 ms, 0-65535)] [--buffer N (samples,\n"
     "      1-65535)] [--json]\n"
     "    one DVM measurement of both channels: the six values of each, in volts\n"},
    {"funcgen", RunFuncGen,
     KOB_LINE_OPTIONS
     " [--on|--off] [--freq HZ]\n"
     "      [--amplitude PCT] [--range N] [--formula TEXT] [--table FILE]\n"
     "      [--waveform sine|triangle|rectangle|ttl|dc+|dc-|formula|table|N]\n"
     "      [--timing SAMPLES:PRESCALE] [--json]\n"
     "    the function generator: sends what the options name and prints the\n"
     "    frequency the box produces (KX7710-3B: samples, prescale, fine divisor)\n"},
    {"power", RunPower,
     KOB_LINE_OPTIONS " [--on|--off] [--freq N] [--clock N]\n"
                      "      [--amplitudes A1,A2,A3] [--phases DEG2,DEG3] [--formula TEXT]\n"
                      "      [--waveform sine|sine3|rectangle|pulse|dc+|dc-|formula|table|N]\n"
                      "      [--table FILE] [--dc-mode on|off] [--switches S1,S2,S3] [--json]\n"
                      "    the three-phase generator; a table file holds one value per line\n"
                      "    (or a CSV's first column)\n"},
    {"digio", RunDigIO,
     KOB_LINE_OPTIONS " [--out WORD] [--json]\n"
                      "    writes the output word when given, reads the inputs (hex and bits)\n"},
    {"analyser", RunAnalyser,
     KOB_LINE_OPTIONS " --count N [--timer T] [--trigger MASK:PATTERN]\n"
                      "      [--online] [--pattern FILE] [--csv FILE] [--png FILE] [--json]\n"
                      "    one logic-analyser record: a timing diagram here, CSV\n"
                      "    (index,word,b0..b15) and PNG; --pattern plays words onto the outputs\n"},
    {"relays", RunRelays,
     KOB_LINE_OPTIONS " [--set BYTE] [--json]\n"
                      "    sets the relays when asked, reads their state back\n"},
    {"handheld", RunHandheld,
     KOB_LINE_OPTIONS " --format 1|2|3 [--watch] [--json]\n"
                      "    reads the hand-held meter on the box's pass-through port\n"},
    {"formula", RunFormula,
     "[--points N] [--from X0] [--to X1] [--] TEXT\n"
     "    evaluate a waveform formula in X, one line per point: index, X, value;\n"
     "    N points (1-65535, default 32) from X0 (default 0) in steps of\n"
     "    (X1 - X0) / N up to X1 (default 2 pi); X0 must not be above X1;\n"
     "    -- ends the options, so that a formula may begin with -\n"},
};

const char kFooter[] =
    "line options: --port COMn (the profile's device for that port), --device PATH (a\n"
    "  serial device), --usb; a line named here is used for this run only, unless\n"
    "  --save-port stores it in the profile (KobLabVIEW.INI, or $KOBLABVIEW_INI);\n"
    "  without one, the profile's \"Port\" is used\n"
    "ranges: rows of the range table, 5 = 5 V and 8 = 50 V full scale\n"
    "--help after a command describes it; --version prints the version\n";

void PrintHelp(const Command& c, FILE* out) {
    std::fprintf(out, "kobctl %s %s", c.name, c.help);
}

void Usage(FILE* out) {
    std::fputs("usage: kobctl <command> [options]\n", out);
    for (const Command& c : kCommands) {
        PrintHelp(c, out);
    }
    std::fputs(kFooter, out);
}

bool AsksForHelp(const Args& args) {
    for (const std::string& a : args) {
        if (a == "--") {
            return false;
        }
        if (a == "--help" || a == "-h") {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        Usage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("kobctl %s\n", KOB_VERSION);
        return 0;
    }
    platform::SetUiHandler(&Terminal());
    Args args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (name == c.name) {
            if (AsksForHelp(args)) {
                PrintHelp(c, stdout);
                return 0;
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "kobctl: unknown command %s (kobctl --help lists them)\n", name.c_str());
    return 2;
}
