#include "device/exchange.h"

#include <exception>

#include "framework/exception.h"

uint8_t ReadByte(CStreamIO& stream) {
    uint8_t b = 0;
    stream.Read(&b, 1);
    return b;
}

uint16_t ReadWord(CStreamIO& stream) {
    uint8_t b[2] = {};
    stream.Read(b, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t ReadLong(CStreamIO& stream) {
    uint8_t b[4] = {};
    stream.Read(b, 4);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

void WriteByte(CStreamIO& stream, uint8_t value) {
    stream.Write(&value, 1);
}

void WriteLong(CStreamIO& stream, uint32_t value) {
    uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                    static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    stream.Write(b, 4);
}

void SendCommand(CStreamIO& stream, const uint8_t* bytes, uint32_t count) {
    stream.Write(bytes, count);
}

WString ReadString(CStreamIO& stream) {
    WString s;
    if (!stream.IsOpen()) {
        return s;
    }
    for (;;) {
        uint8_t b = ReadByte(stream);
        if (b == 0) {
            return s;
        }
        if (s.size() >= kMaxStringLength) {
            stream.Purge();
            ThrowCommException(20011);
        }
        s.push_back(static_cast<char16_t>(b));
    }
}

void CheckAck(CStreamIO& stream) {
    if (!stream.IsOpen()) {
        return;
    }
    if (ReadByte(stream) != kAck) {
        stream.Purge();
        ThrowCommException(20014);
    }
}

void FlushInput(CStreamIO& stream) {
    if (stream.GetInQueue() != 0) {
        stream.Purge();
    }
}

bool TryRead(CStreamIO& stream, void* buffer, uint32_t count) {
    try {
        stream.Read(buffer, count);
        return true;
    } catch (const CCommException&) {
        return false;
    }
}

BlockGuard::BlockGuard(CStreamIO& stream)
    : m_stream(stream), m_nUncaught(std::uncaught_exceptions()) {
    m_stream.BeginBlock();
}

BlockGuard::~BlockGuard() {
    if (!m_bEnded && std::uncaught_exceptions() > m_nUncaught) {
        try {
            m_stream.EndBlock();
        } catch (const CCommException&) {
            // the first failure is the one to report
        }
    }
}

void BlockGuard::End() {
    m_bEnded = true;
    m_stream.EndBlock();
}
