// Connection set-up: the line from "Port", identification, and what the
// connection dialog offers and does when no box answers.
#include <gtest/gtest.h>

#include "device/connect.h"
#include "device/kobface.h"
#include "device/stream.h"
#include "platform/profile/profile.h"
#include "sim/inprocess.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

using kobsim::FaultKind;
using kobsim::InProcessBox;

namespace {

struct Line {
    explicit Line(int port) {
        profile.Set("Settings", "Port", std::to_string(port));
        box.AttachSerial(200);
        box.AttachUsb();
    }
    TempProfile profile;
    ScriptedUi ui;
    InProcessBox box;
    CKobface kobface;
};

} // namespace

TEST(Connect, OpensTheStoredLineAndIdentifiesWithoutAsking) {
    Line s(2);
    EXPECT_EQ(s.kobface.Connect(0, 1), 6);
    EXPECT_STREQ(g_szComPort, "COM2");
    EXPECT_TRUE(s.kobface.IsConnected());
    EXPECT_TRUE(s.ui.dialogs.empty());
    EXPECT_EQ(s.ui.waitDepth, 0);
    EXPECT_EQ(s.box.TheBox().Commands(), (std::vector<uint8_t>{0x02, 0x0B}));
    EXPECT_EQ(s.box.UsbWrites(), 0);

    Line usb(5);
    EXPECT_EQ(usb.kobface.Connect(0, 1), 6);
    EXPECT_EQ(usb.box.UsbWrites(), 2); // identify, model query
}

TEST(Connect, NoBoxOnAnOpenLineAndRepeatingOnUsbStoresTheLineAndConnects) {
    Line s(3);
    s.box.TheBox().AddFault(0x02, {FaultKind::NoReply, 0, 1});
    s.ui.dialogAnswers.push_back({kInitRepeat, 4});
    EXPECT_EQ(s.kobface.Connect(0, 1), 6);
    ASSERT_EQ(s.ui.dialogs.size(), 1u);
    EXPECT_EQ(Narrow(s.ui.dialogs[0].message).rfind("No interface can be found", 0), 0u);
    EXPECT_EQ(s.ui.dialogs[0].selection, 2); // COM3 preselected
    EXPECT_EQ(platform::ProfileGetInt("Settings", "Port", 0), 5);
    EXPECT_GT(s.box.UsbWrites(), 0);
    EXPECT_TRUE(s.ui.messages.empty()); // the time-out itself is not shown
}

TEST(Connect, SimulationOnlyWhenAllowedAndExitLeavesNoStream) {
    Line s(1);
    s.box.SetPresent(false);
    s.ui.dialogAnswers.push_back({kInitSimulate, 0});
    EXPECT_EQ(s.kobface.Connect(1, 0), 7);
    ASSERT_NE(s.kobface.m_pStream, nullptr);
    // The simulated stream is never open, reads zeros and reads no
    // acknowledgement.
    EXPECT_FALSE(s.kobface.IsConnected());
    EXPECT_EQ(Narrow(s.kobface.m_pStream->GetName()), "Demo-Interface");
    uint8_t b[2] = {1, 2};
    s.kobface.m_pStream->Read(b, 2);
    EXPECT_EQ(b[0] + b[1], 0);
    EXPECT_NO_THROW(s.kobface.CreateDevice(kTypeScope));
    EXPECT_EQ(s.ui.dialogs[0].templateId, 20001u);
    EXPECT_TRUE(s.ui.dialogs[0].allowSimulation);

    // Not allowed, the answer is taken as Exit, which leaves no stream
    // behind; only the dialog speaks. A stored line outside the list
    // preselects the first.
    Line refused(9);
    refused.box.SetPresent(false);
    refused.ui.dialogAnswers.push_back({kInitSimulate, 0});
    EXPECT_EQ(refused.kobface.Connect(0, 1), 2);
    EXPECT_EQ(refused.kobface.m_pStream, nullptr);
    ASSERT_EQ(refused.ui.dialogs.size(), 1u);
    EXPECT_EQ(refused.ui.dialogs[0].selection, 0);
    EXPECT_EQ(refused.ui.dialogs[0].templateId, 20000u);
    EXPECT_FALSE(refused.ui.dialogs[0].allowSimulation);
    EXPECT_TRUE(refused.ui.messages.empty());
}
