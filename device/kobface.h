// The interface device: the program's model of the box. One object for the
// life of the module; it owns the byte stream and the eight instrument
// models and identifies the box.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "device/stream.h"
#include "framework/archive.h"
#include "framework/cmdtarget.h"
#include "framework/sync.h"
#include "framework/wstr.h"

class CBaseVI;
class CKobDevice;

// Instrument type numbers: the operand of 0x0E/0x0F and the model slots.
enum InstrumentType : uint8_t {
    kTypeDigIO = 1,
    kTypeRelays = 2,
    kTypeFuncGen = 3,
    kType3PhaseGen = 4,
    kTypeScope = 5,
    kTypeMeter = 6,
    kTypeCounter = 7,
    kTypeMetraHit = 8,
};
inline constexpr int kInstrumentTypes = 8;

// Box commands of the interface device.
inline constexpr uint8_t kCmdIdentify = 0x02;
inline constexpr uint8_t kCmdModel = 0x0B;
inline constexpr uint8_t kCmdCreateDevice = 0x0E;
inline constexpr uint8_t kCmdReleaseDevice = 0x0F;
inline constexpr uint8_t kCmdClose = 0x11;

// Command ids that open an instrument window: first + window type.
inline constexpr uint32_t kWindowCommandFirst = 10000;
inline constexpr uint32_t kWindowCommandLast = 10899;
// The relay window of offline mode.
inline constexpr uint32_t kOfflineRelaysWindow = 21;

class CDeviceBase : public CCmdTarget {
public:
    CDeviceBase() = default;
    ~CDeviceBase() override;
    virtual bool Identify() = 0;

    CStreamIO* m_pStream = nullptr; // owned
    WString m_strName;
};

class CKobface : public CDeviceBase {
public:
    CKobface();
    ~CKobface() override;
    CKobface(const CKobface&) = delete;
    CKobface& operator=(const CKobface&) = delete;

    void Serialize(CArchive& ar) override;
    bool Identify() override;
    // Decimal number in the identity from character index 18 (0 without).
    virtual uint16_t GetVersionNumber() const;
    virtual bool OffersUsb() const { return true; }
    // CreateDevice 1 to 8; a refusal is reported and the rest go on.
    virtual void CreateAllDevices();
    // Asks the user what to do about a line without a box; the dialog's
    // end code (2 exit, 4 repeat, 6 simulation).
    virtual int ShowInitFailed(uint8_t allowSimulation, uint8_t withExit);

    // Opens the line of "Port" and identifies the box, asking the user when
    // that fails: 6 connected, 2 the user gave up, 7 simulation mode.
    int Connect(uint8_t allowSimulation, uint8_t withExit);

    bool IsConnected() const { return m_pStream && m_pStream->IsOpen(); }
    bool OnCommand(uint32_t id) override;
    bool IsCommandEnabled(uint32_t id) const override;
    // Creates the model on first request and tells the box (0x0E type "!");
    // a refusal is reported to the user and not passed on.
    void CreateDevice(uint8_t type);
    // Tells the box an instrument is no longer used (0x0F type "!"); the
    // model stays. A CCommException passes to the caller.
    void ReleaseDevice(uint8_t type);
    // The model slot of an instrument type (1-8).
    CKobDevice*& Device(uint8_t type);
    CKobDevice* Device(uint8_t type) const;
    // Replaces the stream (the old one is deleted).
    void SetStream(CStreamIO* stream);

    // The worker thread and the window registry.
    void StartWorker();
    void StopWorker();
    void ForceStopWorker();
    void AddWindow(CBaseVI* window);
    // The worker loop: 0 when it ran, 1 when another loop was running.
    virtual int Run();
    virtual bool SendAllChanges();
    virtual void NotifyWindows(uintptr_t code, intptr_t param);
    // Called once per pass with m_csExchange released: the moment other
    // threads may have the box; false starts the pass again.
    virtual bool Exchange() { return true; }
    virtual void ClearBusy() { m_nBusy = 0; }
    // Offline mode of the relay window (type 21).
    virtual void SetOffline(uint8_t offline, uint8_t relays);

