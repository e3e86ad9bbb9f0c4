#include <mutex>

#include "platform/usb/usb.h"

namespace platform {

namespace {
std::mutex g_openerMutex;
UsbOpener g_opener;
} // namespace

UsbOpener SetUsbOpener(UsbOpener opener) {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    UsbOpener previous = std::move(g_opener);
    g_opener = std::move(opener);
    return previous;
}

std::unique_ptr<UsbPipes> OpenUsbPipes(const UsbIdentity& id) {
    UsbOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(id) : OpenSystemUsbPipes(id);
}

} // namespace platform
