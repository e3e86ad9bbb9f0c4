// The type library as OLE Automation finds it through the registry after
// regsvr32, in each language the module carries it in, and a late-bound
// client that knows the server only through that library: it takes a
// method's vtable offset from the type information and calls the real
// server object there, as LabVIEW does with an interface that is not dual.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwctype>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/typelib_expect.h"

namespace {

using kobtlb::Guid;
using kobtlb::Narrow;
using kobtlb::Str;

const wchar_t kLibId[] = L"{8D89597B-2429-4F22-828F-02E7AFFAA018}";
const wchar_t kRootIid[] = L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}";
const wchar_t kBoxIdentity[] = L"KX7710-3B2 Vers.  105 KOBALTIX Interface";
const LCID kLanguages[] = {1031, 1033, 1036, 3082};

// Any box or dialog the module shows is read and closed, so that a failure
// shows up as a wrong result with its text instead of a test that waits.
class Closer {
public:
    Closer()
        : m_thread([this] {
              while (!m_stop) {
                  EnumWindows(Close, reinterpret_cast<LPARAM>(this));
                  Sleep(50);
              }
          }) {}
    ~Closer() {
        m_stop = true;
        m_thread.join();
    }
    std::vector<std::string> Seen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    static BOOL CALLBACK Close(HWND wnd, LPARAM param) {
        auto* self = reinterpret_cast<Closer*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        wchar_t cls[16] = {};
        GetClassNameW(wnd, cls, 16);
        if (pid != GetCurrentProcessId() || lstrcmpW(cls, L"#32770") != 0 ||
            !IsWindowVisible(wnd)) {
            return TRUE;
        }
        wchar_t text[1024] = {};
        if (!GetDlgItemTextW(wnd, 0xFFFF, text, 1024)) {
            GetDlgItemTextW(wnd, 101, text, 1024);
        }
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_seen.push_back(Narrow(text));
        }
        SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return TRUE;
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_seen;
    std::thread m_thread;
};

class RegisteredTypeLib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

// regsvr32 registered the library once for every locale: each language
// asks the registry, reaches the module's own file and reads the full
// library there.
TEST_F(RegisteredTypeLib, EveryLanguageReadsTheWholeLibraryFromTheModule) {
    const GUID libId = Guid(kLibId);
    for (LCID lcid : kLanguages) {
        SCOPED_TRACE("LCID " + std::to_string(lcid));
        // Resources are looked up in the thread's language.
        SetThreadUILanguage(LANGIDFROMLCID(lcid));
        SetThreadLocale(lcid);

        BSTR path = nullptr;
        ASSERT_EQ(QueryPathOfRegTypeLib(libId, 1, 0, lcid, &path), S_OK);
        std::wstring file = Str(path);
        for (wchar_t& c : file) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
        const std::wstring module = L"koblabview.dll";
        ASSERT_GE(file.size(), module.size()) << Narrow(file);
        EXPECT_EQ(file.substr(file.size() - module.size()), module) << Narrow(file);

        ITypeLib* lib = nullptr;
        ASSERT_EQ(LoadRegTypeLib(libId, 1, 0, lcid, &lib), S_OK);
        EXPECT_EQ(kobtlb::Dump(lib), kobtlb::kExpected);
        lib->Release();

        // Version 1.0 is the only one: a later one is not found.
        lib = nullptr;
        EXPECT_NE(LoadRegTypeLib(libId, 2, 0, lcid, &lib), S_OK);
        EXPECT_EQ(lib, nullptr);
    }
    SetThreadUILanguage(1033);
    SetThreadLocale(1033);
}

// The four language resources of the module hold the same library.
TEST_F(RegisteredTypeLib, TheModuleCarriesTheSameLibraryInFourLanguages) {
    BSTR path = nullptr;
    ASSERT_EQ(QueryPathOfRegTypeLib(Guid(kLibId), 1, 0, 0, &path), S_OK);
    const std::wstring file = Str(path);
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << Narrow(file);
    std::vector<std::string> libraries;
    for (LCID lcid : kLanguages) {
        HRSRC res = FindResourceExW(module, L"TYPELIB", MAKEINTRESOURCEW(1),
                                    static_cast<WORD>(LANGIDFROMLCID(lcid)));
        ASSERT_NE(res, nullptr) << "no type library in language " << lcid;
        HGLOBAL data = LoadResource(module, res);
        ASSERT_NE(data, nullptr);
        const char* bytes = static_cast<const char*>(LockResource(data));
        libraries.emplace_back(bytes, bytes + SizeofResource(module, res));
    }
    FreeLibrary(module);
    // A type library starts with the signature "MSFT".
    ASSERT_GE(libraries[0].size(), 4u);
    EXPECT_EQ(libraries[0].substr(0, 4), "MSFT");
    for (size_t i = 1; i < libraries.size(); ++i) {
        EXPECT_TRUE(libraries[i] == libraries[0]) << "language " << kLanguages[i] << " differs";
    }
}