    // The instrument windows (vi/registry.cpp, vi/factory.cpp).
    // The window object of a type (its models given), not yet a window;
    // the descriptor's type may be rewritten (hand-held meter variants).
    virtual CBaseVI* CreateInstrumentWindow(uint32_t& type);
    // Whether a type may be opened now.
    virtual bool CanOpenType(uint32_t type) {
        (void)type;
        return true;
    }
    CBaseVI* LoadInstrumentWindow(uint32_t type);
    // Null also when a window of the type was open already (it is raised).
    CBaseVI* OpenInstrumentWindow(uint32_t type, int32_t x, int32_t y);
    void CloseAllWindows();
    virtual void SerializeWorkspace(CArchive& ar);
    // The registered windows that still exist, in registration order, and
    // the last of them of a type (null when none).
    std::vector<CBaseVI*> OpenWindows();
    CBaseVI* FindWindowOfType(uint32_t type);

    // The clock the worker's limits use (tick count in ms) and the yield
    // between looks while StopWorker waits; tests replace both.
    uint32_t (*m_pfnTick)() = nullptr;
    void (*m_pfnYield)() = nullptr;

    std::atomic<uint32_t> m_nBusy{0};
    CKobDevice* m_pDigIO = nullptr;
    CKobDevice* m_pRelays = nullptr;
    CKobDevice* m_pFuncGen = nullptr;
    CKobDevice* m_p3PhaseGen = nullptr;
    CKobDevice* m_pScope = nullptr;
    CKobDevice* m_pMeter = nullptr;
    CKobDevice* m_pCounter = nullptr;
    CKobDevice* m_pMetraHit = nullptr;
    uint8_t m_bOffline = 0;
    // The offline relay window while it is open (cleared when destroyed).
    CBaseVI* m_hOfflineWnd = nullptr;
    uint32_t m_dwReserved = 0;
    // The box on the stream answered identification.
    bool m_bIdentified = false;
    std::atomic<uint8_t> m_byScopeStatus{0};
    std::atomic<uint8_t> m_bRunning{0};
    std::atomic<int32_t> m_nRunRequests{0};
    CCriticalSection m_csWindows;
    CCriticalSection m_csExchange;
    std::vector<CBaseVI*> m_Windows;

private:
    uint32_t Tick() const;
    // Waits at most the stop limit for the loop to end; no requests after.
    void WaitStopped();
    void ThreadMain();
    void Pass(std::unique_lock<CCriticalSection>& exchange);
    bool ExchangeReleased(std::unique_lock<CCriticalSection>& exchange);
    // Waits out the rest of the shortest time between two turns.
    void PauseTurn();
    void ScopeCycle(std::unique_lock<CCriticalSection>& exchange);
    void MeterCycle();
    // Deletes the destroyed windows while no worker walks the registry.
    void RemoveClosedWindows();
    // One run request per registered window again, after a forced stop.
    void RestartWorker();

    // Starting and ending the thread are decided under this lock, so that a
    // window registered while the loop ends is not left without a worker.
    std::mutex m_mxThread;
    std::thread m_thread;
    bool m_bThreadAlive = false;
    bool WorkerAlive();
    CKobDevice* m_pNoDevice = nullptr;
    uint32_t m_dwLastTurn = 0; // the worker's only
};

// The model of an instrument type, or null while that type has no model in
// this build. Implemented beside the models.
CKobDevice* CreateModel(uint8_t type, CKobface* owner);

extern CKobface* g_pKobface;
// Box model from identification: 2 = "KX7710-3B2", anything else "KX7710-3B".
extern uint8_t g_byModel;
// Guards the change bits of every model.
extern CCriticalSection g_csDevices;
// Open scope and meter-type windows; the worker serves those models only
// while their windows are open.
extern std::atomic<int32_t> g_nScopeWindows;
extern std::atomic<int32_t> g_nMeterWindows;
// The meter status last read by the worker.
extern std::atomic<uint8_t> g_byMeterStatus;
