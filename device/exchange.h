// The command exchange every instrument uses on the wire: a command byte,
// operands most significant byte first, and "!" after commands that change
// the box.
#pragma once

#include <cstdint>

#include "device/stream.h"
#include "framework/wstr.h"

inline constexpr uint8_t kAck = 0x21;     // "!"
inline constexpr uint8_t kUnknown = 0x3F; // "?": the box does not know the command

// Longest identity text accepted; a box that never ends its text fails the
// exchange instead of growing the string without end.
inline constexpr uint32_t kMaxStringLength = 256;

uint8_t ReadByte(CStreamIO& stream);
uint16_t ReadWord(CStreamIO& stream);
uint32_t ReadLong(CStreamIO& stream);
void WriteByte(CStreamIO& stream, uint8_t value);
void WriteLong(CStreamIO& stream, uint32_t value);
// A command byte with its operands as one write (one USB transfer).
void SendCommand(CStreamIO& stream, const uint8_t* bytes, uint32_t count);
// Empty when the stream is not open; else bytes up to a 0 byte, each taken as
// a character code 0-255. Throws CCommException 20011 past kMaxStringLength.
WString ReadString(CStreamIO& stream);
// Only on an open stream: reads one byte; anything but "!" purges the input
// and throws CCommException 20014.
void CheckAck(CStreamIO& stream);
// Purges when anything is waiting.
void FlushInput(CStreamIO& stream);
// A bracket of BeginBlock/EndBlock (one USB transfer) that ends the block
// on the way out of an exception too, so that a failed command does not
// leave the stream collecting; the first failure is what the caller sees.
class BlockGuard {
public:
    explicit BlockGuard(CStreamIO& stream);
    ~BlockGuard();
    BlockGuard(const BlockGuard&) = delete;
    BlockGuard& operator=(const BlockGuard&) = delete;
    void End();

private:
    CStreamIO& m_stream;
    int m_nUncaught;
    bool m_bEnded = false;
};
// Read that reports a CCommException as false.
bool TryRead(CStreamIO& stream, void* buffer, uint32_t count);
