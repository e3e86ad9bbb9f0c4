// The worker thread of the instrument windows: it sends the models' pending
// changes, runs the scope and meter cycles for their windows, lets every
// window poll its models and notifies the windows with something new.
#include <algorithm>

#include "device/exchange.h"
#include "device/kobface.h"
#include "framework/exception.h"
#include "framework/strings.h"
#include "instruments/meter/meter.h"
#include "instruments/relays/relays.h"
#include "instruments/scope/scope.h"
#include "platform/profile/profile.h"
#include "platform/thread/thread.h"
#include "platform/ui/ui.h"
#include "vi/basevi.h"

std::atomic<int32_t> g_nScopeWindows{0};
std::atomic<int32_t> g_nMeterWindows{0};
std::atomic<uint8_t> g_byMeterStatus{0};

namespace {

constexpr uint32_t kStopLimitMs = 5000;
constexpr uint32_t kNotifyTimeoutMs = 500;
constexpr uint32_t kOnlineServiceMs = 500;
// The shortest time between two of the worker's turns at the box. A slow
// line spaces them out by itself; a line that answers at once (the
// simulated one, a fast USB box) would otherwise keep a core busy.
constexpr uint32_t kTurnPeriodMs = 20;

bool ScopeServed(const CKobface& k) {
    return k.m_pScope && g_nScopeWindows.load(std::memory_order_relaxed) > 0;
}
bool MeterServed(const CKobface& k) {
    return k.m_pMeter && g_nMeterWindows.load(std::memory_order_relaxed) > 0;
}
CScope& Scope(const CKobface& k) {
    return *static_cast<CScope*>(k.m_pScope);
}
CKobMeter& Meter(const CKobface& k) {
    return *static_cast<CKobMeter*>(k.m_pMeter);
}
bool TimeBaseOnline() {
    return g_nTimeBaseApplied < kTimeBaseRows && g_pTimeBases[g_nTimeBaseApplied].online;
}

} // namespace

uint32_t CKobface::Tick() const {
    return m_pfnTick ? m_pfnTick() : platform::TickCount();
}

void CKobface::StartWorker() {
    std::lock_guard<std::mutex> lock(m_mxThread);
    if (!m_pStream) {
        // Windows opened before any connection work on the simulated line.
        SetStream(new CStreamNUL);
    }
    if (++m_nRunRequests != 1 || m_bThreadAlive) {
        // A loop that is ending sees the new request and goes on.
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join(); // it has left ThreadMain already
    }
    m_bThreadAlive = true;
    m_thread = std::thread(&CKobface::ThreadMain, this);
}

void CKobface::ThreadMain() {
    int lang = platform::ProfileGetInt("Settings", "LangID", 0);
    if (lang > 0 && lang <= 0xFFFF) {
        platform::SetThreadLocale(static_cast<uint16_t>(lang));
        SetThreadLanguage(static_cast<uint16_t>(lang));
    }
    for (;;) {
        Run();
        std::lock_guard<std::mutex> lock(m_mxThread);
        if (m_nRunRequests <= 0) {
            m_bThreadAlive = false;
            return;
        }
    }
}

void CKobface::StopWorker() {
    if (--m_nRunRequests < 1) {
        WaitStopped();
    }
}

void CKobface::ForceStopWorker() {
    {
        // As one step: an ending loop must not see a request come and go.
        std::lock_guard<std::mutex> lock(m_mxThread);
        m_nRunRequests = 0;
    }
    WaitStopped();
}

bool CKobface::WorkerAlive() {
    std::lock_guard<std::mutex> lock(m_mxThread);
    return m_bThreadAlive && m_thread.get_id() != std::this_thread::get_id();
}

void CKobface::WaitStopped() {
    m_nBusy = 0;
    // Waits for the thread, not only the loop: a thread that has not yet
    // entered the loop, or is leaving it, still reads the models.
    const uint32_t start = Tick();
    while (WorkerAlive() && Tick() - start <= kStopLimitMs) {
        if (m_pfnYield) {
            m_pfnYield();
        } else {
            platform::YieldThread();
        }
    }
    m_nRunRequests = 0;
    std::lock_guard<std::mutex> lock(m_mxThread);
    if (!m_bThreadAlive && m_thread.joinable()) {
        m_thread.join(); // it has left ThreadMain: nothing of it runs any more
    }
}

