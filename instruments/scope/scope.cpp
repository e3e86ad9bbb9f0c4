#include "instruments/scope/scope.h"

#include <exception>
#include <vector>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/archive.h"
#include "framework/exception.h"

// s/div, prescale, values, online. In the memory rows the prescale sets the
// sample interval, (prescale + 1) x 31.25 ns.
const TimeBaseRow g_aTimeBases1[kTimeBaseRows + 1] = {
    {0.000001, 0, 320, 0}, {0.000002, 0, 640, 0}, {0.000005, 1, 800, 0}, {0.00001, 3, 800, 0},
    {0.00002, 7, 800, 0},  {0.00005, 19, 800, 0}, {0.0001, 39, 800, 0},  {0.0002, 79, 800, 0},
    {0.0005, 199, 800, 0}, {0.001, 399, 800, 0},  {0.002, 799, 800, 0},  {0.005, 1999, 800, 0},
    {0.01, 3999, 800, 0},  {0.02, 7999, 800, 0},  {0.05, 10, 500, 1},    {0.1, 20, 500, 1},
    {0.2, 40, 500, 1},     {0.5, 100, 500, 1},    {1, 200, 500, 1},      {2, 400, 500, 1},
    {5, 1000, 500, 1},     {10, 2000, 500, 1},    {0, 0, 0, 0},
};

// Model 2: prescale x 12.5 ns, one value more per record.
const TimeBaseRow g_aTimeBases2[kTimeBaseRows + 1] = {
    {0.000001, 2, 401, 0}, {0.000002, 2, 801, 0}, {0.000005, 5, 801, 0}, {0.00001, 10, 801, 0},
    {0.00002, 20, 801, 0}, {0.00005, 50, 801, 0}, {0.0001, 100, 801, 0}, {0.0002, 200, 801, 0},
    {0.0005, 500, 801, 0}, {0.001, 1000, 801, 0}, {0.002, 2000, 801, 0}, {0.005, 5000, 801, 0},
    {0.01, 10000, 801, 0}, {0.02, 20000, 801, 0}, {0.05, 10, 501, 1},    {0.1, 20, 501, 1},
    {0.2, 40, 501, 1},     {0.5, 100, 501, 1},    {1, 200, 501, 1},      {2, 400, 501, 1},
    {5, 1000, 501, 1},     {10, 2000, 501, 1},    {0, 0, 0, 0},
};

Relaxed<const TimeBaseRow*> g_pTimeBases{g_aTimeBases1};
Relaxed<uint32_t> g_nTimeBase{0};
Relaxed<uint32_t> g_nTimeBaseApplied{0};
Relaxed<uint32_t> g_nTriggerMode{0};
Relaxed<uint32_t> g_nPostTrigger{100};
Relaxed<int32_t> g_nTriggerLevel{0};
uint32_t g_nScopeBufferSize = kScopeBufferSamples;
Relaxed<uint8_t> g_bShowA{1};
Relaxed<uint8_t> g_bShowB{1};
Relaxed<double> g_dDisplayFactorA{0};
Relaxed<double> g_dDisplayFactorB{0};

namespace {

bool IsModel2() {
    return g_byModel == 2;
}

// A row outside the table is the zero row: no values, no prescale.
const TimeBaseRow& TimeBaseAt(uint32_t row) {
    const TimeBaseRow* table = g_pTimeBases;
    table = table ? table : g_aTimeBases1;
    return table[row < kTimeBaseRows ? row : kTimeBaseRows];
}

// A range outside the table measures nothing.
double FullScale(uint32_t range) {
    return range < kRangeCount ? g_aRanges[range].fullScale : 0.0;
}

double DisplayFactor(uint32_t range) {
    if (range >= kRangeCount) {
        return 0.0;
    }
    return g_aRanges[range].fullScale / (g_aRanges[range].division * 4);
}

// Converter value of the top of the range.
double ConverterTop() {
    return IsModel2() ? 511.0 : 127.0;
}

// One sample as the box sends it: model 2 a word holding a signed 10-bit
// value, model 1 a signed byte.
int16_t ReadRawSample(CStreamIO& s) {
    if (IsModel2()) {
        return static_cast<int16_t>(ReadWord(s));
    }
    uint8_t b = 0;
    s.Read(&b, 1);
    return static_cast<int8_t>(b);
}

// The same sample with the converter's full scale at the top of 16 bits.
int16_t ToBufferSample(int16_t raw) {
    int shift = IsModel2() ? 6 : 8;
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(raw) << shift));
}

} // namespace

