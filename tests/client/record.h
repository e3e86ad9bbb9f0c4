// What a client test reads from a scope record: the volts of a variant, the
// frequency from zero crossings and the peak.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "server/koblabview.h"

namespace client {

inline std::vector<double> Values(VARIANT& v) {
    std::vector<double> out;
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R8);
    if (v.vt != (VT_ARRAY | VT_R8) || !v.parray) {
        return out;
    }
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
        auto* d = static_cast<double*>(data);
        out.assign(d, d + v.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(v.parray);
    }
    return out;
}

// Frequency from the rising zero crossings, interpolated between samples.
inline double ZeroCrossingFrequency(const std::vector<double>& v, double delta) {
    std::vector<double> crossings;
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i - 1] < 0 && v[i] >= 0) {
            crossings.push_back((i - 1 + v[i - 1] / (v[i - 1] - v[i])) * delta);
        }
    }
    if (crossings.size() < 2) {
        return 0;
    }
    return (crossings.size() - 1) / (crossings.back() - crossings.front());
}

inline double Peak(const std::vector<double>& v) {
    double m = 0;
    for (double x : v) {
        m = std::max(m, std::fabs(x));
    }
    return m;
}

// One record of both channels at a model-2 prescale (801 values), free run
// or triggered on the given channel.
inline void Record(IScope* scope, unsigned short prescale, std::vector<double>& a,
                   std::vector<double>& b, unsigned char channel = 1) {
    ASSERT_EQ(scope->Timing(prescale, 0, 801), S_OK);
    ASSERT_EQ(scope->Trigger(0, channel, 50), S_OK);
    ASSERT_EQ(scope->Start(), S_OK);
    ScopeStatus status = SC_FAILURE;
    for (int i = 0; i < 500 && status != SC_MEASURED; ++i) {
        ASSERT_EQ(scope->Status(&status), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(status, SC_MEASURED);
    VARIANT va, vb;
    ASSERT_EQ(scope->Read(&va, &vb), S_OK);
    a = Values(va);
    b = Values(vb);
    VariantClear(&va);
    VariantClear(&vb);
}

} // namespace client
