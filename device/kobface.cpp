#include "device/kobface.h"

#include "device/exchange.h"
#include "framework/exception.h"
#include "framework/strings.h"
#include "instruments/device_base.h"
#include "platform/ui/ui.h"
#include "vi/basevi.h"

CKobface* g_pKobface = nullptr;
uint8_t g_byModel = 0;
CCriticalSection g_csDevices;

namespace {
const char16_t kRequiredName[] = u"KX7710-3B";
}

CDeviceBase::~CDeviceBase() {
    delete m_pStream;
}

CKobface::CKobface() {
    g_pKobface = this;
}

CKobface::~CKobface() {
    ForceStopWorker();
    if (m_thread.joinable()) {
        if (m_bRunning) {
            m_thread.detach(); // stuck past the stop limit: let it go
        } else {
            m_thread.join();
        }
    }
    for (CBaseVI* w : m_Windows) {
        w->Delete();
    }
    m_Windows.clear();
    // Only a box that answered as one hears the closing command: whatever
    // else sits on the line must not receive a byte.
    if (IsConnected() && m_bIdentified) {
        try {
            WriteByte(*m_pStream, kCmdClose);
        } catch (const CCommException&) {
            // The box is gone; nothing is left to tell it.
        }
    }
    for (uint8_t t = 1; t <= kInstrumentTypes; ++t) {
        delete Device(t);
        Device(t) = nullptr;
    }
    if (g_pKobface == this) {
        g_pKobface = nullptr;
    }
}

CKobDevice*& CKobface::Device(uint8_t type) {
    CKobDevice** slots[] = {&m_pDigIO, &m_pRelays, &m_pFuncGen, &m_p3PhaseGen,
                            &m_pScope, &m_pMeter,  &m_pCounter, &m_pMetraHit};
    if (type < 1 || type > kInstrumentTypes) {
        m_pNoDevice = nullptr; // no slot: a scratch one that stays empty
        return m_pNoDevice;
    }
    return *slots[type - 1];
}

CKobDevice* CKobface::Device(uint8_t type) const {
    return const_cast<CKobface*>(this)->Device(type);
}

void CKobface::SetStream(CStreamIO* stream) {
    if (stream != m_pStream) {
        delete m_pStream;
        m_pStream = stream;
        m_bIdentified = false;
    }
}

bool CKobface::Identify() {
    m_bIdentified = false;
    CStreamIO& s = *m_pStream;
    s.Drain();
    WriteByte(s, kCmdIdentify);
    m_strName = ReadString(s);
    if (m_strName.compare(0, 9, kRequiredName) != 0) {
        if (!m_strName.empty()) {
            platform::ShowMessage(FormatText(LoadResString(20007), {m_strName, kRequiredName}),
                                  platform::kMbOk | platform::kMbIconExclamation);
        }
        return false;
    }
    WriteByte(s, kCmdModel);
    uint8_t model = ReadByte(s);
    if (model == kUnknown) {
        model = 1;
    }
    // The name says which box this is; a model byte that no box sends, or
    // one that contradicts the name, is a line out of step.
    const uint8_t named = m_strName.size() > 9 && m_strName[9] == u'2' ? 2 : 1;
    if (model != named) {
        s.Purge();
        ThrowCommException(20011);
    }
    s.EndExchange();
    s.Purge();
    g_byModel = model;
    m_bIdentified = true;
    return true;
}

uint16_t CKobface::GetVersionNumber() const {
    if (m_strName.size() < 19) {
        return 0;
    }
    uint32_t n = 0;
    for (size_t i = 18; i < m_strName.size(); ++i) {
        char16_t c = m_strName[i];
        if (c < u'0' || c > u'9') {
            break;
        }
        n = n * 10 + static_cast<uint32_t>(c - u'0');
        if (n > 0xFFFF) {
            n = 0xFFFF; // more digits than a version number has
        }
    }
    return static_cast<uint16_t>(n);
}

void CKobface::CreateDevice(uint8_t type) {
    if (type < 1 || type > kInstrumentTypes) {
        return;
    }
    CKobDevice*& slot = Device(type);
    if (!slot) {
        slot = CreateModel(type, this);
    }
    if (!m_pStream) {
        return;
    }
    try {
        const uint8_t cmd[] = {kCmdCreateDevice, type};
        SendCommand(*m_pStream, cmd, sizeof cmd);
        CheckAck(*m_pStream);
    } catch (const CCommException& e) {
        e.ReportError();
    }
}

bool CKobface::OnCommand(uint32_t id) {
    if (id >= kWindowCommandFirst && id <= kWindowCommandLast) {
        OpenInstrumentWindow(id - kWindowCommandFirst, -1, -1);
        return true;
    }
    return CDeviceBase::OnCommand(id);
}

bool CKobface::IsCommandEnabled(uint32_t id) const {
    if (id == kWindowCommandFirst + kOfflineRelaysWindow) {
        return !m_bOffline;
    }
    return CDeviceBase::IsCommandEnabled(id);
}

void CKobface::ReleaseDevice(uint8_t type) {
    if (!m_pStream) {
        return;
    }
    const uint8_t cmd[] = {kCmdReleaseDevice, type};
    SendCommand(*m_pStream, cmd, sizeof cmd);
    CheckAck(*m_pStream);
}

void CKobface::CreateAllDevices() {
    for (uint8_t t = 1; t <= kInstrumentTypes; ++t) {
        try {
            CreateDevice(t);
        } catch (const CCommException& e) {
            e.ReportError();
        }
    }
}

void CKobface::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1};
        for (uint8_t t = 1; t <= kInstrumentTypes; ++t) {
            CKobDevice* d = Device(t);
            ar << uint32_t{d ? 1u : 0u};
            if (d) {
                d->Serialize(ar);
            }
        }
        return;
    }
    uint32_t version = 0;
    ar >> version;
    for (uint8_t t = 1; t <= kInstrumentTypes; ++t) {
        uint32_t present = 0;
        ar >> present;
        if (!present) {
            continue;
        }
        if (t == kTypeMetraHit) {
            CreateDevice(kTypeMetraHit);
        }
        CKobDevice* d = Device(t);
        if (!d) {
            // The part of a model that is not there cannot be skipped.
            ThrowArchiveException(CArchiveException::badClass);
        }
        d->Serialize(ar);
    }
}
