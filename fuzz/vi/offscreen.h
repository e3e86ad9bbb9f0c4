// The windows' fuzz targets run without a display and without a user: the
// off-screen windows, a user who answers every message, and the panel set
// of the build (true when it was found).
#pragma once

#include "platform/resource/resource.h"
#include "platform/window/window.h"
#include "support/silent_ui.h"

inline bool UseOffscreenPanels() {
    static SilentUi ui;
    platform::SetUiHandler(&ui);
    platform::UseOffscreenWindows(true);
    return platform::UseDefaultResourceModule();
}
