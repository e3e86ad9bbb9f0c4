// The interface device on a real serial stream to the simulator program,
// the way a user's box is reached through a COM port.
#include <gtest/gtest.h>

#include <memory>

#include "device/kobface.h"
#include "device/stream.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "support/temp_profile.h"

namespace {

struct Session {
    explicit Session(const std::vector<std::string>& args) : sim(args) {
        profile.Set("Settings", "Port", "2");
        profile.Set("Ports", "COM2", sim.Path());
        kobface = std::make_unique<CKobface>();
        kobface->SetStream(new CStreamCOM);
        opened = !sim.Path().empty() && kobface->m_pStream->Open();
    }
    ScriptedUi ui;
    TempProfile profile;
    SimProcess sim;
    std::unique_ptr<CKobface> kobface;
    bool opened = false;
};

} // namespace

TEST(KobsimOverPty, BothModelsIdentifyAndTheClosingCommandEndsAOneShotBox) {
    for (const char* model : {"1", "2"}) {
        SCOPED_TRACE(model);
        Session s({"--model", model, "--version", "107", "--once"});
        ASSERT_TRUE(s.opened) << s.sim.Path();
        ASSERT_TRUE(s.kobface->Identify());
        EXPECT_EQ(g_byModel, model[0] - '0');
        EXPECT_EQ(s.kobface->GetVersionNumber(), 107);
        s.kobface->CreateDevice(kTypeMeter);
        EXPECT_TRUE(s.ui.messages.empty());
        EXPECT_FALSE(s.sim.Exited(0));
        s.kobface.reset(); // unloading sends 0x11
        EXPECT_TRUE(s.sim.Exited(5000));
    }
}

TEST(KobsimOverPty, AnOldBoxIsTakenAsModelOne) {
    Session s({"--model", "1", "--old-box"});
    ASSERT_TRUE(s.opened);
    ASSERT_TRUE(s.kobface->Identify());
    EXPECT_EQ(g_byModel, 1);
}

TEST(KobsimOverPty, InjectedFaultsReachTheHostAsTheBoxWouldCause) {
    Session s({"--fault", "0x0e:wrong-ack", "--fault", "0x0b:hangupx1"});
    ASSERT_TRUE(s.opened);
    s.kobface->CreateDevice(kTypeScope);
    EXPECT_EQ(s.ui.messages.size(), 1u); // the refusal is shown, not passed on
    EXPECT_THROW(s.kobface->Identify(), CCommException);
    EXPECT_TRUE(s.sim.Exited(5000)); // the line was dropped
}
