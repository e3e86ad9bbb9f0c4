#include "tools/kobctl/com_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "framework/strings.h"
#include "framework/wstr.h"
#include "platform/ui/ui.h"
#include "tools/kobctl/line.h"
#include "tools/kobctl/terminal_ui.h"

namespace {
using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using SetUiFn = platform::UiHandler* (*)(platform::UiHandler*);
} // namespace

ComModule::~ComModule() {
    if (m_pModule) {
        reinterpret_cast<SetUiFn>(m_pSetUi)(nullptr);
        dlclose(m_pModule); // the box hears the closing command
    }
}

bool ComModule::Load(platform::UiHandler* ui) {
    const char* env = std::getenv("KOBLABVIEW_MODULE");
    m_strPath = env && *env ? env : KOB_MODULE_PATH;
    m_pModule = dlopen(m_strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_pModule) {
        m_strError = dlerror();
        return false;
    }
    m_pSetUi = dlsym(m_pModule, "KobSetUiHandler");
    if (!m_pSetUi || !dlsym(m_pModule, "DllGetClassObject")) {
        m_strError = m_strPath + " is not the KobLabVIEW module";
        dlclose(m_pModule);
        m_pModule = nullptr;
        return false;
    }
    reinterpret_cast<SetUiFn>(m_pSetUi)(ui);
    return true;
}

HRESULT ComModule::Create(IKobaltix** out) {
    auto get = reinterpret_cast<GetClassObjectFn>(dlsym(m_pModule, "DllGetClassObject"));
    IClassFactory* factory = nullptr;
    HRESULT hr = get(CLSID_Kobaltix, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IKobaltix, reinterpret_cast<void**>(out));
    factory->Release();
    return hr;
}

std::string DescribeHResult(HRESULT hr) {
    struct Name {
        HRESULT hr;
        const char* name;
    };
    static const Name names[] = {{S_OK, "S_OK"},
                                 {S_FALSE, "S_FALSE"},
                                 {E_FAIL, "E_FAIL"},
                                 {E_POINTER, "E_POINTER"},
                                 {E_NOINTERFACE, "E_NOINTERFACE"},
                                 {E_INVALIDARG, "E_INVALIDARG"},
                                 {E_OUTOFMEMORY, "E_OUTOFMEMORY"}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    for (const Name& n : names) {
        if (n.hr == hr) {
            return std::string(buf) + " " + n.name;
        }
    }
    return buf;
}

IKobaltix* ConnectThroughCom(ComModule& module, const LineOptions& line, std::string& version) {
    if (!ChooseLineInProfile(line)) {
        return nullptr;
    }
    if (!module.Load(&Terminal())) {
        std::fprintf(stderr, "kobctl: the COM server cannot be loaded: %s\n",
                     module.Error().c_str());
        return nullptr;
    }
    IKobaltix* kob = nullptr;
    if (!Succeeded("creating \"Kobaltix\"", module.Create(&kob))) {
        return nullptr;
    }
    if (kob->Connect() != S_OK) {
        const bool notOpened = Terminal().DialogMessage() == LoadResString(20004);
        std::fprintf(
            stderr, "%s%s\n", LineFailure(line, notOpened).c_str(),
            Terminal().DialogShown() ? " (the connection dialog ended with \"Exit Program\")" : "");
        kob->Release();
        return nullptr;
    }
    BSTR text = nullptr;
    if (SUCCEEDED(kob->Version(&text)) && text) {
        version = Narrow(std::u16string(text, SysStringLen(text)));
    }
    SysFreeString(text);
    return kob;
}

std::string DescribeFailure(HRESULT hr) {
    // S_FALSE is what a method returns after reporting a communication
    // error under the default error policy.
    const char* what = hr == S_FALSE         ? "the exchange with the box failed"
                       : hr == E_INVALIDARG  ? "a value was refused"
                       : hr == E_POINTER     ? "a result pointer was missing"
                       : hr == E_NOINTERFACE ? "not offered by this build"
                       : hr == E_OUTOFMEMORY ? "out of memory"
                       : hr == E_FAIL        ? "failed"
                                             : "failed";
    return std::string(what) + " (" + DescribeHResult(hr) + ")";
}

bool Succeeded(const char* what, HRESULT hr) {
    if (hr == S_OK) {
        return true;
    }
    std::fprintf(stderr, "kobctl: %s: %s\n", what, DescribeFailure(hr).c_str());
    return false;
}
