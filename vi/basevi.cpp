// The instrument window: panel loading, drawing through an off-screen
// buffer, clicks routed to the controls, the worker's notifications.
#include "vi/basevi.h"

#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "platform/resource/resource.h"
#include "platform/ui/ui.h"
#include "vi/controls/buttons.h"
#include "vi/controls/hotspot.h"
#include "vi/controls/toggles.h"

uint32_t g_adwInUse[8] = {};
uint32_t g_dwPanelHeader = 0;
platform::Window* g_pViMainWindow = nullptr;
ViWindowMaker g_pfnMakeViWindow = &platform::Window::Create;
ViPanelLoader g_pfnLoadPanel = [](uint16_t type) {
    return platform::LoadResourceData(platform::kPanelResourceType, type);
};

namespace {

constexpr uint32_t kMsgConflict = 5019;
constexpr uint32_t kMsgImageMissing = 103;
constexpr uint16_t kTextureFirst = 5110;
// No panel is larger than a screen; bigger sizes are damaged data.
constexpr uint32_t kMaxClientSide = 8192;

// The line of a resource already held by other windows.
std::u16string ConflictLine(int i) {
    uint32_t id = 5020 + static_cast<uint32_t>(i);
    if (i == 3) {
        switch (g_adwInUse[3]) {
        case 1:
            id = 5030;
            break;
        case 2:
            id = 5031;
            break;
        default:
            break;
        }
    }
    std::u16string line = platform::LoadResourceString(id);
    if (i == 7) {
        for (char c : std::to_string(g_adwInUse[7] - 1)) {
            line += static_cast<char16_t>(c);
        }
    }
    return line + u"\n";
}

} // namespace

CBaseVI::CBaseVI() = default;

CBaseVI::~CBaseVI() {
    if (m_pWnd && m_pWnd->IsAlive()) {
        m_pWnd->Destroy();
    }
    if (m_bClaimed) {
        for (int i = 0; i < 8; ++i) {
            g_adwInUse[i] &= ~m_adwNeeds[i];
        }
    }
    m_pPressed = nullptr;
    m_Hotspots.clear();
}

bool CBaseVI::Init() {
    m_nState = kViOpen;
    return true;
}

void CBaseVI::ReleaseResources() {
    // A window that claimed its resources but never opened gives them back
    // as well, or they would stay blocked for every later window.
    if (m_bClaimed) {
        for (int i = 0; i < 8; ++i) {
            g_adwInUse[i] &= ~m_adwNeeds[i];
        }
        m_bClaimed = false;
    }
    DeleteAllHotspots();
}

void CBaseVI::Update(uintptr_t, intptr_t) {}

bool CBaseVI::PollDevices(CStreamIO*) {
    return true;
}

void CBaseVI::OnRemove(CKobface*) {}

bool CBaseVI::LoadRequirements(CArchive& ar) {
    ar >> g_dwPanelHeader;
    for (uint32_t& w : m_adwNeeds) {
        ar >> w;
    }
    std::u16string lines;
    for (int i = 0; i < 8; ++i) {
        if (m_adwNeeds[i] & g_adwInUse[i]) {
            lines += ConflictLine(i);
        }
    }
    if (!lines.empty()) {
        platform::ShowMessage(platform::LoadResourceString(kMsgConflict) + lines,
                              platform::kMbOk | platform::kMbIconExclamation);
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        g_adwInUse[i] |= m_adwNeeds[i];
    }
    m_bClaimed = true;
    return true;
}

