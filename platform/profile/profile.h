// The application profile: the initialization file "KobLabVIEW.INI".
// Windows: the private-profile API on that file (in the Windows directory
// unless KOBLABVIEW_INI names another). POSIX: the same file format at
// $KOBLABVIEW_INI, else $XDG_CONFIG_HOME/KobLabVIEW.INI (~/.config).
#pragma once

#include <string>

namespace platform {

// The value of key as an integer (leading decimal digits, an optional sign),
// or def when the key or the file is missing.
int ProfileGetInt(const std::string& section, const std::string& key, int def);
std::string ProfileGetString(const std::string& section, const std::string& key,
                             const std::string& def);
bool ProfileWriteString(const std::string& section, const std::string& key,
                        const std::string& value);
bool ProfileWriteInt(const std::string& section, const std::string& key, int value);
// Where the profile is read and written.
std::string ProfilePath();

} // namespace platform
