// A client object made on the simulated box's line, connected unless the
// test says otherwise; the instruments a test creates are released after it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/host.h"

namespace client {

class ClientTest : public ::testing::Test {
protected:
    explicit ClientTest(const std::vector<std::string>& boxArgs = {"--fast"}, bool connect = true)
        : host(boxArgs), m_connect(connect) {}
    void SetUp() override {
        host.SetProfile(host.BoxLine(), {{host.BoxLine(), host.BoxPath()}});
        ASSERT_EQ(host.Create(&kob), S_OK);
        ASSERT_NE(kob, nullptr);
        if (m_connect) {
            ASSERT_EQ(kob->Connect(), S_OK);
        }
    }
    void TearDown() override {
        IUnknown* const all[] = {scope, meter, gen, power, dig, relays, kob};
        for (IUnknown* p : all) {
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

} // namespace client
