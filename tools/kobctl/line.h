// Choosing the line to the box from the command line, and the byte trace.
#pragma once

#include <memory>
#include <string>

#include "device/stream.h"
#include "tools/kobctl/commands.h"

struct LineOptions {
    std::string port;   // "COM3": that port, whatever the profile says
    std::string device; // a device path used as the serial port
    bool usb = false;
    bool trace = false;
};

// Takes --port, --device, --usb and --trace out of args; false (with a
// message) on a malformed option.
bool ParseLineOptions(Args& args, LineOptions& options);
// A new stream for the chosen line (not opened yet); installs the port
// mapping and the trace as the options say.
std::unique_ptr<CStreamIO> MakeStream(const LineOptions& options);
// Prints the trace gathered so far (before the command says anything).
void FlushLineTrace();
// How the chosen line reads for a person.
std::string DescribeLine(const LineOptions& options);
// The line the COM server takes is the profile's, as for any client: the
// options are stored there.
void ChooseLineInProfile(const LineOptions& options);
// The number after args[i] (which names the option), within lo..hi; moves
// i past it. False, with a message naming the command, otherwise.
bool TakeNumber(const char* command, const Args& args, size_t& i, long lo, long hi, long& out);
