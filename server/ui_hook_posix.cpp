// Lets a client of the shared library answer the module's message boxes
// and dialogs (a terminal, a test); the library has its own copy of the
// user-interface layer.
#include "platform/ui/ui.h"

extern "C" platform::UiHandler* KobSetUiHandler(platform::UiHandler* handler) {
    return platform::SetUiHandler(handler);
}