// A client that has the type library and the object's IUnknown only.
class LateBound : public RegisteredTypeLib {
protected:
    void SetUp() override {
        RegisteredTypeLib::SetUp();
        ITypeLib* lib = nullptr;
        ASSERT_EQ(LoadRegTypeLib(Guid(kLibId), 1, 0, 1033, &lib), S_OK);
        HRESULT hr = lib->GetTypeInfoOfGuid(Guid(kRootIid), &m_pInfo);
        lib->Release();
        ASSERT_EQ(hr, S_OK);
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(L"Kobaltix.LabVIEW", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, Guid(kRootIid),
                                   reinterpret_cast<void**>(&m_pObject)),
                  S_OK);
    }
    void TearDown() override {
        if (m_pObject) {
            m_pObject->Release();
        }
        if (m_pInfo) {
            m_pInfo->Release();
        }
        RegisteredTypeLib::TearDown();
    }

    // The vtable offset the type information gives for a method by name,
    // -1 when it has no such method.
    SHORT Offset(const wchar_t* name) {
        TYPEATTR* attr = nullptr;
        EXPECT_EQ(m_pInfo->GetTypeAttr(&attr), S_OK);
        if (!attr) {
            return -1;
        }
        SHORT offset = -1;
        for (UINT i = 0; i < attr->cFuncs && offset < 0; ++i) {
            FUNCDESC* func = nullptr;
            if (m_pInfo->GetFuncDesc(i, &func) != S_OK) {
                continue;
            }
            BSTR n = nullptr;
            m_pInfo->GetDocumentation(func->memid, &n, nullptr, nullptr, nullptr);
            if (Str(n) == name) {
                offset = func->oVft;
            }
            m_pInfo->ReleaseFuncDesc(func);
        }
        m_pInfo->ReleaseTypeAttr(attr);
        return offset;
    }

    // Calls the method through its offset; the method's own HRESULT, or the
    // failure of the call itself.
    HRESULT Call(const wchar_t* name, std::vector<VARIANT> args) {
        SHORT offset = Offset(name);
        EXPECT_GE(offset, 0) << Narrow(name);
        if (offset < 0) {
            return E_NOTIMPL;
        }
        std::vector<VARTYPE> types;
        std::vector<VARIANTARG*> pointers;
        for (VARIANT& a : args) {
            types.push_back(V_VT(&a));
            pointers.push_back(&a);
        }
        VARIANT result;
        VariantInit(&result);
        HRESULT call =
            DispCallFunc(m_pObject, static_cast<ULONG_PTR>(offset), CC_STDCALL, VT_ERROR,
                         static_cast<UINT>(args.size()), types.data(), pointers.data(), &result);
        EXPECT_EQ(call, S_OK) << "DispCallFunc for " << Narrow(name);
        if (call != S_OK) {
            return call;
        }
        EXPECT_EQ(V_VT(&result), VT_ERROR);
        return V_ERROR(&result);
    }

    static VARIANT Byte(BYTE b) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_UI1;
        V_UI1(&v) = b;
        return v;
    }
    static VARIANT OutText(BSTR* text) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BYREF | VT_BSTR;
        V_BSTRREF(&v) = text;
        return v;
    }
    std::wstring Version() {
        BSTR text = nullptr;
        EXPECT_EQ(Call(L"Version", {OutText(&text)}), S_OK);
        return Str(text);
    }

    ITypeInfo* m_pInfo = nullptr;
    IUnknown* m_pObject = nullptr;
};

TEST_F(LateBound, MethodsAreReachedAtTheOffsetsTheLibraryGives) {
    Closer user;
    EXPECT_EQ(Version(), L""); // nothing identified yet
    EXPECT_EQ(Call(L"ComErrorFlags", {Byte(1), Byte(0)}), S_OK);
    EXPECT_EQ(Call(L"Connect", {}), S_OK);
    EXPECT_EQ(Version(), kBoxIdentity);
    // The frame's own answer for a missing out pointer.
    EXPECT_EQ(Call(L"Version", {OutText(nullptr)}), E_POINTER);
    EXPECT_EQ(Call(L"Disconnect", {}), S_OK);
    // The identity stays after the line is closed.
    EXPECT_EQ(Version(), kBoxIdentity);
    EXPECT_EQ(user.Seen(), std::vector<std::string>{});
}

// Late binding by name: the standard dispatcher built on the same type
// information invokes the method through the same slot.
TEST_F(LateBound, TheStandardDispatcherInvokesByName) {
    IUnknown* outer = nullptr;
    ASSERT_EQ(CreateStdDispatch(nullptr, m_pObject, m_pInfo, &outer), S_OK);
    IDispatch* disp = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)), S_OK);
    outer->Release();

    auto invoke = [disp](const wchar_t* method, VARIANT* result) {
        std::wstring name = method;
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, 1033, &id);
        EXPECT_EQ(hr, S_OK) << Narrow(name);
        if (hr != S_OK) {
            return hr;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXCEPINFO info{};
        UINT badArg = 0;
        return disp->Invoke(id, IID_NULL, 1033, DISPATCH_METHOD, &none, result, &info, &badArg);
    };
    Closer user;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(invoke(L"Connect", &result), S_OK);
    VariantClear(&result);
    // The out, retval parameter comes back as the call's result.
    EXPECT_EQ(invoke(L"Version", &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result), SysStringLen(V_BSTR(&result))), kBoxIdentity);
    VariantClear(&result);
    EXPECT_EQ(user.Seen(), std::vector<std::string>{});

    // A name the interface does not have.
    std::wstring unknown = L"DcMode";
    LPOLESTR names[] = {unknown.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, names, 1, 1033, &id), DISP_E_UNKNOWNNAME);
    disp->Release();
}

} // namespace
