// A profile of the test's own: a temporary file in place of the user's
// for the lifetime of the object.
#pragma once

#include <cstdio>
#include <random>
#include <string>

#include "platform/profile/profile.h"

class TempProfile {
public:
    explicit TempProfile(const std::string& name = "kob-test") {
        // Unique across the test programs that run side by side.
        static const unsigned run = std::random_device{}();
        static int counter = 0;
        m_strPath = platform::TempDirectory() + name + "-" + std::to_string(run) + "-" +
                    std::to_string(++counter) + ".ini";
        std::remove(m_strPath.c_str());
        m_strPrevious = platform::SetProfilePath(m_strPath);
    }
    ~TempProfile() {
        std::remove(m_strPath.c_str());
        platform::SetProfilePath(m_strPrevious);
    }
    TempProfile(const TempProfile&) = delete;
    TempProfile& operator=(const TempProfile&) = delete;

    void Set(const std::string& section, const std::string& key, const std::string& value) {
        platform::ProfileWriteString(section, key, value);
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    std::string m_strPrevious;
};
