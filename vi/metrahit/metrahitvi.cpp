// The hand-held meter window: polls the meter of its family on the worker,
// shows the reading, and blanks it when the meter stops sending.
#include "vi/metrahit/metrahitvi.h"

#include "device/kobface.h"
#include "framework/exception.h"
#include "platform/resource/resource.h"
#include "vi/controls/displays.h"
#include "vi/controls/metralcd.h"
#include "vi/controls/press.h"
#include "vi/factory.h"

namespace {

constexpr uint32_t kIdDisplay = 7001;
constexpr uint32_t kIdReceiving = 7002;
constexpr uint32_t kMsgNoReading = 5650;
constexpr uint32_t kMsgNoMeter = 5651;
constexpr uint32_t kFirstType = 70;

} // namespace

CMetraHitVI::CMetraHitVI(CKobDevice* metrahit, uint32_t variant)
    : m_pMetraHit(dynamic_cast<CMetraHit*>(metrahit)), m_nVariant(variant) {}

bool CMetraHitVI::Init() {
    m_pLcd = dynamic_cast<CHotMetraLcd*>(FindHotspot(kTagMetraLcd, kIdDisplay));
    // The meter gets the full time to send its first reading.
    m_dwLastValid = HotspotTicks();
    Refresh();
    return CBaseVI::Init();
}

bool CMetraHitVI::ReadReading() {
    switch (m_nVariant) {
    case 1:
        return m_pMetraHit->ReadFormat1();
    case 2:
        return m_pMetraHit->ReadFormat2();
    default:
        return m_pMetraHit->ReadFormat3();
    }
}

bool CMetraHitVI::PollDevices(CStreamIO*) {
    if (!m_pMetraHit) {
        return false;
    }
    const uint32_t now = HotspotTicks();
    const bool valid = ReadReading();
    if (valid) {
        m_dwLastValid = now;
    } else if (now - m_dwLastValid > kNoReadingMs) {
        m_pMetraHit->ClearDisplay();
    }
    const bool receiving = now - m_dwLastValid <= kNoReadingMs;
    m_bReceiving = receiving;
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    return m_pMetraHit->Reading() != m_Shown || receiving != m_bShownReceiving;
}

void CMetraHitVI::Update(uintptr_t, intptr_t) {
    Refresh();
}

void CMetraHitVI::Refresh() {
    const bool receiving = m_bReceiving;
    const CMetraHitReading r = m_pMetraHit ? m_pMetraHit->Reading() : CMetraHitReading{};
    {
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        m_Shown = r;
        m_bShownReceiving = receiving;
    }
    if (auto* lamp = dynamic_cast<CHotStatus*>(FindHotspot(kTagStatus, kIdReceiving))) {
        if (lamp->SetOn(receiving)) {
            DrawNow(lamp);
        }
    }
    if (!m_pLcd) {
        return;
    }
    // An empty display: nothing came for a while (or nothing yet).
    const bool blank = r.display.empty();
    const std::u16string note = !m_pMetraHit ? platform::LoadResourceString(kMsgNoMeter)
                                : blank      ? platform::LoadResourceString(kMsgNoReading)
                                             : std::u16string();
    const std::u16string mode = r.over ? r.mode + u"  OL" : r.mode;
    if (m_pLcd->SetReading(r.display, mode, blank ? u"" : r.unit, note)) {
        DrawNow(m_pLcd);
    }
}

void CMetraHitVI::OnRemove(CKobface* device) {
    if (!m_pMetraHit || !device) {
        return;
    }
    // Told here, or the window would stay registered and the worker would
    // ask again on every pass.
    try {
        device->ReleaseDevice(kTypeMetraHit);
    } catch (const CCommException& e) {
        e.ReportError();
    }
}

void CMetraHitVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1};
        return;
    }
    if (ar.GetObjectSchema() < 4) {
        return;
    }
    uint32_t version = 0;
    ar >> version;
}

CBaseVI* CreateMetraHitVI(CKobDevice* metrahit, uint32_t variant) {
    return new CMetraHitVI(metrahit, variant);
}

CBaseVI* CreateMetraHitWindow(CKobface& device, uint32_t type) {
    return CreateMetraHitVI(device.m_pMetraHit, type - kFirstType + 1);
}