void CBaseVI::LoadPanel(CArchive& ar) {
    if (ar.IsStoring()) {
        return;
    }
    DeleteAllHotspots();
    ar >> m_nClientWidth >> m_nClientHeight;
    if (m_nClientWidth > kMaxClientSide || m_nClientHeight > kMaxClientSide) {
        ThrowArchiveException(CArchiveException::generic);
    }
    if (m_pWnd) {
        m_pWnd->SetClientSize(static_cast<int32_t>(m_nClientWidth),
                              static_cast<int32_t>(m_nClientHeight));
    }
    ar >> m_strTitle;
    if (m_pWnd) {
        m_pWnd->SetTitle(m_strTitle);
    }
    ar >> m_bImage >> m_nTexture >> m_strImage >> m_dwPanelExtra;
    for (;;) {
        uint32_t tag = 0;
        ar >> tag;
        if (tag == kTagEndOfList) {
            break;
        }
        if (tag == kTagCustom) {
            int32_t rc[4];
            for (int32_t& v : rc) {
                ar >> v;
            }
            uint32_t a = 0;
            uint32_t b = 0;
            ar >> a >> b;
            if (CHotspot* h = CreateCustomHotspot(a, b, {rc[0], rc[1], rc[2], rc[3]})) {
                m_Hotspots.emplace_back(h);
            }
            continue;
        }
        CHotspot* h = CreateHotspot(0, 0, tag);
        if (!h) {
            break; // no control of this kind: the panel ends here
        }
        m_Hotspots.emplace_back(h);
        h->Serialize(ar);
        h->OnLoaded();
    }
    if (m_pWnd) {
        m_pWnd->Invalidate(nullptr, true);
    }
}

void CBaseVI::Delete() {
    delete this;
}

CHotspot* CBaseVI::CreateHotspot(uint32_t, uint32_t, uint32_t tag) {
    return CreateHotspotForTag(tag, this);
}

CHotspot* CBaseVI::CreateCustomHotspot(uint32_t, uint32_t, const platform::Rect&) {
    return nullptr;
}

void CBaseVI::UpdateCursor(CHotspot* control) {
    if (!m_pWnd) {
        return;
    }
    const bool clickable = control && !(control->m_dwFlags & (kHsPassive | kHsDisabled));
    m_pWnd->SetCursor(clickable ? platform::CursorShape::Hand : platform::CursorShape::Arrow);
}

void CBaseVI::Draw(platform::Gfx& dc) {
    const platform::Rect clip = dc.ClipBox();
    std::unique_ptr<platform::Gfx> buffer = dc.CreateBuffer(clip);
    platform::Gfx& g = buffer ? *buffer : dc;
    if (m_bImage) {
        std::shared_ptr<platform::Image> image = platform::LoadImageFile(m_strImage);
        if (image) {
            const platform::Size sz = image->GetSize();
            g.DrawImage(*image, {0, 0, sz.cx, sz.cy}, {0, 0});
        } else {
            m_bImage = 0; // told once; the texture from now on
            platform::ShowMessage(platform::LoadResourceString(kMsgImageMissing),
                                  platform::kMbOk | platform::kMbIconExclamation);
        }
    }
    if (!m_bImage) {
        auto id = static_cast<uint16_t>(kTextureFirst + m_nTexture);
        std::shared_ptr<platform::Image> tile = platform::LoadBitmapResource(id);
        const platform::Size sz = tile ? tile->GetSize() : platform::Size{};
        const platform::Size client = m_pWnd
                                          ? m_pWnd->ClientSize()
                                          : platform::Size{static_cast<int32_t>(m_nClientWidth),
                                                           static_cast<int32_t>(m_nClientHeight)};
        if (sz.cx > 0 && sz.cy > 0) {
            // Only the tiles that meet the clip box.
            const int32_t x0 = clip.left > 0 ? clip.left / sz.cx * sz.cx : 0;
            const int32_t y0 = clip.top > 0 ? clip.top / sz.cy * sz.cy : 0;
            for (int32_t y = y0; y < client.cy && y < clip.bottom; y += sz.cy) {
                for (int32_t x = x0; x < client.cx && x < clip.right; x += sz.cx) {
                    g.DrawImage(*tile, {0, 0, sz.cx, sz.cy}, {x, y});
                }
            }
        }
    }
    for (const auto& h : m_Hotspots) {
        if ((h->m_dwFlags & kHsVisible) && h->m_rcArea.Intersects(clip)) {
            h->Draw(g, false);
        }
    }
    if (buffer) {
        dc.CopyBuffer(*buffer);
    }
}

