// The type library as a client such as LabVIEW reads it: identity, flags,
// every interface's methods in vtable order with their parameters, the
// enumerations, and the two IPowerSupply slots that only the vtable has.
#include <windows.h>

#include <oleauto.h>

#include "KobLabVIEW_h.h"
#include "support/typelib_expect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kobtlb::Guid;
using kobtlb::Str;

std::wstring TlbPath() {
    std::string p = KOB_TLB_PATH;
    std::wstring w(p.begin(), p.end());
    if (!w.empty() && w[0] == L'/') // a build-tree path seen from Wine
        w = L"Z:" + w;
    return w;
}

class TypeLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(TlbPath().c_str(), REGKIND_NONE, &m_pLib), S_OK) << KOB_TLB_PATH;
    }
    void TearDown() override {
        if (m_pLib)
            m_pLib->Release();
    }
    ITypeInfo* Info(const GUID& g) { return kobtlb::Info(m_pLib, g); }
    ITypeLib* m_pLib = nullptr;
};

TEST_F(TypeLib, LibraryAndClassCarryTheirIdentity) {
    kobtlb::ExpectLibraryAndClass(m_pLib);
}

// Each interface: its identifier, IUnknown as base, flags 0x180, and its
// methods in slot order with their parameter names and help strings.
TEST_F(TypeLib, InterfacesListTheirMethodsInSlotOrder) {
    kobtlb::ExpectInterfaces(m_pLib);
}

// Parameter types and directions of methods whose marshalling is easy to get
// wrong: by-value bytes and words, outs, retvals, VARIANT tables, enums.
TEST_F(TypeLib, ParametersHaveTheirAutomationTypes) {
    struct Param {
        VARTYPE vt;     // of the parameter, VT_PTR for a pointer
        VARTYPE target; // what a pointer points at, else VT_EMPTY
        USHORT flags;   // PARAMFLAG_*
    };
    struct Case {
        const wchar_t* iid;
        UINT index;
        std::vector<Param> params;
    };
    const USHORT in = PARAMFLAG_FIN;
    const USHORT out = PARAMFLAG_FOUT;
    const USHORT ret = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    const std::vector<Case> cases = {
        // IKobaltix: Version, ComErrorFlags, CreateScope
        {L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}", 2, {{VT_PTR, VT_BSTR, ret}}},
        {L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}",
         3,
         {{VT_UI1, VT_EMPTY, in}, {VT_UI1, VT_EMPTY, in}}},
        {L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}", 4, {{VT_PTR, VT_PTR, ret}}},
        // IScope: Timing, TriggerLevel, Status, Read, GetTiming
        {L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}",
         1,
         {{VT_UI2, VT_EMPTY, in}, {VT_UI1, VT_EMPTY, in}, {VT_UI2, VT_EMPTY, in}}},
        {L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}", 3, {{VT_I2, VT_EMPTY, in}}},
        {L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}", 4, {{VT_PTR, VT_USERDEFINED, ret}}},
        {L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}",
         7,
         {{VT_PTR, VT_VARIANT, out}, {VT_PTR, VT_VARIANT, out}}},
        {L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}",
         9,
         {{VT_PTR, VT_R8, out}, {VT_PTR, VT_R8, out}, {VT_PTR, VT_UI1, out}}},
        // IMeter: ReadA
        {L"{475B6EA1-D469-490F-B000-936EFB129435}",
         7,
         {{VT_UI1, VT_EMPTY, in}, {VT_PTR, VT_R8, ret}}},
        // IFuncGen: Config, Formula, UserTable
        {L"{FB0841DE-8637-496C-9B23-22282F35FDE6}",
         0,
         {{VT_UI1, VT_EMPTY, in},
          {VT_R8, VT_EMPTY, in},
          {VT_UI1, VT_EMPTY, in},
          {VT_UI1, VT_EMPTY, in},
          {VT_USERDEFINED, VT_EMPTY, in}}},
        {L"{FB0841DE-8637-496C-9B23-22282F35FDE6}", 5, {{VT_BSTR, VT_EMPTY, in}}},
        {L"{FB0841DE-8637-496C-9B23-22282F35FDE6}", 7, {{VT_PTR, VT_VARIANT, in}}},
        // IPowerSupply: Phase23
        {L"{641B5205-6FCC-45AB-A6D8-683206A61500}",
         6,
         {{VT_I2, VT_EMPTY, in}, {VT_I2, VT_EMPTY, in}}},
        // IDigIO: In, Out, Read
        {L"{91204651-EA8A-40F3-B15C-93B864B7FF1B}", 0, {{VT_PTR, VT_UI2, ret}}},
        {L"{91204651-EA8A-40F3-B15C-93B864B7FF1B}", 1, {{VT_UI2, VT_EMPTY, in}}},
        {L"{91204651-EA8A-40F3-B15C-93B864B7FF1B}", 8, {{VT_PTR, VT_VARIANT, out}}},
        // IRelays: Status
        {L"{CA210D9F-554C-465E-AAEE-D2C9E6A87377}", 0, {{VT_PTR, VT_UI1, ret}}},
    };
    for (const Case& c : cases) {
        ITypeInfo* pInfo = Info(Guid(c.iid));
        ASSERT_NE(pInfo, nullptr);
        FUNCDESC* pFunc = nullptr;
        ASSERT_EQ(pInfo->GetFuncDesc(c.index, &pFunc), S_OK);
        BSTR n = nullptr;
        pInfo->GetDocumentation(pFunc->memid, &n, nullptr, nullptr, nullptr);
        const std::wstring name = Str(n);
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        ASSERT_EQ(pFunc->cParams, static_cast<SHORT>(c.params.size()));
        for (size_t k = 0; k < c.params.size(); ++k) {
            const ELEMDESC& e = pFunc->lprgelemdescParam[k];
            EXPECT_EQ(e.tdesc.vt, c.params[k].vt) << k;
            if (e.tdesc.vt == VT_PTR) {
                EXPECT_EQ(e.tdesc.lptdesc->vt, c.params[k].target) << k;
            }
            EXPECT_EQ(e.paramdesc.wParamFlags & (in | ret), c.params[k].flags) << k;
        }
        pInfo->ReleaseFuncDesc(pFunc);
        pInfo->Release();
    }
}

