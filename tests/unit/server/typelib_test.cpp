// The type library file as a client such as LabVIEW reads it, and the two
// IPowerSupply slots that only the vtable has.
#include <windows.h>

#include <oleauto.h>

#include "KobLabVIEW_h.h"
#include "support/typelib_expect.h"

#include <gtest/gtest.h>

#include <cstdio>
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
    ITypeInfo* Info(const GUID& g) {
        ITypeInfo* p = nullptr;
        EXPECT_EQ(m_pLib->GetTypeInfoOfGuid(g, &p), S_OK);
        return p;
    }
    ITypeLib* m_pLib = nullptr;
};

// Identity, the class and its interfaces, every method in slot order with
// its parameters' names, types and directions, and the enumerations.
TEST_F(TypeLib, ReadsAsTheClientsExpectIt) {
    const std::string dump = kobtlb::Dump(m_pLib);
    EXPECT_EQ(dump, kobtlb::kExpected);
    if (dump != kobtlb::kExpected) {
        std::fputs(dump.c_str(), stdout);
    }
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
    const std::string dump = kobtlb::kExpected;
    for (const GUID* g :
         {&IID_IKobaltix, &IID_IScope, &IID_IMeter, &IID_IFuncGen, &IID_IPowerSupply, &IID_IDigIO,
          &IID_IRelays, &CLSID_Kobaltix, &LIBID_KobLabVIEW}) {
        EXPECT_NE(dump.find(kobtlb::Text(*g)), std::string::npos) << kobtlb::Text(*g);
    }
}

} // namespace
