// What the commands of the digital port, the relays and the hand-held meter
// share: words given in decimal or hexadecimal, and words shown as bits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "server/koblabview.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/line.h"

// The number after args[i] (decimal, or hexadecimal with 0x), within
// 0..hi; moves i past it. False, with a message naming the command.
bool TakeWord(const char* command, const Args& args, size_t& i, unsigned long hi,
              unsigned long& out);
// A word as a number within 0..hi; false when it is not one.
bool ParseWord(const std::string& text, unsigned long hi, unsigned long& out);
// The low n bits, the highest first, in groups of four: "0001 0010".
std::string Bits(unsigned value, int n);

// A command that may write one word and then reads one back: the line,
// --json, and OPTION WORD within 0..hi.
struct WordCommand {
    LineOptions line;
    bool json = false;
    bool write = false;
    unsigned long value = 0;
};
// False, after a message, on anything else in args.
bool ParseWordCommand(const char* command, const char* option, unsigned long hi, const Args& args,
                      WordCommand& out);
// Connects through the COM server on the line and runs body with the box
// and its identity; the exit status is body's (1 when no box answers).
int WithComBox(const LineOptions& line,
               const std::function<int(IKobaltix* kob, const std::string& version)>& body);
