// The simulated box attached in-process to the host's streams: a serial
// port or the USB pipes that reach a Box instead of a device. While an
// InProcessBox lives, the streams of the module open it.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/serial/serial.h"
#include "platform/usb/usb.h"
#include "sim/box.h"

namespace kobsim {

// The line between host and box: reply bytes become readable at their time;
// after a hang-up every transfer fails.
class Line {
public:
    explicit Line(std::shared_ptr<Box> box) : m_box(std::move(box)) {}
    bool Send(const uint8_t* data, size_t count); // false when hung up
    // Takes up to count bytes that are due; waits for late ones up to
    // waitMs. Returns -1 when hung up.
    long Take(uint8_t* out, size_t count, int waitMs);
    uint32_t Pending();
    void Drop();
    bool HungUp();
    Box& TheBox() { return *m_box; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        uint8_t byte;
    };
    std::shared_ptr<Box> m_box;
    std::mutex m_mutex;
    std::deque<Chunk> m_queue;
    bool m_bHungUp = false;
};

class InProcessBox {
public:
    explicit InProcessBox(BoxConfig config = {});
    ~InProcessBox();
    InProcessBox(const InProcessBox&) = delete;
    InProcessBox& operator=(const InProcessBox&) = delete;

    // Serial ports of every name open this box. A read that falls short
    // returns after serialTimeoutMs (the real line: 50 ms per byte + 1 s;
    // tests choose less).
    void AttachSerial(int serialTimeoutMs = 0);
    // The USB pipes open this box: 64-byte packets, empty while idle.
    void AttachUsb();
    // Makes the next open fail (the line "does not exist").
    void SetPresent(bool present) { m_bPresent = present; }

    Box& TheBox() { return *m_box; }
    // The line of the port opened last (null before the first open).
    std::shared_ptr<Line> CurrentLine() { return m_line; }
    int Opens() const { return m_nOpens; }
    // USB transfers seen: reads (packets fetched, empty ones included) and writes.
    int UsbReads() const { return m_nUsbReads; }
    int UsbWrites() const { return m_nUsbWrites; }

private:
    friend class SimSerialPort;
    friend class SimUsbPipes;
    std::shared_ptr<Box> m_box;
    std::shared_ptr<Line> m_line;
    bool m_bPresent = true;
    bool m_bSerial = false;
    bool m_bUsb = false;
    int m_nOpens = 0;
    int m_nUsbReads = 0;
    int m_nUsbWrites = 0;
    platform::SerialOpener m_prevSerial;
    platform::UsbOpener m_prevUsb;
};

} // namespace kobsim
