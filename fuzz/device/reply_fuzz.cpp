// Whatever the box answers, the interface device ends an exchange with a
// result or a CCommException, and never reads or writes out of bounds.
#include <cstddef>
#include <cstdint>

#include "device/exchange.h"
#include "device/kobface.h"
#include "support/scripted_stream.h"
#include "support/silent_ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentUi ui;
    platform::SetUiHandler(&ui);
    CKobface kobface;
    auto* stream = new ScriptedStream;
    kobface.SetStream(stream);
    stream->Reply(Bytes(data, data + size));
    try {
        if (kobface.Identify()) {
            (void)kobface.GetVersionNumber();
        }
        kobface.CreateDevice(kTypeScope);
        kobface.ReleaseDevice(kTypeScope);
        (void)ReadLong(*stream);
        (void)ReadString(*stream);
    } catch (const CCommException&) {
    }
    (void)kobface.GetVersionNumber();
    return 0;
}
