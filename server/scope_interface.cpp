// IScope: the client's oscilloscope, through the method frame onto the
// scope model. Keeps the timing the client last gave for Read and GetTiming.
#include "instruments/scope/scope.h"
#include "server/frame.h"
#include "server/kobaltix.h"

namespace {

// Values a table or the wire word cannot hold are refused before anything is
// sent; the couplings here are 1-based, 0 acting like 1.
constexpr unsigned kMaxRange = kRangeCount - 1;
constexpr unsigned kMaxScopeCoupling = 3;
constexpr unsigned kMaxSource = 2;
constexpr unsigned kMaxPercent = 100;

bool InputOk(unsigned rangeA, unsigned couplingA, unsigned rangeB, unsigned couplingB) {
    return rangeA <= kMaxRange && rangeB <= kMaxRange && couplingA <= kMaxScopeCoupling &&
           couplingB <= kMaxScopeCoupling;
}

} // namespace

KOB_NESTED_IUNKNOWN(CKobaltix::XKobScope)

HRESULT CKobaltix::XKobScope::Input(unsigned char rangeA, unsigned char couplingA,
                                    unsigned char rangeB, unsigned char couplingB) {
    return MethodFrame(m_pDevice, true, [&] {
        if (!InputOk(rangeA, couplingA, rangeB, couplingB)) {
            return E_INVALIDARG;
        }
        m_pDevice->SetInput(rangeA, static_cast<uint8_t>(couplingA - 1), rangeB,
                            static_cast<uint8_t>(couplingB - 1));
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Timing(unsigned short prescale, unsigned char online,
                                     unsigned short vals) {
    // The box records at most kScopeBufferSamples values; more would wrap the
    // model-1 read command's start address.
    if (vals > kScopeBufferSamples) {
        return m_pDevice ? E_INVALIDARG : E_FAIL;
    }
    m_wPrescale = prescale;
    m_wValues = vals;
    m_bOnline = online != 0 ? 1 : 0;
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendTiming(prescale, m_bOnline, vals);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Trigger(unsigned char trigger, unsigned char chn,
                                      unsigned char post) {
    return MethodFrame(m_pDevice, true, [&] {
        if (chn > kMaxSource || post > kMaxPercent) {
            return E_INVALIDARG;
        }
        g_nTriggerMode = trigger;
        g_nPostTrigger = post;
        m_pDevice->m_nTriggerSource = chn;
        m_pDevice->SendTrigger(m_wValues);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::TriggerLevel(short level) {
    return MethodFrame(m_pDevice, true, [&] {
        if (level < -static_cast<int>(kMaxPercent) || level > static_cast<int>(kMaxPercent)) {
            return E_INVALIDARG;
        }
        g_nTriggerLevel = level;
        m_pDevice->SendLevel();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Status(ScopeStatus* status) {
    return MethodFrame(m_pDevice, status != nullptr, [&] {
        *status = static_cast<ScopeStatus>(m_pDevice->GetStatus());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Start() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->Start();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Stop() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->Stop();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::Read(VARIANT* chnA, VARIANT* chnB) {
    return MethodFrame(m_pDevice, chnA && chnB, [&] {
        const uint16_t n = m_wValues;
        CVoltArray a(chnA, n);
        CVoltArray b(chnB, n);
        if (!a.Ok() || !b.Ok()) {
            a.Clear();
            b.Clear();
            return E_OUTOFMEMORY;
        }
        // A failure on the wire leaves both arrays with what came.
        m_pDevice->ReadChannels(n, a.Data(), b.Data());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobScope::ReadOnline(VARIANT* chnA, VARIANT* chnB) {
    // The client's error policy holds here as everywhere: a client that
    // switched reporting off gets no message inside its acquisition loop.
    return MethodFrame(m_pDevice, chnA && chnB,
                       [&] { return m_pDevice->ReadOnlineInto(chnA, chnB); });
}

HRESULT CKobaltix::XKobScope::GetTiming(double* delta, double* total, unsigned char* online) {
    return MethodFrame(m_pDevice, delta && total && online, [&] {
        const double interval = m_pDevice->GetSampleTime(m_wPrescale);
        *delta = interval;
        *total = m_wValues ? (m_wValues - 1) * interval : 0.0;
        *online = m_bOnline;
        return S_OK;
    });
}
