#include <windows.h>

#include <cstdlib>
#include <string>

#include "framework/wstr.h"
#include "platform/profile/profile.h"

namespace platform {

namespace {
std::wstring W(const std::string& s) {
    WString w = Widen(s);
    return std::wstring(w.begin(), w.end());
}
} // namespace

std::string DefaultProfilePath() {
    // The process's environment as the system holds it: the C runtime's
    // copy misses what the host program set after start-up.
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"KOBLABVIEW_INI", buf, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) {
        return Narrow(std::u16string(buf, buf + n));
    }
    // A bare name: the profile API looks for it in the Windows directory.
    return "KobLabVIEW.INI";
}

std::string TempDirectory() {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) {
        return ".\\";
    }
    return Narrow(std::u16string(reinterpret_cast<const char16_t*>(buf), n));
}

std::string ProfileGetString(const std::string& section, const std::string& key,
                             const std::string& def) {
    wchar_t buf[1024];
    GetPrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(def).c_str(), buf, 1024,
                             W(ProfilePath()).c_str());
    std::u16string u(reinterpret_cast<const char16_t*>(buf));
    return Narrow(u);
}

bool ProfileWriteString(const std::string& section, const std::string& key,
                        const std::string& value) {
    return WritePrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(value).c_str(),
                                      W(ProfilePath()).c_str()) != 0;
}

} // namespace platform
