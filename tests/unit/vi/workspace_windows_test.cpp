// A workspace with a window of every family that can open together: each
// window comes back where it was, with its instrument's settings, and the
// reloaded workspace saves a file that loads again.
#include <tuple>
#include <vector>

#include "framework/archive.h"
#include "instruments/device_base.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/scope/scope.h"
#include "instruments/threephase/threephase.h"
#include "support/sim_window.h"

namespace {

using Workspace = std::vector<uint8_t>;

class WorkspaceWindowsTest : public SimWindowTest {
protected:
    Workspace Save() {
        Workspace bytes;
        CArchive ar(bytes);
        m_face.SerializeWorkspace(ar);
        return bytes;
    }
    std::vector<std::tuple<uint32_t, int32_t, int32_t>> Windows() {
        std::vector<std::tuple<uint32_t, int32_t, int32_t>> seen;
        std::lock_guard<CCriticalSection> lock(m_face.m_csWindows);
        for (CBaseVI* w : m_face.m_Windows) {
            const platform::Rect r = w->Wnd()->OuterRect();
            seen.emplace_back(w->m_nType, r.left, r.top);
        }
        return seen;
    }
};

TEST_F(WorkspaceWindowsTest, WindowsOfEveryFamilyRoundTrip) {
    const uint32_t types[] = {11, 31, 48, 51, 61, 71};
    for (size_t i = 0; i < std::size(types); ++i) {
        Open(types[i]).Wnd()->Move(int32_t(40 * i), int32_t(30 * i + 7));
    }
    g_dFGenFrequency = 250.0;
    g_nP3Phase2 = 90u;
    g_nTimeBase = 3u;
    g_nRangeA = 5u;
    const Workspace saved = Save();
    const auto windows = Windows();
    ASSERT_EQ(windows.size(), std::size(types));

    m_face.CloseAllWindows();
    g_dFGenFrequency = 1.0;
    g_nP3Phase2 = 120u;
    g_nTimeBase = 0u;
    g_nRangeA = 8u;
    CArchive in(saved.data(), saved.size());
    m_face.SerializeWorkspace(in);
    EXPECT_EQ(Windows(), windows);
    EXPECT_EQ(std::tuple(double{g_dFGenFrequency}, uint32_t{g_nP3Phase2}, uint32_t{g_nTimeBase},
                         uint32_t{g_nRangeA}),
              std::tuple(250.0, 90u, 3u, 5u));
    // Saved again it loads again. (Not the same bytes: the scope's records
    // and applied time base are the worker's, which runs on after the load.)
    const Workspace again = Save();
    CArchive second(again.data(), again.size());
    m_face.SerializeWorkspace(second);
    EXPECT_EQ(Windows(), windows);
}

} // namespace
