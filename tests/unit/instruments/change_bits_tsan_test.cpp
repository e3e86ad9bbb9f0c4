// Setters on client threads against SendChanges on the worker: no change is
// lost and the sender sees each value with its bit.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/device_base.h"

namespace {

class Model : public CKobDevice {
public:
    using CKobDevice::CKobDevice;
    void Serialize(CArchive&) override {}
    void SendChanges() override {
        uint16_t bits = TakeChanged();
        Lock();
        for (int i = 0; i < 4; ++i) {
            if (bits & (1u << i)) {
                sent[i] = values[i];
            }
        }
        UnlockChanged(0);
    }
    int values[4] = {};
    int sent[4] = {};
};

} // namespace

TEST(ChangeBitsUnderContention, EverySettersLastValueReachesTheSender) {
    CKobface kobface;
    Model model(&kobface);
    constexpr int kRounds = 20000;
    std::atomic<int> done{0};
    std::vector<std::thread> setters;
    for (int i = 0; i < 4; ++i) {
        setters.emplace_back([&, i] {
            for (int n = 1; n <= kRounds; ++n) {
                model.Lock();
                model.values[i] = n;
                model.UnlockChanged(static_cast<uint16_t>(1u << i));
            }
            ++done;
        });
    }
    std::thread worker([&] {
        while (done.load() < 4) {
            model.SendChanges();
        }
        model.SendChanges();
    });
    for (auto& t : setters) {
        t.join();
    }
    worker.join();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(model.sent[i], kRounds) << "setting " << i;
    }
    EXPECT_EQ(model.TakeChanged(), 0);
}
