// A small reader and writer of the INI format of the Windows profile API:
// "[Section]" lines, "key=value" lines, names compared without case.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <vector>

#include "platform/profile/profile.h"

namespace platform {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return {};
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Index of the section header line, or -1.
long FindSection(const std::vector<std::string>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string t = Trim(lines[i]);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']' &&
            SameName(Trim(t.substr(1, t.size() - 2)), section)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Index of the key's line within the section starting after header, or -1;
// end receives the index just past the section's last line.
long FindKey(const std::vector<std::string>& lines, long header, const std::string& key,
             size_t* end) {
    size_t i = static_cast<size_t>(header) + 1;
    long found = -1;
    for (; i < lines.size(); ++i) {
        std::string t = Trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            break;
        }
        size_t eq = t.find('=');
        if (found < 0 && eq != std::string::npos && SameName(Trim(t.substr(0, eq)), key)) {
            found = static_cast<long>(i);
        }
    }
    if (end) {
        *end = i;
    }
    return found;
}

} // namespace

std::string DefaultProfilePath() {
    if (const char* p = std::getenv("KOBLABVIEW_INI"); p && *p) {
        return p;
    }
    std::string dir;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        dir = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        dir = std::string(h) + "/.config";
    } else {
        dir = ".";
    }
    return dir + "/KobLabVIEW.INI";
}

std::string TempDirectory() {
    const char* t = std::getenv("TMPDIR");
    std::string d = t && *t ? t : "/tmp";
    return d.back() == '/' ? d : d + "/";
}

std::string ProfileGetString(const std::string& section, const std::string& key,
                             const std::string& def) {
    auto lines = ReadLines(ProfilePath());
    long header = FindSection(lines, section);
    if (header < 0) {
        return def;
    }
    long k = FindKey(lines, header, key, nullptr);
    if (k < 0) {
        return def;
    }
    std::string t = Trim(lines[static_cast<size_t>(k)]);
    std::string v = Trim(t.substr(t.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

bool ProfileWriteString(const std::string& section, const std::string& key,
                        const std::string& value) {
    std::string path = ProfilePath();
    auto lines = ReadLines(path);
    long header = FindSection(lines, section);
    std::string entry = key + "=" + value;
    if (header < 0) {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        size_t end = 0;
        long k = FindKey(lines, header, key, &end);
        if (k >= 0) {
            lines[static_cast<size_t>(k)] = entry;
        } else {
            lines.insert(lines.begin() + static_cast<long>(end), entry);
        }
    }
    // Written beside the file and renamed, so a reader never sees half a file.
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        for (const auto& l : lines) {
            out << l << "\r\n";
        }
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

} // namespace platform
