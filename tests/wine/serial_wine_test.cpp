// The Windows comm API stream against the simulated box on COM5.
#include <gtest/gtest.h>

#include <chrono>

#include "device/kobface.h"
#include "device/stream.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

namespace {

struct OnCom5 {
    OnCom5() {
        profile.Set("Settings", "Port", "5");
        kobface.SetStream(new CStreamCOM);
        opened = kobface.m_pStream->Open();
    }
    ScriptedUi ui;
    TempProfile profile;
    CKobface kobface;
    bool opened = false;
};

} // namespace

TEST(WindowsSerial, IdentifiesAndAnnouncesThroughTheCommApi) {
    OnCom5 c;
    ASSERT_TRUE(c.opened);
    EXPECT_STREQ(g_szComPort, "COM5");
    ASSERT_TRUE(c.kobface.Identify());
    EXPECT_EQ(g_byModel, 2);
    EXPECT_EQ(c.kobface.GetVersionNumber(), 105);
    c.kobface.CreateAllDevices();
    EXPECT_TRUE(c.ui.messages.empty());
}

TEST(WindowsSerial, APortThatDoesNotExistIsNotOpened) {
    TempProfile other;
    other.Set("Settings", "Port", "7");
    CStreamCOM missing;
    EXPECT_FALSE(missing.Open());
}

TEST(WindowsSerial, AnUnansweredCommandTimesOutAndTheLineStaysUsable) {
    OnCom5 c;
    ASSERT_TRUE(c.opened);
    // The simulator leaves the first release unanswered.
    auto start = std::chrono::steady_clock::now();
    try {
        c.kobface.ReleaseDevice(kTypeScope);
        FAIL() << "no time-out";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20012u);
    }
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900)); // 50 ms a byte + 1 s
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(c.kobface.Identify());
}