CScope::CScope(CKobface* owner) : CMeasureBase(owner) {
    g_pTimeBases = IsModel2() ? g_aTimeBases2 : g_aTimeBases1;
    g_ScopeBufferA.Resize(g_nScopeBufferSize);
    g_ScopeBufferB.Resize(g_nScopeBufferSize);
    m_wChanged = 0xFFFF;
}

CScope::~CScope() = default;

uint16_t CScope::MakeInputWord(uint32_t rangeA, uint32_t couplingA, uint32_t rangeB,
                               uint32_t couplingB) {
    uint16_t w = CMeasureBase::MakeInputWord(rangeA, couplingA, rangeB, couplingB);
    g_dDisplayFactorA = DisplayFactor(rangeA);
    g_dDisplayFactorB = DisplayFactor(rangeB);
    return w;
}

void CScope::SetInput(uint8_t rangeA, uint8_t couplingA, uint8_t rangeB, uint8_t couplingB) {
    g_nRangeA = rangeA;
    g_nCouplingA = couplingA;
    g_nRangeB = rangeB;
    g_nCouplingB = couplingB;
    SendInput();
}

void CScope::SendInput() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdScopeInput);
    WriteWord(GetInputWord());
    CheckAck(s);
}

void CScope::SendTiming(uint16_t prescale, uint8_t online, uint16_t values) {
    CStreamIO& s = Stream();
    {
        BlockGuard block(s);
        WriteByte(s, IsModel2() ? kCmdScopeTiming2 : kCmdScopeTiming1);
        WriteByte(s, online);
        WriteWord(prescale);
        WriteWord(values);
        block.End();
    }
    CheckAck(s);
}

void CScope::SendTrigger(uint16_t values) {
    // Values after the trigger; wider than 32 bits so that a stored
    // percentage cannot overflow.
    int64_t post = int64_t{values} * static_cast<int32_t>(g_nPostTrigger) / 100;
    uint8_t flags = 0;
    if (m_nTriggerSource != 0) {
        flags = 0x02;
        if (g_nTriggerMode == 1) {
            flags |= 0x08;
        }
        if (m_nTriggerSource == 1) {
            flags |= 0x04;
        }
    }
    CStreamIO& s = Stream();
    {
        BlockGuard block(s);
        WriteByte(s, kCmdScopeTrigger);
        WriteWord(static_cast<uint16_t>(post & 0xFFFF));
        WriteByte(s, flags);
        block.End();
    }
    CheckAck(s);
}

void CScope::SendLevel() {
    int64_t level = int64_t{g_nTriggerLevel} * 127 / 100;
    CStreamIO& s = Stream();
    BlockGuard block(s);
    WriteByte(s, kCmdScopeLevel);
    WriteByte(s, static_cast<uint8_t>(level & 0xFF));
    block.End();
}

void CScope::Start() {
    SendAcked(kCmdScopeStart);
}

void CScope::Stop() {
    WriteByte(Stream(), kCmdScopeStop);
}

uint8_t CScope::GetStatus() {
    CStreamIO& s = Stream();
    WriteByte(s, kCmdScopeStatus);
    uint8_t status = 0;
    s.Read(&status, 1);
    return status;
}

namespace {

// The read-memory command for n values of the channels in mask; model 2
// optionally puts its command and count in a block of their own.
void SendReadMemory(CScope& scope, uint16_t n, uint8_t mask, bool innerBlock) {
    CStreamIO& s = scope.Stream();
    BlockGuard block(s);
    if (IsModel2()) {
        if (innerBlock) {
            BlockGuard inner(s);
            WriteByte(s, kCmdScopeReadMemory2);
            scope.WriteWord(n);
            inner.End();
        } else {
            WriteByte(s, kCmdScopeReadMemory2);
            scope.WriteWord(n);
        }
    } else {
        WriteByte(s, kCmdScopeReadMemory1);
        // The box counts the start address down from the top of its memory.
        scope.WriteWord(static_cast<uint16_t>(0x2000 - n));
        scope.WriteWord(n);
        scope.WriteWord(1);
    }
    WriteByte(s, mask);
    block.End();
}

} // namespace

