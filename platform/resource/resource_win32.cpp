// The host's resource module on Windows: a resource-only DLL mapped as data.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/com/module_win32.h"
#include "platform/profile/profile.h"
#include "platform/resource/resource.h"
#include "platform/ui/ui.h"

namespace platform {

namespace {

// Lookups copy what they need under the lock, so that a module being
// replaced is never read after it has been unmapped.
std::mutex g_lock;
std::atomic<HMODULE> g_module{nullptr};

constexpr uint16_t kEnglish = 0x0409;

std::wstring Directory(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Entry id % 16 of a string block: 16 counted UTF-16 strings one after another.
std::u16string FindInBlock(HMODULE module, uint32_t id, uint16_t lang) {
    HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(6), // RT_STRING
                                MAKEINTRESOURCEW(id / 16 + 1), lang);
    if (!res) {
        return {};
    }
    DWORD size = SizeofResource(module, res);
    HGLOBAL data = LoadResource(module, res);
    const auto* p = static_cast<const char16_t*>(data ? LockResource(data) : nullptr);
    if (!p) {
        return {};
    }
    const char16_t* end = p + size / 2;
    for (uint32_t i = 0; p < end; ++i) {
        size_t len = *p++;
        if (len > size_t(end - p)) {
            return {}; // a block that claims more than it holds
        }
        if (i == id % 16) {
            return std::u16string(p, len);
        }
        p += len;
    }
    return {};
}

} // namespace

bool SetResourceModule(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) {
        return false;
    }
    std::wstring name(path.begin(), path.end());
    HMODULE module = LoadLibraryExW(name.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    if (HMODULE old = g_module.exchange(module)) {
        FreeLibrary(old);
    }
    return true;
}

bool UseDefaultResourceModule() {
    // Beside the module this code runs in (the server DLL or a program), else
    // beside the program that loaded it.
    for (HMODULE m : {ThisModule(), HMODULE(nullptr)}) {
        std::wstring dir = Directory(m);
        if (!dir.empty() &&
            SetResourceModule(std::u16string(dir.begin(), dir.end()) + u"KobPanels.dll")) {
            return true;
        }
    }
    return false;
}

bool HasResourceModule() {
    return g_module.load() != nullptr;
}

void* NativeResourceModule() {
    return g_module.load();
}

std::optional<std::vector<uint8_t>> LoadResourceData(uint16_t type, uint16_t id) {
    std::lock_guard<std::mutex> lock(g_lock);
    HMODULE module = g_module.load();
    HRSRC res =
        module ? FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type)) : nullptr;
    HGLOBAL data = res ? LoadResource(module, res) : nullptr;
    const auto* p = static_cast<const uint8_t*>(data ? LockResource(data) : nullptr);
    if (!p) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(p, p + SizeofResource(module, res));
}

std::u16string LoadResourceString(uint32_t id) {
    // A text missing in the chosen language is taken from the language's
    // main variant (de-CH from de-DE), else shown in English rather than not
    // at all.
    int chosen = ProfileGetInt("Settings", "LangID", 0);
    uint16_t lang = chosen > 0 && chosen <= 0xFFFF ? uint16_t(chosen) : UserLanguage();
    std::lock_guard<std::mutex> lock(g_lock);
    HMODULE module = g_module.load();
    if (!module || id > 0xFFFF) {
        return {};
    }
    for (uint16_t l :
         {lang, uint16_t(MAKELANGID(PRIMARYLANGID(lang), SUBLANG_DEFAULT)), kEnglish}) {
        std::u16string text = FindInBlock(module, id, l);
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

} // namespace platform
