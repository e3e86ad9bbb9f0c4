// The server object's reference counting, interface map and root interface.
#include "server/kobaltix.h"

#include "device/kobface.h"
#include "instruments/digio/digio.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/meter/meter.h"
#include "instruments/relays/relays.h"
#include "instruments/scope/scope.h"
#include "instruments/threephase/threephase.h"
#include "server/frame.h"

namespace {

std::atomic<long> g_nModuleLocks{0};

} // namespace

void ModuleLock() {
    ++g_nModuleLocks;
}
void ModuleUnlock() {
    --g_nModuleLocks;
}
long ModuleLockCount() {
    return g_nModuleLocks.load();
}

CKobaltix::CKobaltix(IUnknown* outer) : m_pOuterUnknown(outer) {
    m_xInner.m_pThis = this;
    m_xKobaltix.m_pThis = this;
    m_xKobScope.m_pThis = this;
    m_xKobMeter.m_pThis = this;
    m_xKobFuncGen.m_pThis = this;
    m_xKobPowerSupply.m_pThis = this;
    m_xKobDigIO.m_pThis = this;
    m_xKobRelays.m_pThis = this;
    ModuleLock();
}

CKobaltix::~CKobaltix() {
    ModuleUnlock();
}

HRESULT CKobaltix::InternalQueryInterface(REFIID riid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    IUnknown* found = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown)) {
        found = &m_xInner;
    } else if (IsEqualGUID(riid, IID_IKobaltix)) {
        found = &m_xKobaltix;
    } else if (IsEqualGUID(riid, IID_IScope)) {
        found = &m_xKobScope;
    } else if (IsEqualGUID(riid, IID_IMeter)) {
        found = &m_xKobMeter;
    } else if (IsEqualGUID(riid, IID_IFuncGen)) {
        found = &m_xKobFuncGen;
    } else if (IsEqualGUID(riid, IID_IPowerSupply)) {
        found = &m_xKobPowerSupply;
    } else if (IsEqualGUID(riid, IID_IDigIO)) {
        found = &m_xKobDigIO;
    } else if (IsEqualGUID(riid, IID_IRelays)) {
        found = &m_xKobRelays;
    }
    // The other instrument interfaces join the map as their instruments are
    // built.
    if (!found) {
        return E_NOINTERFACE;
    }
    found->AddRef();
    *object = found;
    return S_OK;
}

ULONG CKobaltix::InternalAddRef() {
    return ++m_dwRef;
}

ULONG CKobaltix::InternalRelease() {
    ULONG left = --m_dwRef;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT CKobaltix::ExternalQueryInterface(REFIID riid, void** object) {
    if (m_pOuterUnknown) {
        return m_pOuterUnknown->QueryInterface(riid, object);
    }
    return InternalQueryInterface(riid, object);
}

ULONG CKobaltix::ExternalAddRef() {
    return m_pOuterUnknown ? m_pOuterUnknown->AddRef() : InternalAddRef();
}

ULONG CKobaltix::ExternalRelease() {
    return m_pOuterUnknown ? m_pOuterUnknown->Release() : InternalRelease();
}

void CKobaltix::AttachDevice(uint8_t type) {
    CKobDevice* model = g_pKobface ? g_pKobface->Device(type) : nullptr;
    switch (type) {
    case kTypeScope:
        m_xKobScope.m_pDevice = dynamic_cast<CScope*>(model);
        break;
    case kTypeMeter:
        m_xKobMeter.m_pDevice = dynamic_cast<CKobMeter*>(model);
        break;
    case kTypeFuncGen:
        m_xKobFuncGen.m_pDevice = dynamic_cast<CFuncGen*>(model);
        break;
    case kType3PhaseGen:
        m_xKobPowerSupply.m_pDevice = dynamic_cast<C3PhaseGen*>(model);
        break;
    case kTypeDigIO:
        m_xKobDigIO.m_pDevice = dynamic_cast<CDigIO*>(model);
        break;
    case kTypeRelays:
        m_xKobRelays.m_pDevice = dynamic_cast<CRelays*>(model);
        break;
    default:
        break;
    }
}

HRESULT CKobaltix::XInner::QueryInterface(REFIID riid, void** object) {
    return m_pThis->InternalQueryInterface(riid, object);
}
ULONG CKobaltix::XInner::AddRef() {
    return m_pThis->InternalAddRef();
}
ULONG CKobaltix::XInner::Release() {
    return m_pThis->InternalRelease();
}

KOB_NESTED_IUNKNOWN(CKobaltix::XKobaltix)

HRESULT CKobaltix::XKobaltix::Connect() {
    CKobface* face = g_pKobface;
    if (!face) {
        return E_FAIL;
    }
    if (face->IsConnected()) {
        return S_OK;
    }
    // No simulation offered to a client; "Exit Program" ends the attempt.
    face->Connect(0, 1);
    return face->IsConnected() ? S_OK : S_FALSE;
}

HRESULT CKobaltix::XKobaltix::Disconnect() {
    CKobface* face = g_pKobface;
    if (face && face->m_pStream) {
        face->m_pStream->Close();
    }
    return S_OK;
}

HRESULT CKobaltix::XKobaltix::Version(BSTR* version) {
    if (!version) {
        return E_POINTER;
    }
    const WString name = g_pKobface ? g_pKobface->m_strName : WString();
    BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(name.data()),
                                  static_cast<UINT>(name.size()));
    if (!text) {
        return E_OUTOFMEMORY;
    }
    *version = text;
    return S_OK;
}

HRESULT CKobaltix::XKobaltix::ComErrorFlags(unsigned char reportError, unsigned char fail) {
    SetComErrorFlags(reportError, fail);
    return S_OK;
}

HRESULT CKobaltix::XKobaltix::Create(uint8_t type, REFIID riid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    CKobface* face = g_pKobface;
    if (!face || !face->m_pStream) {
        return E_FAIL;
    }
    HRESULT hr = m_pThis->ExternalQueryInterface(riid, out);
    // The box hears of the instrument even when this build has no
    // interface for it; a refusal is shown to the user, not returned.
    face->CreateDevice(type);
    m_pThis->AttachDevice(type);
    return hr;
}

HRESULT CKobaltix::XKobaltix::CreateScope(IScope** scope) {
    return Create(kTypeScope, IID_IScope, reinterpret_cast<void**>(scope));
}
HRESULT CKobaltix::XKobaltix::CreateMeter(IMeter** meter) {
    return Create(kTypeMeter, IID_IMeter, reinterpret_cast<void**>(meter));
}
HRESULT CKobaltix::XKobaltix::CreateFuncGen(IFuncGen** funcGen) {
    return Create(kTypeFuncGen, IID_IFuncGen, reinterpret_cast<void**>(funcGen));
}
HRESULT CKobaltix::XKobaltix::CreatePowerSupply(IPowerSupply** gen) {
    return Create(kType3PhaseGen, IID_IPowerSupply, reinterpret_cast<void**>(gen));
}
HRESULT CKobaltix::XKobaltix::CreateDigIO(IDigIO** digIO) {
    return Create(kTypeDigIO, IID_IDigIO, reinterpret_cast<void**>(digIO));
}
HRESULT CKobaltix::XKobaltix::CreateRelays(IRelays** relays) {
    return Create(kTypeRelays, IID_IRelays, reinterpret_cast<void**>(relays));
}
