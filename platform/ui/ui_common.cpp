#include <atomic>

#include "platform/ui/ui.h"

namespace platform {

namespace {
std::atomic<UiHandler*> g_pUiHandler{nullptr};
}

UiHandler* SetUiHandler(UiHandler* handler) {
    return g_pUiHandler.exchange(handler);
}

UiHandler& Ui() {
    UiHandler* h = g_pUiHandler.load();
    return h ? *h : DefaultUi();
}

int ShowMessage(const std::u16string& text, unsigned style) {
    return Ui().ShowBox(text, u"KobLabVIEW", style);
}

void DefaultBeep() {
    Ui().Beep(0);
}

} // namespace platform
