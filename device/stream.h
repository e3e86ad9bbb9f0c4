// The byte streams to the box: serial port, USB pipes, and the simulated
// "Demo-Interface". A stream carries raw bytes; framing belongs to the
// exchange functions.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/wstr.h"
#include "platform/com/guid.h"
#include "platform/serial/serial.h"
#include "platform/usb/usb.h"

class CStreamIO {
public:
    virtual ~CStreamIO() = default;
    // Opens the device, or counts one more user if it is open already.
    virtual bool Open() = 0;
    // Counts one user less; releases the device at zero.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Catalogue name of the box behind this stream.
    virtual WString GetName() const = 0;
    // Fills buffer with exactly count bytes or throws CCommException.
    virtual void Read(void* buffer, uint32_t count) = 0;
    // Sends count bytes or throws CCommException.
    virtual void Write(const void* buffer, uint32_t count) = 0;
    // Discards received, unread bytes.
    virtual void Purge() = 0;
    // Received, unread bytes.
    virtual uint32_t GetInQueue() = 0;
    // Collect writes into packets until EndBlock.
    virtual void BeginBlock() = 0;
    virtual void EndBlock() = 0;
    // Closes the stream and lets the box restart.
    virtual bool Restart() = 0;
    // Before identification: discards whatever the line still carries.
    virtual void Drain() { Purge(); }
    // After the last byte of a reply: anything more that came is a line out
    // of step, purged and thrown as CCommException 20011.
    virtual void EndExchange() {}

    int32_t m_nOpenCount = 0;
};

// Module-wide busy flags, shared by all streams of a kind: an overlapping
// read or write becomes a CCommException instead of a mixed exchange.
extern std::atomic<bool> g_bSerialReadBusy;
extern std::atomic<bool> g_bSerialWriteBusy;
extern std::atomic<bool> g_bUsbReadBusy;
extern std::atomic<bool> g_bUsbWriteBusy;

// Port name of the serial streams: "COM1" with its digit set by Open.
extern char g_szComPort[5];

class CStreamCOM : public CStreamIO {
public:
    CStreamCOM();
    ~CStreamCOM() override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_pPort != nullptr; }
    WString GetName() const override;
    void Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    void Purge() override;
    uint32_t GetInQueue() override;
    void BeginBlock() override {}
    void EndBlock() override {}
    bool Restart() override;
    // Waits until the line has been quiet for a moment (bounded).
    void Drain() override;
    void EndExchange() override;

    std::unique_ptr<platform::SerialPort> m_pPort; // stands for m_hComm: null while closed
    uint32_t m_nInBufferSize = 1024;
    uint32_t m_nOutBufferSize = 1024;

private:
    bool m_bReplyRead = false; // a read since the last EndExchange
};

class CStreamUSB : public CStreamIO {
public:
    CStreamUSB() = default;
    ~CStreamUSB() override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_pPipes != nullptr; }
    void Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    void Purge() override;
    uint32_t GetInQueue() override;
    void BeginBlock() override;
    void EndBlock() override;
    bool Restart() override;
    void EndExchange() override;

    virtual const GUID* GetInterfaceGuid() const = 0;
    virtual WString GetDeviceDescription() const = 0;
    virtual uint16_t GetProductId() const = 0;

    // Stands for the two pipe handles: null while closed.
    std::unique_ptr<platform::UsbPipes> m_pPipes;
    uint8_t m_abyIn[64] = {};
    uint32_t m_nInPos = 0;
    uint32_t m_nInCount = 0;
    bool m_bBlock = false;
    uint8_t m_abyOut[64] = {};
    uint32_t m_nOutCount = 0;

protected:
    platform::UsbIdentity Identity() const;

private:
    // Bytes of a packet not taken by the reply they came with.
    void ThrowOnLeftover();
};

class CKobUsb : public CStreamUSB {
public:
    WString GetName() const override;
    bool Restart() override;
    const GUID* GetInterfaceGuid() const override;
    WString GetDeviceDescription() const override;
    uint16_t GetProductId() const override { return 0x930C; }
};

class CStreamNUL : public CStreamIO {
public:
    bool Open() override { return true; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    WString GetName() const override { return u"Demo-Interface"; }
    void Read(void* buffer, uint32_t count) override;
    void Write(const void*, uint32_t) override {}
    void Purge() override {}
    uint32_t GetInQueue() override { return 0; }
    void BeginBlock() override {}
    void EndBlock() override {}
    bool Restart() override { return true; }
};
