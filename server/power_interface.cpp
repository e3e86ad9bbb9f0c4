// IPowerSupply: the client's three-phase generator, through the method frame
// onto the generator model, which talks to the box at once.
#include "instruments/threephase/threephase.h"
#include "server/frame.h"
#include "server/kobaltix.h"
#include "server/table_access.h"

KOB_NESTED_IUNKNOWN(CKobaltix::XKobPowerSupply)

namespace {

template <class Device, class Send> HRESULT Sent(Device* device, Send&& send) {
    return MethodFrame(device, true, [&] {
        send();
        return S_OK;
    });
}

uint8_t Switch(unsigned char value) {
    return value != 0 ? 1 : 0;
}

} // namespace

HRESULT CKobaltix::XKobPowerSupply::Enable(unsigned char enable) {
    return Sent(m_pDevice, [&] { m_pDevice->SendEnable(Switch(enable)); });
}

HRESULT CKobaltix::XKobPowerSupply::Frequency(unsigned char frequency) {
    return Sent(m_pDevice, [&] { m_pDevice->SendFrequency(frequency); });
}

HRESULT CKobaltix::XKobPowerSupply::Amplitude(unsigned char a1, unsigned char a2,
                                              unsigned char a3) {
    return Sent(m_pDevice, [&] { m_pDevice->SendAmplitudes(a1, a2, a3); });
}

HRESULT CKobaltix::XKobPowerSupply::Formula(BSTR text) {
    return MethodFrame(m_pDevice, true, [&] {
        return m_pDevice->SetFormula(FromBstr(text), true) ? S_OK : S_FALSE;
    });
}

HRESULT CKobaltix::XKobPowerSupply::Waveform(P3Function code) {
    return Sent(m_pDevice, [&] { m_pDevice->SendFunction(static_cast<uint32_t>(code)); });
}

HRESULT CKobaltix::XKobPowerSupply::Clock(unsigned char clock) {
    return Sent(m_pDevice, [&] { m_pDevice->SendClock(clock); });
}

HRESULT CKobaltix::XKobPowerSupply::Phase23(short deg2, short deg3) {
    return Sent(m_pDevice, [&] { m_pDevice->SendPhases(deg2, deg3); });
}

HRESULT CKobaltix::XKobPowerSupply::UserTable(VARIANT* table) {
    return MethodFrame(m_pDevice, table != nullptr, [&] {
        return WithTable(*table, E_INVALIDARG, [&](std::span<const double> values) {
            if (values.size() < kP3TablePoints) {
                return E_INVALIDARG;
            }
            m_pDevice->SendUserTable(values.first<kP3TablePoints>(), 1);
            return S_OK;
        });
    });
}

HRESULT CKobaltix::XKobPowerSupply::DcMode(unsigned char on) {
    return Sent(m_pDevice, [&] { m_pDevice->SendDcMode(Switch(on)); });
}

HRESULT CKobaltix::XKobPowerSupply::PhaseSwitches(unsigned char s1, unsigned char s2,
                                                  unsigned char s3) {
    return Sent(m_pDevice,
                [&] { m_pDevice->SetPhaseSwitches(Switch(s1), Switch(s2), Switch(s3)); });
}