void CScope::ReadMemory(uint16_t n, double* a, double fullScaleA, double* b, double fullScaleB) {
    uint8_t mask = static_cast<uint8_t>((a ? 1 : 0) | (b ? 2 : 0));
    SendReadMemory(*this, n, mask, false);
    CStreamIO& s = Stream();
    double top = ConverterTop();
    if (a) {
        for (uint32_t i = 0; i < n; ++i) {
            a[i] = ReadRawSample(s) / top * fullScaleA;
        }
    }
    if (b) {
        for (uint32_t i = 0; i < n; ++i) {
            b[i] = ReadRawSample(s) / top * fullScaleB;
        }
    }
}

void CScope::ReadChannels(uint16_t n, double* a, double* b) {
    if (a && g_nCouplingA == kCouplingGround) {
        std::fill_n(a, n, 0.0);
        a = nullptr;
    }
    if (b && g_nCouplingB == kCouplingGround) {
        std::fill_n(b, n, 0.0);
        b = nullptr;
    }
    ReadMemory(n, a, FullScale(g_nRangeA), b, FullScale(g_nRangeB));
}

CVoltArray::CVoltArray(VARIANT* out, uint32_t n) : m_pVariant(out) {
    VariantInit(out);
    // SafeArrayCreate allocates the data too: allocating again would lose
    // the first block.
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, n);
    if (!array) {
        return;
    }
    out->vt = VT_ARRAY | VT_R8;
    out->parray = array;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        m_pData = static_cast<double*>(data);
        m_bLocked = true;
    }
}

CVoltArray::~CVoltArray() {
    if (m_bLocked) {
        SafeArrayUnaccessData(m_pVariant->parray);
    }
}

void CVoltArray::Clear() {
    if (m_bLocked) {
        SafeArrayUnaccessData(m_pVariant->parray);
        m_bLocked = false;
        m_pData = nullptr;
    }
    VariantClear(m_pVariant);
}

HRESULT CScope::ReadOnlineArrays(VARIANT* a, VARIANT* b) {
    try {
        return ReadOnlineInto(a, b);
    } catch (const CCommException& e) {
        e.ReportError();
        return S_FALSE;
    }
}

HRESULT CScope::ReadOnlineInto(VARIANT* a, VARIANT* b) {
    if (!a || !b) {
        return E_POINTER;
    }
    VariantInit(a);
    VariantInit(b);
    {
        CStreamIO& s = Stream();
        WriteByte(s, IsModel2() ? kCmdScopeOnline2 : kCmdScopeOnline1);
        uint16_t count = ReadWord(s);
        // Unlocked on failure as well, so that the client can free them.
        CVoltArray arrayA(a, count);
        CVoltArray arrayB(b, count);
        if (!arrayA.Ok() || !arrayB.Ok()) {
            arrayA.Clear();
            arrayB.Clear();
            return E_OUTOFMEMORY;
        }
        double* dataA = arrayA.Data();
        double* dataB = arrayB.Data();
        double fsA = FullScale(g_nRangeA);
        double fsB = FullScale(g_nRangeB);
        double top = ConverterTop();
        for (uint32_t i = 0; i < count; ++i) {
            int16_t sa = ReadRawSample(s);
            int16_t sb = ReadRawSample(s);
            if (g_nCouplingA == kCouplingGround) {
                sa = 0;
            }
            if (g_nCouplingB == kCouplingGround) {
                sb = 0;
            }
            dataA[i] = sa / top * fsA;
            dataB[i] = sb / top * fsB;
        }
    }
    return S_OK;
}

bool CScope::ReadOnlineToBuffers() {
    CStreamIO& s = Stream();
    WriteByte(s, IsModel2() ? kCmdScopeOnline2 : kCmdScopeOnline1);
    uint16_t count = ReadWord(s);
    for (uint32_t i = 0; i < count; ++i) {
        int16_t sa = ToBufferSample(ReadRawSample(s));
        int16_t sb = ToBufferSample(ReadRawSample(s));
        g_ScopeBufferA.Append(g_nCouplingA == kCouplingGround ? int16_t{0} : sa);
        g_ScopeBufferB.Append(g_nCouplingB == kCouplingGround ? int16_t{0} : sb);
    }
    if (count != 0) {
        ++m_nRecords;
    }
    return count != 0;
}

