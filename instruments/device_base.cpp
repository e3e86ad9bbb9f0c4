#include "instruments/device_base.h"

#include "device/exchange.h"
#include "device/kobface.h"
#include "formula/forcomp.h"
#include "framework/exception.h"

const RangeRow g_aRanges[kRangeCount] = {
    {0.02, 0.1}, {0.05, 0.2}, {0.1, 0.5},  {0.2, 1},    {0.5, 2},
    {1, 5},      {2, 10},     {5, 20},     {10, 50},    {20, 100},
    {50, 200},   {100, 500},  {200, 1000}, {500, 2000}, {1000, 5000},
};

Relaxed<uint32_t> g_nRangeA{8};
Relaxed<uint32_t> g_nCouplingA{0};
Relaxed<uint32_t> g_nRangeB{8};
Relaxed<uint32_t> g_nCouplingB{0};

void SetInputSettings(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB, uint32_t couplingB) {
    g_nRangeA = rangeA;
    g_nCouplingA = couplingA;
    g_nRangeB = rangeB;
    g_nCouplingB = couplingB;
}

void CKobDevice::Lock() {
    g_csDevices.Lock();
}

void CKobDevice::UnlockChanged(uint16_t bits) {
    m_wChanged |= bits;
    g_csDevices.Unlock();
}

void CKobDevice::SetChanged(uint16_t bits) {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    m_wChanged |= bits;
}

uint16_t CKobDevice::TakeChanged() {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    uint16_t bits = m_wChanged;
    m_wChanged = 0;
    return bits;
}

CStreamIO& CKobDevice::Stream() const {
    if (!m_pOwner || !m_pOwner->m_pStream) {
        // No line was ever set up: as a write to a port that is not there.
        ThrowCommException(20013);
    }
    return *m_pOwner->m_pStream;
}

void CKobDevice::WriteWord(uint16_t value) {
    uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    CStreamIO& s = Stream();
    s.Write(&b[0], 1);
    s.Write(&b[1], 1);
}

void CKobDevice::SendAcked(uint8_t command) {
    CStreamIO& s = Stream();
    WriteByte(s, command);
    CheckAck(s);
}

uint16_t CMeasureBase::MakeInputWord(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB,
                                     uint32_t couplingB) {
    auto w = static_cast<uint16_t>(((rangeB << 8) | rangeA) & 0xFFFF);
    if (couplingA == 1) {
        w |= 0x0080;
    }
    if (couplingB == 1) {
        w |= 0x8000;
    }
    return w;
}

namespace {

void SetInputSetting(CKobDevice& model, Relaxed<uint32_t>& setting, uint32_t value) {
    model.Lock();
    setting = value;
    model.UnlockChanged(kInputChanged);
}

} // namespace

void CMeasureBase::SetRangeA(uint32_t range) {
    SetInputSetting(*this, g_nRangeA, range);
}
void CMeasureBase::SetRangeB(uint32_t range) {
    SetInputSetting(*this, g_nRangeB, range);
}
void CMeasureBase::SetCouplingA(uint32_t coupling) {
    SetInputSetting(*this, g_nCouplingA, coupling);
}
void CMeasureBase::SetCouplingB(uint32_t coupling) {
    SetInputSetting(*this, g_nCouplingB, coupling);
}

uint16_t CMeasureBase::GetInputWord() {
    return MakeInputWord(g_nRangeA, g_nCouplingA, g_nRangeB, g_nCouplingB);
}

double ScaleRaw(double raw, uint32_t range) {
    if (range >= kRangeCount) {
        return 0.0;
    }
    double fs = g_aRanges[range].fullScale;
    if (g_byModel == 2) {
        return raw / 511.0 * fs;
    }
    return raw < 0 ? raw / 128.0 * fs : raw / 127.0 * fs;
}

double CMeasureBase::ScaleA(double raw) const {
    return ScaleRaw(raw, g_nRangeA);
}
double CMeasureBase::ScaleB(double raw) const {
    return ScaleRaw(raw, g_nRangeB);
}

bool CompileFormula(const WString& text, bool report, WString& upper) {
    WString candidate = CForComp::ToUpper(text);
    CForComp comp;
    if (!comp.Compile(candidate.c_str())) {
        if (report) {
            comp.ShowError();
        }
        return false;
    }
    upper = std::move(candidate);
    return true;
}
