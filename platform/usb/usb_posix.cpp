// libusb-1.0 backend: the device with the box's product id, bulk IN 0x82
// and bulk OUT 0x03, 64-byte packets.
#include <libusb.h>

#include "platform/usb/usb.h"

namespace platform {

namespace {

constexpr unsigned char kEndpointIn = 0x82;
constexpr unsigned char kEndpointOut = 0x03;
// A read that brings nothing within this time counts as an empty packet.
constexpr unsigned kReadTimeoutMs = 200;
constexpr unsigned kWriteTimeoutMs = 1000;

libusb_device_handle* FindDevice(libusb_context* ctx, uint16_t productId) {
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx, &list);
    libusb_device_handle* handle = nullptr;
    for (ssize_t i = 0; i < n && !handle; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idProduct == productId) {
            if (libusb_open(list[i], &handle) != 0) {
                handle = nullptr;
            }
        }
    }
    if (list) {
        libusb_free_device_list(list, 1);
    }
    return handle;
}

class LibusbPipes : public UsbPipes {
public:
    LibusbPipes(libusb_context* ctx, libusb_device_handle* h) : m_ctx(ctx), m_h(h) {}
    ~LibusbPipes() override {
        libusb_release_interface(m_h, 0);
        libusb_close(m_h);
        libusb_exit(m_ctx);
    }
    long ReadPacket(uint8_t* packet) override {
        int got = 0;
        int r = libusb_bulk_transfer(m_h, kEndpointIn, packet, static_cast<int>(kUsbPacketSize),
                                     &got, kReadTimeoutMs);
        if (r == 0 || r == LIBUSB_ERROR_TIMEOUT) {
            return got;
        }
        return -1;
    }
    long Write(const uint8_t* data, size_t count) override {
        int done = 0;
        int r = libusb_bulk_transfer(m_h, kEndpointOut, const_cast<uint8_t*>(data),
                                     static_cast<int>(count), &done, kWriteTimeoutMs);
        return r == 0 ? done : -1;
    }

private:
    libusb_context* m_ctx;
    libusb_device_handle* m_h;
};

} // namespace

std::unique_ptr<UsbPipes> OpenSystemUsbPipes(const UsbIdentity& id) {
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) {
        return nullptr;
    }
    libusb_device_handle* h = FindDevice(ctx, id.productId);
    if (!h) {
        libusb_exit(ctx);
        return nullptr;
    }
    libusb_set_auto_detach_kernel_driver(h, 1);
    if (libusb_claim_interface(h, 0) != 0) {
        libusb_close(h);
        libusb_exit(ctx);
        return nullptr;
    }
    return std::make_unique<LibusbPipes>(ctx, h);
}

void RestartUsbDevice(const UsbIdentity& id) {
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) {
        return;
    }
    if (libusb_device_handle* h = FindDevice(ctx, id.productId)) {
        libusb_reset_device(h);
        libusb_close(h);
    }
    libusb_exit(ctx);
}

} // namespace platform
