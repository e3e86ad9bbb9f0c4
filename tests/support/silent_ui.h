// A user who answers every box with OK and every dialog with "Exit
// Program", and keeps nothing: for fuzzers, which run millions of inputs.
#pragma once

#include "platform/ui/ui.h"

class SilentUi : public platform::UiHandler {
public:
    int ShowBox(const std::u16string&, const std::u16string&, unsigned) override {
        return platform::kIdOk;
    }
    void Beep(unsigned) override {}
    void WaitCursor(bool) override {}
    platform::InitFailedAnswer InitFailedDialog(const platform::InitFailedRequest&) override {
        return {};
    }
};
