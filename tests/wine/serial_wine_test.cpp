// The Windows comm API stream against the simulated box on COM5.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "device/stream.h"
#include "support/comm_code.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

// A port the system lacks is not opened; on COM5 the box is identified and
// announced, and a command it leaves unanswered times out (the simulator
// skips the first release) without taking the line down.
TEST(WindowsSerial, IdentifiesAnnouncesAndSurvivesAnUnansweredCommand) {
    ScriptedUi ui;
    TempProfile profile;
    profile.Set("Settings", "Port", "7");
    EXPECT_FALSE(CStreamCOM().Open());
    profile.Set("Settings", "Port", "5");
    CKobface kobface;
    kobface.SetStream(new CStreamCOM);
    ASSERT_TRUE(kobface.m_pStream->Open());
    EXPECT_STREQ(g_szComPort, "COM5");
    ASSERT_TRUE(kobface.Identify());
    EXPECT_EQ(g_byModel, 2);
    EXPECT_EQ(kobface.GetVersionNumber(), 105);
    kobface.CreateAllDevices();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(CodeOf([&] { kobface.ReleaseDevice(kTypeScope); }), 20012u);
    EXPECT_TRUE(kobface.Identify());
}
