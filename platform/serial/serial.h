// A serial port to the box: 9600 baud, 8 data bits, no parity, 2 stop bits,
// no flow control, raw. Read time-outs as the box's line needs them:
// 50 ms between bytes, 50 ms per byte requested plus 1000 ms in total.
// Windows: the comm API on \\.\COMn. POSIX: termios on the device path that
// the profile section "Ports" gives for "COMn" (default /dev/ttyS<n-1>).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Applies line settings, time-outs and queue sizes. False when the port
    // refuses to report its current settings; the port stays open then.
    virtual bool Configure(uint32_t inQueue, uint32_t outQueue) = 0;
    // Reads up to count bytes within the time-outs; returns how many arrived
    // (fewer on a time-out), or -1 when the read failed (hang-up, I/O error).
    virtual long Read(void* buffer, size_t count) = 0;
    // Writes count bytes; false on failure.
    virtual bool Write(const void* buffer, size_t count) = 0;
    // Discards what was received and not read, and what is not yet sent.
    virtual void Purge() = 0;
    // Bytes received and not yet read.
    virtual uint32_t InQueue() = 0;
};

// Opens "COM1".."COM9" (or a device path given directly) through the
// installed opener; null on failure.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name);
// The platform's own way, whatever opener is installed (for wrappers).
std::unique_ptr<SerialPort> OpenSystemSerialPort(const std::string& name);
// True when the port could be opened now (it is closed again at once).
bool ProbeSerialPort(const std::string& name);
// The device path a port name stands for on this platform.
std::string SerialDevicePath(const std::string& name);

// Replaces how ports are opened (tests, in-process box simulator); an empty
// function restores the platform's own. Returns the previous one.
using SerialOpener = std::function<std::unique_ptr<SerialPort>(const std::string& name)>;
SerialOpener SetSerialOpener(SerialOpener opener);

} // namespace platform