bool CBaseVI::CreateWnd(platform::Window* parent) {
    m_pWnd = g_pfnMakeViWindow(*this, platform::WindowStyle::Fixed, parent);
    return m_pWnd != nullptr;
}

CHotspot* CBaseVI::FindHotspot(uint32_t id) const {
    for (const auto& h : m_Hotspots) {
        if (h->m_nId == id) {
            return h.get();
        }
    }
    return nullptr;
}

CHotspot* CBaseVI::FindHotspot(uint32_t tag, uint32_t id) const {
    for (const auto& h : m_Hotspots) {
        if (h->m_nTag == tag && h->m_nId == id) {
            return h.get();
        }
    }
    return nullptr;
}

CHotspot* CBaseVI::HotspotAt(platform::Point p) const {
    for (const auto& h : m_Hotspots) {
        if (h->HitTest(p.x, p.y)) {
            return h.get();
        }
    }
    return nullptr;
}

void CBaseVI::RemoveHotspot(CHotspot* control) {
    for (auto it = m_Hotspots.begin(); it != m_Hotspots.end(); ++it) {
        if (it->get() == control) {
            if (m_pPressed == control) {
                m_pPressed = nullptr;
            }
            m_Hotspots.erase(it);
            return;
        }
    }
}

void CBaseVI::DeleteAllHotspots() {
    m_pPressed = nullptr;
    m_Hotspots.clear();
}

bool CBaseVI::MoveHotspotGroup(uint32_t id, int32_t dx, int32_t dy) {
    for (size_t i = 0; i < m_Hotspots.size(); ++i) {
        if (m_Hotspots[i]->m_nId != id) {
            continue;
        }
        size_t j = i;
        do {
            CHotspot& h = *m_Hotspots[j];
            h.m_rcArea = h.m_rcArea.Offset(dx, dy);
            ++j;
        } while (j < m_Hotspots.size() && !(m_Hotspots[j]->m_dwFlags & kHsGroupStart));
        return true;
    }
    return false;
}

void CBaseVI::DrawNow(CHotspot* control) {
    if (!m_pWnd) {
        return;
    }
    if (std::unique_ptr<platform::Gfx> dc = m_pWnd->ClientGfx()) {
        control->Draw(*dc, false);
    }
}

void CBaseVI::RedrawHotspots(uint32_t tag, uint32_t id) {
    std::unique_ptr<platform::Gfx> dc = m_pWnd ? m_pWnd->ClientGfx() : nullptr;
    if (!dc) {
        return;
    }
    for (const auto& h : m_Hotspots) {
        if (h->m_nTag == tag && (id == kAnyId || h->m_nId == id)) {
            h->Draw(*dc, false);
        }
    }
}

void CBaseVI::SetCheck(uint32_t id, bool checked) {
    auto* h = dynamic_cast<CHotToggle*>(FindHotspot(kTagCheck, id));
    if (h && h->SetChecked(checked)) {
        DrawNow(h);
    }
}

void CBaseVI::MarkRadio(uint32_t id) {
    if (CHotspot* h = FindHotspot(kTagRadio, id)) {
        SelectRadio(h);
    }
}

void CBaseVI::SelectRadio(CHotspot* radio) {
    size_t at = 0;
    while (at < m_Hotspots.size() && m_Hotspots[at].get() != radio) {
        ++at;
    }
    if (at == m_Hotspots.size()) {
        return;
    }
    // Only the marks change; the labels stay as the panel was painted.
    std::unique_ptr<platform::Gfx> dc = m_pWnd ? m_pWnd->ClientGfx() : nullptr;
    auto redraw = [&dc](CHotspot& h) {
        if (dc) {
            h.Draw(*dc, true);
        }
    };
    auto clear = [&redraw](CHotspot& h) {
        if (auto* t = dynamic_cast<CHotToggle*>(&h)) {
            t->SetChecked(false);
        }
        redraw(h);
    };
    for (size_t j = at + 1; j < m_Hotspots.size() && m_Hotspots[j]->m_nTag == kTagRadio; ++j) {
        clear(*m_Hotspots[j]);
    }
    for (size_t j = at; j-- > 0 && m_Hotspots[j]->m_nTag == kTagRadio;) {
        clear(*m_Hotspots[j]);
    }
    if (auto* t = dynamic_cast<CHotToggle*>(radio)) {
        t->SetChecked(true);
    }
    redraw(*radio);
}

