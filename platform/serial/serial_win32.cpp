// Win32 comm API backend.
#include <windows.h>

#include "platform/serial/serial.h"

namespace platform {

namespace {

std::wstring DevicePath(const std::string& name) {
    std::string path = SerialDevicePath(name);
    return std::wstring(path.begin(), path.end());
}

class Win32SerialPort : public SerialPort {
public:
    explicit Win32SerialPort(HANDLE h) : m_h(h) {}
    ~Win32SerialPort() override { CloseHandle(m_h); }

    bool Configure(uint32_t inQueue, uint32_t outQueue) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_h, &dcb)) {
            return false;
        }
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fBinary = 1;
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = 0;
        dcb.fTXContinueOnXoff = 0;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        dcb.fErrorChar = 0;
        dcb.fNull = 0;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        SetCommState(m_h, &dcb);
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 50;
        t.ReadTotalTimeoutMultiplier = 50;
        t.ReadTotalTimeoutConstant = 1000;
        t.WriteTotalTimeoutMultiplier = 5;
        t.WriteTotalTimeoutConstant = 1000;
        SetCommTimeouts(m_h, &t);
        SetupComm(m_h, inQueue, outQueue);
        return true;
    }

    long Read(void* buffer, size_t count) override {
        DWORD got = 0;
        if (!ReadFile(m_h, buffer, static_cast<DWORD>(count), &got, nullptr)) {
            return -1;
        }
        return static_cast<long>(got);
    }

    bool Write(const void* buffer, size_t count) override {
        DWORD done = 0;
        return WriteFile(m_h, buffer, static_cast<DWORD>(count), &done, nullptr) != 0;
    }

    void Purge() override {
        Sleep(5);
        PurgeComm(m_h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    uint32_t InQueue() override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(m_h, &errors, &stat)) {
            return 0;
        }
        return stat.cbInQue;
    }

private:
    HANDLE m_h;
};

} // namespace

std::string SerialDevicePath(const std::string& name) {
    // \\.\COMn reaches ports above 9 as well.
    if (name.rfind("\\\\.\\", 0) == 0) {
        return name;
    }
    return "\\\\.\\" + name;
}

std::unique_ptr<SerialPort> OpenSystemSerialPort(const std::string& name) {
    HANDLE h = CreateFileW(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(h);
}

bool ProbeSerialPort(const std::string& name) {
    HANDLE h = CreateFileW(DevicePath(name).c_str(), 0, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

} // namespace platform
