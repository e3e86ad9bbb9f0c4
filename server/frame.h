// The frame every interface method runs in: the instrument check before the
// pointer check, the model call, and a communication failure turned into
// the client's chosen HRESULT (after a message, unless switched off).
#pragma once

#include <cstdint>
#include <utility>

#include "framework/exception.h"
#include "platform/com/oleauto.h"

// Module-wide error policy, set by ComErrorFlags.
extern uint8_t g_bReportError;
extern HRESULT g_hrCommError;

void SetComErrorFlags(uint8_t reportError, uint8_t fail);
HRESULT HandleCommException(const CCommException& e);

// Runs body() for an instrument method: E_FAIL without a model, E_POINTER
// when a required pointer is null, then the call; body returns the HRESULT
// of success (normally S_OK) and writes its out values only when done.
template <class Device, class Body>
HRESULT MethodFrame(Device* device, bool pointersOk, Body&& body) {
    if (!device) {
        return E_FAIL;
    }
    if (!pointersOk) {
        return E_POINTER;
    }
    try {
        return std::forward<Body>(body)();
    } catch (const CCommException& e) {
        return HandleCommException(e);
    }
}
