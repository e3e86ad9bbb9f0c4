// What the box sees of a client: announcements of the instruments it
// creates and the closing command when the module is unloaded.
#include <gtest/gtest.h>

#include <algorithm>

#include "client/host.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

class BoxTest : public ::testing::Test {
protected:
    explicit BoxTest(const std::vector<std::string>& boxArgs = {}) : host(boxArgs) {}
    void SetUp() override {
        host.SetProfile(host.BoxLine(), {{host.BoxLine(), host.BoxPath()}});
        ASSERT_EQ(host.Create(&kob), S_OK);
        ASSERT_EQ(kob->Connect(), S_OK);
    }
    void TearDown() override {
        if (kob) {
            kob->Release();
        }
    }
    client::Host host;
    IKobaltix* kob = nullptr;
};

TEST_F(BoxTest, CreateAnnouncesTheInstrumentAndUnloadClosesTheBox) {
    IFuncGen* gen = nullptr;
    ASSERT_EQ(kob->CreateFuncGen(&gen), S_OK);
    gen->Release();
    EXPECT_TRUE(Contains(host.BoxLog("0x0E", 2000), "0x0E announce instrument [03]"));
    EXPECT_FALSE(Contains(host.BoxLog(), "0x11"));
    kob->Release();
    kob = nullptr;
    host.Unload();
    EXPECT_TRUE(Contains(host.BoxLog("0x11", 2000), "0x11"));
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(BoxTest, AfterDisconnectAnAnnouncementFailsOnTheClosedLineAndIsShown) {
    ASSERT_EQ(kob->Disconnect(), S_OK);
    IRelays* relays = nullptr;
    ASSERT_EQ(kob->CreateRelays(&relays), S_OK);
    relays->Release();
    auto messages = host.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error writing to the serial device.\nThe data could not be written.");
    // The stream is still there: connecting again opens the same line.
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_TRUE(host.Dialogs().empty());
}

class RefusingBoxTest : public BoxTest {
protected:
    RefusingBoxTest() : BoxTest({"--fault", "0x0e:wrong-ack"}) {}
};

TEST_F(RefusingBoxTest, ARefusedAnnouncementIsShownNotReturned) {
    IDigIO* dig = nullptr;
    ASSERT_EQ(kob->CreateDigIO(&dig), S_OK);
    dig->Release();
    auto messages = host.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "The interface did not accept the command sended.");
}

} // namespace
