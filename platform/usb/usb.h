// The box's two USB bulk pipes: one to read 64-byte packets from, one to
// write to. Windows: the set-up API finds the device interface and the
// pipes "PIPE02" (read) and "PIPE03" (write) are opened under its path.
// POSIX: libusb-1.0, the device with the product id, bulk IN endpoint 0x82,
// bulk OUT endpoint 0x03.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

inline constexpr size_t kUsbPacketSize = 64;

// What identifies the box's USB function.
struct UsbIdentity {
    const char* interfaceGuid; // "{9F8C9A12-...}"
    uint16_t productId;
    std::u16string description; // device description, for the restart
};

class UsbPipes {
public:
    virtual ~UsbPipes() = default;
    // One transfer from the read pipe into a 64-byte buffer; returns the bytes
    // received (0 for an empty packet) or -1 on failure.
    virtual long ReadPacket(uint8_t* packet) = 0;
    // One transfer of count bytes on the write pipe; returns the bytes
    // written or -1 on failure.
    virtual long Write(const uint8_t* data, size_t count) = 0;
};

// Finds and opens the box through the installed opener; null when it is
// not there.
std::unique_ptr<UsbPipes> OpenUsbPipes(const UsbIdentity& id);
// The platform's own way, whatever opener is installed (for wrappers).
std::unique_ptr<UsbPipes> OpenSystemUsbPipes(const UsbIdentity& id);
// Asks the system to remove and re-enumerate the box; the outcome is not
// reported (the box restarts on its own after new firmware).
void RestartUsbDevice(const UsbIdentity& id);

using UsbOpener = std::function<std::unique_ptr<UsbPipes>(const UsbIdentity& id)>;
// Replaces how the pipes are opened (tests, in-process box simulator); an
// empty function restores the platform's own. Returns the previous one.
UsbOpener SetUsbOpener(UsbOpener opener);

} // namespace platform
