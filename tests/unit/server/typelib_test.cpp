// The type library file as a client such as LabVIEW reads it, and the two
// IPowerSupply slots that only the vtable has.
#include <windows.h>

#include <oleauto.h>

#include "KobLabVIEW_h.h"
#include "support/typelib_expect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TypeLib, TheFileHoldsTheLibraryTheClientsWereBuiltAgainst) {
    std::string p = KOB_TLB_PATH;
    std::wstring path = (p[0] == '/' ? L"Z:" : L"") + std::wstring(p.begin(), p.end());
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib), S_OK) << p;
    EXPECT_EQ(kobtlb::Dump(lib), kobtlb::kExpected);
    lib->Release();
}

// Each slot answers with its own number.
class NumberedPowerSupply : public IPowerSupply {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return 0; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 2; }
    HRESULT STDMETHODCALLTYPE Enable(unsigned char) override { return 3; }
    HRESULT STDMETHODCALLTYPE Frequency(unsigned char) override { return 4; }
    HRESULT STDMETHODCALLTYPE Amplitude(unsigned char, unsigned char, unsigned char) override {
        return 5;
    }
    HRESULT STDMETHODCALLTYPE Formula(BSTR) override { return 6; }
    HRESULT STDMETHODCALLTYPE Waveform(P3Function) override { return 7; }
    HRESULT STDMETHODCALLTYPE Clock(unsigned char) override { return 8; }
    HRESULT STDMETHODCALLTYPE Phase23(short, short) override { return 9; }
    HRESULT STDMETHODCALLTYPE UserTable(VARIANT*) override { return 10; }
    HRESULT STDMETHODCALLTYPE DcMode(unsigned char) override { return 11; }
    HRESULT STDMETHODCALLTYPE PhaseSwitches(unsigned char, unsigned char, unsigned char) override {
        return 12;
    }
};

// The library describes slots 3 to 10 (its dump above); DcMode and
// PhaseSwitches follow UserTable in the vtable a client calls.
TEST(TypeLib, PowerSupplyHasTwoSlotsOnlyTheVtableKnows) {
    using Slot1 = HRESULT(STDMETHODCALLTYPE*)(IPowerSupply*, unsigned char);
    using Slot3 =
        HRESULT(STDMETHODCALLTYPE*)(IPowerSupply*, unsigned char, unsigned char, unsigned char);
    NumberedPowerSupply gen;
    IPowerSupply* p = &gen;
    void** vtbl = *reinterpret_cast<void***>(p);
    EXPECT_EQ(reinterpret_cast<Slot1>(vtbl[11])(p, 1), 11);
    EXPECT_EQ(reinterpret_cast<Slot3>(vtbl[12])(p, 1, 0, 1), 12);
}

} // namespace
