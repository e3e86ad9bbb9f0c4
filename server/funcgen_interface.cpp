// IFuncGen: the client's function generator, through the method frame onto
// the generator model, which talks to the box at once.
#include "instruments/funcgen/funcgen.h"
#include "server/frame.h"
#include "server/kobaltix.h"
#include "server/table_access.h"

namespace {

bool Reachable(double hertz) {
    FGenTiming t;
    return CalcTiming(hertz, t);
}

} // namespace

KOB_NESTED_IUNKNOWN(CKobaltix::XKobFuncGen)

HRESULT CKobaltix::XKobFuncGen::Config(unsigned char enable, double frequency,
                                       unsigned char amplitude, unsigned char range,
                                       FGenFunction waveform) {
    return MethodFrame(m_pDevice, true, [&] {
        // Only a frequency that would be sent can be refused.
        if (!(frequency == g_dFGenFrequency) && !Reachable(frequency)) {
            return E_INVALIDARG;
        }
        m_pDevice->Config(enable != 0 ? 1 : 0, frequency, amplitude, range,
                          static_cast<uint32_t>(waveform));
        return S_OK;
    });
}

HRESULT CKobaltix::XKobFuncGen::Enable(unsigned char enable) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendEnable(enable != 0 ? 1 : 0);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobFuncGen::Frequency(double hertz) {
    return MethodFrame(m_pDevice, true,
                       [&] { return m_pDevice->SendFrequency(hertz) ? S_OK : E_INVALIDARG; });
}

HRESULT CKobaltix::XKobFuncGen::Amplitude(short percent) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendAmplitude(percent);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobFuncGen::OutRange(unsigned char range) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendOutRange(range);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobFuncGen::Formula(BSTR text) {
    return MethodFrame(m_pDevice, true, [&] {
        return m_pDevice->SetFormula(FromBstr(text), true) ? S_OK : S_FALSE;
    });
}

HRESULT CKobaltix::XKobFuncGen::Waveform(FGenFunction code) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendFunction(static_cast<uint32_t>(code));
        return S_OK;
    });
}

HRESULT CKobaltix::XKobFuncGen::UserTable(VARIANT* table) {
    return MethodFrame(m_pDevice, table != nullptr, [&] {
        return WithTable(*table, S_FALSE, [&](std::span<const double> values) {
            if (values.size() > kFGenMaxTable) {
                return E_INVALIDARG;
            }
            m_pDevice->SendTable(values);
            return S_OK;
        });
    });
}

HRESULT CKobaltix::XKobFuncGen::Timing(unsigned short samples, unsigned short prescale) {
    return MethodFrame(m_pDevice, true, [&] {
        // The box divides its clock by the sample count.
        if (samples == 0) {
            return E_INVALIDARG;
        }
        m_pDevice->SendTiming(samples, prescale, 0);
        return S_OK;
    });
}