void CKobface::AddWindow(CBaseVI* window) {
    {
        std::lock_guard<CCriticalSection> lock(m_csWindows);
        m_Windows.push_back(window);
    }
    StartWorker();
}

int CKobface::Run() {
    if (m_bRunning) {
        return 1;
    }
    std::unique_lock<CCriticalSection> exchange(m_csExchange);
    m_bRunning = 1;
    bool failed = false;
    try {
        CStreamIO& s = *m_pStream;
        FlushInput(s);
        if (MeterServed(*this)) {
            Meter(*this).SendInput();
        }
        if (ScopeServed(*this)) {
            Scope(*this).SendInput();
        }
        while (m_nRunRequests > 0) {
            try {
                Pass(exchange);
            } catch (const CCommException&) {
                platform::DefaultBeep();
                ClearBusy();
                throw;
            }
        }
        if (m_pScope) {
            Scope(*this).Stop();
        }
        if (m_pMeter) {
            Meter(*this).Stop();
        }
        s.Purge();
    } catch (const CCommException& e) {
        failed = true;
        m_pStream->Purge();
        e.ReportError();
    }
    // A request that arrived while the loop ended keeps the worker going,
    // except after a failure, which drops them all.
    if (failed) {
        m_nRunRequests = 0;
    } else {
        int32_t n = m_nRunRequests;
        while (n < 0 && !m_nRunRequests.compare_exchange_weak(n, 0)) {
        }
    }
    exchange.unlock();
    m_bRunning = 0;
    return 0;
}

void CKobface::PauseTurn() {
    const uint32_t since = Tick() - m_dwLastTurn;
    if (since < kTurnPeriodMs && m_nRunRequests > 0) {
        platform::SleepMs(kTurnPeriodMs - since);
    }
    m_dwLastTurn = Tick();
}

bool CKobface::ExchangeReleased(std::unique_lock<CCriticalSection>& exchange) {
    exchange.unlock();
    // Paused with the box released: a COM call waiting for it goes first.
    PauseTurn();
    bool go = false;
    try {
        go = Exchange();
    } catch (...) {
        exchange.lock();
        throw;
    }
    exchange.lock();
    return go;
}

void CKobface::Pass(std::unique_lock<CCriticalSection>& exchange) {
    CStreamIO& s = *m_pStream;
    FlushInput(s);
    SendAllChanges();
    FlushInput(s);
    if (!ExchangeReleased(exchange)) {
        return;
    }
    if (MeterServed(*this)) {
        MeterCycle();
    }
    if (ScopeServed(*this)) {
        ScopeCycle(exchange);
    }
}

void CKobface::MeterCycle() {
    CKobMeter& meter = Meter(*this);
    uint8_t status = g_byMeterStatus.load(std::memory_order_relaxed);
    if (status == kMeterMeasured) {
        meter.ReadValues(g_MeterA, g_MeterB);
        NotifyWindows(kNotifyMeterValues, 0);
    } else if (status == kMeterReady) {
        meter.Start();
    }
}

