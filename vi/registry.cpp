// The interface device's window registry: opening, closing and storing the
// instrument windows as a workspace.
#include <algorithm>
#include <vector>

#include "device/kobface.h"
#include "framework/exception.h"
#include "instruments/relays/relays.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"

namespace {

constexpr uint32_t kWorkspaceMagic = 0x4956544D; // "MTVI"
constexpr uint32_t kWorkspaceVersion = 4;
constexpr uint32_t kWorkspaceOldest = 2;

// Sets the panel font format for a scope and puts it back after.
class PanelFormat {
public:
    explicit PanelFormat(bool isNew) : m_bSaved(g_bNewPanelFormat) { g_bNewPanelFormat = isNew; }
    ~PanelFormat() { g_bNewPanelFormat = m_bSaved; }
    PanelFormat(const PanelFormat&) = delete;
    PanelFormat& operator=(const PanelFormat&) = delete;

private:
    bool m_bSaved;
};

void DestroyAndDelete(CBaseVI* w) {
    if (w->Wnd()) {
        w->Wnd()->Destroy();
    }
    w->Delete();
}

} // namespace

CBaseVI* CKobface::LoadInstrumentWindow(uint32_t type) {
    uint32_t descriptor = type;
    CBaseVI* w = CreateInstrumentWindow(descriptor);
    if (!w) {
        return nullptr;
    }
    std::optional<std::vector<uint8_t>> panel;
    if (type <= 0xFFFF) {
        panel = g_pfnLoadPanel(static_cast<uint16_t>(type));
    }
    if (!panel) {
        w->Delete();
        return nullptr;
    }
    try {
        CArchive ar(panel->data(), panel->size());
        if (!w->LoadRequirements(ar) || !w->CreateWnd(g_pViMainWindow)) {
            w->Delete(); // gives back what LoadRequirements claimed
            return nullptr;
        }
        PanelFormat format(true);
        w->LoadPanel(ar);
    } catch (const CException& e) {
        DestroyAndDelete(w);
        e.ReportError();
        return nullptr;
    }
    return w;
}

CBaseVI* CKobface::OpenInstrumentWindow(uint32_t type, int32_t x, int32_t y) {
    if (m_bOffline && type == kOfflineRelaysWindow) {
        return nullptr;
    }
    if (CanOpenType(type)) {
        CBaseVI* stale = nullptr;
        {
            std::lock_guard<CCriticalSection> lock(m_csWindows);
            for (auto it = m_Windows.begin(); it != m_Windows.end(); ++it) {
                CBaseVI* w = *it;
                if (w->m_nType != type) {
                    continue;
                }
                if (w->IsWindow()) {
                    w->Wnd()->Show(platform::ShowMode::Show);
                    w->Wnd()->BringToTop();
                    return nullptr;
                }
                stale = w;
                m_Windows.erase(it);
                break;
            }
        }
        if (stale) {
            stale->OnRemove(this);
            stale->Delete();
            StopWorker(); // its run request goes with it
        }
    }
    CBaseVI* w = LoadInstrumentWindow(type);
    if (!w) {
        return nullptr;
    }
    if (!w->CanOpen()) {
        DestroyAndDelete(w);
        return nullptr;
    }
    w->Init();
    platform::Window& wnd = *w->Wnd();
    if (x == -1 || y == -1) {
        wnd.CenterOnParent();
        int32_t n = 0;
        {
            std::lock_guard<CCriticalSection> lock(m_csWindows);
            n = static_cast<int32_t>(m_Windows.size());
        }
        const platform::Rect r = wnd.OuterRect();
        wnd.Move(r.left + n * platform::DialogFrameWidth(), r.top + n * platform::CaptionHeight());
    } else {
        wnd.Move(x, y);
    }
    wnd.Show(platform::ShowMode::ShowNormal);
    w->m_nType = type;
    AddWindow(w);
    if (type == kOfflineRelaysWindow) {
        m_hOfflineWnd = w;
    }
    return w;
}

