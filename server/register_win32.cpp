// Self-registration: the class with its ProgID and apartment threading, the
// type-library id the clients look up, and the type library carried in this
// module's own file.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "framework/strings.h"
#include "platform/com/module_win32.h"
#include "server/koblabview.h"

namespace {

constexpr wchar_t kProgId[] = L"Kobaltix.LabVIEW";
constexpr wchar_t kClassTypeLib[] = L"{AEFFB600-A7EE-477B-8E63-2E84D27581AF}";
constexpr unsigned kTypeNameId = 101;
constexpr int kToolboxBitmapId = 202;

std::wstring ModulePath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(platform::ThisModule(), path, MAX_PATH);
    return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(path, n);
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    int n = StringFromGUID2(guid, text, 40);
    return n > 0 ? std::wstring(text) : std::wstring();
}

// Writes one value below HKEY_CLASSES_ROOT, creating the key.
bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG r = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

bool DeleteTree(const std::wstring& key) {
    LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (r == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (r != ERROR_SUCCESS) {
        return false;
    }
    r = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// The control-class registration of the framework: class, ProgID, server,
// toolbox bitmap, status and type-library reference.
bool RegisterClassKeys() {
    const std::wstring path = ModulePath();
    const std::wstring clsid = GuidText(CLSID_Kobaltix);
    if (path.empty() || clsid.empty()) {
        return false;
    }
    const WString name16 = LoadResString(kTypeNameId);
    const std::wstring name(name16.begin(), name16.end());
    const std::wstring key = L"CLSID\\" + clsid;
    return SetKey(key, nullptr, name) && SetKey(key + L"\\ProgID", nullptr, kProgId) &&
           SetKey(key + L"\\InprocServer32", nullptr, path) &&
           SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
           SetKey(key + L"\\ToolboxBitmap32", nullptr,
                  path + L", " + std::to_wstring(kToolboxBitmapId)) &&
           SetKey(key + L"\\MiscStatus", nullptr, L"0") &&
           SetKey(key + L"\\Control", nullptr, L"") &&
           SetKey(key + L"\\TypeLib", nullptr, kClassTypeLib) &&
           SetKey(key + L"\\Version", nullptr, L"1.0") && SetKey(kProgId, nullptr, name) &&
           SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid);
}

bool UnregisterClassKeys() {
    const std::wstring clsid = GuidText(CLSID_Kobaltix);
    bool ok = !clsid.empty() && DeleteTree(L"CLSID\\" + clsid);
    return DeleteTree(kProgId) && ok;
}

} // namespace

STDAPI DllRegisterServer() {
    if (!RegisterClassKeys()) {
        return SELFREG_E_CLASS;
    }
    ITypeLib* lib = nullptr;
    const std::wstring path = ModulePath();
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib);
    if (FAILED(hr)) {
        return hr;
    }
    lib->Release();
    return S_OK;
}

STDAPI DllUnregisterServer() {
    if (!UnregisterClassKeys()) {
        return SELFREG_E_CLASS;
    }
    UnRegisterTypeLib(LIBID_KobLabVIEW, 1, 0, LOCALE_NEUTRAL,
                      sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    return S_OK;
}
