#include "server/frame.h"

#include "device/kobface.h"
#include "instruments/device_base.h"

uint8_t g_bReportError = 1;
HRESULT g_hrCommError = S_FALSE;

void SetComErrorFlags(uint8_t reportError, uint8_t fail) {
    g_bReportError = reportError != 0 ? 1 : 0;
    g_hrCommError = fail != 0 ? E_FAIL : S_FALSE;
}

HRESULT HandleCommException(const CCommException& e) {
    if (g_bReportError) {
        e.ReportError(platform::kMbOk, 0); // beeps, then waits for the user
    }
    return g_hrCommError;
}

void EndExchange(const CKobDevice& device) {
    if (device.m_pOwner && device.m_pOwner->m_pStream) {
        device.m_pOwner->m_pStream->EndExchange();
    }
}
