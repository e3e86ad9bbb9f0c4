// The resource folder on POSIX: files the backends read themselves (the
// cursor and the icon), by their path inside the folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The bytes of "cursor/5000.png" and the like; nothing when missing.
std::optional<std::vector<uint8_t>> LoadResourceFile(const std::string& relative);

} // namespace platform
