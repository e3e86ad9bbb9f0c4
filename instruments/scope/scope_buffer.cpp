#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/archive.h"
#include "instruments/scope/scope.h"

uint8_t g_bFrontFirst = 0;
CScopeBuffer g_ScopeBufferA;
CScopeBuffer g_ScopeBufferB;

namespace {

// The samples a buffer holds, whatever its count was set to.
uint32_t Held(const CScopeBuffer& b) {
    return std::min(b.m_nCount, kScopeBufferSamples);
}

} // namespace

CScopeBuffer::CScopeBuffer() {
    m_pData[0] = new int16_t[kScopeBufferSamples]();
    m_pData[1] = new int16_t[kScopeBufferSamples]();
}

CScopeBuffer::~CScopeBuffer() {
    delete[] m_pData[0];
    delete[] m_pData[1];
}

int16_t* CScopeBuffer::Front() {
    return g_bFrontFirst ? m_pData[0] : m_pData[1];
}
int16_t* CScopeBuffer::Back() {
    return g_bFrontFirst ? m_pData[1] : m_pData[0];
}
const int16_t* CScopeBuffer::Front() const {
    return g_bFrontFirst ? m_pData[0] : m_pData[1];
}

void CScopeBuffer::Resize(uint32_t n) {
    n = std::min(n, kScopeBufferSamples);
    m_nCount = n;
    std::fill_n(m_pData[0], n, int16_t{0});
    std::fill_n(m_pData[1], n, int16_t{0});
    m_nIndex = static_cast<int32_t>(n) - 1;
}

void CScopeBuffer::Reset() {
    m_nIndex = static_cast<int32_t>(m_nCount) - 1;
}

void CScopeBuffer::Append(int16_t sample) {
    // An empty record has no place for a sample.
    uint32_t held = Held(*this);
    if (held == 0) {
        return;
    }
    int16_t* front = Front();
    int32_t last = static_cast<int32_t>(held) - 1;
    int32_t next = m_nIndex < 0 ? 0 : m_nIndex + 1;
    if (next > last) {
        // Full: the oldest sample drops out.
        std::memmove(front, front + 1, static_cast<size_t>(last) * sizeof(int16_t));
        next = last;
    }
    m_nIndex = next;
    front[next] = sample;
}

void CScopeBuffer::ClearBack() {
    std::fill_n(Back(), Held(*this), int16_t{0});
}

namespace {

// Skips what a stored record holds beyond the buffer's length.
void Skip(CArchive& ar, uint64_t bytes) {
    if (bytes > ar.Remaining()) {
        ThrowArchiveException(CArchiveException::endOfFile);
    }
    uint8_t scrap[256];
    while (bytes > 0) {
        auto chunk = static_cast<size_t>(std::min<uint64_t>(bytes, sizeof scrap));
        ar.Read(scrap, chunk);
        bytes -= chunk;
    }
}

} // namespace

void CScopeBuffer::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        uint32_t held = Held(*this);
        ar << uint32_t{2} << held << static_cast<uint32_t>(m_nIndex) << m_dFactor;
        const int16_t* front = Front();
        for (uint32_t i = 0; i < held; ++i) {
            ar << front[i];
        }
        return;
    }
    uint32_t version = 0;
    uint32_t count = 0;
    uint32_t index = 0;
    double factor = 0;
    ar >> version >> count >> index >> factor;
    // A record longer than the buffer keeps its first samples; the rest is
    // skipped so that what follows in the file still reads.
    uint64_t elementSize = version == 1 ? 1 : 2;
    if (uint64_t{count} * elementSize > ar.Remaining()) {
        ThrowArchiveException(CArchiveException::endOfFile);
    }
    m_dFactor = factor;
    Resize(count);
    g_bFrontFirst = 1;
    uint32_t kept = m_nCount;
    if (version == 1) {
        for (uint32_t i = 0; i < kept; ++i) {
            uint8_t b = 0;
            ar >> b;
            Append(static_cast<int16_t>(static_cast<uint16_t>(b << 8)));
        }
    } else {
        for (uint32_t i = 0; i < kept; ++i) {
            ar >> m_pData[0][i];
        }
    }
    Skip(ar, (uint64_t{count} - kept) * elementSize);
    std::copy_n(m_pData[0], kept, m_pData[1]);
}
