#include <mutex>

#include "platform/serial/serial.h"

namespace platform {

namespace {
std::mutex g_openerMutex;
SerialOpener g_opener;
} // namespace

SerialOpener SetSerialOpener(SerialOpener opener) {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    SerialOpener previous = std::move(g_opener);
    g_opener = std::move(opener);
    return previous;
}

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name) {
    SerialOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(name) : OpenSystemSerialPort(name);
}

} // namespace platform
