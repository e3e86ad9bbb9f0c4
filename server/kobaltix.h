// The server object: one per client creation, answering for the root
// interface and the instrument interfaces through nested objects. All
// objects share the module's one interface device.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/cmdtarget.h"
#include "server/koblabview.h"

class CKobface;

class CKobaltix : public CCmdTarget {
public:
    // outer is the controlling unknown when the object is aggregated.
    explicit CKobaltix(IUnknown* outer = nullptr);
    ~CKobaltix() override;
    CKobaltix(const CKobaltix&) = delete;
    CKobaltix& operator=(const CKobaltix&) = delete;

    // The unknown the nested objects forward to: the outer object's when
    // aggregated, else this object's own.
    HRESULT ExternalQueryInterface(REFIID riid, void** object);
    ULONG ExternalAddRef();
    ULONG ExternalRelease();
    // This object's own reference count and interface map.
    HRESULT InternalQueryInterface(REFIID riid, void** object);
    ULONG InternalAddRef();
    ULONG InternalRelease();
    // The non-delegating unknown an aggregating client holds.
    IUnknown* GetInnerUnknown() { return &m_xInner; }
    // Gives the nested object of an instrument type its model.
    void AttachDevice(uint8_t type);

    struct XInner : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        CKobaltix* m_pThis = nullptr;
    } m_xInner;

    struct XKobaltix : IKobaltix {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Connect() override;
        HRESULT STDMETHODCALLTYPE Disconnect() override;
        HRESULT STDMETHODCALLTYPE Version(BSTR* Version) override;
        HRESULT STDMETHODCALLTYPE ComErrorFlags(unsigned char ReportError,
                                                unsigned char Fail) override;
        HRESULT STDMETHODCALLTYPE CreateScope(IScope** Scope) override;
        HRESULT STDMETHODCALLTYPE CreateMeter(IMeter** Meter) override;
        HRESULT STDMETHODCALLTYPE CreateFuncGen(IFuncGen** FuncGen) override;
        HRESULT STDMETHODCALLTYPE CreatePowerSupply(IPowerSupply** ThreePhaseGen) override;
        HRESULT STDMETHODCALLTYPE CreateDigIO(IDigIO** DigIO) override;
        HRESULT STDMETHODCALLTYPE CreateRelays(IRelays** Relays) override;
        CKobaltix* m_pThis = nullptr;

    private:
        HRESULT Create(uint8_t type, REFIID riid, void** out);
    } m_xKobaltix;

private:
    IUnknown* m_pOuterUnknown;
    std::atomic<ULONG> m_dwRef{1};
};

// Module lock count: live objects plus client locks of the class factory.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();
