// Set-up API backend: the box's device interface, and its pipes "PIPE02"
// (read) and "PIPE03" (write) opened as files under the interface's path.
#include <windows.h>

#include <cfgmgr32.h>
#include <cstdio>
#include <setupapi.h>
#include <vector>

#include "platform/usb/usb.h"

namespace platform {

namespace {

class Win32Pipes : public UsbPipes {
public:
    Win32Pipes(HANDLE r, HANDLE w) : m_hRead(r), m_hWrite(w) {}
    ~Win32Pipes() override {
        CloseHandle(m_hRead);
        CloseHandle(m_hWrite);
    }
    long ReadPacket(uint8_t* packet) override {
        DWORD got = 0;
        if (!ReadFile(m_hRead, packet, static_cast<DWORD>(kUsbPacketSize), &got, nullptr)) {
            return -1;
        }
        return static_cast<long>(got);
    }
    long Write(const uint8_t* data, size_t count) override {
        DWORD done = 0;
        if (!WriteFile(m_hWrite, data, static_cast<DWORD>(count), &done, nullptr)) {
            return -1;
        }
        return static_cast<long>(done);
    }

private:
    HANDLE m_hRead;
    HANDLE m_hWrite;
};

bool ParseGuid(const char* text, GUID& guid) {
    unsigned long d1 = 0;
    unsigned d2 = 0, d3 = 0, b[8] = {};
    if (std::sscanf(text, "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11) {
        return false;
    }
    guid.Data1 = d1;
    guid.Data2 = static_cast<unsigned short>(d2);
    guid.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<unsigned char>(b[i]);
    }
    return true;
}

HANDLE OpenFile(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

} // namespace

std::unique_ptr<UsbPipes> OpenSystemUsbPipes(const UsbIdentity& id) {
    GUID guid{};
    if (!ParseGuid(id.interfaceGuid, guid)) {
        return nullptr;
    }
    HDEVINFO set =
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    wchar_t pid[16];
    swprintf(pid, 16, L"pid_%04x", id.productId);
    std::unique_ptr<UsbPipes> pipes;
    for (DWORD index = 0; !pipes; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) {
                break;
            }
            continue;
        }
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        std::vector<unsigned char> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr)) {
            continue;
        }
        std::wstring path(detail->DevicePath);
        if (path.find(pid) == std::wstring::npos) {
            continue;
        }
        HANDLE probe = OpenFile(path, GENERIC_READ | GENERIC_WRITE);
        if (probe == INVALID_HANDLE_VALUE) {
            continue;
        }
        CloseHandle(probe);
        path += L"\\";
        HANDLE r = OpenFile(path + L"PIPE02", GENERIC_READ);
        if (r == INVALID_HANDLE_VALUE) {
            continue;
        }
        HANDLE w = OpenFile(path + L"PIPE03", GENERIC_WRITE);
        if (w == INVALID_HANDLE_VALUE) {
            CloseHandle(r);
            continue;
        }
        pipes = std::make_unique<Win32Pipes>(r, w);
    }
    SetupDiDestroyDeviceInfoList(set);
    if (pipes) {
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (GetVersionExW(&v) && v.dwMajorVersion == 6) {
            Sleep(1000); // the driver needs a moment after opening the pipes
        }
#pragma GCC diagnostic pop
    }
    return pipes;
}

namespace {

using LocateFn = CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_W, ULONG);
using ChildFn = CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG);
using StatusFn = CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG);
using IdSizeFn = CONFIGRET(WINAPI*)(PULONG, DEVINST, ULONG);
using IdFn = CONFIGRET(WINAPI*)(DEVINST, PWSTR, ULONG, ULONG);
using EjectFn = CONFIGRET(WINAPI*)(DEVINST, PPNP_VETO_TYPE, LPWSTR, ULONG, ULONG);

struct CfgMgr {
    LocateFn locate;
    ChildFn child;
    ChildFn sibling;
    StatusFn status;
    IdSizeFn idSize;
    IdFn id;
    EjectFn eject;
};

bool NameMatches(const std::wstring& deviceId, const std::u16string& description) {
    std::wstring key = L"SYSTEM\\CurrentControlSet\\Enum\\" + deviceId;
    for (const wchar_t* value : {L"FriendlyName", L"DeviceDesc"}) {
        wchar_t buf[512];
        DWORD size = sizeof buf;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buf,
                         &size) == ERROR_SUCCESS) {
            std::wstring want(description.begin(), description.end());
            return _wcsicmp(buf, want.c_str()) == 0;
        }
    }
    return false;
}

// Depth-first walk of the device tree; ejects the first removable node
// whose name is the box's description.
bool EjectMatching(const CfgMgr& cm, DEVINST node, const std::u16string& description) {
    for (DEVINST cur = node;;) {
        ULONG size = 0;
        if (cm.idSize(&size, cur, 0) == CR_SUCCESS) {
            std::vector<wchar_t> id(size + 1);
            ULONG st = 0, problem = 0;
            if (cm.id(cur, id.data(), size + 1, 0) == CR_SUCCESS &&
                NameMatches(id.data(), description) &&
                cm.status(&st, &problem, cur, 0) == CR_SUCCESS && (st & 0x4000)) {
                cm.eject(cur, nullptr, nullptr, 0, 0);
                return true;
            }
        }
        DEVINST child = 0;
        if (cm.child(&child, cur, 0) == CR_SUCCESS && EjectMatching(cm, child, description)) {
            return true;
        }
        DEVINST next = 0;
        if (cm.sibling(&next, cur, 0) != CR_SUCCESS) {
            return false;
        }
        cur = next;
    }
}

} // namespace

void RestartUsbDevice(const UsbIdentity& id) {
    HMODULE lib = LoadLibraryW(L"setupapi.dll");
    if (!lib) {
        return;
    }
    auto get = [lib](const char* name) { return GetProcAddress(lib, name); };
    CfgMgr cm{reinterpret_cast<LocateFn>(reinterpret_cast<void*>(get("CM_Locate_DevNodeW"))),
              reinterpret_cast<ChildFn>(reinterpret_cast<void*>(get("CM_Get_Child"))),
              reinterpret_cast<ChildFn>(reinterpret_cast<void*>(get("CM_Get_Sibling"))),
              reinterpret_cast<StatusFn>(reinterpret_cast<void*>(get("CM_Get_DevNode_Status"))),
              reinterpret_cast<IdSizeFn>(reinterpret_cast<void*>(get("CM_Get_Device_ID_Size"))),
              reinterpret_cast<IdFn>(reinterpret_cast<void*>(get("CM_Get_Device_IDW"))),
              reinterpret_cast<EjectFn>(reinterpret_cast<void*>(get("CM_Request_Device_EjectW")))};
    DEVINST root = 0;
    if (cm.locate && cm.child && cm.sibling && cm.status && cm.idSize && cm.id && cm.eject &&
        cm.locate(&root, nullptr, 0) == CR_SUCCESS) {
        EjectMatching(cm, root, id.description);
    }
    FreeLibrary(lib);
}

} // namespace platform
