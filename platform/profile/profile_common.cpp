#include <mutex>
#include <string>

#include "platform/profile/profile.h"

namespace platform {

namespace {
std::mutex g_overrideMutex;
std::string g_strOverride;
} // namespace

std::string SetProfilePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    std::string previous = g_strOverride;
    g_strOverride = path;
    return previous;
}

std::string ProfilePath() {
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (!g_strOverride.empty()) {
            return g_strOverride;
        }
    }
    return DefaultProfilePath();
}

int ProfileGetInt(const std::string& section, const std::string& key, int def) {
    const std::string missing = "\x01";
    std::string v = ProfileGetString(section, key, missing);
    if (v == missing) {
        return def;
    }
    // As GetPrivateProfileInt: leading blanks, an optional sign, digits.
    size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) {
        ++i;
    }
    bool neg = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) {
        neg = v[i] == '-';
        ++i;
    }
    long long n = 0;
    bool any = false;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
        n = n * 10 + (v[i] - '0');
        if (n > 0x7FFFFFFF) {
            n = 0x7FFFFFFF;
        }
        any = true;
        ++i;
    }
    if (!any) {
        return 0;
    }
    return static_cast<int>(neg ? -n : n);
}

bool ProfileWriteInt(const std::string& section, const std::string& key, int value) {
    return ProfileWriteString(section, key, std::to_string(value));
}

} // namespace platform
