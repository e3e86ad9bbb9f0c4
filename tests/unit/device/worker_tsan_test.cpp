// The worker thread of the instrument windows. Each pass stops in Exchange
// until the test lets it go on, so every step of a scenario is one pass.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/kobface.h"
#include "platform/thread/thread.h"
#include "support/scripted_stream.h"
#include "support/scripted_ui.h"
#include "vi/basevi.h"

namespace {

std::atomic<uint32_t> g_clock{0};
uint32_t FakeTick() {
    return g_clock.fetch_add(1000);
}

std::atomic<int> g_deleted{0};
struct PolledVI : CBaseVI {
    PolledVI() { Init(); }
    ~PolledVI() override { ++g_deleted; }
};

// A line whose replies stay queued across the worker's input flushes.
struct Line : ScriptedStream {
    uint32_t GetInQueue() override { return 0; }
};

// A counting signal. Not std::counting_semaphore: MinGW's can miss a
// release and wait forever.
class Signal {
public:
    void release() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_nCount;
        }
        m_cv.notify_all();
    }
    void acquire() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_nCount > 0; });
        --m_nCount;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nCount = 0;
};

struct GatedKobface : CKobface {
    GatedKobface() { SetStream(line); }
    ~GatedKobface() override {
        m_nRunRequests = 0;
        Open();
        WaitEnded();
    }
    int Run() override {
        ++runs;
        return CKobface::Run();
    }
    bool Exchange() override {
        arrived.release();
        if (!open) {
            go.acquire();
        }
        return true;
    }
    void Open() {
        open = true;
        go.release();
    }
    void WaitEnded() {
        while (m_nRunRequests != 0 || m_bRunning) {
            std::this_thread::yield();
        }
    }
    Line* line = new Line;
    std::atomic<int> runs{0};
    std::atomic<bool> open{false};
    Signal arrived, go;
};

} // namespace

TEST(Worker, TwoWindowsShareOneThreadThatEndsWithTheLastStoppingScopeAndMeter) {
    GatedKobface k;
    k.line->Reply("!!");
    k.CreateDevice(kTypeScope);
    k.CreateDevice(kTypeMeter);
    k.line->ClearWritten();
    k.line->Reply({4, 1, 4, 1, 4, 1}); // scope transmitted, meter measuring
    g_deleted = 0;
    auto* a = new PolledVI;
    auto* b = new PolledVI;
    k.AddWindow(a);
    k.AddWindow(b);
    k.StartWorker();
    k.arrived.acquire();
    EXPECT_EQ(k.m_nRunRequests, 3);
    k.StopWorker();
    a->m_nState = kViDestroyed;
    k.go.release();
    k.arrived.acquire();
    EXPECT_EQ(g_deleted, 1);
    EXPECT_EQ(k.m_nRunRequests, 1);
    const int purges = k.line->Purges();
    b->m_nState = kViDestroyed;
    k.Open();
    k.WaitEnded();
    EXPECT_EQ(g_deleted, 2);
    EXPECT_EQ(k.runs, 1);
    EXPECT_EQ(k.line->Written(), (Bytes{0xD5, 0x65, 0xD5, 0x65, 0xD5, 0x65, 0xD3, 0x63}));
    EXPECT_GT(k.line->Purges(), purges);
}

TEST(Worker, CommunicationErrorBeepsReportsOnceAndEndsTheWorker) {
    ScriptedUi ui;
    GatedKobface k;
    k.line->Reply("!");
    k.CreateDevice(kTypeScope);
    k.line->ClearWritten();
    k.m_nBusy = 1;
    k.Open();
    k.AddWindow(new PolledVI); // the scope's status never comes
    k.WaitEnded();
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_GE(ui.beeps, 1);
    EXPECT_EQ(k.m_nBusy, 0u);
    EXPECT_EQ(k.m_Windows.size(), 1u); // open, but no longer refreshed
    EXPECT_EQ(k.line->Written(), (Bytes{0xD5}));
    EXPECT_GE(k.line->Purges(), 1);
}

TEST(Worker, StopWorkerGivesUpAfterFiveSecondsOfItsClock) {
    GatedKobface k;
    k.m_pfnTick = FakeTick; // a second per look
    k.AddWindow(new PolledVI);
    k.arrived.acquire();
    const uint32_t before = g_clock;
    k.StopWorker(); // the loop is held in its pass
    EXPECT_GT(g_clock - before, 5000u);
    EXPECT_LE(g_clock - before, 7000u);
    EXPECT_TRUE(k.m_bRunning);
    EXPECT_EQ(k.m_nRunRequests, 0);
    k.m_pfnTick = nullptr; // the worker is held: nothing reads it now
}

TEST(Worker, OnTheSimulatedLineTheWorkerTakesTurnsInsteadOfSpinning) {
    struct Counting : CKobface {
        bool Exchange() override {
            ++turns;
            return true;
        }
        std::atomic<int> turns{0};
    } k; // no line: the simulated one, which answers at once
    k.AddWindow(new PolledVI);
    platform::SleepMs(400);
    const int turns = k.turns;
    k.ForceStopWorker();
    EXPECT_GE(turns, 2);
    EXPECT_LE(turns, 400 / 20 + 2); // a turn every 20 ms at most, never thousands
}
