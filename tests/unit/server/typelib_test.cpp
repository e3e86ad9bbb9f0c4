// The type library file as a client such as LabVIEW reads it, and the two
// IPowerSupply slots that only the vtable has.
#include <windows.h>

#include <oleauto.h>

#include "KobLabVIEW_h.h"
#include "support/typelib_expect.h"

#include <gtest/gtest.h>

#include <string>

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

// A three-phase generator that records which of its slots was called.
class RecordingPowerSupply : public IPowerSupply {
public:
    std::wstring last;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Enable(unsigned char) override { return Note(L"Enable"); }
    HRESULT STDMETHODCALLTYPE Frequency(unsigned char) override { return Note(L"Frequency"); }
    HRESULT STDMETHODCALLTYPE Amplitude(unsigned char, unsigned char, unsigned char) override {
        return Note(L"Amplitude");
    }
    HRESULT STDMETHODCALLTYPE Formula(BSTR) override { return Note(L"Formula"); }
    HRESULT STDMETHODCALLTYPE Waveform(P3Function) override { return Note(L"Waveform"); }
    HRESULT STDMETHODCALLTYPE Clock(unsigned char) override { return Note(L"Clock"); }
    HRESULT STDMETHODCALLTYPE Phase23(short, short) override { return Note(L"Phase23"); }
    HRESULT STDMETHODCALLTYPE UserTable(VARIANT*) override { return Note(L"UserTable"); }
    HRESULT STDMETHODCALLTYPE DcMode(unsigned char) override { return Note(L"DcMode"); }
    HRESULT STDMETHODCALLTYPE PhaseSwitches(unsigned char, unsigned char, unsigned char) override {
        return Note(L"PhaseSwitches");
    }

private:
    HRESULT Note(const wchar_t* name) {
        last = name;
        return S_OK;
    }
};

// A late-bound client reaches every described slot through its oVft; the two
// slots the library leaves out (its dump ends at slot 10) follow them in the
// vtable.
TEST_F(TypeLib, PowerSupplyHasTwoSlotsOnlyTheVtableKnows) {
    ITypeInfo* pInfo = Info(Guid(L"{641B5205-6FCC-45AB-A6D8-683206A61500}"));
    ASSERT_NE(pInfo, nullptr);
    RecordingPowerSupply gen;
    const wchar_t* expected[] = {L"Enable",   L"Frequency", L"Amplitude", L"Formula",
                                 L"Waveform", L"Clock",     L"Phase23",   L"UserTable"};
    for (UINT i = 0; i < 8; ++i) {
        FUNCDESC* pFunc = nullptr;
        ASSERT_EQ(pInfo->GetFuncDesc(i, &pFunc), S_OK);
        VARIANT a[5] = {};
        VARIANTARG* pa[5];
        VARTYPE types[5];
        for (SHORT k = 0; k < pFunc->cParams; ++k) {
            const VARTYPE vt = pFunc->lprgelemdescParam[k].tdesc.vt;
            types[k] = vt == VT_USERDEFINED ? static_cast<VARTYPE>(VT_I4) : vt;
            V_VT(&a[k]) = types[k];
            pa[k] = &a[k];
        }
        VARIANT result;
        VariantInit(&result);
        gen.last.clear();
        ASSERT_EQ(DispCallFunc(static_cast<IPowerSupply*>(&gen), pFunc->oVft, CC_STDCALL, VT_ERROR,
                               static_cast<UINT>(pFunc->cParams), types, pa, &result),
                  S_OK);
        EXPECT_EQ(gen.last, expected[i]);
        pInfo->ReleaseFuncDesc(pFunc);
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
    EXPECT_EQ(reinterpret_cast<Slot3>(vtbl[12])(p, 1, 0, 1), S_OK);
    EXPECT_EQ(gen.last, L"PhaseSwitches");
}

} // namespace