void CBaseVI::SetMenuValue(uint32_t id, uint32_t value) {
    if (CHotspot* h = FindHotspot(kTagMenu, id)) {
        if (auto* menu = dynamic_cast<CHotMenu*>(h)) {
            const std::string text = std::to_string(value);
            menu->SetValue(value, WString(text.begin(), text.end()));
        }
    }
}

void CBaseVI::OnPaint(platform::Gfx& dc) {
    Draw(dc);
}

void CBaseVI::OnLButtonDown(platform::Point p) {
    m_pPressed = HotspotAt(p);
    OnPress();
    CHotspot* h = m_pPressed; // OnPress may have replaced the controls
    if (!h || (h->m_dwFlags & kHsDisabled) || !m_pWnd) {
        return;
    }
    std::unique_ptr<platform::Gfx> dc = m_pWnd->ClientGfx();
    if (dc && h->OnClick(*dc, this) && h->m_nTag == kTagRadio) {
        SelectRadio(h);
    }
}

bool CBaseVI::OnSetCursor(platform::Point p) {
    UpdateCursor(HotspotAt(p));
    return true;
}

bool CBaseVI::OnCommand(uint32_t id) {
    return CCmdTarget::OnCommand(id);
}

void CBaseVI::OnCommNotify(uintptr_t code, intptr_t param) {
    Update(code, param);
}

void CBaseVI::OnHelp() {
    // The help file is the host's; on Linux there is none to open, and the
    // window layer offers no help viewer, so the topic (HelpTopic) is all
    // the window knows.
}

void CBaseVI::OnDestroy() {
    ReleaseResources();
    if (g_pKobface && g_pKobface->m_hOfflineWnd == this) {
        g_pKobface->m_hOfflineWnd = nullptr;
    }
    if (g_pViMainWindow) {
        g_pViMainWindow->BringToTop();
    }
}

void CBaseVI::OnPostDestroy() {
    m_nState = kViDestroyed; // the worker may delete the window now
}

bool CSizeableVI::Init() {
    if (m_pWnd) {
        const platform::Rect r = m_pWnd->OuterRect();
        m_nMinWidth = static_cast<uint32_t>(r.Width());
        m_nMinHeight = static_cast<uint32_t>(r.Height());
    }
    return CBaseVI::Init();
}

bool CSizeableVI::CreateWnd(platform::Window* parent) {
    m_pWnd = g_pfnMakeViWindow(*this, platform::WindowStyle::Sizeable, parent);
    return m_pWnd != nullptr;
}

void CSizeableVI::OnSize(int32_t clientWidth, int32_t clientHeight) {
    const auto w = static_cast<uint32_t>(clientWidth);
    const auto h = static_cast<uint32_t>(clientHeight);
    if (m_nState != kViOpen || (w == m_nClientWidth && h == m_nClientHeight)) {
        return;
    }
    MoveHotspots(clientWidth - static_cast<int32_t>(m_nClientWidth),
                 clientHeight - static_cast<int32_t>(m_nClientHeight));
    m_nClientWidth = w;
    m_nClientHeight = h;
    if (m_pWnd) {
        m_pWnd->Invalidate(nullptr, false);
    }
}

platform::Size CSizeableVI::MinTrackSize() {
    if (m_nState != kViOpen) {
        return {};
    }
    return {static_cast<int32_t>(m_nMinWidth), static_cast<int32_t>(m_nMinHeight)};
}
