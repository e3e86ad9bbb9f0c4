// Without a desktop to ask, messages go to stderr and every question gets
// the answer of a user who cannot be asked.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/wstr.h"
#include "platform/ui/ui.h"

namespace platform {

namespace {

class StderrUi : public UiHandler {
public:
    int ShowBox(const std::u16string& text, const std::u16string& caption,
                unsigned style) override {
        std::fprintf(stderr, "%s: %s\n", Narrow(caption).c_str(), Narrow(text).c_str());
        switch (style & 0xF) {
        case kMbYesNo:
            return kIdNo;
        case kMbOkCancel:
            return kIdCancel;
        default:
            return kIdOk;
        }
    }
    void Beep(unsigned) override {}
    void WaitCursor(bool) override {}
    InitFailedAnswer InitFailedDialog(const InitFailedRequest& request) override {
        std::fprintf(stderr, "KobLabVIEW: %s\n", Narrow(request.message).c_str());
        return {2, request.selection}; // "Exit Program"
    }
};

} // namespace

UiHandler& DefaultUi() {
    static StderrUi* ui = new StderrUi; // lives as long as the process
    return *ui;
}

uint16_t UserLanguage() {
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (!v || !*v) {
            continue;
        }
        if (std::strncmp(v, "de", 2) == 0) {
            return 1031;
        }
        if (std::strncmp(v, "fr", 2) == 0) {
            return 1036;
        }
        if (std::strncmp(v, "es", 2) == 0) {
            return 3082;
        }
        return 1033;
    }
    return 1033;
}

} // namespace platform
