// USB pipes for tests: every transfer is recorded, packets are served from
// a script, and an empty packet comes when the script is used up.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "platform/usb/usb.h"

struct FakeUsbLog {
    std::vector<std::vector<uint8_t>> writes;
    int reads = 0;
    std::deque<std::vector<uint8_t>> packets; // served in order
    bool failRead = false;
    bool failWrite = false;
    int shortWrite = -1; // write this many bytes instead of all, once
};

class FakeUsbPipes : public platform::UsbPipes {
public:
    explicit FakeUsbPipes(std::shared_ptr<FakeUsbLog> log) : m_log(std::move(log)) {}
    long ReadPacket(uint8_t* packet) override {
        ++m_log->reads;
        if (m_log->failRead) {
            return -1;
        }
        if (m_log->packets.empty()) {
            return 0;
        }
        auto p = m_log->packets.front();
        m_log->packets.pop_front();
        for (size_t i = 0; i < p.size(); ++i) {
            packet[i] = p[i];
        }
        return static_cast<long>(p.size());
    }
    long Write(const uint8_t* data, size_t count) override {
        if (m_log->failWrite) {
            return -1;
        }
        m_log->writes.emplace_back(data, data + count);
        if (m_log->shortWrite >= 0) {
            long n = m_log->shortWrite;
            m_log->shortWrite = -1;
            return n;
        }
        return static_cast<long>(count);
    }

private:
    std::shared_ptr<FakeUsbLog> m_log;
};

// Installs the fake for the lifetime of the object.
class FakeUsbDevice {
public:
    FakeUsbDevice() : log(std::make_shared<FakeUsbLog>()) {
        auto l = log;
        m_previous = platform::SetUsbOpener([l, this](const platform::UsbIdentity& id) {
            lastProductId = id.productId;
            return present ? std::unique_ptr<platform::UsbPipes>(new FakeUsbPipes(l)) : nullptr;
        });
    }
    ~FakeUsbDevice() { platform::SetUsbOpener(std::move(m_previous)); }
    FakeUsbDevice(const FakeUsbDevice&) = delete;
    FakeUsbDevice& operator=(const FakeUsbDevice&) = delete;

    std::shared_ptr<FakeUsbLog> log;
    bool present = true;
    uint16_t lastProductId = 0;

private:
    platform::UsbOpener m_previous;
};
