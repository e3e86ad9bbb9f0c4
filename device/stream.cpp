#include "device/stream.h"

#include <cstring>
#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "platform/profile/profile.h"
#include "platform/thread/thread.h"
#include "platform/ui/ui.h"

std::atomic<bool> g_bSerialReadBusy{false};
std::atomic<bool> g_bSerialWriteBusy{false};
std::atomic<bool> g_bUsbReadBusy{false};
std::atomic<bool> g_bUsbWriteBusy{false};

char g_szComPort[5] = "COM1";

namespace {

// Sets a busy flag for one read or write; an overlapping one throws.
class BusyFlag {
public:
    BusyFlag(std::atomic<bool>& flag, uint32_t error) : m_flag(flag) {
        if (m_flag.exchange(true)) {
            ThrowCommException(error);
        }
    }
    ~BusyFlag() { m_flag.store(false); }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    std::atomic<bool>& m_flag;
};

// Connection set-up waits for this much silence before it identifies, so
// that the rest of a record an earlier client left behind is not taken for
// an answer; a line that never falls silent is given up on after the limit
// (longer than the largest record takes at 9600 baud).
constexpr uint32_t kDrainQuietMs = 100;
constexpr uint32_t kDrainLimitMs = 20000;
// Two character times at 9600 baud, 8N2.
constexpr uint32_t kTrailingByteMs = 3;

// A USB read that only ever gets empty packets gives up after this long.
constexpr uint32_t kUsbEmptyReadLimitMs = 2000;
constexpr uint32_t kUsbWritePiece = 256;

const GUID kKobUsbGuid = {
    0x9F8C9A12, 0x6868, 0x44D8, {0xB9, 0xCE, 0x12, 0xE4, 0x03, 0xB3, 0xBD, 0x63}};

} // namespace

// ---- serial ----

CStreamCOM::CStreamCOM() = default;

CStreamCOM::~CStreamCOM() {
    Close();
}

bool CStreamCOM::Open() {
    if (IsOpen()) {
        ++m_nOpenCount;
        return true;
    }
    int port = platform::ProfileGetInt("Settings", "Port", 1);
    auto inSize =
        platform::ProfileGetInt("Settings", "ComInBuffer", static_cast<int>(m_nInBufferSize));
    auto outSize =
        platform::ProfileGetInt("Settings", "ComOutBuffer", static_cast<int>(m_nOutBufferSize));
    m_nInBufferSize = static_cast<uint32_t>(inSize > 0 ? inSize : 1024);
    m_nOutBufferSize = static_cast<uint32_t>(outSize > 0 ? outSize : 1024);
    // The port is one digit: anything else would make a name that is no port.
    if (port < 1 || port > 9) {
        return false;
    }
    g_szComPort[3] = static_cast<char>('0' + port);
    m_pPort = platform::OpenSerialPort(g_szComPort);
    if (!IsOpen()) {
        return false;
    }
    // A device that refuses the line settings is no line: it is let go at
    // once, so that nothing is ever written to it.
    if (!m_pPort->Configure(m_nInBufferSize, m_nOutBufferSize)) {
        m_pPort.reset();
        return false;
    }
    ++m_nOpenCount;
    m_bReplyRead = false;
    return true;
}

void CStreamCOM::Close() {
    if (!IsOpen()) {
        return;
    }
    if (m_nOpenCount > 0) {
        --m_nOpenCount;
    }
    if (m_nOpenCount == 0) {
        Purge();
        m_pPort.reset();
    }
}

WString CStreamCOM::GetName() const {
    return u"KX7710-3B";
}

void CStreamCOM::Read(void* buffer, uint32_t count) {
    BusyFlag busy(g_bSerialReadBusy, 20012);
    if (!IsOpen()) {
        ThrowCommException(20012);
    }
    m_bReplyRead = true;
    long got = m_pPort->Read(buffer, count);
    if (got != static_cast<long>(count)) {
        ThrowCommException(20012);
    }
}

void CStreamCOM::Write(const void* buffer, uint32_t count) {
    BusyFlag busy(g_bSerialWriteBusy, 20013);
    if (!IsOpen()) {
        ThrowCommException(20013);
    }
    // The box speaks only when asked: bytes waiting before a command are the
    // rest of an earlier reply, and the line is out of step.
    if (m_pPort->InQueue() != 0) {
        Purge();
        ThrowCommException(20011);
    }
    if (!m_pPort->Write(buffer, count)) {
        ThrowCommException(20013);
    }
}

void CStreamCOM::Drain() {
    if (!IsOpen()) {
        return;
    }
    const uint32_t start = platform::TickCount();
    for (;;) {
        Purge();
        platform::SleepMs(kDrainQuietMs);
        if (m_pPort->InQueue() == 0 || platform::TickCount() - start > kDrainLimitMs) {
            break;
        }
    }
    Purge();
}

void CStreamCOM::EndExchange() {
    if (!IsOpen() || !m_bReplyRead) {
        return;
    }
    m_bReplyRead = false;
    // A byte that follows the reply may still be on the wire.
    if (m_pPort->InQueue() == 0) {
        platform::SleepMs(kTrailingByteMs);
    }
    if (m_pPort->InQueue() != 0) {
        Purge();
        ThrowCommException(20011);
    }
}

void CStreamCOM::Purge() {
    if (!IsOpen()) {
        return;
    }
    platform::SleepMs(5);
    m_pPort->Purge();
}

