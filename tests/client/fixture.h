// A client object made on the simulated box's line, connected unless the
// test says otherwise; the instruments a test creates are released after
// it. And what a test reads from a scope record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "client/host.h"

namespace client {

class ClientTest : public ::testing::Test {
protected:
    explicit ClientTest(const std::vector<std::string>& boxArgs = {"--fast"}, bool connect = true)
        : host(boxArgs), m_connect(connect) {}
    void SetUp() override {
        host.SetProfile(kBoxLine);
        ASSERT_EQ(host.Create(&kob), S_OK);
        if (m_connect) {
            ASSERT_EQ(kob->Connect(), S_OK);
        }
    }
    void TearDown() override {
        for (IUnknown* p :
             std::initializer_list<IUnknown*>{scope, meter, gen, power, dig, relays, kob}) {
            if (p) {
                p->Release();
            }
        }
    }

    Host host;
    IKobaltix* kob = nullptr;
    IScope* scope = nullptr;
    IMeter* meter = nullptr;
    IFuncGen* gen = nullptr;
    IPowerSupply* power = nullptr;
    IDigIO* dig = nullptr;
    IRelays* relays = nullptr;

private:
    bool m_connect;
};

// The items of a one-dimensional array of type vt with lower bound 0; the
// variant is freed.
template <typename T> std::vector<T> Items(VARIANT& v, VARTYPE vt) {
    std::vector<T> out;
    void* data = nullptr;
    EXPECT_EQ(v.vt, VT_ARRAY | vt);
    if (v.vt == (VT_ARRAY | vt) && SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
        EXPECT_EQ(v.parray->rgsabound[0].lLbound, 0);
        out.assign(static_cast<T*>(data), static_cast<T*>(data) + v.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(v.parray);
    }
    VariantClear(&v);
    return out;
}

inline std::vector<double> Values(VARIANT& v) {
    return Items<double>(v, VT_R8);
}

// A table as a client passes it: an array of type vt holding the values
// (left zero where vt is not of their size), freed with the object.
struct Table {
    template <typename T> Table(VARTYPE vt, const std::vector<T>& values) {
        v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        v.parray = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size()));
        void* data = nullptr;
        if (v.parray->cbElements == sizeof(T) && SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
            std::copy(values.begin(), values.end(), static_cast<T*>(data));
            SafeArrayUnaccessData(v.parray);
        }
    }
    ~Table() { VariantClear(&v); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    VARIANT v;
};

// Frequency from the rising zero crossings, interpolated between samples.
inline double ZeroCrossingFrequency(const std::vector<double>& v, double delta) {
    std::vector<double> crossings;
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i - 1] < 0 && v[i] >= 0) {
            crossings.push_back((i - 1 + v[i - 1] / (v[i - 1] - v[i])) * delta);
        }
    }
    return crossings.size() < 2 ? 0
                                : (crossings.size() - 1) / (crossings.back() - crossings.front());
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
}

} // namespace client