TEST_F(TypeLib, EnumerationsCarryTheStatusBytesAndWaveforms) {
    kobtlb::ExpectEnumerations(m_pLib);
}

// A three-phase generator that records which of its slots was called.
class RecordingPowerSupply : public IPowerSupply {
public:
    std::wstring last;
    int args[3] = {};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Enable(unsigned char a) override { return Note(L"Enable", a); }
    HRESULT STDMETHODCALLTYPE Frequency(unsigned char a) override { return Note(L"Frequency", a); }
    HRESULT STDMETHODCALLTYPE Amplitude(unsigned char a, unsigned char b,
                                        unsigned char c) override {
        return Note(L"Amplitude", a, b, c);
    }
    HRESULT STDMETHODCALLTYPE Formula(BSTR) override { return Note(L"Formula"); }
    HRESULT STDMETHODCALLTYPE Waveform(P3Function e) override { return Note(L"Waveform", e); }
    HRESULT STDMETHODCALLTYPE Clock(unsigned char a) override { return Note(L"Clock", a); }
    HRESULT STDMETHODCALLTYPE Phase23(short a, short b) override { return Note(L"Phase23", a, b); }
    HRESULT STDMETHODCALLTYPE UserTable(VARIANT*) override { return Note(L"UserTable"); }
    HRESULT STDMETHODCALLTYPE DcMode(unsigned char a) override { return Note(L"DcMode", a); }
    HRESULT STDMETHODCALLTYPE PhaseSwitches(unsigned char a, unsigned char b,
                                            unsigned char c) override {
        return Note(L"PhaseSwitches", a, b, c);
    }

private:
    HRESULT Note(const wchar_t* name, int a = 0, int b = 0, int c = 0) {
        last = name;
        args[0] = a;
        args[1] = b;
        args[2] = c;
        return S_OK;
    }
};

