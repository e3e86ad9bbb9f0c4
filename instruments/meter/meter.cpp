#include "instruments/meter/meter.h"

#include <cmath>
#include <mutex>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"
#include "framework/exception.h"

Relaxed<uint16_t> g_wMeterTime{10};
Relaxed<uint16_t> g_wBufferSize{2048};
Relaxed<double> g_dShunt1{10.0};
Relaxed<double> g_dShunt2{10.0};
MeterRecord g_MeterA;
MeterRecord g_MeterB;
Relaxed<uint8_t> g_bOverA{0};
Relaxed<uint8_t> g_bOverB{0};

MeterRecord GetMeterRecord(bool channelA) {
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return channelA ? g_MeterA : g_MeterB;
}

bool IsValidShunt(double ohms) {
    return std::isfinite(ohms) && ohms > 0.0;
}

namespace {

// What the box reports for one channel, before scaling.
struct RawChannel {
    int32_t current = 0;
    int32_t firstSum = 0;
    int32_t secondSum = 0;
    uint32_t thirdSum = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
};

// A model-2 box sends its samples as words, a model-1 box as single bytes.
int32_t ReadSample(CStreamIO& s, bool wide) {
    if (wide) {
        return static_cast<int16_t>(ReadWord(s));
    }
    return static_cast<int8_t>(ReadByte(s));
}

bool OverRange(const RawChannel& raw, bool wide) {
    if (wide) {
        return raw.maximum >= 511 || raw.minimum <= -511;
    }
    return raw.maximum >= 127 || raw.minimum <= -128;
}

// A buffer of no samples has no mean: 0 rather than a division by zero.
double PerSample(double sum) {
    const uint16_t size = g_wBufferSize;
    return size ? sum / size : 0.0;
}

template <typename Scale> MeterRecord Decode(const RawChannel& raw, Scale scale) {
    MeterRecord r;
    r.v[kMeterCurrent] = scale(raw.current);
    r.v[kMeterMean] = scale(PerSample(raw.firstSum));
    r.v[kMeterSecondSum] = scale(PerSample(raw.secondSum));
    r.v[kMeterRms] = scale(std::sqrt(PerSample(raw.thirdSum)));
    double max = scale(raw.maximum);
    r.v[kMeterMax] = max;
    r.v[kMeterPeakToPeak] = std::fabs(max - scale(raw.minimum));
    return r;
}

} // namespace

CKobMeter::CKobMeter(CKobface* owner) : CMeasureBase(owner) {
    m_wChanged = 0xFFFF;
}

void CKobMeter::SetInput(uint8_t rangeA, uint8_t couplingA, uint8_t rangeB, uint8_t couplingB) {
    g_nRangeA = rangeA;
    g_nCouplingA = couplingA;
    g_nRangeB = rangeB;
    g_nCouplingB = couplingB;
    SendInput();
}

void CKobMeter::SendInput() {
    uint16_t w = GetInputWord();
    const uint8_t cmd[] = {kCmdMeterInput, static_cast<uint8_t>(w >> 8),
                           static_cast<uint8_t>(w & 0xFF)};
    CStreamIO& s = Stream();
    SendCommand(s, cmd, sizeof cmd);
    CheckAck(s);
}

void CKobMeter::SetTiming(uint16_t time, uint16_t bufferSize) {
    g_wMeterTime = time;
    g_wBufferSize = bufferSize;
    SendTiming();
}

void CKobMeter::SendTiming() {
    uint16_t w = GetInputWord();
    const uint16_t time = g_wMeterTime;
    const uint16_t size = g_wBufferSize;
    const uint8_t cmd[] = {kCmdMeterTiming,
                           static_cast<uint8_t>(time >> 8),
                           static_cast<uint8_t>(time & 0xFF),
                           static_cast<uint8_t>(w >> 8),
                           static_cast<uint8_t>(w & 0xFF),
                           static_cast<uint8_t>(size >> 8),
                           static_cast<uint8_t>(size & 0xFF)};
    CStreamIO& s = Stream();
    SendCommand(s, cmd, sizeof cmd);
    CheckAck(s);
}

void CKobMeter::Start() {
    SendAcked(kCmdMeterStart);
}

void CKobMeter::Stop() {
    WriteByte(Stream(), kCmdMeterStop);
}

uint8_t CKobMeter::GetStatus() {
    try {
        CStreamIO& s = Stream();
        WriteByte(s, kCmdMeterStatus);
        return ReadByte(s);
    } catch (const CCommException&) {
        // A status query that fails is a status, not an error to report.
        return kMeterFailure;
    }
}

