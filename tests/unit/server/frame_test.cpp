// The method frame: which check comes first, and what a client sees of a
// communication failure under each error policy.
#include <gtest/gtest.h>

#include "server/frame.h"
#include "support/scripted_ui.h"

namespace {

struct Model {
    int calls = 0;
};

// A getter as the interfaces write it: the model call, then the out value.
HRESULT GetLevel(Model* m, double* out, bool boxRefuses) {
    return MethodFrame(m, out != nullptr, [&] {
        ++m->calls;
        if (boxRefuses) {
            ThrowCommException(20014);
        }
        *out = 4.5;
        return S_OK;
    });
}

struct Policy {
    ~Policy() { SetComErrorFlags(1, 0); }
};

} // namespace

TEST(MethodFrame, TheInstrumentCheckComesBeforeThePointerCheck) {
    ScriptedUi ui;
    double v = 0;
    EXPECT_EQ(GetLevel(nullptr, nullptr, false), E_FAIL);
    EXPECT_EQ(GetLevel(nullptr, &v, false), E_FAIL);
    Model m;
    EXPECT_EQ(GetLevel(&m, nullptr, false), E_POINTER);
    EXPECT_EQ(m.calls, 0);
    EXPECT_EQ(GetLevel(&m, &v, false), S_OK);
    EXPECT_EQ(v, 4.5);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(MethodFrame, ARefusedCommandFollowsTheClientsErrorPolicy) {
    Policy restore;
    ScriptedUi ui;
    Model m;
    double v = -1;
    // Default: the user is told, the client carries on.
    EXPECT_EQ(GetLevel(&m, &v, true), S_FALSE);
    EXPECT_EQ(v, -1); // out value untouched
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0], "The interface did not accept the command sended.");
    EXPECT_EQ(ui.beeps, 1);

    SetComErrorFlags(0, 1);
    EXPECT_EQ(GetLevel(&m, &v, true), E_FAIL);
    EXPECT_EQ(ui.Messages().size(), 1u); // silent
    EXPECT_EQ(ui.beeps, 1);

    SetComErrorFlags(1, 0);
    EXPECT_EQ(GetLevel(&m, &v, true), S_FALSE);
    EXPECT_EQ(ui.Messages().size(), 2u);

    SetComErrorFlags(7, 0); // any non-zero byte switches reporting on
    EXPECT_EQ(g_bReportError, 1);
    EXPECT_EQ(g_hrCommError, S_FALSE);
}
