// The module: its static interface device, the class factory and the
// exports a COM client's loader calls.
#include <new>

#include "device/kobface.h"
#include "platform/ui/ui.h"
#include "server/kobaltix.h"

namespace {

// Every object of the module drives this one box.
CKobface g_theKobface;

class CKobaltixFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
            AddRef();
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: counting keeps no one alive, LockServer does.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_dwRef; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_dwRef; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer && !IsEqualGUID(riid, IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        CKobaltix* created = new (std::nothrow) CKobaltix(outer);
        if (!created) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = created->InternalQueryInterface(riid, object);
        created->InternalRelease();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ModuleLock();
        } else {
            ModuleUnlock();
        }
        return S_OK;
    }

private:
    std::atomic<ULONG> m_dwRef{1};
};

CKobaltixFactory g_factory;

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    HRESULT hr = E_POINTER;
    if (object) {
        *object = nullptr;
        hr = IsEqualGUID(clsid, CLSID_Kobaltix) ? g_factory.QueryInterface(riid, object)
                                                : CLASS_E_CLASSNOTAVAILABLE;
    }
    if (hr != S_OK || !object || !*object) {
        platform::ShowMessage(u"DllGetClassObject failed");
    }
    return hr;
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
