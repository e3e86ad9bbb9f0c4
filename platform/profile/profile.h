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
// Puts the profile at path (empty: back to the usual place); returns the
// previous override. For tools and tests that must not touch the user's.
std::string SetProfilePath(const std::string& path);
// A directory for temporary files, ending in a separator.
std::string TempDirectory();
// The place without an override (each backend's own rule).
std::string DefaultProfilePath();

} // namespace platform
