// Skeleton of the instrument window; the framework fills it in.
#include "vi/basevi.h"

#include "vi/controls/hotspot.h"

uint32_t g_adwInUse[8] = {};
uint32_t g_dwPanelHeader = 0;

CBaseVI::CBaseVI() = default;
CBaseVI::~CBaseVI() = default;

bool CBaseVI::Init() {
    m_nState = kViOpen;
    return true;
}
void CBaseVI::ReleaseResources() {}
void CBaseVI::Update(uintptr_t, intptr_t) {}
bool CBaseVI::PollDevices(CStreamIO*) {
    return true;
}
void CBaseVI::OnRemove(CKobface*) {}
bool CBaseVI::LoadRequirements(CArchive&) {
    return true;
}
void CBaseVI::LoadPanel(CArchive&) {}
void CBaseVI::Delete() {
    delete this;
}
CHotspot* CBaseVI::CreateHotspot(uint32_t, uint32_t, uint32_t tag) {
    return CreateHotspotForTag(tag, this);
}
CHotspot* CBaseVI::CreateCustomHotspot(uint32_t, uint32_t, const platform::Rect&) {
    return nullptr;
}
void CBaseVI::UpdateCursor(CHotspot*) {}
void CBaseVI::Draw(platform::Gfx&) {}

bool CBaseVI::CreateWnd(platform::Window* parent) {
    m_pWnd = platform::Window::Create(*this, platform::WindowStyle::Fixed, parent);
    return m_pWnd != nullptr;
}

CHotspot* CBaseVI::FindHotspot(uint32_t id) const {
    for (const auto& h : m_Hotspots)
        if (h->m_nId == id)
            return h.get();
    return nullptr;
}
CHotspot* CBaseVI::FindHotspot(uint32_t tag, uint32_t id) const {
    for (const auto& h : m_Hotspots)
        if (h->m_nTag == tag && h->m_nId == id)
            return h.get();
    return nullptr;
}
CHotspot* CBaseVI::HotspotAt(platform::Point p) const {
    for (const auto& h : m_Hotspots)
        if (h->HitTest(p.x, p.y))
            return h.get();
    return nullptr;
}
void CBaseVI::RemoveHotspot(CHotspot* control) {
    for (auto it = m_Hotspots.begin(); it != m_Hotspots.end(); ++it)
        if (it->get() == control) {
            m_Hotspots.erase(it);
            return;
        }
}
void CBaseVI::DeleteAllHotspots() {
    m_pPressed = nullptr;
    m_Hotspots.clear();
}

void CBaseVI::OnPaint(platform::Gfx& dc) {
    Draw(dc);
}
void CBaseVI::OnLButtonDown(platform::Point) {}
bool CBaseVI::OnSetCursor(platform::Point) {
    return false;
}
bool CBaseVI::OnCommand(uint32_t id) {
    return CCmdTarget::OnCommand(id);
}
void CBaseVI::OnCommNotify(uintptr_t code, intptr_t param) {
    Update(code, param);
}
void CBaseVI::OnHelp() {}
void CBaseVI::OnDestroy() {
    m_nState = kViDestroyed;
}

bool CSizeableVI::Init() {
    return CBaseVI::Init();
}
bool CSizeableVI::CreateWnd(platform::Window* parent) {
    m_pWnd = platform::Window::Create(*this, platform::WindowStyle::Sizeable, parent);
    return m_pWnd != nullptr;
}
void CSizeableVI::OnSize(int32_t, int32_t) {}
platform::Size CSizeableVI::MinTrackSize() {
    return {};
}