void CScope::ReadMemoryToBuffers() {
    uint16_t n = TimeBaseAt(g_nTimeBaseApplied).values;
    bool wantA = g_nCouplingA != kCouplingGround;
    bool wantB = g_nCouplingB != kCouplingGround;
    SendReadMemory(*this, n, static_cast<uint8_t>((wantA ? 1 : 0) | (wantB ? 2 : 0)), true);
    g_ScopeBufferA.Reset();
    g_ScopeBufferB.Reset();
    CStreamIO& s = Stream();
    uint32_t width = IsModel2() ? 2 : 1;
    std::vector<uint8_t> block(size_t{n} * width);
    CScopeBuffer* buffers[2] = {&g_ScopeBufferA, &g_ScopeBufferB};
    bool wanted[2] = {wantA, wantB};
    for (int c = 0; c < 2; ++c) {
        CScopeBuffer& buffer = *buffers[c];
        if (!wanted[c]) {
            buffer.ClearBack();
            continue;
        }
        if (!block.empty()) {
            s.Read(block.data(), static_cast<uint32_t>(block.size()));
        }
        int16_t* back = buffer.Back();
        uint32_t kept = n < kScopeBufferSamples ? n : kScopeBufferSamples;
        for (uint32_t i = 0; i < kept; ++i) {
            auto raw = width == 2 ? static_cast<int16_t>((block[2 * i] << 8) | block[2 * i + 1])
                                  : static_cast<int16_t>(static_cast<int8_t>(block[i]));
            back[i] = ToBufferSample(raw);
        }
    }
    for (CScopeBuffer* buffer : buffers) {
        buffer->m_nFirst = 0;
        buffer->m_nEnd = n;
        buffer->m_nExtra = 0;
    }
    g_bFrontFirst = g_bFrontFirst ? 0 : 1;
    ++m_nRecords;
}

void CScope::ApplyTimeBase() {
    g_nTimeBaseApplied = static_cast<uint32_t>(g_nTimeBase);
    const TimeBaseRow& row = TimeBaseAt(g_nTimeBaseApplied);
    SendTiming(row.prescale, row.online, row.values);
    SendTrigger(row.values);
    g_ScopeBufferA.Resize(row.values);
    g_ScopeBufferB.Resize(row.values);
    g_ScopeBufferA.Reset();
    g_ScopeBufferB.Reset();
    ++m_nRecords;
}

void CScope::SendChanges() {
    uint16_t bits = TakeChanged();
    if (bits & kScopeChangedTimeBase) {
        ApplyTimeBase();
    }
    if (bits & kScopeChangedInput) {
        SendInput();
    }
    if (bits & kScopeChangedTrigger) {
        SendTrigger(TimeBaseAt(g_nTimeBaseApplied).values);
    }
    if (bits & kScopeChangedLevel) {
        SendLevel();
    }
}

double CScope::GetSampleTime(uint16_t prescale) const {
    if (IsModel2()) {
        return (prescale ? prescale : 1) * 12.5e-9;
    }
    return (prescale + 1.0) * 31.25e-9;
}

void CScope::SetTimeBase(uint32_t row) {
    Lock();
    g_nTimeBase = row;
    UnlockChanged(kScopeChangedTimeBase);
}

void CScope::SetTriggerSource(uint32_t source) {
    Lock();
    m_nTriggerSource = source;
    UnlockChanged(kScopeChangedTrigger);
}

void CScope::SetTriggerMode(uint32_t mode) {
    Lock();
    g_nTriggerMode = mode;
    UnlockChanged(kScopeChangedTrigger);
}

void CScope::SetPostTrigger(uint32_t percent) {
    Lock();
    g_nPostTrigger = percent;
    UnlockChanged(kScopeChangedTrigger);
}

bool CScope::LevelUp() {
    if (g_nTriggerLevel >= 100) {
        return false;
    }
    Lock();
    g_nTriggerLevel = g_nTriggerLevel + 1;
    UnlockChanged(kScopeChangedLevel);
    return true;
}

