#include "instruments/digio/digio.h"

#include <algorithm>
#include <memory>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"
#include "framework/exception.h"

Relaxed<uint16_t> g_wDigOut{0};

IMPLEMENT_SERIAL(CDigData, CObject, CRuntimeClass::kVersionable | 1)

void CDigData::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_dwValue << m_dwLength;
        return;
    }
    (void)ar.GetObjectSchema(); // one schema so far
    ar >> m_dwValue >> m_dwLength;
}

namespace {

void PutWord(uint8_t* at, uint16_t w) {
    at[0] = static_cast<uint8_t>(w >> 8);
    at[1] = static_cast<uint8_t>(w & 0xFF);
}

} // namespace

CDigIO::CDigIO(CKobface* owner) : CKobDevice(owner) {}

CDigIO::~CDigIO() {
    ClearPatterns();
}

uint16_t CDigIO::ReadInputs() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdDigIn);
    return ReadWord(s);
}

void CDigIO::WriteOutputs(uint16_t value) {
    uint8_t cmd[3] = {kCmdDigOut};
    PutWord(cmd + 1, value);
    SendCommand(Stream(), cmd, sizeof cmd);
}

void CDigIO::SetTiming(uint16_t timer, uint16_t count, bool online) {
    m_wTimer = timer;
    m_wCount = count;
    m_dwOnline = online ? 1 : 0;
    // The stored form holds m_wCount words of buffer.
    if (m_Buffer.size() < count) {
        m_Buffer.resize(count, 0);
    }
}

void CDigIO::SetTrigger(uint16_t mask, uint16_t pattern) {
    m_wTriggerMask = mask;
    m_wTrigger = pattern;
}

void CDigIO::SendSetup() {
    uint8_t cmd[10] = {kCmdDigSetup};
    PutWord(cmd + 1, m_wTimer);
    PutWord(cmd + 3, m_wTriggerMask);
    PutWord(cmd + 5, m_wTrigger);
    PutWord(cmd + 7, m_wCount);
    cmd[9] = m_dwOnline ? 1 : 0;
    CStreamIO& s = Stream();
    SendCommand(s, cmd, sizeof cmd);
    CheckAck(s);
}

void CDigIO::StartAnalyser() {
    SendAcked(kCmdDigStart);
}

void CDigIO::StopAnalyser() {
    SendAcked(kCmdDigStop);
}

uint8_t CDigIO::GetStatus() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdDigStatus);
    return ReadByte(s);
}

void CDigIO::ReadMemory(uint16_t count, uint16_t* out) {
    CStreamIO& s = Stream();
    {
        BlockGuard block(s);
        uint8_t cmd[3] = {kCmdDigReadMemory};
        PutWord(cmd + 1, count);
        SendCommand(s, cmd, sizeof cmd);
        block.End();
    }
    for (uint16_t i = 0; i < count; ++i) {
        out[i] = ReadWord(s);
    }
    CheckAck(s);
}

void CDigIO::WritePattern(uint16_t count, const uint16_t* values, const uint16_t* lengths) {
    // The whole table goes out as one block (one USB transfer).
    std::vector<uint8_t> cmd(3 + 4 * size_t{count});
    cmd[0] = kCmdDigPattern;
    PutWord(&cmd[1], count);
    for (size_t i = 0; i < count; ++i) {
        PutWord(&cmd[3 + 4 * i], values[i]);
        PutWord(&cmd[5 + 4 * i], lengths[i]);
    }
    CStreamIO& s = Stream();
    BlockGuard block(s);
    SendCommand(s, cmd.data(), static_cast<uint32_t>(cmd.size()));
    block.End();
    CheckAck(s);
}

uint16_t CDigIO::RequestOnline() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdDigOnline);
    return ReadWord(s);
}

void CDigIO::ReadOnlineWords(std::span<uint16_t> out) {
    CStreamIO& s = Stream();
    for (uint16_t& w : out) {
        w = ReadWord(s);
    }
}

void CDigIO::SendChanges() {
    if (TakeChanged() & kDigChangedOutputs) {
        WriteOutputs(g_wDigOut);
    }
}

void CDigIO::ResizeBuffer(uint16_t n) {
    if (n == m_wCount) {
        return;
    }
    m_Buffer.assign(n, 0);
    m_wCount = n;
    m_wIndex = std::min(m_wIndex, n);
}

void CDigIO::ClearPatterns() {
    for (CDigData* d : m_Patterns) {
        delete d;
    }
    m_Patterns.clear();
    m_wCount = 0;
    m_Buffer.clear();
    m_Buffer.shrink_to_fit();
}

void CDigIO::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << m_wTimer << m_dwAux << m_wTriggerMask << m_wTrigger << m_dwOnline
           << m_wIndex << m_wCount;
        if (m_Buffer.size() < m_wCount) {
            m_Buffer.resize(m_wCount, 0);
        }
        for (uint16_t i = 0; i < m_wCount; ++i) {
            ar << m_Buffer[i];
        }
        WriteObjectArray(ar, std::vector<CObject*>(m_Patterns.begin(), m_Patterns.end()));
        return;
    }
    // Read everything first: a file that ends early or holds something
    // else changes nothing.
    uint32_t version = 0;
    uint16_t timer = 0, mask = 0, trigger = 0, index = 0, count = 0;
    uint32_t aux = 0, online = 0;
    ar >> version >> timer >> aux >> mask >> trigger >> online >> index >> count;
    std::vector<uint16_t> buffer(count);
    for (uint16_t& w : buffer) {
        ar >> w;
    }
    std::vector<CObject*> read = ReadObjectArray(ar, RUNTIME_CLASS(CDigData));
    m_wTimer = timer;
    m_dwAux = aux;
    m_wTriggerMask = mask;
    m_wTrigger = trigger;
    m_dwOnline = online ? 1 : 0;
    m_wIndex = index;
    ResizeBuffer(count);
    std::copy(buffer.begin(), buffer.end(), m_Buffer.begin());
    // An index beyond the buffer would point past it.
    m_wIndex = std::min(m_wIndex, m_wCount);
    for (CDigData* d : m_Patterns) {
        delete d;
    }
    m_Patterns.clear();
    for (CObject* o : read) {
        if (o) { // a null entry holds no pattern
            m_Patterns.push_back(static_cast<CDigData*>(o));
        }
    }
}