void CKobface::CloseAllWindows() {
    std::vector<CBaseVI*> windows;
    {
        // Only windows not yet destroyed: the worker deletes the others at
        // any moment, while these stay until this thread destroys them.
        std::lock_guard<CCriticalSection> lock(m_csWindows);
        for (CBaseVI* w : m_Windows) {
            if (w->m_nState != kViDestroyed && w->IsWindow()) {
                windows.push_back(w);
            }
        }
    }
    // Destroyed outside the lock: a worker waiting for it to notify this
    // thread's windows must not be kept waiting.
    for (CBaseVI* w : windows) {
        w->Wnd()->Destroy();
    }
}

std::vector<CBaseVI*> CKobface::OpenWindows() {
    std::vector<CBaseVI*> open;
    std::lock_guard<CCriticalSection> lock(m_csWindows);
    for (CBaseVI* w : m_Windows) {
        if (w->IsWindow() && w->m_nState == kViOpen) {
            open.push_back(w);
        }
    }
    return open;
}

CBaseVI* CKobface::FindWindowOfType(uint32_t type) {
    CBaseVI* found = nullptr;
    for (CBaseVI* w : OpenWindows()) {
        if (w->m_nType == type) {
            found = w;
        }
    }
    return found;
}

void CKobface::SerializeWorkspace(CArchive& ar) {
    if (ar.IsStoring()) {
        const bool ran = m_nRunRequests > 0 || m_bRunning;
        ForceStopWorker();
        ar << kWorkspaceMagic << kWorkspaceVersion;
        Serialize(ar);
        {
            std::lock_guard<CCriticalSection> lock(m_csWindows);
            for (CBaseVI* w : m_Windows) {
                if (w->m_nState == kViDestroyed || !w->Wnd()) {
                    continue; // closed, waiting for removal: not part of the workspace
                }
                const platform::Rect r = w->Wnd()->OuterRect();
                ar << w->m_nType << r.left << r.top
                   << static_cast<uint8_t>(w->Wnd()->IsVisible() ? 1 : 0);
                w->Serialize(ar);
            }
        }
        ar << uint32_t{0};
        if (ran) {
            RestartWorker();
        }
        return;
    }

    CloseAllWindows();
    ForceStopWorker();
    RemoveClosedWindows();
    uint32_t magic = 0;
    uint32_t version = 0;
    ar >> magic >> version;
    if (magic != kWorkspaceMagic || version > kWorkspaceVersion || version < kWorkspaceOldest) {
        ThrowArchiveException(CArchiveException::badSchema);
    }
    PanelFormat format(version > 3);
    const uint8_t relays = g_byRelays;
    for (uint8_t t = 1; t < kTypeMetraHit; ++t) {
        CreateDevice(t);
    }
    Serialize(ar);
    if (m_bOffline) {
        g_byRelays = relays;
    }

    // Every window is read before any is shown, so that a damaged file
    // opens nothing.
    struct Entry {
        CBaseVI* w;
        uint32_t type;
        bool visible;
    };
    std::vector<Entry> read;
    try {
        uint32_t type = 0;
        ar >> type;
        while (type != 0) {
            int32_t x = 0;
            int32_t y = 0;
            uint8_t visible = 1;
            ar >> x >> y;
            if (version > 2) {
                ar >> visible;
            }
            // One window per type, as opening them does.
            auto same = [type](const Entry& e) { return e.type == type; };
            if (std::any_of(read.begin(), read.end(), same)) {
                ThrowArchiveException(CArchiveException::badSchema);
            }
            CBaseVI* w = LoadInstrumentWindow(type);
            if (!w) {
                ThrowArchiveException(CArchiveException::badSchema);
            }
            read.push_back({w, type, visible != 0});
            w->CanOpen();
            w->Wnd()->Move(x, y);
            ar.SetObjectSchema(version);
            if (m_bOffline && type == kOfflineRelaysWindow) {
                w->Serialize(ar);
                read.pop_back();
                DestroyAndDelete(w);
            } else {
                w->Init();
                w->Serialize(ar);
            }
            ar >> type;
        }
    } catch (const CException&) {
        for (const Entry& e : read) {
            DestroyAndDelete(e.w);
        }
        throw;
    }
    for (const Entry& e : read) {
        e.w->Wnd()->Show(e.visible ? platform::ShowMode::Show : platform::ShowMode::Hide);
        e.w->m_nType = e.type;
        AddWindow(e.w);
        if (e.type == kOfflineRelaysWindow) {
            m_hOfflineWnd = e.w;
        }
    }
}