void CKobMeter::ReadValues(MeterRecord& a, MeterRecord& b) {
    const bool wide = g_byModel == 2;
    CStreamIO& s = Stream();
    WriteByte(s, wide ? kCmdMeterRead2 : kCmdMeterRead1);
    // The whole reply is read before anything is stored, so that a short
    // reply leaves the last values in place.
    RawChannel ra;
    RawChannel rb;
    ra.current = ReadSample(s, wide);
    rb.current = ReadSample(s, wide);
    ra.firstSum = static_cast<int32_t>(ReadLong(s));
    rb.firstSum = static_cast<int32_t>(ReadLong(s));
    ra.secondSum = static_cast<int32_t>(ReadLong(s));
    rb.secondSum = static_cast<int32_t>(ReadLong(s));
    ra.thirdSum = ReadLong(s);
    rb.thirdSum = ReadLong(s);
    ra.minimum = ReadSample(s, wide);
    ra.maximum = ReadSample(s, wide);
    rb.minimum = ReadSample(s, wide);
    rb.maximum = ReadSample(s, wide);

    {
        // The windows read the module-wide records whole, and set the ranges
        // the scaling reads under the same lock.
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        a = Decode(ra, [this](double raw) { return ScaleA(raw); });
        b = Decode(rb, [this](double raw) { return ScaleB(raw); });
    }
    g_bOverA = OverRange(ra, wide) ? 1 : 0;
    g_bOverB = OverRange(rb, wide) ? 1 : 0;
}

void CKobMeter::Poll() {
    SendChanges();
    m_byStatus = GetStatus();
    if (m_byStatus == kMeterMeasured) {
        ReadValues(g_MeterA, g_MeterB);
    } else if (m_byStatus == kMeterReady) {
        Start();
    }
}

void CKobMeter::SendChanges() {
    uint16_t bits = TakeChanged();
    if (bits & kMeterChangedInput) {
        SendInput();
    }
    if (bits & kMeterChangedTiming) {
        SendTiming();
    }
}

CSettings* CKobMeter::GetSettings() {
    auto* s = new CMeterSettings;
    s->time = g_wMeterTime;
    s->bufferSize = g_wBufferSize;
    s->shunt1 = g_dShunt1;
    s->shunt2 = g_dShunt2;
    s->couplingA = g_nCouplingA;
    s->rangeA = g_nRangeA;
    s->couplingB = g_nCouplingB;
    s->rangeB = g_nRangeB;
    return s;
}

void CKobMeter::SetSettings(CSettings* settings) {
    if (!settings) {
        return;
    }
    // Another model's snapshot is taken back and freed, but not copied.
    if (auto* s = dynamic_cast<CMeterSettings*>(settings)) {
        g_wMeterTime = s->time;
        g_wBufferSize = s->bufferSize;
        g_dShunt1 = s->shunt1;
        g_dShunt2 = s->shunt2;
        g_nCouplingA = s->couplingA;
        g_nRangeA = s->rangeA;
        g_nCouplingB = s->couplingB;
        g_nRangeB = s->rangeB;
        SetChanged(0xFFFF);
    }
    delete settings;
}

void CKobMeter::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{2} << g_nCouplingA << g_nRangeA << g_nCouplingB << g_nRangeB
           << static_cast<double>(g_dShunt1) << static_cast<double>(g_dShunt2);
        return;
    }
    // Read everything first: a file that ends early changes no setting.
    uint32_t version = 0;
    uint32_t couplingA = 0;
    uint32_t rangeA = 0;
    uint32_t couplingB = 0;
    uint32_t rangeB = 0;
    double shunt1 = g_dShunt1;
    double shunt2 = g_dShunt2;
    ar >> version >> couplingA >> rangeA >> couplingB >> rangeB;
    bool shunts = true;
    if (version > 1) {
        ar >> shunt1 >> shunt2;
        shunts = IsValidShunt(shunt1) && IsValidShunt(shunt2);
    }
    // A row past the range table, an unknown coupling or a shunt no current
    // can be computed through is damaged data, refused before anything
    // changes.
    const bool inputs = IsInputSetting(rangeA, couplingA) && IsInputSetting(rangeB, couplingB);
    if (!inputs || !shunts) {
        ThrowArchiveException(CArchiveException::generic);
    }
    SetInputSettings(rangeA, couplingA, rangeB, couplingB);
    g_dShunt1 = shunt1;
    g_dShunt2 = shunt2;
    SetChanged(0xFFFF);
}
