#include "sim/inprocess.h"

#include <thread>

namespace kobsim {

bool Line::Send(const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bHungUp) {
        return false;
    }
    Output out = m_box->Feed(data, count);
    auto due = Clock::now() + std::chrono::milliseconds(out.delayMs);
    for (uint8_t b : out.bytes) {
        m_queue.push_back({due, b});
    }
    if (out.hangUp) {
        m_bHungUp = true;
        m_queue.clear();
    }
    return true;
}

long Line::Take(uint8_t* out, size_t count, int waitMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    size_t got = 0;
    for (;;) {
        Clock::time_point next{};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bHungUp) {
                return -1;
            }
            auto now = Clock::now();
            while (got < count && !m_queue.empty() && m_queue.front().due <= now) {
                out[got++] = m_queue.front().byte;
                m_queue.pop_front();
            }
            if (got == count || m_queue.empty()) {
                return static_cast<long>(got);
            }
            next = m_queue.front().due;
        }
        if (next > deadline) {
            std::this_thread::sleep_until(deadline);
            return static_cast<long>(got);
        }
        std::this_thread::sleep_until(next);
    }
}

uint32_t Line::Pending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto now = Clock::now();
    uint32_t n = 0;
    for (const auto& c : m_queue) {
        n += c.due <= now ? 1 : 0;
    }
    return n;
}

void Line::Drop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

bool Line::HungUp() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bHungUp;
}

class SimSerialPort : public platform::SerialPort {
public:
    SimSerialPort(std::shared_ptr<Line> line, int timeoutMs)
        : m_line(std::move(line)), m_nTimeoutMs(timeoutMs) {}
    bool Configure(uint32_t, uint32_t) override { return true; }
    long Read(void* buffer, size_t count) override {
        int wait = m_nTimeoutMs > 0 ? m_nTimeoutMs : 50 * static_cast<int>(count) + 1000;
        return m_line->Take(static_cast<uint8_t*>(buffer), count, wait);
    }
    bool Write(const void* buffer, size_t count) override {
        return m_line->Send(static_cast<const uint8_t*>(buffer), count);
    }
    void Purge() override { m_line->Drop(); }
    uint32_t InQueue() override { return m_line->Pending(); }

private:
    std::shared_ptr<Line> m_line;
    int m_nTimeoutMs;
};

class SimUsbPipes : public platform::UsbPipes {
public:
    SimUsbPipes(InProcessBox& owner, std::shared_ptr<Line> line)
        : m_owner(owner), m_line(std::move(line)) {}
    long ReadPacket(uint8_t* packet) override {
        ++m_owner.m_nUsbReads;
        long n = m_line->Take(packet, platform::kUsbPacketSize, 0);
        if (n == 0) {
            // An idle box answers with an empty packet about every millisecond.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return n;
    }
    long Write(const uint8_t* data, size_t count) override {
        ++m_owner.m_nUsbWrites;
        return m_line->Send(data, count) ? static_cast<long>(count) : -1;
    }

private:
    InProcessBox& m_owner;
    std::shared_ptr<Line> m_line;
};

InProcessBox::InProcessBox(BoxConfig config) : m_box(std::make_shared<Box>(std::move(config))) {}

InProcessBox::~InProcessBox() {
    if (m_bSerial) {
        platform::SetSerialOpener(std::move(m_prevSerial));
    }
    if (m_bUsb) {
        platform::SetUsbOpener(std::move(m_prevUsb));
    }
}

void InProcessBox::AttachSerial(int serialTimeoutMs) {
    auto previous = platform::SetSerialOpener([this, serialTimeoutMs](const std::string&) {
        if (!m_bPresent) {
            return std::unique_ptr<platform::SerialPort>();
        }
        ++m_nOpens;
        m_line = std::make_shared<Line>(m_box);
        return std::unique_ptr<platform::SerialPort>(new SimSerialPort(m_line, serialTimeoutMs));
    });
    if (!m_bSerial) {
        m_prevSerial = std::move(previous);
        m_bSerial = true;
    }
}

void InProcessBox::AttachUsb() {
    auto previous = platform::SetUsbOpener([this](const platform::UsbIdentity&) {
        if (!m_bPresent) {
            return std::unique_ptr<platform::UsbPipes>();
        }
        ++m_nOpens;
        m_line = std::make_shared<Line>(m_box);
        return std::unique_ptr<platform::UsbPipes>(new SimUsbPipes(*this, m_line));
    });
    if (!m_bUsb) {
        m_prevUsb = std::move(previous);
        m_bUsb = true;
    }
}

} // namespace kobsim
