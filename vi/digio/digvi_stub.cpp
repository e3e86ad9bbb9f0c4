// Until the digital I/O window lands its types open as plain windows.
#include "vi/basevi.h"
#include "vi/digio/digvi.h"

CBaseVI* CreateDigVI(CKobDevice*, CKobDevice*) {
    return new CBaseVI;
}