void CKobface::ScopeCycle(std::unique_lock<CCriticalSection>& exchange) {
    CScope& scope = Scope(*this);
    const uint8_t status = m_byScopeStatus;
    const bool online = TimeBaseOnline();
    bool fresh = false;
    if (status == kScopeReady && !scope.m_bHold) {
        if (online) {
            const uint32_t values = g_pTimeBases[g_nTimeBaseApplied].values;
            g_ScopeBufferA.Resize(values);
            g_ScopeBufferB.Resize(values);
            g_ScopeBufferA.Reset();
            g_ScopeBufferB.Reset();
        }
        scope.Start();
    }
    if (online && (status == kScopeTrigger || status == kScopeMeasuring)) {
        fresh = scope.ReadOnlineToBuffers();
        if (scope.m_bHold) {
            scope.Stop();
        }
    }
    if (status == kScopeMeasured && !scope.m_bHold) {
        bool came = false;
        if (online) {
            came = scope.ReadOnlineToBuffers();
        } else {
            scope.ReadMemoryToBuffers();
        }
        if (scope.m_bSingle) {
            scope.m_bHold = 1;
            scope.Stop();
            NotifyWindows(kNotifySingleShot, 0);
        }
        if (online) {
            if (came) {
                NotifyWindows(kNotifyScopeData, 0);
            }
            const uint32_t start = Tick();
            while (Tick() - start < kOnlineServiceMs && m_nRunRequests > 0 && TimeBaseOnline()) {
                SendAllChanges();
                ExchangeReleased(exchange);
            }
        }
        if (!scope.m_bHold) {
            scope.Start();
        }
        fresh = true;
    }
    if (fresh) {
        NotifyWindows(kNotifyScopeData, 0);
    }
}

bool CKobface::SendAllChanges() {
    if (m_pScope) {
        m_byScopeStatus = Scope(*this).GetStatus();
    }
    g_byMeterStatus.store(m_pMeter ? Meter(*this).GetStatus() : uint8_t{0},
                          std::memory_order_relaxed);
    if (ScopeServed(*this)) {
        m_pScope->SendChanges();
    }
    for (CKobDevice* d : {m_pRelays, m_p3PhaseGen, m_pFuncGen}) {
        if (d) {
            d->SendChanges();
        }
    }
    if (MeterServed(*this)) {
        m_pMeter->SendChanges();
    }
    NotifyWindows(kNotifyChangesSent, reinterpret_cast<intptr_t>(m_pStream));
    return true;
}

void CKobface::NotifyWindows(uintptr_t code, intptr_t param) {
    std::lock_guard<CCriticalSection> lock(m_csWindows);
    try {
        for (size_t i = 0; i < m_Windows.size();) {
            CBaseVI* w = m_Windows[i];
            if (w->m_nState == kViDestroyed) {
                w->OnRemove(this);
                m_Windows.erase(m_Windows.begin() + static_cast<std::ptrdiff_t>(i));
                w->Delete();
                --m_nRunRequests;
                continue;
            }
            ++i;
            if (uint32_t pause = w->m_nPauseMs) {
                if (Tick() - w->m_dwPauseStart <= pause) {
                    continue;
                }
                w->m_nPauseMs = 0;
            }
            if (w->PollDevices(m_pStream) && w->IsWindow()) {
                w->Wnd()->SendNotify(code, param, kNotifyTimeoutMs);
            }
        }
    } catch (const CCommException& e) {
        e.ReportError();
        if (m_pStream) {
            m_pStream->Purge();
        }
    }
}

void CKobface::RemoveClosedWindows() {
    std::lock_guard<CCriticalSection> lock(m_csWindows);
    auto closed = [this](CBaseVI* w) {
        if (w->m_nState != kViDestroyed) {
            return false;
        }
        w->OnRemove(this);
        w->Delete();
        return true;
    };
    m_Windows.erase(std::remove_if(m_Windows.begin(), m_Windows.end(), closed), m_Windows.end());
}

void CKobface::RestartWorker() {
    RemoveClosedWindows();
    size_t n = 0;
    {
        std::lock_guard<CCriticalSection> lock(m_csWindows);
        n = m_Windows.size();
    }
    for (size_t i = 0; i < n; ++i) {
        StartWorker();
    }
}

void CKobface::SetOffline(uint8_t offline, uint8_t relays) {
    const bool changed = m_bOffline != offline;
    m_bOffline = offline;
    if (m_bOffline && m_hOfflineWnd) {
        CBaseVI* w = m_hOfflineWnd;
        m_hOfflineWnd = nullptr;
        if (w->IsWindow()) {
            w->Wnd()->Close();
        }
    }
    if (!offline && !changed) {
        return;
    }
    g_byRelays = relays;
    CRelays::MarkRelaysChanged(0xFFFF);
    if (IsConnected() && !m_bRunning) {
        CreateDevice(kTypeRelays);
        SendAllChanges();
    }
}
