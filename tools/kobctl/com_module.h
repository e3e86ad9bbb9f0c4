// The COM server as a client uses it: libKobLabVIEW.so opened at run time,
// its class object asked for a new "Kobaltix" object.
#pragma once

#include <string>

#include "server/koblabview.h"

namespace platform {
class UiHandler;
}

class ComModule {
public:
    ComModule() = default;
    ~ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    // Loads the module ($KOBLABVIEW_MODULE, else the one built beside kobctl)
    // and hands it the terminal's user interface; false with error set.
    bool Load(platform::UiHandler* ui);
    HRESULT Create(IKobaltix** out);
    const std::string& Error() const { return m_strError; }
    const std::string& Path() const { return m_strPath; }

private:
    void* m_pModule = nullptr;
    void* m_pSetUi = nullptr;
    std::string m_strPath;
    std::string m_strError;
};

// "0x80004005 E_FAIL" and so on, for what a user reads.
std::string DescribeHResult(HRESULT hr);

struct LineOptions;

// A connected box through the COM server: "Kobaltix" created, the options'
// line in the profile of this run, Connect done. Null (after saying why on
// standard error) when any step fails; version receives the box's identity.
IKobaltix* ConnectThroughCom(ComModule& module, const LineOptions& line, std::string& version);
// What a failed call means, in words, with its code.
std::string DescribeFailure(HRESULT hr);
// True when hr is S_OK; else says on standard error what failed.
bool Succeeded(const char* what, HRESULT hr);
