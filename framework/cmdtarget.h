// A command target: takes part in the routing of command ids.
#pragma once

#include <cstdint>

#include "framework/object.h"

class CCmdTarget : public CObject {
public:
    // Carries out command id; false when this target does not handle it.
    virtual bool OnCommand(uint32_t id) {
        (void)id;
        return false;
    }
    // Whether the user interface of command id is enabled.
    virtual bool IsCommandEnabled(uint32_t id) const {
        (void)id;
        return true;
    }
};
