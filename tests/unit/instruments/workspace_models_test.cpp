// The interface device stores the scope's and the meter's settings with the
// rest of the workspace, and a fresh module gets them back: the settings
// the two instruments share come back once, the buffer's record as well.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/meter/meter.h"
#include "instruments/scope/scope.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"

namespace {

struct Rig {
    Rig() : stream(new ScriptedStream) {
        kobface.SetStream(stream);
        g_byModel = 2;
        stream->Reply({'!', '!'});
        kobface.CreateDevice(kTypeScope);
        kobface.CreateDevice(kTypeMeter);
    }
    ScriptedUi ui;
    CKobface kobface;
    ScriptedStream* stream;
};

uint32_t U32At(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

} // namespace

TEST(WorkspaceModels, ScopeAndMeterSettingsSurviveAStoreAndLoad) {
    std::vector<uint8_t> data;
    {
        Rig r;
        ASSERT_NE(dynamic_cast<CScope*>(r.kobface.m_pScope), nullptr);
        ASSERT_NE(dynamic_cast<CKobMeter*>(r.kobface.m_pMeter), nullptr);
        EXPECT_TRUE(r.ui.messages.empty());
        g_nRangeA = 3;
        g_nCouplingA = 1;
        g_nRangeB = 11;
        g_nCouplingB = 2;
        g_nTimeBase = 12;
        g_nTriggerLevel = -37;
        g_nPostTrigger = 25;
        g_dShunt1 = 4.7;
        g_dShunt2 = 0.1;
        g_ScopeBufferA.Resize(4);
        g_ScopeBufferA.Append(1000);
        CArchive ar(data);
        r.kobface.Serialize(ar);
    }
    // Version, then digital I/O to function generator and three-phase
    // generator absent, the scope present.
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(U32At(data, 4 * i), i == 0 ? 1u : 0u) << "word " << i;
    }
    EXPECT_EQ(U32At(data, 20), 1u);

    g_nRangeA = g_nRangeB = 8;
    g_nCouplingA = g_nCouplingB = 0;
    g_nTimeBase = 0;
    g_nTriggerLevel = 0;
    g_nPostTrigger = 100;
    g_dShunt1 = g_dShunt2 = 10.0;
    g_ScopeBufferA.Resize(8192);

    Rig r;
    r.kobface.m_pScope->TakeChanged();
    CArchive in(data.data(), data.size());
    r.kobface.Serialize(in);
    EXPECT_EQ(g_nRangeA, 3u);
    EXPECT_EQ(g_nCouplingA, 1u);
    EXPECT_EQ(g_nRangeB, 11u);
    EXPECT_EQ(g_nCouplingB, 2u);
    EXPECT_EQ(g_nTimeBase, 12u);
    EXPECT_EQ(g_nTriggerLevel, -37);
    EXPECT_EQ(g_nPostTrigger, 25u);
    EXPECT_EQ(g_dShunt1, 4.7);
    EXPECT_EQ(g_dShunt2, 0.1);
    ASSERT_EQ(g_ScopeBufferA.m_nCount, 4u);
    EXPECT_EQ(g_ScopeBufferA.Front()[3], 1000);
    // Everything is sent again with the next changes.
    EXPECT_EQ(r.kobface.m_pScope->TakeChanged(), 0xFFFF);
    EXPECT_EQ(r.kobface.m_pMeter->TakeChanged(), 0xFFFF);
}
