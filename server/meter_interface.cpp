// IMeter: the client's two-channel DVM, through the method frame onto the
// meter model. Every read is one complete exchange with the box.
#include "instruments/meter/meter.h"
#include "server/frame.h"
#include "server/kobaltix.h"

namespace {

constexpr unsigned kMaxRange = kRangeCount - 1;
constexpr unsigned kMaxCoupling = kCouplingGround;

bool ChannelOk(unsigned range, unsigned coupling) {
    return range <= kMaxRange && coupling <= kMaxCoupling;
}

} // namespace

KOB_NESTED_IUNKNOWN(CKobaltix::XKobMeter)

HRESULT CKobaltix::XKobMeter::Config(unsigned char rangeA, unsigned char couplingA,
                                     unsigned char rangeB, unsigned char couplingB) {
    return MethodFrame(m_pDevice, true, [&] {
        if (!ChannelOk(rangeA, couplingA) || !ChannelOk(rangeB, couplingB)) {
            return E_INVALIDARG;
        }
        m_pDevice->SetInput(rangeA, couplingA, rangeB, couplingB);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::ConfigA(unsigned char range, unsigned char coupling) {
    return MethodFrame(m_pDevice, true, [&] {
        if (!ChannelOk(range, coupling)) {
            return E_INVALIDARG;
        }
        m_pDevice->SetInput(range, coupling, static_cast<uint8_t>(g_nRangeB),
                            static_cast<uint8_t>(g_nCouplingB));
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::ConfigB(unsigned char range, unsigned char coupling) {
    return MethodFrame(m_pDevice, true, [&] {
        if (!ChannelOk(range, coupling)) {
            return E_INVALIDARG;
        }
        m_pDevice->SetInput(static_cast<uint8_t>(g_nRangeA), static_cast<uint8_t>(g_nCouplingA),
                            range, coupling);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::Timing(unsigned short time, unsigned short bufferSize) {
    return MethodFrame(m_pDevice, true, [&] {
        // Every sum is divided by the buffer size.
        if (bufferSize == 0) {
            return E_INVALIDARG;
        }
        m_pDevice->SetTiming(time, bufferSize);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::Status(MeterStatus* status) {
    return MethodFrame(m_pDevice, status != nullptr, [&] {
        *status = static_cast<MeterStatus>(m_pDevice->GetStatus());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::Start() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->Start();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::Stop() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->Stop();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::Read(bool channelB, unsigned char type, double* value) {
    return MethodFrame(m_pDevice, value != nullptr, [&] {
        if (type >= kMeterValues) {
            return E_INVALIDARG;
        }
        // The caller's own records: the module-wide results stay the
        // windows' (the over-range flags are updated).
        MeterRecord a, b;
        m_pDevice->ReadValues(a, b);
        *value = (channelB ? b : a).v[type];
        return S_OK;
    });
}

HRESULT CKobaltix::XKobMeter::ReadA(unsigned char type, double* value) {
    return Read(false, type, value);
}
HRESULT CKobaltix::XKobMeter::ReadB(unsigned char type, double* value) {
    return Read(true, type, value);
}
