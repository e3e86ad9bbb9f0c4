// The server object: one per client creation, answering for the root
// interface and the instrument interfaces through nested objects. All
// objects share the module's one interface device.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/cmdtarget.h"
#include "server/koblabview.h"

class CKobface;
class C3PhaseGen;
class CFuncGen;
class CDigIO;
class CKobMeter;
class CRelays;
class CScope;

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

    // The instruments' interfaces; each points at its model once created.
    struct XKobScope : IScope {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Input(unsigned char RangeA, unsigned char CouplingA,
                                        unsigned char RangeB, unsigned char CouplingB) override;
        HRESULT STDMETHODCALLTYPE Timing(unsigned short Prescale, unsigned char Online,
                                         unsigned short Vals) override;
        HRESULT STDMETHODCALLTYPE Trigger(unsigned char Trigger, unsigned char Chn,
                                          unsigned char Post) override;
        HRESULT STDMETHODCALLTYPE TriggerLevel(short Level) override;
        HRESULT STDMETHODCALLTYPE Status(ScopeStatus* Status) override;
        HRESULT STDMETHODCALLTYPE Start() override;
        HRESULT STDMETHODCALLTYPE Stop() override;
        HRESULT STDMETHODCALLTYPE Read(VARIANT* ChnA, VARIANT* ChnB) override;
        HRESULT STDMETHODCALLTYPE ReadOnline(VARIANT* ChnA, VARIANT* ChnB) override;
        HRESULT STDMETHODCALLTYPE GetTiming(double* Delta, double* Total,
                                            unsigned char* Online) override;
        CKobaltix* m_pThis = nullptr;
        CScope* m_pDevice = nullptr;
        uint16_t m_wPrescale = 0;
        uint16_t m_wValues = 0;
        uint8_t m_bOnline = 0;
    } m_xKobScope;

    struct XKobMeter : IMeter {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Config(unsigned char RangeA, unsigned char CouplingA,
                                         unsigned char RangeB, unsigned char CouplingB) override;
        HRESULT STDMETHODCALLTYPE ConfigA(unsigned char Range, unsigned char Coupling) override;
        HRESULT STDMETHODCALLTYPE ConfigB(unsigned char Range, unsigned char Coupling) override;
        HRESULT STDMETHODCALLTYPE Timing(unsigned short Time, unsigned short BufferSize) override;
        HRESULT STDMETHODCALLTYPE Status(MeterStatus* Status) override;
        HRESULT STDMETHODCALLTYPE Start() override;
        HRESULT STDMETHODCALLTYPE Stop() override;
        HRESULT STDMETHODCALLTYPE ReadA(unsigned char Type, double* Value) override;
        HRESULT STDMETHODCALLTYPE ReadB(unsigned char Type, double* Value) override;
        CKobaltix* m_pThis = nullptr;
        CKobMeter* m_pDevice = nullptr;

    private:
        HRESULT Read(bool channelB, unsigned char type, double* value);
    } m_xKobMeter;

    struct XKobFuncGen : IFuncGen {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Config(unsigned char Enable, double Frequency,
                                         unsigned char Amplitude, unsigned char Range,
                                         FGenFunction Waveform) override;
        HRESULT STDMETHODCALLTYPE Enable(unsigned char bEnable) override;
        HRESULT STDMETHODCALLTYPE Frequency(double dFreq) override;
        HRESULT STDMETHODCALLTYPE Amplitude(short sAmp) override;
        HRESULT STDMETHODCALLTYPE OutRange(unsigned char byRange) override;
        HRESULT STDMETHODCALLTYPE Formula(BSTR Formula) override;
        HRESULT STDMETHODCALLTYPE Waveform(FGenFunction eFunc) override;
        HRESULT STDMETHODCALLTYPE UserTable(VARIANT* Table) override;
        HRESULT STDMETHODCALLTYPE Timing(unsigned short Samples, unsigned short Prescale) override;
        CKobaltix* m_pThis = nullptr;
        CFuncGen* m_pDevice = nullptr;
    } m_xKobFuncGen;

    struct XKobPowerSupply : IPowerSupply {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Enable(unsigned char Enable) override;
        HRESULT STDMETHODCALLTYPE Frequency(unsigned char Frequency) override;
        HRESULT STDMETHODCALLTYPE Amplitude(unsigned char Amp1, unsigned char Amp2,
                                            unsigned char Amp3) override;
        HRESULT STDMETHODCALLTYPE Formula(BSTR Formula) override;
        HRESULT STDMETHODCALLTYPE Waveform(P3Function e3Func) override;
        HRESULT STDMETHODCALLTYPE Clock(unsigned char Clock) override;
        HRESULT STDMETHODCALLTYPE Phase23(short Deg2, short Deg3) override;
        HRESULT STDMETHODCALLTYPE UserTable(VARIANT* Table) override;
        // The two slots beyond the type library.
        HRESULT STDMETHODCALLTYPE DcMode(unsigned char DcMode) override;
        HRESULT STDMETHODCALLTYPE PhaseSwitches(unsigned char Phase1, unsigned char Phase2,
                                                unsigned char Phase3) override;
        CKobaltix* m_pThis = nullptr;
        C3PhaseGen* m_pDevice = nullptr;
    } m_xKobPowerSupply;
    struct XKobDigIO : IDigIO {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE In(unsigned short* Status) override;
        HRESULT STDMETHODCALLTYPE Out(unsigned short Status) override;
        HRESULT STDMETHODCALLTYPE Timing(unsigned short Timer, unsigned short Count,
                                         unsigned char Online) override;
        HRESULT STDMETHODCALLTYPE Trigger(unsigned short TriggerMask,
                                          unsigned short Trigger) override;
        HRESULT STDMETHODCALLTYPE Pattern(VARIANT* Table) override;
        HRESULT STDMETHODCALLTYPE Start() override;
        HRESULT STDMETHODCALLTYPE Stop() override;
        HRESULT STDMETHODCALLTYPE Status(DigStatus* eStatus) override;
        HRESULT STDMETHODCALLTYPE Read(VARIANT* Data) override;
        HRESULT STDMETHODCALLTYPE ReadOnline(VARIANT* Data) override;
        CKobaltix* m_pThis = nullptr;
        CDigIO* m_pDevice = nullptr;
        uint16_t m_wCount = 0; // the count of the last Timing, for Read
    } m_xKobDigIO;

    struct XKobRelays : IRelays {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE Status(unsigned char* Status) override;
        HRESULT STDMETHODCALLTYPE Set(unsigned char Status) override;
        CKobaltix* m_pThis = nullptr;
        CRelays* m_pDevice = nullptr;
    } m_xKobRelays;

private:
    IUnknown* m_pOuterUnknown;
    std::atomic<ULONG> m_dwRef{1};
};

// The IUnknown of a nested interface object: forwarded to the controlling
// unknown of its server object.
#define KOB_NESTED_IUNKNOWN(Nested)                                                                \
    HRESULT Nested::QueryInterface(REFIID riid, void** object) {                                   \
        return m_pThis->ExternalQueryInterface(riid, object);                                      \
    }                                                                                              \
    ULONG Nested::AddRef() {                                                                       \
        return m_pThis->ExternalAddRef();                                                          \
    }                                                                                              \
    ULONG Nested::Release() {                                                                      \
        return m_pThis->ExternalRelease();                                                         \
    }

// Module lock count: live objects plus client locks of the class factory.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();
