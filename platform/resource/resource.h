// The host's resource module: the panels (resource type 301), bitmaps,
// cursor 5000, icon 5001 and the message texts of the instrument windows.
// Windows: a resource-only DLL (KobPanels.dll); Linux: the same compiled
// resources in a folder beside the programs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint16_t kPanelResourceType = 301;
// Bitmaps (RT_BITMAP). On Linux LoadResourceData gives them as PNG files.
inline constexpr uint16_t kBitmapResourceType = 2;

// Makes a resource module current (the DLL, or the folder); false when it
// cannot be opened (the previous one stays current).
bool SetResourceModule(const std::u16string& path);
// The module found beside the running program, when there is one.
bool UseDefaultResourceModule();
bool HasResourceModule();

// The bytes of a resource of a custom type (panels); nothing when missing.
std::optional<std::vector<uint8_t>> LoadResourceData(uint16_t type, uint16_t id);
// Windows: the module handle (HINSTANCE) of the current resource module, for
// the backends that load bitmaps, cursors and icons themselves; null elsewhere.
void* NativeResourceModule();
// A message text in the language "LangID" or the user's; empty when missing.
std::u16string LoadResourceString(uint32_t id);

} // namespace platform
