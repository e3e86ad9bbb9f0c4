// The code of the communication error a call ends with (0 when none).
#pragma once

#include <cstdint>
#include <functional>

#include "framework/exception.h"

inline uint32_t CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CCommException& e) {
        return e.m_nError;
    }
    return 0;
}
