// The type library as OLE Automation finds it through the registry after
// regsvr32, in each language the module carries it in, and a late-bound
// client that knows the server only through that library: the standard
// dispatcher calls the real server object at the vtable slots the type
// information gives, as with an interface that is not dual.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "support/own_dialogs.h"
#include "support/typelib_expect.h"

namespace {

using kobtlb::Guid;

const wchar_t kLibId[] = L"{8D89597B-2429-4F22-828F-02E7AFFAA018}";
const wchar_t kRootIid[] = L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}";
const wchar_t kBoxIdentity[] = L"KX7710-3B2 Vers.  105 KOBALTIX Interface";

class RegisteredTypeLib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

// regsvr32 registered the library once for every locale: each language
// finds it through the registry and reads the full library.
TEST_F(RegisteredTypeLib, EveryLanguageReadsTheWholeLibraryFromTheModule) {
    for (LCID lcid : {1031, 1033, 1036, 3082}) {
        SCOPED_TRACE("LCID " + std::to_string(lcid));
        // Resources are looked up in the thread's language.
        SetThreadUILanguage(LANGIDFROMLCID(lcid));
        SetThreadLocale(lcid);

        ITypeLib* lib = nullptr;
        ASSERT_EQ(LoadRegTypeLib(Guid(kLibId), 1, 0, lcid, &lib), S_OK);
        EXPECT_EQ(kobtlb::Dump(lib), kobtlb::kExpected);
        lib->Release();
    }
    SetThreadUILanguage(1033);
    SetThreadLocale(1033);
}

// Late binding by name on the object's IUnknown only: the standard
// dispatcher built on the type information invokes each method through the
// slot the library gives.
TEST_F(RegisteredTypeLib, TheStandardDispatcherInvokesByName) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(Guid(kLibId), 1, 0, 1033, &lib), S_OK);
    ITypeInfo* typeInfo = nullptr;
    HRESULT hr = lib->GetTypeInfoOfGuid(Guid(kRootIid), &typeInfo);
    lib->Release();
    ASSERT_EQ(hr, S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"Kobaltix.LabVIEW", &clsid), S_OK);
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, Guid(kRootIid),
                               reinterpret_cast<void**>(&object)),
              S_OK);
    IUnknown* outer = nullptr;
    ASSERT_EQ(CreateStdDispatch(nullptr, object, typeInfo, &outer), S_OK);
    IDispatch* disp = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)), S_OK);
    outer->Release();

    auto invoke = [disp](const wchar_t* method, VARIANT* result) {
        std::wstring name = method;
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, 1033, &id);
        EXPECT_EQ(hr, S_OK) << owndlg::Utf8(name.c_str());
        if (hr != S_OK) {
            return hr;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXCEPINFO info{};
        UINT badArg = 0;
        return disp->Invoke(id, IID_NULL, 1033, DISPATCH_METHOD, &none, result, &info, &badArg);
    };
    // Any box the module shows is closed, so that a failure shows up as a
    // wrong result instead of a test that waits.
    owndlg::User user(
        [](HWND wnd) { SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); });
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(invoke(L"Connect", &result), S_OK);
    VariantClear(&result);
    // The out, retval parameter comes back as the call's result.
    EXPECT_EQ(invoke(L"Version", &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result), SysStringLen(V_BSTR(&result))), kBoxIdentity);
    VariantClear(&result);

    disp->Release();
    object->Release(); // last: the dispatcher called into it
    typeInfo->Release();
}

} // namespace
