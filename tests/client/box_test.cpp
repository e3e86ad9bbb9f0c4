// What the box sees of a client, and a client's instruments on a box that
// misbehaves: refusals under both error policies, a box that stops
// answering in the middle of a read. Every call comes back with a clean
// HRESULT and the next call works.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "client/fixture.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

using BoxTest = client::ClientTest;

// Create announces the instrument; after Disconnect an announcement fails
// on the closed line and is shown, Connect opens the same line again;
// unloading the module closes the box.
TEST_F(BoxTest, CreateAnnouncesTheInstrumentAndUnloadClosesTheBox) {
    ASSERT_EQ(kob->CreateFuncGen(&gen), S_OK);
    EXPECT_TRUE(Contains(host.BoxLog("0x0E", 2000), "0x0E announce instrument [03]"));
    ASSERT_EQ(kob->Disconnect(), S_OK);
    ASSERT_EQ(kob->CreateRelays(&relays), S_OK);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"Error writing to the serial device.\n"
                                                        "The data could not be written."});
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_TRUE(host.Dialogs().empty());
    EXPECT_FALSE(Contains(host.BoxLog(), "0x11"));
    std::exchange(gen, nullptr)->Release();
    std::exchange(relays, nullptr)->Release();
    std::exchange(kob, nullptr)->Release();
    host.Unload();
    EXPECT_TRUE(Contains(host.BoxLog("0x11", 2000), "0x11"));
    EXPECT_EQ(host.Messages().size(), 1u);
}

class RefusingBoxTest : public BoxTest {
protected:
    RefusingBoxTest()
        : BoxTest({"--fast", "--fault", "0x0e:wrong-ack", "--fault", "0xd2:wrong-ack"}) {}
};

TEST_F(RefusingBoxTest, ARefusalIsShownAndReportedAsTheClientChose) {
    // A refused announcement is shown, not returned; a refused start by
    // default is shown and S_FALSE, on request silent and E_FAIL.
    ASSERT_EQ(kob->CreateScope(&scope), S_OK);
    EXPECT_EQ(scope->Start(), S_FALSE);
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>(2, "The interface did not accept the command sended."));
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    EXPECT_EQ(scope->Start(), E_FAIL);
    EXPECT_EQ(host.Messages().size(), 2u);
    // Any non-zero byte switches reporting back on.
    ASSERT_EQ(kob->ComErrorFlags(7, 0), S_OK);
    EXPECT_EQ(scope->Start(), S_FALSE);
    EXPECT_EQ(host.Messages().size(), 3u);
    // The line is still in step: the next commands work.
    ScopeStatus status = SC_FAILURE;
    EXPECT_EQ(scope->Status(&status), S_OK);
    EXPECT_NE(status, SC_FAILURE);
}

class StoppingBoxTest : public BoxTest {
protected:
    // The memory read answers only part of its reply, once; so does the
    // first online reply.
    StoppingBoxTest()
        : BoxTest({"--fast", "--fault", "0xdc:short:100x1", "--fault", "0xdd:short:1x1"}) {}
};

TEST_F(StoppingBoxTest, ABoxThatStopsAnsweringLeavesACleanResultUnderEitherPolicy) {
    ASSERT_EQ(kob->CreateScope(&scope), S_OK);
    ASSERT_EQ(scope->Timing(1000, 0, 801), S_OK);
    ASSERT_EQ(scope->Trigger(0, 0, 100), S_OK);
    VARIANT a, b;
    for (HRESULT expected : {S_FALSE, S_OK}) {
        ASSERT_EQ(scope->Start(), S_OK);
        EXPECT_EQ(scope->Read(&a, &b), expected);
        // The whole record's arrays, holding what came; the client frees them.
        EXPECT_EQ(client::Values(a).size(), 801u);
        EXPECT_EQ(client::Values(b).size(), 801u);
    }
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>{
                  "Error reading from the serial device.\nThe requested data could not be read."});

    // ReadOnline keeps the client's policy too: no message while switched off.
    ASSERT_EQ(scope->Timing(1000, 1, 801), S_OK);
    ASSERT_EQ(scope->Start(), S_OK);
    ASSERT_EQ(kob->ComErrorFlags(0, 1), S_OK);
    for (HRESULT expected : {E_FAIL, S_OK}) {
        EXPECT_EQ(scope->ReadOnline(&a, &b), expected);
        VariantClear(&a);
        VariantClear(&b);
    }
    EXPECT_EQ(host.Messages().size(), 1u);
    // Stop reaches the box.
    ASSERT_EQ(scope->Stop(), S_OK);
    EXPECT_TRUE(Contains(host.BoxLog("0xD3", 2000), "0xD3 scope stop"));
}

} // namespace
