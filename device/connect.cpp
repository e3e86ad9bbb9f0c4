#include "device/connect.h"

#include <string>

#include "device/kobface.h"
#include "framework/exception.h"
#include "framework/strings.h"
#include "framework/wstr.h"
#include "platform/profile/profile.h"
#include "platform/serial/serial.h"

namespace {
constexpr int kSerialLines = 4;
constexpr int kUsbLine = 4;
} // namespace

CInitFailedDlg::CInitFailedDlg(uint8_t allowSimulation, uint8_t notOpened, uint8_t offersUsb,
                               uint8_t withExit)
    : m_bOffersUsb(offersUsb), m_bNotOpened(notOpened), m_bAllowSimulation(allowSimulation),
      m_bWithExit(withExit) {
    m_nPort = platform::ProfileGetInt("Settings", "Port", 1) - 1;
    // A stored line that is not in the list: start on the first one, so
    // that "Repeat Initialising" never stores a line that cannot exist.
    int lines = kSerialLines + (m_bOffersUsb ? 1 : 0);
    if (m_nPort < 0 || m_nPort >= lines) {
        m_nPort = 0;
    }
}

platform::InitFailedRequest CInitFailedDlg::BuildRequest() const {
    platform::InitFailedRequest r;
    r.templateId = m_bWithExit ? 20000 : 20001;
    r.allowSimulation = m_bAllowSimulation != 0;
    r.withExit = m_bWithExit != 0;
    for (int n = 1; n <= kSerialLines; ++n) {
        bool free = platform::ProbeSerialPort("COM" + std::to_string(n));
        r.lines[r.lineCount++] =
            FormatText(LoadResString(free ? 20000 : 20001), {Widen(std::to_string(n))});
    }
    if (m_bOffersUsb) {
        r.lines[r.lineCount++] = LoadResString(20002);
    }
    if (HasResString(20003)) {
        r.lines[r.lineCount++] = LoadResString(20003);
    }
    r.message = LoadResString(m_bNotOpened ? 20004 : 20005);
    r.selection = m_nPort;
    return r;
}

int CInitFailedDlg::DoModal() {
    platform::InitFailedRequest request = BuildRequest();
    platform::InitFailedAnswer answer = platform::Ui().InitFailedDialog(request);
    switch (answer.endCode) {
    case kInitRepeat:
        // Only a line of the list can be chosen; the further entry (20003)
        // names no line of its own.
        if (answer.selection >= 0 && answer.selection < kSerialLines + (m_bOffersUsb ? 1 : 0)) {
            m_nPort = answer.selection;
        }
        platform::ProfileWriteInt("Settings", "Port", m_nPort + 1);
        return kInitRepeat;
    case kInitSimulate:
        // A disabled button cannot end the dialog.
        return m_bAllowSimulation ? kInitSimulate : kInitExit;
    default:
        return kInitExit;
    }
}

int CKobface::ShowInitFailed(uint8_t allowSimulation, uint8_t withExit) {
    uint8_t notOpened = 1;
    if (m_pStream && m_pStream->IsOpen()) {
        m_pStream->Close();
        notOpened = 0;
    }
    CInitFailedDlg dlg(allowSimulation, notOpened, OffersUsb() ? 1 : 0, withExit);
    return dlg.DoModal();
}

int CKobface::Connect(uint8_t allowSimulation, uint8_t withExit) {
    for (;;) {
        if (!m_pStream) {
            int port = platform::ProfileGetInt("Settings", "Port", 1);
            if (port == kUsbLine + 1) {
                m_pStream = new CKobUsb;
            } else {
                m_pStream = new CStreamCOM;
            }
        }
        if (m_pStream->Open()) {
            bool ok = false;
            {
                platform::WaitCursor wait;
                try {
                    ok = Identify();
                } catch (const CCommException&) {
                    ok = false; // only the dialog tells the user
                }
            }
            if (ok) {
                return 6;
            }
        }
        int end = ShowInitFailed(allowSimulation, withExit);
        SetStream(nullptr);
        if (end == kInitExit) {
            return 2;
        }
        if (end == kInitSimulate) {
            SetStream(new CStreamNUL);
            return 7;
        }
    }
}
