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
    bool savePort = false; // the named line also becomes the user's stored one
};

// Takes --port, --device, --usb, --save-port and --trace out of args (up to
// a "--", which stays with what follows it); false (with a message) on a
// malformed option.
bool ParseLineOptions(Args& args, LineOptions& options);
// A new stream for the chosen line (not opened yet); installs the port
// mapping and the trace as the options say.
std::unique_ptr<CStreamIO> MakeStream(const LineOptions& options);
// Prints the trace gathered so far (before the command says anything).
void FlushLineTrace();
// How the chosen line reads for a person.
std::string DescribeLine(const LineOptions& options);
// The line the COM server takes is the profile's, as for any client. A line
// the options name goes into a profile of this run alone (the user's own
// changes only with --save-port); false, with a message, when that cannot
// be made.
bool ChooseLineInProfile(const LineOptions& options);
// The number after args[i] (which names the option), within lo..hi; moves
// i past it. False, with a message naming the command, otherwise.
bool TakeNumber(const char* command, const Args& args, size_t& i, long lo, long hi, long& out);
// The value after args[i] (which names the option); moves i past it. False,
// with a message naming the option, when there is none.
bool TakeValue(const char* command, const Args& args, size_t& i, std::string& out);
// Says that option is not one of the command's; false.
bool UnknownOption(const char* command, const std::string& option);
// The one line that says why no box could be reached on the line: it could
// not be opened, or nothing answered.
std::string LineFailure(const LineOptions& line, bool notOpened);
