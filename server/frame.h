// The frame every interface method runs in: the instrument check before the
// pointer check, the model call, and a communication failure turned into
// the client's chosen HRESULT (after a message, unless switched off).
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "framework/exception.h"
#include "platform/com/oleauto.h"

// Module-wide error policy, set by ComErrorFlags.
extern uint8_t g_bReportError;
extern HRESULT g_hrCommError;

void SetComErrorFlags(uint8_t reportError, uint8_t fail);
HRESULT HandleCommException(const CCommException& e);

class CKobDevice;
// Each method is one exchange with the box: reply bytes left over at its end
// mean the line is out of step, and the method fails instead of returning
// what it read.
void EndExchange(const CKobDevice& device);

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
        HRESULT hr = std::forward<Body>(body)();
        if constexpr (std::is_base_of_v<CKobDevice, Device>) {
            EndExchange(*device);
        }
        return hr;
    } catch (const CCommException& e) {
        return HandleCommException(e);
    }
}
