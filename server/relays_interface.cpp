// IRelays: the client's relay board, straight to the wire through the
// method frame.
#include "instruments/relays/relays.h"
#include "server/frame.h"
#include "server/kobaltix.h"

KOB_NESTED_IUNKNOWN(CKobaltix::XKobRelays)

HRESULT CKobaltix::XKobRelays::Status(unsigned char* status) {
    return MethodFrame(m_pDevice, status != nullptr, [&] {
        *status = m_pDevice->GetStatus();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobRelays::Set(unsigned char status) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SetRelays(status);
        return S_OK;
    });
}
