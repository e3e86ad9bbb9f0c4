// A COM client on the digital port and the relays of the simulated box,
// whose outputs are wired to its inputs: words written come back, an output
// pattern plays onto the inputs and the logic analyser records it. The same
// source runs natively and under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "client/fixture.h"

namespace {

using client::Table;

std::vector<unsigned short> Words(VARIANT& v) {
    return client::Items<unsigned short>(v, VT_UI2);
}

std::vector<unsigned short> Counting(unsigned short from, unsigned short n) {
    std::vector<unsigned short> w(n);
    std::iota(w.begin(), w.end(), from);
    return w;
}

class DigitalTest : public client::ClientTest {
protected:
    // One analyser record of count samples after the trigger.
    std::vector<unsigned short> Record(unsigned short count, unsigned short mask,
                                       unsigned short trigger) {
        EXPECT_EQ(dig->Timing(10, count, 0), S_OK);
        EXPECT_EQ(dig->Trigger(mask, trigger), S_OK);
        EXPECT_EQ(dig->Start(), S_OK);
        DigStatus status = DIG_FAILURE;
        for (int i = 0; i < 500 && status != DIG_MEASURED; ++i) {
            EXPECT_EQ(dig->Status(&status), S_OK);
            std::this_thread::sleep_for(std::chrono::milliseconds(status == DIG_MEASURED ? 0 : 10));
        }
        EXPECT_EQ(status, DIG_MEASURED);
        VARIANT v;
        EXPECT_EQ(dig->Read(&v), S_OK);
        return Words(v);
    }
};

TEST_F(DigitalTest, OutputsComeBackOnTheInputsAndPatternsAreRecorded) {
    ASSERT_EQ(kob->CreateDigIO(&dig), S_OK);
    unsigned short in = 0;
    for (unsigned short word : {0xA5C3, 0x0000, 0xFFFF}) {
        ASSERT_EQ(dig->Out(word), S_OK);
        ASSERT_EQ(dig->In(&in), S_OK);
        EXPECT_EQ(in, word);
    }

    // A counting pattern played onto the outputs, recorded in order; the
    // trigger waits for 50 on the low byte.
    Table counting(VT_UI2, Counting(0, 1000));
    ASSERT_EQ(dig->Pattern(&counting.v), S_OK);
    EXPECT_EQ(Record(1000, 0, 0), Counting(0, 1000));
    EXPECT_EQ(Record(10, 0x00FF, 50), Counting(50, 10));
    // The outputs keep the pattern's last word.
    ASSERT_EQ(dig->In(&in), S_OK);
    EXPECT_EQ(in, 999);

    // Online words run free until stopped: the pattern again, from the
    // trigger on.
    ASSERT_EQ(dig->Timing(10, 0, 2), S_OK);
    ASSERT_EQ(dig->Start(), S_OK);
    VARIANT v;
    ASSERT_EQ(dig->ReadOnline(&v), S_OK);
    const std::vector<unsigned short> online = Words(v);
    ASSERT_FALSE(online.empty());
    EXPECT_EQ(online, Counting(50, static_cast<unsigned short>(online.size())));
    ASSERT_EQ(dig->Stop(), S_OK);
}

TEST_F(DigitalTest, TablesOfTheWrongKindAreRefusedAndNothingIsSent) {
    VARIANT v;
    ASSERT_EQ(kob->CreateDigIO(&dig), S_OK);
    for (HRESULT hr :
         {dig->In(nullptr), dig->Read(nullptr), dig->ReadOnline(nullptr), dig->Pattern(nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }

    Table doubles(VT_R8, std::vector<double>{});
    Table tooLong(VT_UI2, std::vector<unsigned short>(65536, 1));
    VARIANT scalar{};
    scalar.vt = VT_UI2;
    VARIANT byRef{};
    byRef.vt = VT_ARRAY | VT_UI2 | VT_BYREF;
    byRef.byref = &tooLong.v.parray;
    EXPECT_EQ(dig->Pattern(&doubles.v), S_FALSE);
    EXPECT_EQ(dig->Pattern(&scalar), S_FALSE);
    EXPECT_EQ(dig->Pattern(&byRef), S_FALSE);
    EXPECT_EQ(dig->Pattern(&tooLong.v), E_INVALIDARG);
    Table empty(VT_UI2, std::vector<unsigned short>{});
    EXPECT_EQ(dig->Pattern(&empty.v), S_OK);
    const auto log = host.BoxLog("output pattern", 1000);
    int patterns = 0;
    for (const std::string& line : log) {
        patterns += line.find("output pattern") != std::string::npos;
    }
    EXPECT_EQ(patterns, log.empty() ? 0 : 1); // the empty table alone

    // A Read without Timing asks for no words.
    ASSERT_EQ(dig->Read(&v), S_OK);
    EXPECT_TRUE(Words(v).empty());
}

TEST_F(DigitalTest, RelaysSetAndReadBack) {
    ASSERT_EQ(kob->CreateRelays(&relays), S_OK);
    EXPECT_EQ(relays->Status(nullptr), E_POINTER);
    for (unsigned char state : {0xA5, 0x00, 0x80}) {
        ASSERT_EQ(relays->Set(state), S_OK);
        unsigned char now = 0x42;
        ASSERT_EQ(relays->Status(&now), S_OK);
        EXPECT_EQ(now, state);
    }
}

} // namespace
