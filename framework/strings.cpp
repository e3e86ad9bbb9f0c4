#include "framework/strings.h"

#include <atomic>

#include "platform/profile/profile.h"
#include "platform/ui/ui.h"

namespace {

struct Entry {
    uint32_t id;
    const char16_t* text[4]; // en, de, fr, es
};

#define KOB_STRING(id, en, de, fr, es) {id, {en, de, fr, es}},
constexpr Entry kTable[] = {
#include "kob_strings.inc"
};
#undef KOB_STRING

const Entry* Find(uint32_t id) {
    // The table is generated sorted by id.
    size_t lo = 0;
    size_t hi = sizeof(kTable) / sizeof(kTable[0]);
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (kTable[mid].id < id) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo < sizeof(kTable) / sizeof(kTable[0]) && kTable[lo].id == id ? &kTable[lo] : nullptr;
}

int Column(uint16_t langId) {
    switch (langId & 0x3FF) {
    case 0x07:
        return 1;
    case 0x0C:
        return 2;
    case 0x0A:
        return 3;
    default:
        return 0;
    }
}

std::atomic<uint16_t> g_wModuleLang{0};
thread_local uint16_t t_wThreadLang = 0;

uint16_t ModuleLanguage() {
    uint16_t lang = g_wModuleLang.load();
    if (lang == 0) {
        int fromProfile = platform::ProfileGetInt("Settings", "LangID", 0);
        lang = fromProfile > 0 && fromProfile <= 0xFFFF ? static_cast<uint16_t>(fromProfile)
                                                        : platform::UserLanguage();
        g_wModuleLang.store(lang);
    }
    return lang;
}

} // namespace

WString LoadResString(uint32_t id, uint16_t langId) {
    const Entry* e = Find(id);
    return e ? WString(e->text[Column(langId)]) : WString();
}

WString LoadResString(uint32_t id) {
    return LoadResString(id, CurrentLanguage());
}

bool HasResString(uint32_t id) {
    return Find(id) != nullptr;
}

uint16_t CurrentLanguage() {
    return t_wThreadLang ? t_wThreadLang : ModuleLanguage();
}

void SetThreadLanguage(uint16_t langId) {
    t_wThreadLang = langId;
}

void SetModuleLanguage(uint16_t langId) {
    g_wModuleLang.store(langId);
}