uint32_t CStreamCOM::GetInQueue() {
    return IsOpen() ? m_pPort->InQueue() : 0;
}

bool CStreamCOM::Restart() {
    uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < 10000 && IsOpen()) {
        uint8_t b = 0;
        try {
            Read(&b, 1);
            break;
        } catch (const CCommException&) {
            // no byte yet
        }
    }
    Close();
    return true;
}

// ---- USB ----

CStreamUSB::~CStreamUSB() {
    // The pipes are released with the object; the count no longer matters.
    m_pPipes.reset();
}

platform::UsbIdentity CStreamUSB::Identity() const {
    return {"{9F8C9A12-6868-44D8-B9CE-12E403B3BD63}", GetProductId(), GetDeviceDescription()};
}

bool CStreamUSB::Open() {
    platform::WaitCursor wait;
    if (!IsOpen()) {
        m_pPipes = platform::OpenUsbPipes(Identity());
        if (!IsOpen()) {
            return false;
        }
        m_nInPos = m_nInCount = 0;
    }
    ++m_nOpenCount;
    return true;
}

void CStreamUSB::Close() {
    if (!IsOpen()) {
        return;
    }
    if (m_nOpenCount > 0) {
        --m_nOpenCount;
    }
    if (m_nOpenCount == 0) {
        m_pPipes.reset();
    }
}

void CStreamUSB::Read(void* buffer, uint32_t count) {
    if (!IsOpen()) {
        return;
    }
    BusyFlag busy(g_bUsbReadBusy, 20009);
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    uint32_t emptySince = 0;
    bool waiting = false;
    while (done < count) {
        if (m_nInPos >= m_nInCount) {
            m_nInPos = 0;
            long got = m_pPipes->ReadPacket(m_abyIn);
            if (got < 0 || got > 64) {
                m_nInCount = 0;
                ThrowCommException(20009);
            }
            m_nInCount = static_cast<uint32_t>(got);
            if (got == 0) {
                // The box sends empty packets while it has nothing; one that
                // never sends anything must not hold the caller forever.
                uint32_t now = platform::TickCount();
                if (!waiting) {
                    waiting = true;
                    emptySince = now;
                } else if (now - emptySince > kUsbEmptyReadLimitMs) {
                    ThrowCommException(20009);
                }
                continue;
            }
            waiting = false;
        }
        while (m_nInPos < m_nInCount && done < count) {
            out[done++] = m_abyIn[m_nInPos++];
        }
    }
}

void CStreamUSB::Write(const void* buffer, uint32_t count) {
    if (!IsOpen()) {
        return;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    if (m_bBlock) {
        for (uint32_t i = 0; i < count; ++i) {
            if (m_nOutCount >= 64) {
                m_bBlock = false;
                try {
                    Write(m_abyOut, m_nOutCount);
                } catch (...) {
                    m_nOutCount = 0;
                    m_bBlock = true;
                    throw;
                }
                m_nOutCount = 0;
                m_bBlock = true;
            }
            m_abyOut[m_nOutCount++] = in[i];
        }
        return;
    }
    BusyFlag busy(g_bUsbWriteBusy, 20010);
    ThrowOnLeftover();
    for (uint32_t done = 0; done < count;) {
        uint32_t piece = count - done < kUsbWritePiece ? count - done : kUsbWritePiece;
        long n = m_pPipes->Write(in + done, piece);
        if (n != static_cast<long>(piece)) {
            ThrowCommException(20010);
        }
        done += piece;
    }
}

void CStreamUSB::Purge() {
    m_nInPos = m_nInCount = 0;
}

void CStreamUSB::ThrowOnLeftover() {
    if (m_nInPos < m_nInCount) {
        Purge();
        ThrowCommException(20011);
    }
}

void CStreamUSB::EndExchange() {
    if (IsOpen()) {
        ThrowOnLeftover();
    }
}

uint32_t CStreamUSB::GetInQueue() {
    return m_nInCount - m_nInPos;
}

void CStreamUSB::BeginBlock() {
    m_bBlock = true;
}

void CStreamUSB::EndBlock() {
    m_bBlock = false;
    if (m_nOutCount > 0) {
        uint32_t n = m_nOutCount;
        m_nOutCount = 0;
        Write(m_abyOut, n);
    }
}

bool CStreamUSB::Restart() {
    platform::WaitCursor wait;
    // Whoever still counts on the stream loses it: the box goes away.
    m_nOpenCount = IsOpen() ? 1 : 0;
    Close();
    platform::RestartUsbDevice(Identity());
    platform::SleepMs(5000);
    return true;
}

WString CKobUsb::GetName() const {
    return g_byModel == 2 ? u"KX7710-3B2" : u"KX7710-3B";
}

bool CKobUsb::Restart() {
    CStreamUSB::Restart();
    if (g_byModel == 2) {
        platform::WaitCursor wait;
        platform::SleepMs(6000);
    }
    return true;
}

const GUID* CKobUsb::GetInterfaceGuid() const {
    return &kKobUsbGuid;
}

WString CKobUsb::GetDeviceDescription() const {
    return u"MERIX-TANDA KOBALTIX Interface";
}

// ---- simulated ----

void CStreamNUL::Read(void* buffer, uint32_t count) {
    std::memset(buffer, 0, count);
}
