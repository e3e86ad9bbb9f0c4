// Message texts by string id, in the language chosen by "LangID" or,
// without it, by the user's locale.
#pragma once

#include <cstdint>

#include "framework/wstr.h"

// LANGIDs of the four languages the module ships.
constexpr uint16_t kLangEnglish = 1033;
constexpr uint16_t kLangGerman = 1031;
constexpr uint16_t kLangFrench = 1036;
constexpr uint16_t kLangSpanish = 3082;

// The text of string id in the current language; empty when the module has
// no string of that id (as LoadString gives nothing).
WString LoadResString(uint32_t id);
// The same in a given language (a LANGID; its primary language decides).
WString LoadResString(uint32_t id, uint16_t langId);
// True when the module has a string of that id.
bool HasResString(uint32_t id);

// The language of the calling thread: its own when set, else the module's.
uint16_t CurrentLanguage();
// Sets the language of the calling thread (0 = follow the module).
void SetThreadLanguage(uint16_t langId);
// Sets the module's language (0 = "LangID" of the profile, else the user's
// locale, decided again on the next lookup).
void SetModuleLanguage(uint16_t langId);