// A late-bound client reaches every described slot through its oVft; the two
// slots the library leaves out follow them in the vtable and nowhere else.
TEST_F(TypeLib, PowerSupplyHasTwoSlotsOnlyTheVtableKnows) {
    ITypeInfo* pInfo = Info(Guid(L"{641B5205-6FCC-45AB-A6D8-683206A61500}"));
    ASSERT_NE(pInfo, nullptr);
    RecordingPowerSupply gen;
    const wchar_t* expected[] = {L"Enable",   L"Frequency", L"Amplitude", L"Formula",
                                 L"Waveform", L"Clock",     L"Phase23",   L"UserTable"};
    for (UINT i = 0; i < 8; ++i) {
        FUNCDESC* pFunc = nullptr;
        ASSERT_EQ(pInfo->GetFuncDesc(i, &pFunc), S_OK);
        VARIANT a[5];
        VARIANTARG* pa[5];
        VARTYPE types[5];
        for (SHORT k = 0; k < pFunc->cParams; ++k) {
            a[k] = VARIANT{};
            const TYPEDESC& t = pFunc->lprgelemdescParam[k].tdesc;
            types[k] = t.vt == VT_USERDEFINED ? static_cast<VARTYPE>(VT_I4) : t.vt;
            V_VT(&a[k]) = types[k];
            V_I4(&a[k]) = 0;
            V_UI1(&a[k]) = static_cast<BYTE>(10 + k);
            if (t.vt == VT_I2)
                V_I2(&a[k]) = static_cast<SHORT>(-120 + k);
            pa[k] = &a[k];
        }
        VARIANT result;
        VariantInit(&result);
        gen.last.clear();
        ASSERT_EQ(DispCallFunc(static_cast<IPowerSupply*>(&gen), pFunc->oVft, CC_STDCALL, VT_ERROR,
                               static_cast<UINT>(pFunc->cParams), types, pa, &result),
                  S_OK);
        EXPECT_EQ(gen.last, expected[i]);
        if (i == 2) { // Amplitude's three bytes arrive in order
            EXPECT_EQ((std::vector<int>{gen.args[0], gen.args[1], gen.args[2]}),
                      (std::vector<int>{10, 11, 12}));
        }
        if (i == 6) { // Phase23's signed words keep their sign
            EXPECT_EQ((std::vector<int>{gen.args[0], gen.args[1]}), (std::vector<int>{-120, -119}));
        }
        pInfo->ReleaseFuncDesc(pFunc);
    }
    FUNCDESC* pFunc = nullptr;
    EXPECT_NE(pInfo->GetFuncDesc(8, &pFunc), S_OK);

    // Nothing in the library is named after the vtable-only slots.
    for (const wchar_t* name : {L"DcMode", L"PhaseSwitches"}) {
        std::wstring buf(name);
        BOOL found = TRUE;
        ASSERT_EQ(m_pLib->IsName(buf.data(), 0, &found), S_OK);
        EXPECT_FALSE(found) << std::string(buf.begin(), buf.end());
    }
    pInfo->Release();

    // Slots 11 and 12, after UserTable at slot 10.
    using Slot1 = HRESULT(STDMETHODCALLTYPE*)(IPowerSupply*, unsigned char);
    using Slot3 =
        HRESULT(STDMETHODCALLTYPE*)(IPowerSupply*, unsigned char, unsigned char, unsigned char);
    IPowerSupply* p = &gen;
    void** vtbl = *reinterpret_cast<void***>(p);
    EXPECT_EQ(reinterpret_cast<Slot1>(vtbl[11])(p, 1), S_OK);
    EXPECT_EQ(gen.last, L"DcMode");
    EXPECT_EQ(gen.args[0], 1);
    EXPECT_EQ(reinterpret_cast<Slot3>(vtbl[12])(p, 1, 0, 1), S_OK);
    EXPECT_EQ(gen.last, L"PhaseSwitches");
    EXPECT_EQ((std::vector<int>{gen.args[0], gen.args[1], gen.args[2]}),
              (std::vector<int>{1, 0, 1}));
}

// The declarations name the same identities as the library.
TEST(InterfaceDeclarations, IdentifiersMatchTheLibrary) {
    EXPECT_TRUE(IsEqualGUID(IID_IKobaltix, Guid(L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}")));
    EXPECT_TRUE(IsEqualGUID(IID_IScope, Guid(L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}")));
    EXPECT_TRUE(IsEqualGUID(IID_IMeter, Guid(L"{475B6EA1-D469-490F-B000-936EFB129435}")));
    EXPECT_TRUE(IsEqualGUID(IID_IFuncGen, Guid(L"{FB0841DE-8637-496C-9B23-22282F35FDE6}")));
    EXPECT_TRUE(IsEqualGUID(IID_IPowerSupply, Guid(L"{641B5205-6FCC-45AB-A6D8-683206A61500}")));
    EXPECT_TRUE(IsEqualGUID(IID_IDigIO, Guid(L"{91204651-EA8A-40F3-B15C-93B864B7FF1B}")));
    EXPECT_TRUE(IsEqualGUID(IID_IRelays, Guid(L"{CA210D9F-554C-465E-AAEE-D2C9E6A87377}")));
    EXPECT_TRUE(IsEqualGUID(CLSID_Kobaltix, Guid(L"{D20CF633-A2EE-42F9-84DB-D1FA05CF8C42}")));
    EXPECT_TRUE(IsEqualGUID(LIBID_KobLabVIEW, Guid(L"{8D89597B-2429-4F22-828F-02E7AFFAA018}")));
}

} // namespace
