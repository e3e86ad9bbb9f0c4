// The metrahit windows.
#include "vi/basevi.h"
#include "vi/factory.h"

// Until the family's window classes exist its types open as plain windows.
CBaseVI* CreateMetraHitWindow(CKobface&, uint32_t) {
    return new CBaseVI;
}