bool CScope::LevelDown() {
    if (g_nTriggerLevel < -99) {
        return false;
    }
    Lock();
    g_nTriggerLevel = g_nTriggerLevel - 1;
    UnlockChanged(kScopeChangedLevel);
    return true;
}

CSettings* CScope::GetSettings() {
    auto* s = new CScopeSettings;
    Lock();
    s->timeBase = g_nTimeBaseApplied;
    s->showA = g_bShowA;
    s->couplingA = g_nCouplingA;
    s->rangeA = g_nRangeA;
    s->showB = g_bShowB;
    s->couplingB = g_nCouplingB;
    s->rangeB = g_nRangeB;
    s->triggerMode = g_nTriggerMode;
    s->triggerSource = m_nTriggerSource;
    s->postTrigger = g_nPostTrigger;
    s->triggerLevel = static_cast<uint32_t>(g_nTriggerLevel);
    s->single = m_bSingle;
    s->hold = m_bHold;
    UnlockChanged(0);
    return s;
}

void CScope::SetSettings(CSettings* settings) {
    if (!settings) {
        return;
    }
    auto* s = static_cast<CScopeSettings*>(settings);
    g_nTimeBase = s->timeBase;
    g_bShowA = s->showA;
    g_nCouplingA = s->couplingA;
    g_nRangeA = s->rangeA;
    g_bShowB = s->showB;
    g_nCouplingB = s->couplingB;
    g_nRangeB = s->rangeB;
    g_nTriggerMode = s->triggerMode;
    m_nTriggerSource = s->triggerSource;
    g_nPostTrigger = s->postTrigger;
    g_nTriggerLevel = static_cast<int32_t>(s->triggerLevel);
    m_bSingle = s->single;
    m_bHold = s->hold;
    SetChanged(0xFFFF);
    delete settings;
}

namespace {

void StoreFlag(CArchive& ar, uint8_t flag) {
    ar << uint32_t{flag ? 1u : 0u};
}

uint8_t LoadFlag(CArchive& ar) {
    uint32_t v = 0;
    ar >> v;
    return v != 0 ? 1 : 0;
}

} // namespace

void CScope::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << g_nTimeBaseApplied << g_nTimeBase;
        StoreFlag(ar, g_bShowA);
        ar << g_nCouplingA << g_nRangeA;
        StoreFlag(ar, g_bShowB);
        ar << g_nCouplingB << g_nRangeB << g_nTriggerMode << m_nTriggerSource << g_nPostTrigger
           << g_nTriggerLevel << g_nScopeBufferSize;
        StoreFlag(ar, m_bSingle);
        g_ScopeBufferA.Serialize(ar);
        g_ScopeBufferB.Serialize(ar);
        return;
    }
    // Everything is read before anything changes: a file cut short, or one
    // naming a range or coupling the inputs do not have (which the meter's
    // block of the same workspace would refuse when stored again), changes
    // nothing.
    uint32_t version = 0, applied = 0, timeBase = 0, couplingA = 0, rangeA = 0, couplingB = 0,
             rangeB = 0, mode = 0, source = 0, post = 0, bufferSize = 0;
    int32_t level = 0;
    ar >> version >> applied >> timeBase;
    const uint8_t showA = LoadFlag(ar);
    ar >> couplingA >> rangeA;
    const uint8_t showB = LoadFlag(ar);
    ar >> couplingB >> rangeB >> mode >> source >> post >> level >> bufferSize;
    const uint8_t single = LoadFlag(ar);
    if (!IsInputSetting(rangeA, couplingA) || !IsInputSetting(rangeB, couplingB)) {
        ThrowArchiveException(CArchiveException::generic);
    }
    g_nTimeBaseApplied = applied;
    g_nTimeBase = timeBase;
    g_bShowA = showA;
    g_bShowB = showB;
    SetInputSettings(rangeA, couplingA, rangeB, couplingB);
    g_nTriggerMode = mode;
    m_nTriggerSource = source;
    g_nPostTrigger = post;
    g_nTriggerLevel = level;
    g_nScopeBufferSize = bufferSize;
    m_bSingle = single;
    g_ScopeBufferA.Serialize(ar);
    g_ScopeBufferB.Serialize(ar);
    SetChanged(0xFFFF);
}
